// The ::Vistel:: commands.
#ifndef VISTEL_PROCS_H
#define VISTEL_PROCS_H

#include <tcl.h>
#include <tk.h>
// X11 names a visual class GrayScale; the image library has a method of
// that name, and the binding needs no visual classes.
#undef GrayScale

class Vistel;

int Tk_Convert(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int Tk_Resize(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int Tk_Colorize(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int Tk_Thumbnail(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int Tk_IsAnimated(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
int Tk_DisableAnimation(ClientData clientData, Tcl_Interp* interp, int objc,
                        Tcl_Obj* const objv[]);
int Tk_EnableAnimation(ClientData clientData, Tcl_Interp* interp, int objc,
                       Tcl_Obj* const objv[]);
int Tk_NumberOfFrames(ClientData clientData, Tcl_Interp* interp, int objc,
                      Tcl_Obj* const objv[]);
// Reads a file into `image`, trying Type (else the extension's, else GIF),
// then GIF, PNG, JPEG, TGA and BMP. 1 when a decoder took it.
int LoadFromFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type);

int Tk_JumpToFrame(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
// ::Vistel::Rotate photoImage_name angle ?method?: turns a still photo
// clockwise, enlarging it to hold the turned picture.
int Tk_Rotate(ClientData clientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

#endif
