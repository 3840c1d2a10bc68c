#include "VistelGIF.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "GifComposer.h"
#include "GifFile.h"
#include "PackedIndex.h"

namespace {

WORD BppForEntries(int entries)
{
    if (entries <= 2) return 1;
    if (entries <= 16) return 4;
    return 8;
}

// Whether the frame alone makes the screen: the file's only frame, covering
// it and decoded to its last pixel, so its indices and table are the picture.
bool FrameIsThePicture(const GifFile& gif, size_t n)
{
    if (gif.frames.size() != 1 || n != 0) return false;
    const GifFrame& f = gif.frames[0];
    return f.left == 0 && f.top == 0 && f.width == gif.width && f.height == gif.height &&
           f.palette >= 0 && f.indices.size() == (size_t)f.width * f.height;
}

bool IndexedPicture(const GifFile& gif, Vistel* out)
{
    const GifFrame& f = gif.frames[0];
    const GifPalette& pal = gif.palettes[(size_t)f.palette];
    int entries = pal.Count();
    if (f.transparent >= entries) entries = f.transparent + 1;
    const WORD bpp = BppForEntries(entries);
    if (!out->Create((DWORD)f.width, (DWORD)f.height, bpp, VISTEL_FORMAT_GIF)) return false;
    // Entries past the file's table stay black, as indices past it show.
    for (int i = 0; i < pal.Count() && i < (1 << bpp); i++)
        out->SetPaletteColor((BYTE)i, pal.rgb[i * 3], pal.rgb[i * 3 + 1], pal.rgb[i * 3 + 2]);
    for (int y = 0; y < f.height; y++) {
        const int dataRow = f.DataRowOf(y);
        const BYTE* src = &f.indices[(size_t)dataRow * f.width];
        BYTE* dst = out->GetBits((DWORD)(f.height - 1 - y));
        for (int x = 0; x < f.width; x++) SetPackedIndex(dst, bpp, x, src[x]);
    }
    out->SetTransIndex(f.transparent);
    return true;
}

bool TrueColourPicture(const GifFile& gif, size_t n, Vistel* out)
{
    GifComposer composer(gif);
    if (!composer.ComposeTo(n)) {
        out->SetLastError("GIF: out of memory");
        return false;
    }
    const int w = composer.Width(), h = composer.Height();
    if (!out->Create((DWORD)w, (DWORD)h, 24, VISTEL_FORMAT_GIF)) return false;
    const BYTE* rgba = composer.Rgba();
    bool opaque = true;
    for (size_t i = 3; i < (size_t)w * h * 4; i += 4)
        if (rgba[i] != 255) {
            opaque = false;
            break;
        }
    if (!opaque) {
        out->AlphaCreate();
        if (!out->AlphaIsValid()) {
            out->SetLastError("GIF: out of memory");
            return false;
        }
    }
    for (int y = 0; y < h; y++) {
        const BYTE* src = rgba + (size_t)y * w * 4;
        const DWORD row = (DWORD)(h - 1 - y);
        BYTE* dst = out->GetBits(row);
        BYTE* alpha = opaque ? nullptr : out->AlphaGetPointer(0, (long)row);
        for (int x = 0; x < w; x++, src += 4, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            if (alpha) alpha[x] = src[3];
        }
    }
    return true;
}

}  // namespace

VistelGIF::VistelGIF() : Vistel(VISTEL_FORMAT_GIF), m_loops(0)
{
    memset(&gifgce, 0, sizeof(gifgce));
    m_comment[0] = '\0';
}

void VistelGIF::GetComment(char* sz_comment_out) const
{
    if (!sz_comment_out) return;
    size_t n = strnlen(m_comment, 255);
    memcpy(sz_comment_out, m_comment, n);
    sz_comment_out[n] = '\0';
}

void VistelGIF::SetComment(const char* sz_comment_in)
{
    if (!sz_comment_in) return;
    size_t n = strnlen(sz_comment_in, 255);
    memcpy(m_comment, sz_comment_in, n);
    m_comment[n] = '\0';
}

