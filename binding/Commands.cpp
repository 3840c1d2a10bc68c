#include "Commands.h"

namespace {

struct CommandEntry {
    const char* name;
    Tcl_ObjCmdProc* proc;
};

const CommandEntry kCommands[] = {
    {"::Vistel::Convert", ConvertCmd},
    {"::Vistel::IsAnimated", IsAnimatedCmd},
    {"::Vistel::Limit", LimitCmd},
    {"::Vistel::Info", InfoCmd},
    {"::Vistel::Resize", ResizeCmd},
    {"::Vistel::Thumbnail", ThumbnailCmd},
    {"::Vistel::Colorize", ColorizeCmd},
    {"::Vistel::Rotate", RotateCmd},
    {"::Vistel::StartAnimation", StartAnimationCmd},
    {"::Vistel::StopAnimation", StopAnimationCmd},
    {"::Vistel::NumberOfFrames", NumberOfFramesCmd},
    {"::Vistel::JumpToFrame", JumpToFrameCmd},
};

}  // namespace

void RegisterCommands(Tcl_Interp* interp)
{
    for (const CommandEntry& cmd : kCommands)
        Tcl_CreateObjCommand(interp, cmd.name, cmd.proc, nullptr, nullptr);
}

int Usage(Tcl_Interp* interp, const char* command, const char* words)
{
    Tcl_AppendResult(interp, "Wrong number of args.\nShould be \"", command, " ", words, "\"",
                     (char*)nullptr);
    return VistelError(interp, nullptr, "USAGE");
}
