#include "ChannelSource.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PixelMemory.h"

namespace {

// What matches have read, for the channel they read it from. Dropped when
// that channel closes, so that a later channel at the same address never
// sees them.
thread_local ChannelBytes matched;

const size_t kReadSlice = (size_t)1 << 30;

void DropMatched(ClientData)
{
    free(matched.bytes);
    matched = ChannelBytes();
}

void ForgetMatched()
{
    if (matched.chan) Tcl_DeleteCloseHandler(matched.chan, DropMatched, nullptr);
    DropMatched(nullptr);
}

// Bytes a channel has left from its current position, when it can tell
// (files can); -1 otherwise.
Tcl_WideInt RemainingBytes(Tcl_Channel chan)
{
    const Tcl_WideInt here = Tcl_Tell(chan);
    if (here < 0) return -1;
    const Tcl_WideInt end = Tcl_Seek(chan, 0, SEEK_END);
    if (Tcl_Seek(chan, here, SEEK_SET) != here || end < here) return -1;
    return end - here;
}

// Makes room for more of the channel, at most `upTo` bytes in all. A file's
// size is known, so its bytes get one block of that size (plus the byte
// whose absence shows the end).
bool Reserve(Tcl_Channel chan, ChannelBytes* data, size_t upTo)
{
    const Tcl_WideInt remaining = RemainingBytes(chan);
    // A file longer than any decoder takes is refused before its size is
    // allocated.
    if (remaining >= 0 && (uint64_t)data->length + (uint64_t)remaining > kMaxDataBytes &&
        upTo > kMaxDataBytes)
        return false;
    uint64_t wanted = remaining >= 0 ? (uint64_t)data->length + (uint64_t)remaining + 1 : 0;
    // Channels that cannot tell, or tell less than they hold (a device says
    // 0), double the block, so that reading them costs no more than linear.
    wanted = std::max<uint64_t>(wanted, std::max<uint64_t>(data->capacity * 2, 1 << 16));
    if (wanted > upTo) wanted = upTo;
    if (wanted <= data->capacity) wanted = (uint64_t)data->capacity + (1 << 16);
    BYTE* larger = (BYTE*)AllocPixelMemory((size_t)wanted);
    if (!larger) return false;
    if (data->length) memcpy(larger, data->bytes, data->length);
    free(data->bytes);
    data->bytes = larger;
    data->capacity = (size_t)wanted;
    return true;
}

// Reads on until the end of the channel or until `upTo` bytes are held.
// False when reading fails, memory runs out or the data passes what a
// decoder can take.
bool ReadUpTo(Tcl_Interp* interp, Tcl_Channel chan, ChannelBytes* data, size_t upTo)
{
    if (data->chan == nullptr) {
        Tcl_SetChannelOption(interp, chan, "-translation", "binary");
        // Buffers of 64 KiB are reused from read to read; larger ones are
        // fresh memory each time, whose first touch costs more than the
        // system calls they save (a fifth of a JPEG read at 1/8 scale).
        Tcl_SetChannelOption(interp, chan, "-buffersize", "65536");
        data->chan = chan;
        data->start = Tcl_Tell(chan);
        data->total = RemainingBytes(chan);
    }
    if (upTo > kMaxDataBytes + 1) upTo = kMaxDataBytes + 1;
    while (!data->complete && data->length < upTo) {
        if (data->length == data->capacity && !Reserve(chan, data, upTo)) return false;
        // Slices a Tcl_Read length (an int) always holds.
        const size_t room = std::min(std::min(data->capacity, upTo) - data->length, kReadSlice);
        const int got = Tcl_Read(chan, (char*)data->bytes + data->length, (int)room);
        if (got < 0) return false;
        data->length += (size_t)got;
        if (got == 0 || Tcl_Eof(chan)) data->complete = true;
    }
    return data->length <= kMaxDataBytes;
}

}  // namespace

const ChannelBytes* MatchBytes(Tcl_Interp* interp, Tcl_Channel chan, size_t wanted)
{
    if (matched.chan != chan) {
        ForgetMatched();
        if (!ReadUpTo(interp, chan, &matched, wanted)) {
            DropMatched(nullptr);
            return nullptr;
        }
        Tcl_CreateCloseHandler(chan, DropMatched, nullptr);
    } else if (!matched.complete && matched.length < wanted &&
               !ReadUpTo(interp, chan, &matched, wanted)) {
        return nullptr;
    }
    return &matched;
}

void TakeMatchedBytes(Tcl_Channel chan, ChannelBytes* out)
{
    *out = ChannelBytes();
    if (matched.chan != chan) return;
    Tcl_DeleteCloseHandler(chan, DropMatched, nullptr);
    *out = matched;
    matched = ChannelBytes();
    Tcl_Seek(chan, out->start + (Tcl_WideInt)out->length, SEEK_SET);
}

bool ReadRest(Tcl_Interp* interp, Tcl_Channel chan, ChannelBytes* data)
{
    return ReadUpTo(interp, chan, data, kMaxDataBytes + 1);
}

void ReleaseChannelBytes(ChannelBytes* data)
{
    free(data->bytes);
    *data = ChannelBytes();
}

size_t ChannelFile::Read(void* buffer, size_t size, size_t count)
{
    if (size == 0 || count == 0 || count > (size_t)INT32_MAX / size) return 0;
    const int got = Tcl_Read(chan_, (char*)buffer, (int)(size * count));
    return got > 0 ? (size_t)got / size : 0;
}

bool ChannelFile::Seek(long offset, int origin)
{
    const Tcl_WideInt base = origin == SEEK_SET ? start_ : 0;
    return Tcl_Seek(chan_, base + offset, origin) >= 0;
}

long ChannelFile::Tell()
{
    return (long)(Tcl_Tell(chan_) - start_);
}

long ChannelFile::Size()
{
    const Tcl_WideInt remaining = RemainingBytes(chan_);
    return remaining < 0 ? -1 : (long)(Tcl_Tell(chan_) - start_ + remaining);
}

bool ChannelFile::Eof()
{
    return Tcl_Eof(chan_) != 0;
}

long ChannelFile::GetC()
{
    unsigned char c;
    return Tcl_Read(chan_, (char*)&c, 1) == 1 ? c : -1;
}
