// Extension entry: commands and photo formats registered per interpreter
// and thread, the package provided, and the shared helpers.
#include "TkVistel.h"

#include <cstring>

#include "Commands.h"
#include "PhotoFormat.h"

namespace {

const char kCeilingKey[] = "Vistel::ceiling";

// Tk keeps photo formats per thread: each thread registers them once.
Tcl_ThreadDataKey formatsKey;

void RegisterFormatsOnce()
{
    int* registered = (int*)Tcl_GetThreadData(&formatsKey, sizeof(int));
    if (*registered) return;
    *registered = 1;
    RegisterPhotoFormats();
}

void FreeCeiling(ClientData data, Tcl_Interp*)
{
    ckfree((char*)data);
}

}  // namespace

extern "C" int Tkvistel_Init(Tcl_Interp* interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) return TCL_ERROR;
    if (Tk_InitStubs(interp, "8.6", 0) == nullptr) return TCL_ERROR;
    if (Tcl_PkgRequire(interp, "Tk", "8.6", 0) == nullptr) return TCL_ERROR;

    RegisterCommands(interp);
    RegisterFormatsOnce();
    // Provided here too, so that `package require` finds it after a plain
    // `load` of the library from anywhere.
    return Tcl_PkgProvide(interp, "Tkvistel", TKVISTEL_VERSION);
}

extern "C" int Tkvistel_SafeInit(Tcl_Interp* interp)
{
    return Tkvistel_Init(interp);
}

int VistelError(Tcl_Interp* interp, const char* message, const char* code, const char* detail)
{
    if (!interp) return TCL_ERROR;
    if (message && *message) Tcl_AppendResult(interp, message, (char*)nullptr);
    if (*Tcl_GetStringResult(interp) == '\0')
        Tcl_AppendResult(interp, "the operation failed for an unknown reason", (char*)nullptr);
    Tcl_SetErrorCode(interp, "VISTEL", code, detail, (char*)nullptr);
    return TCL_ERROR;
}

uint64_t InterpMaxPixels(Tcl_Interp* interp)
{
    const uint64_t* stored =
        interp ? (const uint64_t*)Tcl_GetAssocData(interp, kCeilingKey, nullptr) : nullptr;
    return stored ? *stored : vssize::kDefaultMaxPixels;
}

void SetInterpMaxPixels(Tcl_Interp* interp, uint64_t maxPixels)
{
    uint64_t* stored = (uint64_t*)Tcl_GetAssocData(interp, kCeilingKey, nullptr);
    if (!stored) {
        stored = (uint64_t*)ckalloc(sizeof(uint64_t));
        Tcl_SetAssocData(interp, kCeilingKey, FreeCeiling, stored);
    }
    *stored = maxPixels;
}

Tk_Window MainWindow(Tcl_Interp* interp)
{
    Tk_Window main = Tk_MainWindow(interp);
    if (!main) {
        Tcl_ResetResult(interp);
        VistelError(interp, "application has been destroyed", "PHOTO", "DESTROYED");
    }
    return main;
}

Tk_PhotoHandle FindPhoto(Tcl_Interp* interp, Tcl_Obj* name)
{
    if (!MainWindow(interp)) return nullptr;
    Tk_PhotoHandle photo = Tk_FindPhoto(interp, Tcl_GetString(name));
    if (!photo)
        VistelError(interp, "The image you specified is not a valid photo image", "PHOTO",
                    "NOTFOUND");
    return photo;
}
