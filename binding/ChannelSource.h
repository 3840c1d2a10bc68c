// The bytes of a channel that a photo read takes: Tk asks the match of each
// format in turn, rewinding the channel between them, and then the read of
// the one that matched. What a match reads stays with that channel until
// the read takes it or the channel closes, so the file is read once.
#ifndef VISTEL_CHANNELSOURCE_H
#define VISTEL_CHANNELSOURCE_H

#include <cstddef>

#include "TkVistel.h"
#include "VsFile.h"

// Bytes read from a channel, from `start` (its position when reading began).
struct ChannelBytes {
    Tcl_Channel chan = nullptr;
    Tcl_WideInt start = 0;
    BYTE* bytes = nullptr;  // from AllocPixelMemory; release with free()
    size_t length = 0;
    size_t capacity = 0;
    bool complete = false;  // the bytes reach the end of the channel
    Tcl_WideInt total = -1; // bytes the channel has from start; -1 unknown
};

// Longest data any decoder takes (lengths are passed on as int).
const size_t kMaxDataBytes = 0x7FFFFFFF;

// The channel's bytes as far as a match needs them: at least `wanted`
// bytes, or all there are. Null when reading fails.
const ChannelBytes* MatchBytes(Tcl_Interp* interp, Tcl_Channel chan, size_t wanted);

// Hands the read what the match kept of the channel (possibly nothing),
// with the channel placed after it.
void TakeMatchedBytes(Tcl_Channel chan, ChannelBytes* out);
// Reads the rest of the channel into *data. False when reading fails or
// the data passes what a decoder can take.
bool ReadRest(Tcl_Interp* interp, Tcl_Channel chan, ChannelBytes* data);
void ReleaseChannelBytes(ChannelBytes* data);

// A byte stream over a Tcl channel, positions counted from `start`, for
// decoders that read a file as they go instead of from a copy in memory.
class ChannelFile : public VsFile {
public:
    ChannelFile(Tcl_Channel chan, Tcl_WideInt start) : chan_(chan), start_(start) {}

    size_t Read(void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Eof() override;
    long Error() override { return 0; }
    long GetC() override;
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Flush() override { return true; }
    bool Close() override { return true; }

private:
    Tcl_Channel chan_;
    const Tcl_WideInt start_;
};

#endif
