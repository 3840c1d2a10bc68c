#include "VistelGIF.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "GifLzwDecoder.h"

namespace {

// GIF fields are little-endian whatever the host's byte order.
WORD LeWord(WORD fileValue)
{
    const BYTE* p = (const BYTE*)&fileValue;
    return (WORD)(p[0] | (p[1] << 8));
}

BYTE GetIndex(const BYTE* row, WORD bpp, long x)
{
    switch (bpp) {
    case 8: return row[x];
    case 4: return (BYTE)((row[x >> 1] >> (4 * (1 - (x & 1)))) & 0x0F);
    default: return (BYTE)((row[x >> 3] >> (7 - (x & 7))) & 1);
    }
}

void PutIndex(BYTE* row, WORD bpp, long x, BYTE v)
{
    switch (bpp) {
    case 8: row[x] = v; break;
    case 4: {
        BYTE shift = (BYTE)(4 * (1 - (x & 1)));
        row[x >> 1] = (BYTE)((row[x >> 1] & ~(0x0F << shift)) | ((v & 0x0F) << shift));
        break;
    }
    default: {
        BYTE shift = (BYTE)(7 - (x & 7));
        row[x >> 3] = (BYTE)((row[x >> 3] & ~(1 << shift)) | ((v & 1) << shift));
        break;
    }
    }
}

// Skips data sub-blocks up to and including the empty one that ends them.
void SkipSubBlocks(VsFile* fp)
{
    for (;;) {
        long n = fp->GetC();
        if (n <= 0) return;
        fp->Seek(n, SEEK_CUR);
    }
}

// Skips a frame's local colour table and its image data.
void SkipImage(VsFile* fp, const VistelGIF::tag_image& image)
{
    if (image.pf & 0x80) fp->Seek(3L << ((image.pf & 7) + 1), SEEK_CUR);
    if (fp->GetC() < 0) return;  // LZW minimum code size
    SkipSubBlocks(fp);
}

// A frame must lie on the logical screen and hold at least one pixel.
bool FrameFits(const VistelGIF::tag_image& image, const VistelGIF::tag_dscgif& dscgif)
{
    return image.w > 0 && image.h > 0 && (long)image.l + image.w <= (long)dscgif.scrwidth &&
           (long)image.t + image.h <= (long)dscgif.scrheight;
}

bool ReadDescriptor(VsFile* fp, VistelGIF::tag_image* image)
{
    if (fp->Read(image, 1, sizeof(*image)) != sizeof(*image)) return false;
    image->l = LeWord(image->l);
    image->t = LeWord(image->t);
    image->w = LeWord(image->w);
    image->h = LeWord(image->h);
    return true;
}

WORD BppForEntries(int entries)
{
    if (entries <= 2) return 1;
    if (entries <= 16) return 4;
    return 8;
}

// Thrown after the error text was already set.
const char* const kErrorIsSet = nullptr;

}  // namespace

// Everything the frame loop keeps between frames.
struct VistelGIF::DecodeState {
    tag_dscgif dscgif;
    tag_TabCol TabCol;
    bool hasGlobalTable = false;
    int bTrueColor = 1;
    long iImage = 0;
    bool bPreviousWasNull = true;
    int prevdispmeth = 0;
    long first_transparent_index = -1;
    bool wantAll = false;
    std::unique_ptr<GifLzwDecoder> lzw;
    std::unique_ptr<VistelGIF> canvas;         // composed screen, palette mode
    std::unique_ptr<Vistel> previousFrame;     // restore-to-previous source
    std::unique_ptr<Vistel> imaRGB;            // composed screen, true-colour mode
    std::unique_ptr<VistelGIF> lastFrame;      // the frame decoded last
    std::vector<std::unique_ptr<Vistel>> frames;
    uint64_t frameBytes = 0;
};

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
    if (basic_info) {
        basic_info->format = VISTEL_FORMAT_GIF;
        basic_info->width = buffer[6] | (buffer[7] << 8);
        basic_info->height = buffer[8] | (buffer[9] << 8);
    }
    return true;
}

