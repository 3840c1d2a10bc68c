#include "PhotoFormat.h"

#include "TkVistel.h"

namespace {

int NotAvailable(Tcl_Interp* interp, const char* what)
{
    if (interp) Tcl_AppendResult(interp, what, " is not available in this build", (char*)nullptr);
    return TCL_ERROR;
}

}  // namespace

int ObjMatch(Tcl_Obj*, Tcl_Obj*, int*, int*, Tcl_Interp*)
{
    return 0;
}

int ChanMatch(Tcl_Channel, const char*, Tcl_Obj*, int*, int*, Tcl_Interp*)
{
    return 0;
}

int ObjRead(Tcl_Interp* interp, Tcl_Obj*, Tcl_Obj*, Tk_PhotoHandle, int, int, int, int, int, int)
{
    return NotAvailable(interp, "reading image data");
}

int ChanRead(Tcl_Interp* interp, Tcl_Channel, const char*, Tcl_Obj*, Tk_PhotoHandle, int, int,
             int, int, int, int)
{
    return NotAvailable(interp, "reading image files");
}

int ChanWrite(Tcl_Interp* interp, const char*, Tcl_Obj*, Tk_PhotoImageBlock*)
{
    return NotAvailable(interp, "writing image files");
}

int StringWrite(Tcl_Interp* interp, Tcl_Obj*, Tk_PhotoImageBlock*)
{
    return NotAvailable(interp, "writing image data");
}

void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY)
{
    if (PhotoDisplayOriginal)
        PhotoDisplayOriginal(instanceData, display, drawable, imageX, imageY, width, height,
                             drawableX, drawableY);
}
