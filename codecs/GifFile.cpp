#include "GifFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "GifLzwDecoder.h"
#include "SafeSize.h"

namespace {

const int kImageSeparator = 0x2C;
const int kExtensionIntroducer = 0x21;
const int kGraphicControlLabel = 0xF9;
const int kCommentLabel = 0xFE;
const int kApplicationLabel = 0xFF;

int LittleEndian16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

// The control block waiting for the next frame.
struct PendingControl {
    int transparent = -1;
    int disposal = 0;
    int delay = 0;
};

// Everything one read keeps between blocks.
struct ReadState {
    VsFile* in;
    GifFile* gif;
    GifFile::Depth depth;
    uint64_t maxPixels;
    uint64_t pixelsStored = 0;
    std::string* error;
    PendingControl control;
    std::vector<uint8_t> data;  // one frame's joined sub-blocks
    std::unique_ptr<GifLzwDecoder> lzw;
};

bool Fail(ReadState& st, const char* message)
{
    if (st.error) *st.error = message;
    return false;
}

bool ReadBytes(VsFile* in, void* to, size_t n)
{
    return n == 0 || in->Read(to, 1, n) == n;
}

// Reads the sub-blocks up to the empty one that ends them, appending their
// bytes to `into` when it is given and counting them in *total. False when
// the stream ends first.
bool ReadSubBlocks(VsFile* in, std::vector<uint8_t>* into, size_t* total = nullptr)
{
    for (;;) {
        const long n = in->GetC();
        if (n < 0) return false;
        if (n == 0) return true;
        if (total) *total += (size_t)n;
        if (into) {
            const size_t at = into->size();
            into->resize(at + (size_t)n);
            const size_t got = in->Read(into->data() + at, 1, (size_t)n);
            if (got != (size_t)n) {
                into->resize(at + got);
                return false;
            }
        } else {
            uint8_t skip[255];
            if (!ReadBytes(in, skip, (size_t)n)) return false;
        }
    }
}

bool ReadPalette(VsFile* in, int entries, GifPalette* palette)
{
    palette->rgb.resize((size_t)entries * 3);
    return ReadBytes(in, palette->rgb.data(), palette->rgb.size());
}

// Reads one extension after its introducer. False when the stream ends.
bool ReadExtension(ReadState& st)
{
    const long label = st.in->GetC();
    if (label < 0) return false;
    std::vector<uint8_t> body;
    const bool complete = ReadSubBlocks(st.in, &body);
    if (label == kGraphicControlLabel && body.size() >= 4) {
        st.control.disposal = (body[0] >> 2) & 7;
        st.control.delay = LittleEndian16(&body[1]);
        st.control.transparent = (body[0] & 1) ? body[3] : -1;
    } else if (label == kCommentLabel) {
        st.gif->comment.assign(body.begin(), body.begin() + (long)std::min<size_t>(body.size(), 255));
    } else if (label == kApplicationLabel && body.size() >= 11 + 3 &&
               (memcmp(body.data(), "NETSCAPE2.0", 11) == 0 ||
                memcmp(body.data(), "ANIMEXTS1.0", 11) == 0)) {
        // The application block holds its 11-byte name, then sub-blocks;
        // joined, the loop sub-block follows the name as 1, count low, high.
        // Joining hides the sub-block lengths: the name's sub-block is 11
        // bytes, so the loop sub-block's own bytes start at 11.
        if (body[11] == 1) st.gif->loops = LittleEndian16(&body[12]);
    }
    return complete;
}

// The logical screen grows to a first frame that does not fit it, which then
// sits at 0,0: browsers show such files so.
void FitScreenToFirstFrame(GifFile& gif, GifFrame& frame)
{
    if (!gif.frames.empty()) return;
    if (frame.width > gif.width || frame.height > gif.height) {
        gif.width = frame.width;
        gif.height = frame.height;
        frame.left = 0;
        frame.top = 0;
    }
}

// The first frame sets what the screen shows, and the photo is made its
// size. When its data could not paint even a part of it that large (no LZW
// code stands for more than 4,096 pixels), the header claims a picture the
// file does not hold: refused, before anything the claim's size is made.
// A frame cut short in a long file still passes: its data reaches far.
bool FirstFrameCanBeFilled(const GifFile& gif, const GifFrame& frame, size_t dataBytes)
{
    const uint64_t w = (uint64_t)std::max(0, std::min(frame.left + frame.width, gif.width) - frame.left);
    const uint64_t h = (uint64_t)std::max(0, std::min(frame.top + frame.height, gif.height) - frame.top);
    return w * h <= GifLzwDecoder::MaxPixels(dataBytes);
}

// Decodes a frame's joined data into its indices, within the read's budget.
bool DecodeFrameData(ReadState& st, GifFrame& frame)
{
    uint64_t capacity = (uint64_t)frame.width * (uint64_t)frame.height;
    const uint64_t reachable = GifLzwDecoder::MaxPixels(st.data.size());
    if (capacity > reachable) capacity = reachable;
    if (!GifLzwDecoder::CodeSizeIsValid(frame.codeSize) || capacity == 0) return true;
    if (capacity > st.maxPixels - st.pixelsStored)
        return Fail(st, "GIF: the frames exceed the memory ceiling");
    try {
        frame.indices.resize((size_t)capacity);
    } catch (const std::bad_alloc&) {
        return Fail(st, "GIF: out of memory");
    }
    if (!st.lzw) st.lzw.reset(new GifLzwDecoder);
    const size_t decoded = st.lzw->Decode(st.data.data(), st.data.size(), frame.codeSize,
                                          frame.indices.data(), frame.indices.size());
    frame.indices.resize(decoded);
    if (decoded < frame.indices.capacity() / 2) frame.indices.shrink_to_fit();
    st.pixelsStored += decoded;
    return true;
}

// Reads one frame after its separator. *more is false once the stream ends.
bool ReadFrame(ReadState& st, bool* more)
{
    GifFile& gif = *st.gif;
    uint8_t d[9];
    *more = false;
    if (!ReadBytes(st.in, d, sizeof(d))) return true;  // a cut descriptor is no frame

    GifFrame frame;
    frame.left = LittleEndian16(d);
    frame.top = LittleEndian16(d + 2);
    frame.width = LittleEndian16(d + 4);
    frame.height = LittleEndian16(d + 6);
    frame.interlaced = (d[8] & 0x40) != 0;
    frame.transparent = st.control.transparent;
    frame.disposal = st.control.disposal;
    frame.delay = st.control.delay;
    st.control = PendingControl();
    FitScreenToFirstFrame(gif, frame);
    if ((uint64_t)gif.width * (uint64_t)gif.height > st.maxPixels)
        return Fail(st, vssize::kTooLarge);

    frame.palette = gif.globalPalette;
    if (d[8] & 0x80) {
        GifPalette local;
        if (!ReadPalette(st.in, 2 << (d[8] & 7), &local)) return true;
        frame.palette = (int)gif.palettes.size();
        frame.localPalette = true;
        gif.palettes.push_back(std::move(local));
    }
    const long codeSize = st.in->GetC();
    bool complete = codeSize >= 0;
    size_t dataBytes = 0;
    if (complete) {
        frame.codeSize = (int)codeSize;
        st.data.clear();
        complete = ReadSubBlocks(st.in, st.depth == GifFile::kPixels ? &st.data : nullptr,
                                 &dataBytes);
    }
    if (gif.frames.empty() && !FirstFrameCanBeFilled(gif, frame, dataBytes))
        return Fail(st, "GIF: the image data cannot fill the image");
    if (st.depth == GifFile::kPixels && !DecodeFrameData(st, frame)) return false;
    gif.frames.push_back(std::move(frame));
    *more = complete && st.depth != GifFile::kScreen;
    return true;
}

bool ReadScreen(ReadState& st)
{
    uint8_t h[13];
    if (!ReadBytes(st.in, h, sizeof(h)) || memcmp(h, "GIF8", 4) != 0)
        return Fail(st, "GIF: not a GIF file");
    GifFile& gif = *st.gif;
    gif.width = LittleEndian16(h + 6);
    gif.height = LittleEndian16(h + 8);
    gif.background = h[11];
    if (h[10] & 0x80) {
        GifPalette global;
        if (!ReadPalette(st.in, 2 << (h[10] & 7), &global))
            return Fail(st, "GIF: the global colour table is cut short");
        gif.globalPalette = 0;
        gif.palettes.push_back(std::move(global));
    }
    return true;
}

}  // namespace

