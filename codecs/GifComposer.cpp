#include "GifComposer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// A pixel as four bytes in memory order red, green, blue, alpha.
uint32_t PackRgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    const uint8_t bytes[4] = {r, g, b, a};
    uint32_t v;
    memcpy(&v, bytes, 4);
    return v;
}

// Disposal 3 puts back what the frame covered; browsers take 4 as 3 and
// keep the frame for 5 to 7.
bool RestoresPrevious(const GifFrame& frame)
{
    return frame.disposal == 3 || frame.disposal == 4;
}

// The frame's colours as canvas pixels, one table lookup a pixel. Indices
// past its table, or with no table at all, paint black; the transparent
// index is marked by a value no opaque pixel takes.
const uint32_t kUnpainted = 0;

void BuildColours(const GifFile& file, const GifFrame& frame, uint32_t lut[256])
{
    const uint32_t black = PackRgba(0, 0, 0, 255);
    for (int i = 0; i < 256; i++) lut[i] = black;
    if (frame.palette >= 0) {
        const GifPalette& pal = file.palettes[(size_t)frame.palette];
        const int count = std::min(pal.Count(), 256);
        for (int i = 0; i < count; i++)
            lut[i] = PackRgba(pal.rgb[i * 3], pal.rgb[i * 3 + 1], pal.rgb[i * 3 + 2], 255);
    }
    if (frame.transparent >= 0) lut[frame.transparent] = kUnpainted;
}

// Paints the columns [clip.x, clip.x + clip.width) of data row n onto the
// screen row `dst` (which starts at the screen's left edge). Data that ends
// inside the row leaves the pixels it does not reach.
void PaintDataRow(const GifFrame& frame, const uint32_t lut[256], int n, const GifRect& clip,
                  uint8_t* dst)
{
    const size_t rowStart = (size_t)n * frame.width;
    const size_t decoded = frame.indices.size();
    if (rowStart >= decoded) return;
    const size_t available = std::min((size_t)frame.width, decoded - rowStart);
    const size_t skip = (size_t)(clip.x - frame.left);
    if (available <= skip) return;
    const size_t count = std::min((size_t)clip.width, available - skip);
    const uint8_t* src = &frame.indices[rowStart + skip];
    dst += (size_t)clip.x * 4;
    for (size_t x = 0; x < count; x++) {
        const uint32_t c = lut[src[x]];
        if (c != kUnpainted) memcpy(dst + x * 4, &c, 4);
    }
}

}  // namespace

GifRect GifRect::Union(const GifRect& o) const
{
    if (Empty()) return o;
    if (o.Empty()) return *this;
    GifRect u;
    u.x = std::min(x, o.x);
    u.y = std::min(y, o.y);
    u.width = std::max(x + width, o.x + o.width) - u.x;
    u.height = std::max(y + height, o.y + o.height) - u.y;
    return u;
}

GifComposer::GifComposer(const GifFile& file) : file_(file) {}

bool GifComposer::ComposeTo(size_t n)
{
    if (file_.frames.empty()) return false;
    if (n >= file_.frames.size()) n = file_.frames.size() - 1;
    if (frame_ < 0 || (size_t)frame_ > n) {
        if (!Restart()) return false;
    }
    while ((size_t)(frame_ + 1) <= n) PaintNext();
    return true;
}

GifRect GifComposer::TakeChanges()
{
    GifRect r = changed_;
    changed_ = GifRect();
    return r;
}

bool GifComposer::Restart()
{
    const size_t bytes = (size_t)file_.width * (size_t)file_.height * 4;
    try {
        if (canvas_.size() != bytes) canvas_.assign(bytes, 0);
        else std::fill(canvas_.begin(), canvas_.end(), 0);
    } catch (const std::bad_alloc&) {
        canvas_.clear();
        frame_ = -1;
        return false;
    }
    frame_ = -1;
    savedRect_ = GifRect();
    Touch(GifRect{0, 0, file_.width, file_.height});
    return true;
}

void GifComposer::PaintNext()
{
    if (frame_ >= 0) DisposeOf(file_.frames[(size_t)frame_]);
    frame_++;
    const GifFrame& frame = file_.frames[(size_t)frame_];
    savedRect_ = GifRect();
    if (RestoresPrevious(frame)) {
        // Only the frame's rectangle changes while it is shown, so only that
        // part of the screen has to come back.
        const GifRect r = Clip(file_, frame);
        if (!r.Empty()) {
            try {
                saved_.resize((size_t)r.width * r.height * 4);
                for (int y = 0; y < r.height; y++)
                    memcpy(&saved_[(size_t)y * r.width * 4],
                           &canvas_[((size_t)(r.y + y) * file_.width + r.x) * 4],
                           (size_t)r.width * 4);
                savedRect_ = r;
            } catch (const std::bad_alloc&) {
                // Without room to save, the frame stays when disposed of.
            }
        }
    }
    Paint(frame);
}

void GifComposer::DisposeOf(const GifFrame& frame)
{
    const GifRect r = Clip(file_, frame);
    if (r.Empty()) return;
    if (frame.disposal == 2) {
        for (int y = 0; y < r.height; y++)
            memset(&canvas_[((size_t)(r.y + y) * file_.width + r.x) * 4], 0, (size_t)r.width * 4);
        Touch(r);
    } else if (RestoresPrevious(frame) && !savedRect_.Empty()) {
        for (int y = 0; y < r.height; y++)
            memcpy(&canvas_[((size_t)(r.y + y) * file_.width + r.x) * 4],
                   &saved_[(size_t)y * r.width * 4], (size_t)r.width * 4);
        Touch(r);
    }
}

GifRect GifComposer::Clip(const GifFile& file, const GifFrame& frame)
{
    GifRect r;
    r.x = std::min(frame.left, file.width);
    r.y = std::min(frame.top, file.height);
    r.width = std::min(frame.left + frame.width, file.width) - r.x;
    r.height = std::min(frame.top + frame.height, file.height) - r.y;
    return r;
}

void GifComposer::Paint(const GifFrame& frame)
{
    const GifRect clip = Clip(file_, frame);
    if (clip.Empty() || frame.indices.empty()) return;
    uint32_t lut[256];
    BuildColours(file_, frame, lut);
    for (int n = 0; n < frame.height; n++) {
        if ((size_t)n * frame.width >= frame.indices.size()) break;
        const int y = frame.top + frame.RowOfData(n);
        if (y < clip.y || y >= clip.y + clip.height) continue;
        PaintDataRow(frame, lut, n, clip, &canvas_[(size_t)y * file_.width * 4]);
    }
    Touch(clip);
}

void GifComposer::FirstFrameRow(const GifFile& file, int y, uint8_t* rgba)
{
    memset(rgba, 0, (size_t)file.width * 4);
    const GifFrame& frame = file.frames[0];
    const GifRect clip = Clip(file, frame);
    if (clip.Empty() || y < clip.y || y >= clip.y + clip.height) return;
    uint32_t lut[256];
    BuildColours(file, frame, lut);
    PaintDataRow(frame, lut, frame.DataRowOf(y - frame.top), clip, rgba);
}
