// ::Vistel::StartAnimation, StopAnimation, NumberOfFrames, JumpToFrame.
#include "Animation.h"
#include "Commands.h"

namespace {

// A command whose one word names the photo it acts on.
template <class Act>
int OnPhoto(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* command, Act act)
{
    if (objc != 2) return Usage(interp, command, "photoImage_name");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    act(photo);
    return TCL_OK;
}

}  // namespace

int StartAnimationCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return OnPhoto(interp, objc, objv, "::Vistel::StartAnimation", animation::Start);
}

int StopAnimationCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return OnPhoto(interp, objc, objv, "::Vistel::StopAnimation", animation::Stop);
}

int NumberOfFramesCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    return OnPhoto(interp, objc, objv, "::Vistel::NumberOfFrames", [interp](Tk_PhotoHandle photo) {
        Tcl_SetObjResult(interp, Tcl_NewWideIntObj((Tcl_WideInt)animation::FrameCount(photo)));
    });
}

int JumpToFrameCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3) return Usage(interp, "::Vistel::JumpToFrame", "photoImage_name frame_number");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    if (!animation::IsAnimated(photo))
        return VistelError(interp, "The image you specified is not an animated image", "PHOTO",
                           "NOTANIMATED");
    Tcl_WideInt frame;
    if (Tcl_GetWideIntFromObj(interp, objv[2], &frame) != TCL_OK)
        return VistelError(interp, nullptr, "VALUE");
    if (frame < 0)
        return VistelError(interp, "Bad frame number : can't be negative", "FRAME", "NEGATIVE");
    if ((uint64_t)frame >= animation::FrameCount(photo))
        return VistelError(interp, "The image you specified hasn't enough frames", "FRAME",
                           "RANGE");
    InterpCeiling ceiling(interp);
    return animation::Jump(interp, photo, (size_t)frame);
}
