// Photo format procedures (match, read, write) shared by all six formats,
// and the display hook that runs before every photo display.
#ifndef VISTEL_PHOTOFORMAT_H
#define VISTEL_PHOTOFORMAT_H

#include <tcl.h>
#include <tk.h>
// X11 names a visual class GrayScale; the image library has a method of
// that name, and the binding needs no visual classes.
#undef GrayScale

class Vistel;

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
// Encodes the block as Type; on success the result is the encoded bytes.
int DataWrite(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr);
// Encodes an image into a file: Type, else the extension, else GIF.
// 1 when written and closed; 0 otherwise (the image's last error, or Tcl's
// message in the result).
int SaveToFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type);

void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY);

#endif
