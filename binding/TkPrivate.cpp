#include "TkPrivate.h"

namespace {

// The head of Tk 8.6's photo record (PhotoModel in tkImgPhoto.h, the record
// a Tk_PhotoHandle points to): Tk's image token, the photo's interpreter and
// its command token come first. No public call returns the command of a
// photo, and a name can be renamed.
struct PhotoRecordHead {
    Tk_ImageMaster image;
    Tcl_Interp* interp;
    Tcl_Command command;
};

}  // namespace

Tcl_Command PhotoCommand(Tk_PhotoHandle photo)
{
    return photo ? ((const PhotoRecordHead*)photo)->command : nullptr;
}