bool VistelGIF::Decode(FILE* hFile)
{
    VsIOFile file(hFile);
    return Decode(&file);
}

// A failed decode leaves the image as it was: pixels, info block (apart from
// the error text and the frame count found), extensions and frame set. The
// frame set is only replaced on success.
bool VistelGIF::Decode(VsFile* fp)
{
    const tagVistelInfo before = info;
    const tag_gifgce gceBefore = gifgce;
    const int loopsBefore = m_loops;
    char commentBefore[sizeof(m_comment)];
    memcpy(commentBefore, m_comment, sizeof(m_comment));
    const bool ownedSet = before.bGetAllFrames && before.GifFrames;
    info.GifFrames = nullptr;
    info.bGetAllFrames = false;

    DecodeState st;
    st.wantAll = before.bGetAllFrames;
    bool ok;
    try {
        ok = DecodeFrames(fp, st);
    } catch (const char* msg) {
        if (msg) SetLastError(msg);
        ok = false;
    } catch (const std::bad_alloc&) {
        SetLastError("GIF: out of memory");
        ok = false;
    }

    Vistel** set = nullptr;
    if (ok && st.wantAll && !st.frames.empty()) {
        set = new (std::nothrow) Vistel*[st.frames.size()];
        if (!set) {
            SetLastError("GIF: out of memory");
            ok = false;
        }
    }
    if (!ok) {
        long found = info.nNumFrames;
        char error[sizeof(info.szLastError)];
        memcpy(error, info.szLastError, sizeof(error));
        info = before;
        memcpy(info.szLastError, error, sizeof(error));
        // A kept frame set keeps the count it was made with.
        if (!ownedSet) info.nNumFrames = found;
        gifgce = gceBefore;
        m_loops = loopsBefore;
        memcpy(m_comment, commentBefore, sizeof(m_comment));
        return false;
    }

    info.bGetAllFrames = before.bGetAllFrames;
    info.GifFrames = before.GifFrames;
    if (!set) return true;
    if (ownedSet) {
        for (long i = 0; i < before.nNumFrames; i++) delete before.GifFrames[i];
        delete[] before.GifFrames;
    }
    for (size_t i = 0; i < st.frames.size(); i++) set[i] = st.frames[i].release();
    info.GifFrames = set;
    return true;
}

