// The ::Vistel:: commands.
#ifndef VISTEL_COMMANDS_H
#define VISTEL_COMMANDS_H

#include "TkVistel.h"

// Creates every ::Vistel:: command in the interpreter.
void RegisterCommands(Tcl_Interp* interp);

#include <vector>

#include "VsTypes.h"

// Shared by the command files.
int Usage(Tcl_Interp* interp, const char* command, const char* words);
// The refusal of a command that opens files by name in a safe interpreter.
int RefuseInSafe(Tcl_Interp* interp, const char* command);
// A file's bytes, through Tcl's file system. False with Tcl's message.
bool ReadFile(Tcl_Interp* interp, Tcl_Obj* path, std::vector<BYTE>* bytes);

// Files: ::Vistel::Convert, IsAnimated, Limit, Info.
Tcl_ObjCmdProc ConvertCmd, IsAnimatedCmd, LimitCmd, InfoCmd;
// Photos: ::Vistel::Resize, Thumbnail, Colorize, Rotate.
Tcl_ObjCmdProc ResizeCmd, ThumbnailCmd, ColorizeCmd, RotateCmd;
// Animations: ::Vistel::StartAnimation, StopAnimation, NumberOfFrames,
// JumpToFrame.
Tcl_ObjCmdProc StartAnimationCmd, StopAnimationCmd, NumberOfFramesCmd, JumpToFrameCmd;

#endif
