#include "GifLzwDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

// ---------------------------------------------------------------- row cursor

CImageIterator::CImageIterator(Vistel* image) : ima(image)
{
    if (ima) {
        IterImage = ima->GetBits(0);
        height = (long)ima->GetHeight();
    }
}

CImageIterator::CImageIterator(long rows) : height(rows) {}

void CImageIterator::Upset()
{
    Itx = 0;
    Ity = height - 1;
    IterImage = ima ? ima->GetBits((DWORD)Ity) : nullptr;
}

void CImageIterator::SetY(long y)
{
    if (y < 0 || y >= height) return;
    Ity = y;
    IterImage = ima ? ima->GetBits((DWORD)y) : nullptr;
}

void CImageIterator::SetRow(const BYTE* buf, long n)
{
    if (!ima || !IterImage || !buf) return;
    long eff = (long)ima->GetEffWidth();
    if (n < 0 || n > eff) n = eff;
    if (n > 0) memcpy(IterImage, buf, (size_t)n);
}

void CImageIterator::PrevRow()
{
    Ity--;
    if (Ity >= 0 && IterImage) IterImage -= ima->GetEffWidth();
    if (Ity < 0) IterImage = nullptr;
}

bool CImageIterator::ItOK() const
{
    if (ima) return ima->IsInside(Itx, Ity);
    return Ity >= 0 && Ity < height;
}

// ---------------------------------------------------------------- byte reader

void GifLzwDecoder::BeginFrame(bool isInterlaced, long frameHeight)
{
    ibf = kBufferSize;
    ibfmax = kBufferSize;
    interlaced = isInterlaced ? 1 : 0;
    iheight = frameHeight;
    istep = 8;
    iypos = 0;
    ipass = 0;
    rowsWritten = 0;
    terminated = false;
}

int GifLzwDecoder::get_byte(VsFile* file)
{
    if (ibf >= kBufferSize - 1) {
        ibfmax = (int)file->Read(buf, 1, kBufferSize - 1);
        if (ibfmax < kBufferSize - 1) buf[ibfmax] = 0xFF;
        ibf = 0;
    }
    if (ibf >= ibfmax) return -1;
    return buf[ibf++];
}

// ---------------------------------------------------------------- code reader

short GifLzwDecoder::init_exp(short size)
{
    curr_size = (short)(size + 1);
    top_slot = (short)(1 << curr_size);
    clear = (short)(1 << size);
    ending = (short)(clear + 1);
    slot = newcodes = (short)(ending + 1);
    navail_bytes = 0;
    nbits = 0;
    bitbuf = 0;
    terminated = false;
    memset(stack, 0, sizeof(stack));
    memset(suffix, 0, sizeof(suffix));
    memset(prefix, 0, sizeof(prefix));
    memset(length, 0, sizeof(length));
    memset(byte_buff, 0, sizeof(byte_buff));
    pbytes = byte_buff;
    return 0;
}

// Reads the next data sub-block into byte_buff. Returns its length, 0 for the
// terminating empty block (after which nothing more is read), or a negative
// value at the end of the input. Bytes come straight from the read buffer
// while it holds them; get_byte refills it.
int GifLzwDecoder::LoadSubBlock(VsFile* file)
{
    if (terminated) return 0;
    int n = get_byte(file);
    if (n < 0) return n;
    pbytes = byte_buff;
    navail_bytes = (short)n;
    if (n == 0) {
        terminated = true;
        return 0;
    }
    int i = 0;
    while (i < n) {
        int buffered = ibfmax - ibf;
        if (ibf < kBufferSize - 1 && buffered > 0) {
            int take = std::min(buffered, n - i);
            memcpy(byte_buff + i, buf + ibf, (size_t)take);
            ibf += take;
            i += take;
            continue;
        }
        int c = get_byte(file);
        if (c < 0) return c;
        byte_buff[i++] = (BYTE)c;
    }
    return n;
}

// Tops bitbuf up to a whole code. Codes are packed least significant bit
// first; at most 7 bits stay between codes, so 12-bit codes fit with room to
// spare. Returns 0 when the code is ready, else what get_next_code returns:
// `ending` at the terminator, a negative value at the end of the input.
int GifLzwDecoder::FillBits(VsFile* file)
{
    while (nbits < curr_size) {
        if (navail_bytes <= 0) {
            int r = LoadSubBlock(file);
            if (r < 0) return r;
            if (r == 0) return ending;
        }
        bitbuf |= (DWORD)*pbytes++ << nbits;
        nbits += 8;
        navail_bytes--;
    }
    return 0;
}