bool VistelGIF::DecodeFrames(VsFile* fp, DecodeState& st)
{
    if (!fp) throw "GIF: null file handler";
    tag_dscgif& dscgif = st.dscgif;
    if (fp->Read(&dscgif, 1, sizeof(dscgif)) != sizeof(dscgif) ||
        memcmp(dscgif.header, "GIF8", 4) != 0)
        throw "GIF: not a GIF file";
    dscgif.scrwidth = LeWord(dscgif.scrwidth);
    dscgif.scrheight = LeWord(dscgif.scrheight);

    if (info.nEscape == -1) {
        Destroy();
        head.biWidth = dscgif.scrwidth;
        head.biHeight = dscgif.scrheight;
        return true;
    }

    // No canvas can be made for a screen over the ceiling: refuse it before
    // walking the data. Frames may carry 256-colour tables, so the screen is
    // measured at 8 bits: a two-colour screen of a billion pixels would fit
    // the ceiling at 1 bit, yet composing it costs seconds for a few bytes.
    uint64_t screenBytes;
    if (!vssize::ImageBytes(dscgif.scrwidth, dscgif.scrheight, 8, &screenBytes))
        throw "VISTEL_MAX_MEMORY exceeded";

    st.TabCol.colres = (short)((dscgif.pflds >> 4) & 7);
    st.TabCol.sogct = (short)(1 << ((dscgif.pflds & 7) + 1));
    memset(st.TabCol.paleta, 0, sizeof(st.TabCol.paleta));
    if (dscgif.pflds & 0x80) {
        if (!ReadColorTable(fp, st.TabCol.sogct, &st.TabCol))
            throw "GIF: the global colour table is cut short";
        st.bTrueColor = 0;
        st.hasGlobalTable = true;
    }

    st.lzw.reset(new GifLzwDecoder);
    info.nNumFrames = get_num_frames(fp, &st.TabCol, &dscgif);
    if (info.nNumFrames == 0) throw "GIF: no image fits on the logical screen";
    if (info.nFrame < 0 || info.nFrame >= info.nNumFrames)
        throw "GIF: the requested frame does not exist";
    if (info.nNumFrames == 1) st.bTrueColor = 0;

    for (;;) {
        long ch = fp->GetC();
        if (ch < 0) break;
        if (info.nEscape > 0) throw "GIF: decoding cancelled";
        if (!st.bPreviousWasNull && ch != 0) continue;
        if (ch == 0x21) {
            if (!DecodeExtension(fp)) break;
        } else if (ch == 0x3B) {
            break;
        } else if (ch == 0x2C) {
            if (!ReadFrame(fp, st)) break;
        } else {
            st.bPreviousWasNull = (ch == 0);
        }
    }

    if (st.bTrueColor >= 2 && st.imaRGB) {
        long transIndex = -1;
        if (gifgce.flags & 1) {
            // The background index may lie past a short colour table.
            const DWORD index = info.nBkgndIndex & 255;
            RGBQUAD c{};
            if (index < st.lastFrame->GetNumColors()) c = st.lastFrame->GetPalette()[index];
            c.rgbReserved = 0;
            info.nBkgndColor = c;
            transIndex = 0;
        }
        AdoptResult(*st.imaRGB, transIndex);
        return true;
    }
    if (!st.canvas) throw "GIF: no frame could be decoded";
    AdoptResult(*st.canvas, st.first_transparent_index);
    return true;
}

// Takes the composed picture's pixels while keeping this decode's info block.
void VistelGIF::AdoptResult(Vistel& picture, long transIndex)
{
    tagVistelInfo keep = info;
    if (!Transfer(picture)) throw "GIF: the image is a ghost";
    keep.dwEffWidth = info.dwEffWidth;
    keep.pImage = info.pImage;
    keep.dwType = VISTEL_FORMAT_GIF;
    keep.last_c_isvalid = false;
    keep.nBkgndIndex = transIndex;
    info = keep;
}

bool VistelGIF::ReadColorTable(VsFile* fp, int entries, tag_TabCol* table)
{
    table->sogct = (short)entries;
    size_t bytes = (size_t)entries * 3;
    return fp->Read(table->paleta, 1, bytes) == bytes;
}

