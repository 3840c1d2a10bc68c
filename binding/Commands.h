// The ::Vistel:: commands.
#ifndef VISTEL_COMMANDS_H
#define VISTEL_COMMANDS_H

#include "TkVistel.h"

// Creates every ::Vistel:: command in the interpreter.
void RegisterCommands(Tcl_Interp* interp);

// Shared by the command files.
int Usage(Tcl_Interp* interp, const char* command, const char* words);

// Files: ::Vistel::Convert, IsAnimated, Limit.
Tcl_ObjCmdProc ConvertCmd, IsAnimatedCmd, LimitCmd;
// Photos: ::Vistel::Resize, Thumbnail, Colorize, Rotate.
Tcl_ObjCmdProc ResizeCmd, ThumbnailCmd, ColorizeCmd, RotateCmd;
// Animations: ::Vistel::StartAnimation, StopAnimation, NumberOfFrames,
// JumpToFrame.
Tcl_ObjCmdProc StartAnimationCmd, StopAnimationCmd, NumberOfFramesCmd, JumpToFrameCmd;

#endif