// ---------------------------------------------------------------- line writer

// Packs a row of one index per byte in place into 1- or 4-bit pixels, most
// significant bits first. Byte x/k is written only after pixels[x/k] was read.
static void PackRow(BYTE* pixels, long width, WORD bpp)
{
    if (bpp == 4) {
        for (long x = 0; x < width; x++) {
            BYTE shift = (BYTE)(4 * (1 - (x & 1)));
            BYTE& target = pixels[x >> 1];
            target = (BYTE)((target & ~(0x0F << shift)) | ((pixels[x] & 0x0F) << shift));
        }
    } else if (bpp == 1) {
        for (long x = 0; x < width; x++) {
            BYTE shift = (BYTE)(7 - (x & 7));
            BYTE& target = pixels[x >> 3];
            target = (BYTE)((target & ~(1 << shift)) | ((pixels[x] & 1) << shift));
        }
    }
}

// Interlaced frames store every 8th row from 0, every 8th from 4, every 4th
// from 2, then every 2nd from 1; skips passes that start below the frame.
void GifLzwDecoder::NextInterlacedRow()
{
    iypos += istep;
    while (iypos >= iheight && ipass < 4) {
        if (ipass > 0) istep /= 2;
        ipass++;
        iypos = istep / 2;
    }
}

int GifLzwDecoder::out_line(CImageIterator& iter, BYTE* pixels, long linelen)
{
    // A frame takes exactly its height in rows; surplus data is not drawn.
    if (rowsWritten >= iheight) return LZW_END;
    Vistel* image = iter.Image();
    if (image && image->GetBpp() < 8) PackRow(pixels, (long)image->GetWidth(), image->GetBpp());

    if (interlaced) {
        iter.SetY(iheight - iypos - 1);
        iter.SetRow(pixels, linelen);
        rowsWritten++;
        NextInterlacedRow();
        return LZW_OK;
    }
    if (!iter.ItOK()) return LZW_END;
    iter.SetRow(pixels, linelen);
    iter.PrevRow();
    rowsWritten++;
    return LZW_OK;
}

// ---------------------------------------------------------------- decoder

// Adds the entry "string(oc) + first" after a code c was expanded to a
// string starting with `first`, and widens the codes when the table fills up
// to the current width. A full table takes no entry and keeps oc and fc.
inline void GifLzwDecoder::AddEntry(short first, short c, short& oc, short& fc)
{
    if (slot < top_slot) {
        suffix[slot] = (BYTE)(fc = first);
        prefix[slot] = (WORD)oc;
        length[slot] = (WORD)(StringLength(oc) + 1);
        slot++;
        oc = c;
    }
    if (slot >= top_slot && curr_size < 12) {
        top_slot = (short)(top_slot << 1);
        curr_size++;
    }
}

short GifLzwDecoder::decoder(VsFile* file, CImageIterator& iter, long linewidth,
                             int& bad_code_count)
{
    bad_code_count = 0;
    int size = get_byte(file);
    if (size < 0) return (short)size;
    if (size < 2 || size > 9) return LZW_BAD_CODE_SIZE;
    init_exp((short)size);
    // A frame of width 0 has no row to fill: its codes are read and dropped.
    if (linewidth < 0) linewidth = 0;
    if (!iter.Image()) return Skim(file, linewidth, size, bad_code_count);
    return Expand(file, iter, linewidth, size, bad_code_count);
}

short GifLzwDecoder::RestartTable(VsFile* file, int size)
{
    curr_size = (short)(size + 1);
    slot = newcodes;
    top_slot = (short)(1 << curr_size);
    short c;
    while ((c = get_next_code(file)) == clear) {
    }
    return c;
}

