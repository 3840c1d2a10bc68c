#include "PhotoResolution.h"

#include <unordered_map>

#include "TkPrivate.h"

namespace photoresolution {

namespace {

struct Record {
    Tcl_Interp* interp;
    Tcl_Command command;  // the photo's, watched for its deletion
    long xDpi, yDpi;
    int width, height;    // the photo's size after the read
};

using Records = std::unordered_map<Tk_PhotoHandle, Record>;

// A photo lives in one thread: each thread keeps its own records.
Tcl_ThreadDataKey recordsKey;

Records** Slot()
{
    return (Records**)Tcl_GetThreadData(&recordsKey, sizeof(Records*));
}

// Tk's own exit handler, set up before this one and so run after it,
// deletes the photos that are left, and their command traces then look for
// the records: they must find none.
void FreeRecords(ClientData data)
{
    *Slot() = nullptr;
    delete (Records*)data;
}

Records* State(bool create)
{
    Records** slot = Slot();
    if (!*slot && create) {
        *slot = new Records();
        Tcl_CreateThreadExitHandler(FreeRecords, *slot);
    }
    return *slot;
}

void OnCommandDeleted(ClientData data, Tcl_Interp*, const char*, const char*, int)
{
    if (Records* records = State(false)) records->erase((Tk_PhotoHandle)data);
}

// Tk deletes a photo's command whenever the photo goes away, whatever the
// command is called by then: the record goes with it.
int Trace(const Record& r, Tk_PhotoHandle photo, bool watch)
{
    Tcl_Obj* name = Tcl_NewObj();
    Tcl_IncrRefCount(name);
    Tcl_GetCommandFullName(r.interp, r.command, name);
    int rc = TCL_OK;
    if (watch)
        rc = Tcl_TraceCommand(r.interp, Tcl_GetString(name), TCL_TRACE_DELETE, OnCommandDeleted,
                              photo);
    else
        Tcl_UntraceCommand(r.interp, Tcl_GetString(name), TCL_TRACE_DELETE, OnCommandDeleted,
                           photo);
    Tcl_DecrRefCount(name);
    return rc;
}

}  // namespace

void Remember(Tcl_Interp* interp, Tk_PhotoHandle photo, const Vistel& image)
{
    if (!image.GetXDPI() && !image.GetYDPI()) {
        Forget(photo);
        return;
    }
    Records& records = *State(true);
    auto it = records.find(photo);
    if (it == records.end()) {
        Record r = {interp, PhotoCommand(photo), 0, 0, 0, 0};
        if (!r.command || Trace(r, photo, true) != TCL_OK) return;
        it = records.emplace(photo, r).first;
    }
    it->second.xDpi = image.GetXDPI();
    it->second.yDpi = image.GetYDPI();
    Tk_PhotoGetSize(photo, &it->second.width, &it->second.height);
}

void Forget(Tk_PhotoHandle photo)
{
    Records* records = State(false);
    auto it = records ? records->find(photo) : Records::iterator();
    if (!records || it == records->end()) return;
    Trace(it->second, photo, false);
    records->erase(it);
}

void Apply(const Tk_PhotoImageBlock& block, Vistel* image)
{
    Records* records = State(false);
    if (!records) return;
    for (const auto& entry : *records) {
        // Tk hands a write the photo's own pixels, from the corner the
        // write starts at.
        Tk_PhotoImageBlock own;
        Tk_PhotoGetImage(entry.first, &own);
        const unsigned char* end = own.pixelPtr + (size_t)own.pitch * own.height;
        if (block.pixelPtr < own.pixelPtr || block.pixelPtr >= end) continue;
        if (own.width != entry.second.width || own.height != entry.second.height) return;
        image->SetXDPI(entry.second.xDpi);
        image->SetYDPI(entry.second.yDpi);
        return;
    }
}

}  // namespace photoresolution