// Reads and composes one frame after its 0x2C. Returns false when the block
// loop must end (end of the stream, or the requested frame is done).
bool VistelGIF::ReadFrame(VsFile* fp, DecodeState& st)
{
    tag_image image;
    if (!ReadDescriptor(fp, &image)) return false;
    if (!FrameFits(image, st.dscgif)) {
        SkipImage(fp, image);
        return true;
    }
    if (st.iImage == 0 && image.w != st.dscgif.scrwidth && image.h != st.dscgif.scrheight)
        st.bTrueColor++;

    tag_TabCol localTable;
    const tag_TabCol* table = &st.TabCol;
    bool hasTable = st.hasGlobalTable;
    if (image.pf & 0x80) {
        if (!ReadColorTable(fp, 1 << ((image.pf & 7) + 1), &localTable)) return false;
        table = &localTable;
        hasTable = true;
    }
    WORD bpp = BppForEntries(table->sogct);
    bool trueColor = st.bTrueColor >= 2;
    if (!trueColor) PrepareCanvas(st, bpp);

    std::unique_ptr<VistelGIF> frame(new VistelGIF);
    if (!frame->Create(image.w, image.h, bpp, VISTEL_FORMAT_GIF)) {
        SetLastError(frame->GetLastError());
        throw kErrorIsSet;
    }
    frame->Clear(0);
    frame->SetTransIndex(info.nBkgndIndex);
    if (hasTable) SetFramePalette(*frame, *table);

    CImageIterator iter(frame.get());
    iter.Upset();
    st.lzw->BeginFrame((image.pf & 0x40) != 0, image.h);
    int badcode = 0;
    long pos_start = fp->Tell();
    st.lzw->decoder(fp, iter, image.w, badcode);
    if (info.nEscape != 0) throw "GIF: decoding cancelled";

    if (trueColor) {
        info.nFrame = info.nNumFrames - 1;
        if (!st.imaRGB) {
            st.imaRGB.reset(new Vistel);
            if (!st.imaRGB->Create(st.dscgif.scrwidth, st.dscgif.scrheight, 24,
                                   VISTEL_FORMAT_GIF)) {
                SetLastError(st.imaRGB->GetLastError());
                throw kErrorIsSet;
            }
            st.imaRGB->Clear(0);
            CheckFrameSetBudget(st, *st.imaRGB);
        }
        PaintTrueColor(st, *frame, image);
    } else {
        if (frame->GetBpp() > st.canvas->GetBpp()) WidenCanvas(st, frame->GetBpp());
        st.canvas->GifMix(*frame, image);
        // The canvas takes this frame's colours; entries beyond the frame's
        // table (a canvas deepened by an earlier frame) keep theirs.
        memcpy(st.canvas->GetPalette(), frame->GetPalette(),
               std::min(st.canvas->GetPaletteSize(), frame->GetPaletteSize()));
        SyncCanvasInfo(*st.canvas, st.first_transparent_index);
    }
    st.prevdispmeth = (gifgce.flags >> 2) & 7;
    SkipFrameData(fp, *st.lzw, badcode, pos_start);
    st.lastFrame = std::move(frame);

    if (st.wantAll) StoreFrame(st, trueColor ? *st.imaRGB : *st.canvas);
    // Only a frame still to come can restore the screen to this one.
    if (!trueColor && st.prevdispmeth <= 1 && info.nFrame > st.iImage)
        st.previousFrame.reset(CopyImage(*st.canvas));
    if (info.nFrame == st.iImage) return false;
    st.iImage++;
    return true;
}

// Builds the canvas the next frame is drawn on, from the previous result and
// the previous frame's disposal method.
void VistelGIF::PrepareCanvas(DecodeState& st, WORD bpp)
{
    if (st.iImage == 0) {
        st.canvas.reset(new VistelGIF);
        st.canvas->CopyInfo(*this);
        if (!st.canvas->Create(st.dscgif.scrwidth, st.dscgif.scrheight, bpp,
                               VISTEL_FORMAT_GIF)) {
            SetLastError(st.canvas->GetLastError());
            throw kErrorIsSet;
        }
        st.first_transparent_index = info.nBkgndIndex;
        st.canvas->Clear(gifgce.transpcolindex);
        CheckFrameSetBudget(st, *st.canvas);
        if (info.nFrame > st.iImage) st.previousFrame.reset(CopyImage(*st.canvas));
        return;
    }
    switch (st.prevdispmeth) {
    case 2:
        // Restore to background clears the whole screen, not only the
        // previous frame's rectangle.
        st.canvas->Clear((BYTE)st.first_transparent_index);
        break;
    case 3:
        st.canvas->Copy(*st.previousFrame, true, true, true);
        if (!st.canvas->IsValid()) throw "GIF: out of memory";
        break;
    default:
        break;
    }
}

