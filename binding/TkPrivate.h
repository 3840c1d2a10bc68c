// The one place the binding reads a layout Tk keeps private.
#ifndef VISTEL_TKPRIVATE_H
#define VISTEL_TKPRIVATE_H

#include <tcl.h>
#include <tk.h>
#undef GrayScale

// The command of a photo, whatever it is now called: Tk keeps its token in
// the photo's record and deletes it whenever the photo goes away.
Tcl_Command PhotoCommand(Tk_PhotoHandle photo);

#endif