short GifLzwDecoder::Expand(VsFile* file, CImageIterator& iter, long linewidth, int size,
                            int& bad_code_count)
{
    std::unique_ptr<BYTE[]> line(new (std::nothrow) BYTE[(size_t)linewidth + 1]);
    if (!line) return LZW_NO_MEMORY;
    BYTE* const lineBuf = line.get();
    memset(lineBuf, 0, (size_t)linewidth + 1);
    long linePos = 0;
    int sp = 0;
    short oc = 0, fc = 0;

    // Appends the stacked string (last character on top) to the line in
    // runs up to the line's end, writing each full line.
    auto flush_stack = [&]() -> int {
        if (linewidth == 0) {
            sp = 0;
            return 0;
        }
        while (sp > 0) {
            long n = std::min((long)sp, linewidth - linePos);
            BYTE* out = lineBuf + linePos;
            const BYTE* in = stack + sp;
            for (long k = 0; k < n; k++) out[k] = *--in;
            sp -= (int)n;
            linePos += n;
            if (linePos == linewidth) {
                int r = out_line(iter, lineBuf, linewidth);
                if (r < 0) return r;
                linePos = 0;
            }
        }
        return 0;
    };

    short c;
    while ((c = get_next_code(file)) != ending) {
        if (c < 0) return LZW_OK;
        if (c == clear) {
            c = RestartTable(file, size);
            if (c == ending) break;
            if (c < 0) return LZW_OK;
            if (c >= slot) c = 0;
            oc = fc = c;
            stack[sp++] = (BYTE)c;
        } else {
            short code = c;
            // Until the first bad code every entry is sound and its length
            // known: a string that fits in the line is written there directly,
            // from its last character back to its first, never below its start.
            if (bad_code_count == 0 && c <= slot) {
                long len = (long)(c == slot ? StringLength(oc) + 1 : StringLength(c));
                if (len <= linewidth - linePos) {
                    BYTE* const first = lineBuf + linePos;
                    BYTE* p = first + len - 1;
                    if (code == slot) {
                        *p-- = (BYTE)fc;
                        code = oc;
                    }
                    while (code >= newcodes && p > first) {
                        *p-- = suffix[code];
                        code = (short)prefix[code];
                    }
                    *p = (BYTE)code;
                    linePos += len;
                    AddEntry(code, c, oc, fc);
                    if (linePos == linewidth) {
                        int r = out_line(iter, lineBuf, linewidth);
                        if (r < 0) return (short)r;
                        linePos = 0;
                    }
                    continue;
                }
            }
            if (code >= slot) {
                if (code > slot) bad_code_count++;
                code = oc;
                stack[sp++] = (BYTE)fc;
            }
            // Entries made from out-of-range codes can chain into a cycle;
            // no valid string is longer than the table.
            while (code >= newcodes) {
                if (sp >= kTableSize - 1) {
                    bad_code_count++;
                    return LZW_OK;
                }
                stack[sp++] = suffix[code];
                code = (short)prefix[code];
            }
            stack[sp++] = (BYTE)code;
            AddEntry(code, c, oc, fc);
        }
        int r = flush_stack();
        if (r < 0) return (short)r;
    }

    if (linePos > 0) return (short)out_line(iter, lineBuf, linePos);
    return LZW_OK;
}

// Walks the codes of a frame without storing pixels, stopping where Expand
// would: at the end code, the end of the input, or the code that completes a
// row past the frame's height. Only string lengths are kept. Walking stops at
// the first code above the next free slot: the caller only needs to know that
// there was one, and before it every table entry is sound.
short GifLzwDecoder::Skim(VsFile* file, long linewidth, int size, int& bad_code_count)
{
    const uint64_t limit =
        linewidth > 0 ? (uint64_t)linewidth * (uint64_t)(iheight + 1) : UINT64_MAX;
    uint64_t pixels = 0;
    short oc = 0;

    short c;
    while ((c = get_next_code(file)) != ending) {
        if (c < 0) return LZW_OK;
        if (c == clear) {
            c = RestartTable(file, size);
            if (c == ending) break;
            if (c < 0) return LZW_OK;
            if (c >= slot) c = 0;
            oc = c;
            pixels += 1;
        } else {
            if (c > slot) {
                bad_code_count++;
                return LZW_OK;
            }
            pixels += c == slot ? StringLength(oc) + 1 : StringLength(c);
            if (slot < top_slot) {
                length[slot++] = (WORD)(StringLength(oc) + 1);
                oc = c;
            }
            if (slot >= top_slot && curr_size < 12) {
                top_slot = (short)(top_slot << 1);
                curr_size++;
            }
        }
        if (pixels >= limit) return LZW_END;
    }
    return LZW_OK;
}
