// Photo format procedures (match, read, write) shared by all six formats,
// and the display hook that runs before every photo display.
#ifndef VISTEL_PHOTOFORMAT_H
#define VISTEL_PHOTOFORMAT_H

#include <tcl.h>
#include <tk.h>

int ObjMatch(Tcl_Obj* data, Tcl_Obj* format, int* widthPtr, int* heightPtr, Tcl_Interp* interp);
int ChanMatch(Tcl_Channel chan, const char* fileName, Tcl_Obj* format, int* widthPtr,
              int* heightPtr, Tcl_Interp* interp);
int ObjRead(Tcl_Interp* interp, Tcl_Obj* data, Tcl_Obj* format, Tk_PhotoHandle imageHandle,
            int destX, int destY, int width, int height, int srcX, int srcY);
int ChanRead(Tcl_Interp* interp, Tcl_Channel chan, const char* fileName, Tcl_Obj* format,
             Tk_PhotoHandle imageHandle, int destX, int destY, int width, int height, int srcX,
             int srcY);
int ChanWrite(Tcl_Interp* interp, const char* fileName, Tcl_Obj* format,
              Tk_PhotoImageBlock* blockPtr);
int StringWrite(Tcl_Interp* interp, Tcl_Obj* format, Tk_PhotoImageBlock* blockPtr);

void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY);

#endif
