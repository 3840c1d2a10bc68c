// Traces on a command's deletion, which follow the command whatever it is
// called by then.
#ifndef VISTEL_COMMANDWATCH_H
#define VISTEL_COMMANDWATCH_H

#include <tcl.h>

// Calls `proc` with `data` when the command is deleted. TCL_OK, or
// TCL_ERROR when the command cannot be traced.
int WatchDeletion(Tcl_Interp* interp, Tcl_Command command, Tcl_CommandTraceProc* proc,
                  ClientData data);
// Takes back a watch set with the same arguments.
void UnwatchDeletion(Tcl_Interp* interp, Tcl_Command command, Tcl_CommandTraceProc* proc,
                     ClientData data);

#endif