// Raises the canvas to a deeper palette when a later frame needs more
// colours than the first one had, keeping every index.
void VistelGIF::WidenCanvas(DecodeState& st, WORD bpp)
{
    VistelGIF& canvas = *st.canvas;
    Vistel wider;
    if (!wider.Create(canvas.GetWidth(), canvas.GetHeight(), bpp, VISTEL_FORMAT_GIF)) {
        SetLastError(wider.GetLastError());
        throw kErrorIsSet;
    }
    WORD from = canvas.GetBpp();
    long width = (long)canvas.GetWidth();
    for (DWORD y = 0; y < canvas.GetHeight(); y++) {
        const BYTE* src = canvas.GetBits(y);
        BYTE* dst = wider.GetBits(y);
        for (long x = 0; x < width; x++) PutIndex(dst, bpp, x, GetIndex(src, from, x));
    }
    memcpy(wider.GetPalette(), canvas.GetPalette(), canvas.GetPaletteSize());
    canvas.Transfer(wider);
    SyncCanvasInfo(canvas, st.first_transparent_index);
}

void VistelGIF::SetFramePalette(VistelGIF& frame, const tag_TabCol& table) const
{
    RGBQUAD* pal = frame.GetPalette();
    DWORD count = frame.GetNumColors();
    for (DWORD i = 0; i < count; i++) {
        RGBQUAD& c = pal[i];
        if (i < (DWORD)table.sogct) {
            c.rgbRed = table.paleta[i].r;
            c.rgbGreen = table.paleta[i].g;
            c.rgbBlue = table.paleta[i].b;
        } else if (info.nBkgndIndex != -1) {
            c.rgbRed = c.rgbGreen = c.rgbBlue = 255;
        } else {
            c.rgbRed = c.rgbGreen = c.rgbBlue = 0;
        }
        c.rgbReserved = 0;
    }
    frame.info.last_c_isvalid = false;
}

void VistelGIF::PaintTrueColor(DecodeState& st, Vistel& frame, const tag_image& image)
{
    RGBQUAD* pal = frame.GetPalette();
    WORD bpp = frame.GetBpp();
    for (long y = 0; y < image.h; y++) {
        const BYTE* src = frame.GetBits((DWORD)(image.h - y - 1));
        BYTE* dst = st.imaRGB->GetBits((DWORD)(st.dscgif.scrheight - image.t - y - 1));
        if (!src || !dst) continue;
        dst += 3 * (size_t)image.l;
        for (long x = 0; x < image.w; x++, dst += 3) {
            const RGBQUAD& c = pal[GetIndex(src, bpp, x)];
            dst[0] = c.rgbBlue;
            dst[1] = c.rgbGreen;
            dst[2] = c.rgbRed;
        }
    }
}

// Refuses a frame set that would pass the memory ceiling, before any frame
// of it is stored.
void VistelGIF::CheckFrameSetBudget(DecodeState& st, const Vistel& screen) const
{
    uint64_t total;
    if (st.wantAll && (!vssize::Mul((uint64_t)info.nNumFrames, screen.GetSize(), &total) ||
                       total > VISTEL_MAX_MEMORY))
        throw "GIF: the frames exceed VISTEL_MAX_MEMORY";
}

void VistelGIF::StoreFrame(DecodeState& st, Vistel& composed)
{
    if (st.iImage == 0) st.frames.resize((size_t)info.nNumFrames);
    if (st.iImage >= (long)st.frames.size()) return;
    if (!vssize::Add(st.frameBytes, composed.GetSize(), &st.frameBytes) ||
        st.frameBytes > VISTEL_MAX_MEMORY)
        throw "GIF: the frames exceed VISTEL_MAX_MEMORY";
    st.frames[(size_t)st.iImage].reset(CopyImage(composed));
}

// A full, independent copy (pixels, selection, alpha, info block) that owns
// no frame set.
Vistel* VistelGIF::CopyImage(const Vistel& src)
{
    std::unique_ptr<Vistel> copy(new Vistel(src, true, true, true));
    if (!copy->IsValid()) throw "GIF: out of memory";
    copy->RetreiveSingleFrame();
    return copy.release();
}

