#include "PhotoResolution.h"

#include <unordered_map>

#include "CommandWatch.h"
#include "PerThread.h"
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

PerThread<Records> threadRecords;

Records* State(bool create)
{
    return threadRecords.Get(create);
}

void OnCommandDeleted(ClientData data, Tcl_Interp*, const char*, const char*, int)
{
    if (Records* records = State(false)) records->erase((Tk_PhotoHandle)data);
}

// Tk deletes a photo's command whenever the photo goes away, whatever the
// command is called by then: the record goes with it.
int Trace(const Record& r, Tk_PhotoHandle photo, bool watch)
{
    if (watch) return WatchDeletion(r.interp, r.command, OnCommandDeleted, photo);
    UnwatchDeletion(r.interp, r.command, OnCommandDeleted, photo);
    return TCL_OK;
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