bool GifFile::Read(VsFile* in, Depth depth, uint64_t maxPixels, std::string* error)
{
    *this = GifFile();
    if (!in) {
        if (error) *error = "GIF: null file handler";
        return false;
    }
    ReadState st{in, this, depth, maxPixels, 0, error, PendingControl(), {}, nullptr};
    if (!ReadScreen(st)) return false;

    // Browsers end a file at its trailer and equally at any byte that starts
    // no block, and show what came before.
    bool more = true;
    while (more) {
        const long block = in->GetC();
        if (block == kExtensionIntroducer) {
            more = ReadExtension(st);
        } else if (block == kImageSeparator) {
            if (!ReadFrame(st, &more)) return false;
            if (depth == kScreen && !frames.empty()) break;
        } else {
            break;
        }
    }
    if (frames.empty()) return Fail(st, "GIF: the file holds no image");
    if (width == 0 || height == 0) return Fail(st, "GIF: the logical screen is empty");
    return true;
}

namespace {
const int kPassStart[4] = {0, 4, 2, 1};
const int kPassStep[4] = {8, 8, 4, 2};

int RowsInPass(int pass, int height)
{
    const int start = kPassStart[pass], step = kPassStep[pass];
    return height > start ? (height - start + step - 1) / step : 0;
}
}  // namespace

int GifFrame::RowOfData(int n) const
{
    if (!interlaced) return n;
    for (int pass = 0; pass < 4; pass++) {
        const int rows = RowsInPass(pass, height);
        if (n < rows) return kPassStart[pass] + n * kPassStep[pass];
        n -= rows;
    }
    return height;
}

int GifFrame::DataRowOf(int y) const
{
    if (!interlaced) return y;
    int before = 0;
    for (int pass = 0; pass < 4; pass++) {
        if (y >= kPassStart[pass] && (y - kPassStart[pass]) % kPassStep[pass] == 0)
            return before + (y - kPassStart[pass]) / kPassStep[pass];
        before += RowsInPass(pass, height);
    }
    return y;
}

bool GifFile::IsTileStill() const
{
    if (frames.size() < 2 || loops >= 0) return false;
    for (const GifFrame& f : frames)
        if (f.delay != 0) return false;
    return true;
}

int GifFile::ShowMilliseconds(size_t n) const
{
    if (n >= frames.size()) return 0;
    const int delay = frames[n].delay;
    return delay <= 1 ? 100 : delay * 10;
}