// The canvas carries this decode's info block (frame count, delay and
// disposal of the frame just read) with its own layout and transparency.
void VistelGIF::SyncCanvasInfo(VistelGIF& canvas, long transIndex) const
{
    DWORD effWidth = canvas.info.dwEffWidth;
    BYTE* bits = canvas.info.pImage;
    canvas.info = info;
    canvas.info.dwEffWidth = effWidth;
    canvas.info.pImage = bits;
    canvas.info.dwType = VISTEL_FORMAT_GIF;
    canvas.info.nBkgndIndex = transIndex;
    canvas.info.last_c_isvalid = false;
    canvas.info.pGhost = nullptr;
    canvas.info.GifFrames = nullptr;
    canvas.info.bGetAllFrames = false;
}

// Moves the stream past the frame's data: back over what the reader took
// ahead, then over the sub-blocks up to the terminator. After corrupt codes
// the data cannot be trusted, and the next image descriptor is searched.
void VistelGIF::SkipFrameData(VsFile* fp, GifLzwDecoder& lzw, int badcode, long pos_start)
{
    if (badcode == 0) {
        fp->Seek(-lzw.ReadAhead(), SEEK_CUR);
        if (!lzw.TerminatorRead()) SkipSubBlocks(fp);
        return;
    }
    if (seek_next_image(fp, pos_start) < 0) fp->Seek(0, SEEK_END);
}

void VistelGIF::GifMix(Vistel& imgsrc2, tag_image& imgdesc)
{
    long H = (long)GetHeight(), W = (long)GetWidth();
    long ymin = H - (long)imgdesc.t - (long)imgdesc.h;
    if (ymin < 0) ymin = 0;
    long ymax = H - (long)imgdesc.t;
    long xmin = imgdesc.l;
    long xmax = (long)imgdesc.l + imgdesc.w;
    if (xmax > W) xmax = W;
    if (xmax - xmin > (long)imgsrc2.GetWidth()) xmax = xmin + (long)imgsrc2.GetWidth();
    long ibg2 = imgsrc2.GetTransIndex();
    WORD srcBpp = imgsrc2.GetBpp(), dstBpp = GetBpp();
    bool copyRows = srcBpp == 8 && dstBpp == 8 && (ibg2 < 0 || ibg2 > 255);

    for (long y = ymin; y < ymax; y++) {
        if (y - ymin >= (long)imgsrc2.GetHeight()) break;
        const BYTE* src = imgsrc2.GetBits((DWORD)(y - ymin));
        BYTE* dst = GetBits((DWORD)y);
        if (!src || !dst || xmax <= xmin) continue;
        if (copyRows) {
            memcpy(dst + xmin, src, (size_t)(xmax - xmin));
            continue;
        }
        if (srcBpp == 8 && dstBpp == 8) {
            const BYTE transparent = (BYTE)ibg2;
            BYTE* out = dst + xmin;
            for (long x = 0; x < xmax - xmin; x++)
                if (src[x] != transparent) out[x] = src[x];
            continue;
        }
        for (long x = xmin; x < xmax; x++) {
            BYTE i2 = GetIndex(src, srcBpp, x - xmin);
            if (i2 != ibg2) PutIndex(dst, dstBpp, x, i2);
        }
    }
}

long VistelGIF::seek_next_image(VsFile* fp, long position)
{
    if (!fp->Seek(position, SEEK_SET)) return -1;
    BYTE chunk[4096];
    long at = position;
    BYTE prev = 0;  // the first byte counts as following 0x00
    for (;;) {
        size_t got = fp->Read(chunk, 1, sizeof(chunk));
        if (got == 0) return -1;
        for (size_t i = 0; i < got; i++) {
            if (chunk[i] == 0x2C && prev == 0) {
                long found = at + (long)i;
                fp->Seek(found, SEEK_SET);
                return found;
            }
            prev = chunk[i];
        }
        at += (long)got;
    }
}