bool VistelGIF::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!buffer || size < 13 || memcmp(buffer, "GIF8", 4) != 0) return false;
    VsMemFile file(buffer, size);
    GifFile gif;
    if (!gif.Read(&file, GifFile::kScreen, vssize::MaxPixels(), nullptr)) return false;
    if (basic_info) {
        basic_info->format = VISTEL_FORMAT_GIF;
        basic_info->width = gif.width;
        basic_info->height = gif.height;
    }
    return true;
}

bool VistelGIF::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    if (!data || size < 13 || memcmp(data, "GIF8", 4) != 0) return false;
    VsMemFile file(const_cast<BYTE*>(data), (DWORD)std::min<size_t>(size, 0xFFFFFFFFu));
    GifFile gif;
    if (!gif.Read(&file, GifFile::kStructure, vssize::MaxPixels(), nullptr)) return false;
    *facts = PictureFacts();
    facts->format = VISTEL_FORMAT_GIF;
    facts->width = gif.width;
    facts->height = gif.height;
    facts->frames = gif.ShownFrames();
    facts->loops = gif.loops;
    const GifFrame& first = gif.frames[0];
    const int table = gif.globalPalette >= 0 ? gif.globalPalette : first.palette;
    int entries = table >= 0 ? gif.palettes[(size_t)table].Count() : 2;
    for (facts->depth = 1; (1 << facts->depth) < entries; facts->depth++) {
    }
    // Screen the first frame leaves uncovered shows through, as browsers
    // do, unless the frames are tiles of one picture.
    facts->alpha = !gif.IsTileStill() &&
                   (first.left > 0 || first.top > 0 || first.left + first.width < gif.width ||
                    first.top + first.height < gif.height);
    for (const GifFrame& f : gif.frames) {
        if (facts->frames > 1) facts->delays.push_back(f.delay * 10);
        facts->alpha = facts->alpha || f.transparent >= 0;
        facts->interlaced = facts->interlaced || f.interlaced;
    }
    return true;
}

bool VistelGIF::ComposeFrame(const GifFile& gif, size_t n, Vistel* out)
{
    if (n >= gif.frames.size()) {
        out->SetLastError("GIF: the requested frame does not exist");
        return false;
    }
    return FrameIsThePicture(gif, n) ? IndexedPicture(gif, out) : TrueColourPicture(gif, n, out);
}

// A failed decode leaves the image as it was, apart from the error text.
bool VistelGIF::Decode(VsFile* fp)
{
    const bool headerOnly = info.nEscape == -1;
    GifFile gif;
    std::string error;
    if (!gif.Read(fp, headerOnly ? GifFile::kScreen : GifFile::kPixels, vssize::MaxPixels(),
                  &error)) {
        SetLastError(error.c_str());
        return false;
    }
    if (headerOnly) {
        Destroy();
        head.biWidth = gif.width;
        head.biHeight = gif.height;
        return true;
    }
    const long shown = (long)gif.ShownFrames();
    if (info.nFrame < 0 || info.nFrame >= shown) {
        SetLastError("GIF: the requested frame does not exist");
        return false;
    }
    const size_t n = gif.StillFrame((size_t)info.nFrame);
    Vistel picture;
    if (!ComposeFrame(gif, n, &picture)) {
        SetLastError(picture.GetLastError());
        return false;
    }
    tagVistelInfo keep = info;
    if (!Transfer(picture)) {
        SetLastError("GIF: the image is a ghost");
        return false;
    }
    keep.dwEffWidth = info.dwEffWidth;
    keep.pImage = info.pImage;
    keep.dwType = VISTEL_FORMAT_GIF;
    keep.last_c_isvalid = false;
    keep.nBkgndIndex = info.nBkgndIndex;
    keep.nNumFrames = shown;
    keep.dwFrameDelay = (DWORD)gif.frames[n].delay;
    keep.m_dispmeth = gif.frames[n].disposal;
    keep.xOffset = keep.yOffset = 0;
    info = keep;
    SetComment(gif.comment.c_str());
    return true;
}
