#include "CommandWatch.h"

namespace {

// Tcl traces commands by name: the command's present full name.
int Trace(Tcl_Interp* interp, Tcl_Command command, Tcl_CommandTraceProc* proc, ClientData data,
          bool watch)
{
    Tcl_Obj* name = Tcl_NewObj();
    Tcl_IncrRefCount(name);
    Tcl_GetCommandFullName(interp, command, name);
    int rc = TCL_OK;
    if (watch)
        rc = Tcl_TraceCommand(interp, Tcl_GetString(name), TCL_TRACE_DELETE, proc, data);
    else
        Tcl_UntraceCommand(interp, Tcl_GetString(name), TCL_TRACE_DELETE, proc, data);
    Tcl_DecrRefCount(name);
    return rc;
}

}  // namespace

int WatchDeletion(Tcl_Interp* interp, Tcl_Command command, Tcl_CommandTraceProc* proc,
                  ClientData data)
{
    return Trace(interp, command, proc, data, true);
}

void UnwatchDeletion(Tcl_Interp* interp, Tcl_Command command, Tcl_CommandTraceProc* proc,
                     ClientData data)
{
    Trace(interp, command, proc, data, false);
}