bool VistelGIF::DecodeExtension(VsFile* fp)
{
    long label = fp->GetC();
    if (label < 0) return false;
    bool bContinue = true;
    bool finished = false;  // the block terminator was already read

    if (label == 0xF9) {
        long size = fp->GetC();
        if (size < 0) {
            bContinue = false;
        } else {
            tag_gifgce gce;
            size_t n = fp->Read(&gce, 1, sizeof(gce));
            bContinue = ((long)n == size);
            if (bContinue) {
                gifgce = gce;
                gifgce.delaytime = LeWord(gce.delaytime);
                if (gifgce.flags & 1) info.nBkgndIndex = gifgce.transpcolindex;
                info.dwFrameDelay = gifgce.delaytime;
                SetDisposalMethod((gifgce.flags >> 2) & 7);
            }
        }
    } else if (label == 0xFE) {
        long n = fp->GetC();
        if (n < 0) {
            bContinue = false;
        } else {
            size_t got = n > 0 ? fp->Read(m_comment, 1, (size_t)n) : 0;
            bContinue = ((long)got == n);
            m_comment[got] = '\0';
            finished = (n == 0);
        }
    } else if (label == 0xFF) {
        if (fp->GetC() != 11) return false;
        BYTE identifier[11];
        if (fp->Read(identifier, 1, sizeof(identifier)) != sizeof(identifier)) return false;
        long n = fp->GetC();
        if (n < 0) return false;
        BYTE data[255];
        if (n > 0 && fp->Read(data, 1, (size_t)n) != (size_t)n) return false;
        if (n > 2) m_loops = data[1] + 256 * data[2];
        finished = (n == 0);
    }

    while (bContinue && !finished) {
        long n = fp->GetC();
        if (n <= 0) break;
        fp->Seek(n, SEEK_CUR);
    }
    return bContinue;
}

// Walks the blocks as the frame loop does, decoding each frame's data only to
// find where it ends. The per-frame fields that extensions set are restored,
// so that the frame loop sees each control block in its own place; loop
// count and comment stay as read.
int VistelGIF::get_num_frames(VsFile* fp, tag_TabCol* TabColSrc, tag_dscgif* dscgif)
{
    long pos = fp->Tell();
    long keepIndex = info.nBkgndIndex;
    DWORD keepDelay = info.dwFrameDelay;
    int keepDisposal = info.m_dispmeth;
    tag_gifgce keepGce = gifgce;

    std::unique_ptr<GifLzwDecoder> lzw(new GifLzwDecoder);
    tag_TabCol TempTabCol = *TabColSrc;
    int nframes = 0;
    bool bPreviousWasNull = true;
    for (;;) {
        long ch = fp->GetC();
        if (ch < 0) break;
        if (!bPreviousWasNull && ch != 0) continue;
        if (ch == 0x21) {
            DecodeExtension(fp);
        } else if (ch == 0x3B) {
            break;
        } else if (ch == 0x2C) {
            tag_image image;
            if (!ReadDescriptor(fp, &image)) break;
            if (!FrameFits(image, *dscgif)) {
                SkipImage(fp, image);
                continue;
            }
            if ((image.pf & 0x80) && !ReadColorTable(fp, 1 << ((image.pf & 7) + 1), &TempTabCol))
                break;
            nframes++;
            CImageIterator rows((long)image.h);
            rows.Upset();
            lzw->BeginFrame((image.pf & 0x40) != 0, image.h);
            int badcode = 0;
            long pos_start = fp->Tell();
            lzw->decoder(fp, rows, image.w, badcode);
            SkipFrameData(fp, *lzw, badcode, pos_start);
        } else {
            bPreviousWasNull = (ch == 0);
        }
    }

    fp->Seek(pos, SEEK_SET);
    info.nBkgndIndex = keepIndex;
    info.dwFrameDelay = keepDelay;
    info.m_dispmeth = keepDisposal;
    gifgce = keepGce;
    return nframes;
}
