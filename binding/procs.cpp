#include "procs.h"

namespace {

int NotAvailable(Tcl_Interp* interp, Tcl_Obj* const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " is not available in this build",
                     (char*)nullptr);
    return TCL_ERROR;
}

}  // namespace

int Tk_Convert(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Resize(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Colorize(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Thumbnail(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_IsAnimated(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_DisableAnimation(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_EnableAnimation(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_NumberOfFrames(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_JumpToFrame(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}
