#include "Animation.h"

#include <memory>
#include <queue>
#include <unordered_map>
#include <vector>

#include "CommandWatch.h"
#include "GifComposer.h"
#include "PerThread.h"
#include "Shrink.h"
#include "TkPrivate.h"

namespace animation {

namespace {

// One animated photo.
struct Record {
    Record(Tcl_Interp* in, Tk_PhotoHandle p, GifFile&& g)
        : interp(in), photo(p), gif(std::move(g)), composer(gif)
    {
    }

    Tcl_Interp* interp;        // the photo's interpreter
    Tk_PhotoHandle photo;      // the key: the photo whatever its name
    Tcl_Command command = nullptr;  // the photo's command, watched for deletion
    GifFile gif;
    GifComposer composer;      // composes `gif`; the record never moves
    int scale = 1;             // frames are shown at 1/scale of the screen's size
    PhotoRegion region;        // the part of each (scaled) frame that lands in the photo
    bool opaque = false;       // no frame can leave a pixel transparent
    std::vector<FrameOperation> operations;
    size_t shown = 0;          // the frame on show
    int playsDone = 0;
    bool running = true;       // not paused
    bool ended = false;        // played its loops; stays on its last frame
    uint64_t ticket = 0;       // its entry in the queue of frame changes; 0: none
};

// A frame change waiting its time. Entries are never removed early: one
// whose ticket its record no longer holds is dropped when it comes up.
struct Due {
    Tcl_WideInt when;
    uint64_t ticket;
    Tk_PhotoHandle photo;
    bool operator>(const Due& o) const { return when != o.when ? when > o.when : ticket > o.ticket; }
};

// Tk runs one event loop per thread, and a photo lives in one thread: each
// thread keeps its own animations and its one timer (which Tcl releases
// itself when the thread exits).
struct ThreadState {
    std::unordered_map<Tk_PhotoHandle, std::unique_ptr<Record>> records;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> queue;
    uint64_t nextTicket = 1;
    Tcl_TimerToken timer = nullptr;
    Tcl_WideInt timerDue = 0;
};

PerThread<ThreadState> threadState;

ThreadState* State(bool create)
{
    return threadState.Get(create);
}

Record* Find(Tk_PhotoHandle photo)
{
    ThreadState* st = State(false);
    if (!st) return nullptr;
    auto it = st->records.find(photo);
    return it == st->records.end() ? nullptr : it->second.get();
}

Tcl_WideInt NowMs()
{
    Tcl_Time t;
    Tcl_GetTime(&t);
    return (Tcl_WideInt)t.sec * 1000 + t.usec / 1000;
}

// ------------------------------------------------------------- showing

GifRect Intersect(const GifRect& a, const GifRect& b)
{
    GifRect r;
    r.x = std::max(a.x, b.x);
    r.y = std::max(a.y, b.y);
    r.width = std::min(a.x + a.width, b.x + b.width) - r.x;
    r.height = std::min(a.y + a.height, b.y + b.height) - r.y;
    if (r.Empty()) r = GifRect();
    return r;
}

GifRect SourceRect(const Record& r)
{
    return GifRect{r.region.srcX, r.region.srcY, r.region.width, r.region.height};
}

// The region of the composed screen as an image (the whole screen, shrunk,
// for a scaled animation): 24-bit, with an alpha plane when any pixel is
// not opaque.
bool CanvasToImage(const Record& r, Vistel* image, std::string* error)
{
    const GifRect src =
        r.scale > 1 ? GifRect{0, 0, r.composer.Width(), r.composer.Height()} : SourceRect(r);
    Vistel work;
    if (!work.Create((DWORD)src.width, (DWORD)src.height, 24, VISTEL_FORMAT_GIF)) {
        *error = work.GetLastError();
        return false;
    }
    if (!r.opaque) work.AlphaCreate();
    const uint8_t* canvas = r.composer.Rgba();
    const int pitch = r.composer.Width() * 4;
    BYTE allAlpha = 255;
    for (int y = 0; y < src.height; y++) {
        const uint8_t* from = canvas + (size_t)(src.y + y) * pitch + (size_t)src.x * 4;
        const DWORD row = (DWORD)(src.height - 1 - y);
        BYTE* to = work.GetBits(row);
        BYTE* alpha = work.AlphaIsValid() ? work.AlphaGetPointer(0, (long)row) : nullptr;
        for (int x = 0; x < src.width; x++, from += 4, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
            if (alpha) allAlpha &= alpha[x] = from[3];
        }
    }
    if (allAlpha == 255) work.AlphaDelete();
    if (!ShrinkByArea(work, r.scale)) {
        *error = work.GetLastError();
        return false;
    }
    image->Transfer(work);
    return true;
}

// The frame on show after the record's operations and, when given, one more.
bool TransformedFrame(Record& r, const FrameOperation* extra, Vistel* frame, std::string* error)
{
    if (!CanvasToImage(r, frame, error)) return false;
    for (const FrameOperation& op : r.operations)
        if (!op(*frame, error)) return false;
    return !extra || (*extra)(*frame, error);
}

// Puts the frame on show into the photo: only what changed on the screen
// since the last put, or, when frames are scaled or operations reshape
// them, all of it.
int Show(Tcl_Interp* interp, Record& r, bool whole)
{
    if (!r.composer.ComposeTo(r.shown))
        return VistelError(interp, "not enough memory to compose the animation", "MEMORY");
    GifRect changed = r.composer.TakeChanges();
    if (!r.operations.empty() || r.scale > 1) {
        Vistel frame;
        std::string error;
        if (!TransformedFrame(r, nullptr, &frame, &error))
            return VistelError(interp, error.c_str(), "IMAGE");
        if (r.operations.empty()) return PutImageRegion(interp, r.photo, frame, r.region);
        return ReplacePhoto(interp, r.photo, frame);
    }
    const GifRect src = SourceRect(r);
    const GifRect part = Intersect(whole ? src : changed, src);
    if (part.Empty()) return TCL_OK;
    const int pitch = r.composer.Width() * 4;
    const uint8_t* from = r.composer.Rgba() + (size_t)part.y * pitch + (size_t)part.x * 4;
    return PutRgba(interp, r.photo, from, pitch, r.region.destX + part.x - src.x,
                   r.region.destY + part.y - src.y, part.width, part.height, r.opaque);
}

// Whether no composition of the file can hold a transparent pixel: the
// first frame covers the screen to its last pixel and nothing is ever left
// unpainted or cleared.
bool AlwaysOpaque(const GifFile& gif)
{
    const GifFrame& first = gif.frames[0];
    if (first.left != 0 || first.top != 0 || first.width != gif.width ||
        first.height != gif.height || first.indices.size() != (size_t)first.width * first.height)
        return false;
    for (const GifFrame& f : gif.frames)
        if (f.transparent >= 0 || f.disposal >= 2) return false;
    return true;
}

// ------------------------------------------------------------- timing

bool IsStale(ThreadState& st, const Due& d)
{
    auto it = st.records.find(d.photo);
    return it == st.records.end() || it->second->ticket != d.ticket;
}

void OnTimer(ClientData);

// Keeps the thread's one timer set for the earliest frame change due.
void ArmTimer(ThreadState& st)
{
    while (!st.queue.empty() && IsStale(st, st.queue.top())) st.queue.pop();
    if (st.queue.empty()) {
        if (st.timer) Tcl_DeleteTimerHandler(st.timer);
        st.timer = nullptr;
        return;
    }
    const Tcl_WideInt when = st.queue.top().when;
    if (st.timer && st.timerDue <= when) return;
    if (st.timer) Tcl_DeleteTimerHandler(st.timer);
    const Tcl_WideInt wait = when - NowMs();
    st.timer = Tcl_CreateTimerHandler(wait > 0 ? (int)wait : 0, OnTimer, nullptr);
    st.timerDue = when;
}

void Schedule(ThreadState& st, Record& r, Tcl_WideInt when)
{
    r.ticket = st.nextTicket++;
    st.queue.push(Due{when, r.ticket, r.photo});
    ArmTimer(st);
}

void Unschedule(Record& r)
{
    r.ticket = 0;
}

// The frame after the one on show, or false when the loops are played.
bool NextFrame(Record& r, size_t* next)
{
    *next = r.shown + 1;
    if (*next < r.gif.frames.size()) return true;
    // A loop count n plays the frames n + 1 times; 0 for ever; a file
    // without the block once.
    r.playsDone++;
    const int loops = r.gif.loops;
    if (loops == 0 || (loops > 0 && r.playsDone <= loops)) {
        *next = 0;
        return true;
    }
    return false;
}

void Advance(ThreadState& st, Record& r, Tcl_WideInt dueAt, Tcl_WideInt now)
{
    size_t next;
    if (!NextFrame(r, &next)) {
        r.ended = true;
        return;
    }
    r.shown = next;
    // A frame that cannot be shown leaves the one before it in the photo.
    Show(nullptr, r, false);
    // Frames keep their rhythm; after a long stall it starts afresh.
    const Tcl_WideInt delay = r.gif.ShowMilliseconds(r.shown);
    Tcl_WideInt when = dueAt + delay;
    if (when < now - delay) when = now + delay;
    Schedule(st, r, when);
}

void OnTimer(ClientData)
{
    ThreadState* st = State(false);
    if (!st) return;
    st->timer = nullptr;
    const Tcl_WideInt now = NowMs();
    std::vector<Due> due;
    while (!st->queue.empty() && st->queue.top().when <= now) {
        const Due d = st->queue.top();
        st->queue.pop();
        if (!IsStale(*st, d)) due.push_back(d);
    }
    // Showing a frame runs no script, so no record goes away meanwhile.
    for (const Due& d : due) {
        Record& r = *st->records[d.photo];
        r.ticket = 0;
        Advance(*st, r, d.when, now);
    }
    ArmTimer(*st);
}

// ------------------------------------------------------------- life cycle

void OnCommandDeleted(ClientData data, Tcl_Interp*, const char*, const char*, int);

// Tk deletes a photo's command whenever the photo goes away (image delete,
// a new image of its name, the interpreter's deletion), whatever the
// command is called by then: the record goes with it, before Tk releases
// the photo.
bool Watch(Record& r)
{
    r.command = PhotoCommand(r.photo);
    return r.command && WatchDeletion(r.interp, r.command, OnCommandDeleted, r.photo) == TCL_OK;
}

void Unwatch(Record& r)
{
    UnwatchDeletion(r.interp, r.command, OnCommandDeleted, r.photo);
}

void OnCommandDeleted(ClientData data, Tcl_Interp*, const char*, const char*, int)
{
    ThreadState* st = State(false);
    if (st) st->records.erase((Tk_PhotoHandle)data);
}

// The read's region, kept on the (scaled) screen.
PhotoRegion ClipToScreen(const PhotoRegion& region, const GifFile& gif, int scale)
{
    PhotoRegion r = region;
    r.width = ClipSpan(r.srcX, r.width, (gif.width + scale - 1) / scale);
    r.height = ClipSpan(r.srcY, r.height, (gif.height + scale - 1) / scale);
    return r;
}

}  // namespace

int Play(Tcl_Interp* interp, Tk_PhotoHandle photo, GifFile&& gif, const PhotoRegion& region,
         int scale)
{
    ThreadState& st = *State(true);
    auto record = std::make_unique<Record>(interp, photo, std::move(gif));
    Record& r = *record;
    r.scale = scale > 1 ? scale : 1;
    r.region = ClipToScreen(region, r.gif, r.scale);
    r.opaque = AlwaysOpaque(r.gif);
    if (r.region.width > 0 && r.region.height > 0 &&
        Tk_PhotoExpand(interp, photo, r.region.destX + r.region.width,
                       r.region.destY + r.region.height) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    if (Show(interp, r, true) != TCL_OK) return TCL_ERROR;
    Forget(photo);
    // A photo whose command cannot be watched keeps frame 0 as a still.
    if (!Watch(r)) return TCL_OK;
    st.records[photo] = std::move(record);
    Schedule(st, r, NowMs() + r.gif.ShowMilliseconds(0));
    return TCL_OK;
}

void Forget(Tk_PhotoHandle photo)
{
    ThreadState* st = State(false);
    if (!st) return;
    auto it = st->records.find(photo);
    if (it == st->records.end()) return;
    Unwatch(*it->second);
    st->records.erase(it);
}

bool IsAnimated(Tk_PhotoHandle photo)
{
    return Find(photo) != nullptr;
}

size_t FrameCount(Tk_PhotoHandle photo)
{
    const Record* r = Find(photo);
    return r ? r->gif.frames.size() : 1;
}

void Stop(Tk_PhotoHandle photo)
{
    Record* r = Find(photo);
    if (!r) return;
    r->running = false;
    Unschedule(*r);
}

void Start(Tk_PhotoHandle photo)
{
    Record* r = Find(photo);
    if (!r) return;
    if (r->ended) {
        r->ended = false;
        r->playsDone = 0;
        r->shown = 0;
        Show(nullptr, *r, false);
        Unschedule(*r);
    }
    r->running = true;
    if (!r->ticket) Schedule(*State(true), *r, NowMs() + r->gif.ShowMilliseconds(r->shown));
}

int Jump(Tcl_Interp* interp, Tk_PhotoHandle photo, size_t n)
{
    Record* r = Find(photo);
    if (!r || n >= r->gif.frames.size()) return TCL_OK;
    r->shown = n;
    if (Show(interp, *r, false) != TCL_OK) return TCL_ERROR;
    if (r->running && !r->ended)
        Schedule(*State(true), *r, NowMs() + r->gif.ShowMilliseconds(n));
    return TCL_OK;
}

int Transform(Tcl_Interp* interp, Tk_PhotoHandle photo, const FrameOperation& operation)
{
    Record* r = Find(photo);
    if (!r) return TCL_OK;
    if (!r->composer.ComposeTo(r->shown))
        return VistelError(interp, "not enough memory to compose the animation", "MEMORY");
    r->composer.TakeChanges();
    Vistel frame;
    std::string error;
    if (!TransformedFrame(*r, &operation, &frame, &error))
        return VistelError(interp, error.c_str(), "IMAGE");
    // Every frame will be made at this size: together they stay within the
    // ceiling, as a read of so many frames would.
    uint64_t pixels;
    if (!vssize::Mul((uint64_t)frame.GetWidth() * frame.GetHeight(), r->gif.frames.size(),
                     &pixels) ||
        pixels > InterpMaxPixels(interp))
        return VistelError(interp, vssize::kTooLarge, "MEMORY");
    if (ReplacePhoto(interp, photo, frame) != TCL_OK) return TCL_ERROR;
    r->operations.push_back(operation);
    return TCL_OK;
}

}  // namespace animation
