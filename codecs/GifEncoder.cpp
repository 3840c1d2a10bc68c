// GIF writing: one frame, the decoded frames of an animation, a list of
// images, or a true-colour image as tiles with local colour tables. Image
// data is packed by LZW, by plain codes, or by the run-length compressor.
#include <algorithm>
#include <cstring>

#include "GifFile.h"
#include "VistelGIF.h"

#include "PackedIndex.h"

namespace {

const int HSIZE = 5003;  // hash table size, a prime above 4096 x 1.2
const int MAXCODE_LIMIT = 4096;

int MaxCode(int bits)
{
    return (1 << bits) - 1;
}

void PutByte(VsFile* fp, BYTE b)
{
    fp->Write(&b, 1, 1);
}

// The picture row (from the top) that the image data's row n holds.
long PictureRow(long n, long height, bool interlaced)
{
    GifFrame layout;
    layout.height = (int)height;
    layout.interlaced = interlaced;
    return layout.RowOfData((int)n);
}

}  // namespace

bool VistelGIF::Encode(VsFile* fp)
{
    if (EncodeSafeCheck(fp)) return false;
    if (head.biBitCount > 8) return EncodeRGB(fp);

    EncodeHeader(fp);
    EncodeExtension(fp);
    EncodeComment(fp);
    EncodeBody(fp, false);
    PutByte(fp, 0x3B);
    return true;
}

bool VistelGIF::Encode(VsFile* fp, Vistel** pImages, int pagecount, bool bLocalColorMap)
{
    if (!fp) {
        SetLastError("invalid file pointer");
        return false;
    }
    if (!pImages || pagecount <= 0 || !pImages[0]) {
        SetLastError("multipage GIF, no images!");
        return false;
    }

    VistelGIF ghost;
    ghost.Ghost(pImages[0]);
    if (!ghost.IsValid()) {
        SetLastError("multipage GIF, no images!");
        return false;
    }
    ghost.EncodeHeader(fp);
    if (m_loops != 1) {
        ghost.m_loops = m_loops - 1 < 0 ? 0 : m_loops - 1;
        ghost.EncodeLoopExtension(fp);
    }
    ghost.EncodeExtension(fp);
    EncodeComment(fp);
    ghost.EncodeBody(fp, false);

    for (int i = 1; i < pagecount; i++) {
        if (!pImages[i] || !pImages[i]->IsValid()) {
            SetLastError("Bad image pointer");
            return false;
        }
        ghost.Ghost(pImages[i]);
        ghost.EncodeExtension(fp);
        ghost.EncodeBody(fp, bLocalColorMap);
    }
    PutByte(fp, 0x3B);
    return true;
}

void VistelGIF::Putword(int w, VsFile* fp)
{
    BYTE bytes[2] = {(BYTE)(w & 0xFF), (BYTE)((w >> 8) & 0xFF)};
    fp->Write(bytes, 1, 2);
}

void VistelGIF::EncodeHeader(VsFile* fp)
{
    fp->Write("GIF89a", 1, 6);
    Putword(head.biWidth, fp);
    Putword(head.biHeight, fp);

    BYTE flags;
    if (head.biClrUsed == 0) {
        flags = 0x11;
    } else {
        const BYTE bits = (BYTE)(head.biBitCount - 1);
        flags = (BYTE)(0x80 | (bits << 4) | bits);
    }
    const BYTE screen[3] = {flags, 0, 0};
    fp->Write(screen, 1, 3);
    if (head.biClrUsed) WriteColorTable(fp);
}

void VistelGIF::WriteColorTable(VsFile* fp)
{
    BYTE table[256 * 3];
    const RGBQUAD* pal = GetPalette();
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        table[i * 3] = pal[i].rgbRed;
        table[i * 3 + 1] = pal[i].rgbGreen;
        table[i * 3 + 2] = pal[i].rgbBlue;
    }
    fp->Write(table, 1, head.biClrUsed * 3);
}

void VistelGIF::EncodeLoopExtension(VsFile* fp)
{
    const BYTE intro[3] = {0x21, 0xFF, 11};
    fp->Write(intro, 1, 3);
    fp->Write("NETSCAPE2.0", 1, 11);
    const BYTE sub[2] = {3, 1};
    fp->Write(sub, 1, 2);
    Putword(m_loops, fp);
    PutByte(fp, 0);
}

void VistelGIF::EncodeExtension(VsFile* fp)
{
    gifgce.flags = (BYTE)(((GetDisposalMethod() & 7) << 2) | (info.nBkgndIndex != -1 ? 1 : 0));
    gifgce.delaytime = (WORD)info.dwFrameDelay;
    gifgce.transpcolindex = (BYTE)info.nBkgndIndex;

    const BYTE block[8] = {0x21, 0xF9, 4, gifgce.flags, (BYTE)(gifgce.delaytime & 0xFF),
                           (BYTE)(gifgce.delaytime >> 8), gifgce.transpcolindex, 0};
    fp->Write(block, 1, sizeof(block));
}

void VistelGIF::EncodeComment(VsFile* fp)
{
    size_t n = strnlen(m_comment, 255);
    if (n == 0) return;
    const BYTE intro[3] = {0x21, 0xFE, (BYTE)n};
    fp->Write(intro, 1, 3);
    fp->Write(m_comment, 1, n);
    PutByte(fp, 0);
}

bool VistelGIF::EncodeRGB(VsFile* fp)
{
    EncodeHeader(fp);
    EncodeComment(fp);

    const long width = head.biWidth, height = head.biHeight;
    VistelGIF tile;
    const bool transparent = IsTransparent();
    const RGBQUAD transColor = GetTransColor();

    for (long y = 0; y < height; y += 15) {
        for (long x = 0; x < width; x += 17) {
            const long w = width - x < 17 ? width - x : 17;
            const long h = height - y < 15 ? height - y : 15;
            if ((long)tile.GetWidth() != w || (long)tile.GetHeight() != h) {
                if (!tile.Create(w, h, 8, 0)) {
                    SetLastError(tile.GetLastError());
                    return false;
                }
            }
            if (transparent) {
                tile.SetTransIndex(0);
                tile.SetPaletteColor(0, transColor);
            }
            for (long j = 0; j < h; j++) {
                for (long i = 0; i < w; i++) {
                    const RGBQUAD c = GetPixelColor(x + i, height - y - h + j, true);
                    const BYTE k = (BYTE)((1 + 17 * j + i) & 255);
                    tile.SetPaletteColor(k, c);
                    tile.SetPixelIndex(i, j, tile.GetNearestIndex(tile.GetPalette()[k]));
                }
            }
            tile.SetOffset(x, y);
            tile.EncodeExtension(fp);
            tile.EncodeBody(fp, true);
        }
    }
    PutByte(fp, 0x3B);
    return true;
}

void VistelGIF::EncodeBody(VsFile* fp, bool bLocalColorMap)
{
    const DWORD option = GetCodecOption(VISTEL_FORMAT_GIF);
    interlaced = (option & GIF_OPT_INTERLACE) != 0;
    StartPixels();

    PutByte(fp, 0x2C);
    Putword(info.xOffset, fp);
    Putword(info.yOffset, fp);
    Putword(head.biWidth, fp);
    Putword(head.biHeight, fp);

    BYTE flags = interlaced ? 0x40 : 0;
    if (bLocalColorMap) flags |= (BYTE)(0x80 | (head.biBitCount - 1));
    PutByte(fp, flags);
    if (bLocalColorMap) WriteColorTable(fp);

    int initCodeSize = head.biBitCount <= 1 ? 2 : head.biBitCount;
    PutByte(fp, (BYTE)initCodeSize);
    switch (option & GIF_OPT_COMPRESSION) {
    case GIF_OPT_NONE: compressNONE(initCodeSize + 1, fp); break;
    case GIF_OPT_RLE: compressRLE(initCodeSize + 1, fp); break;
    default: compressLZW(initCodeSize + 1, fp); break;
    }
    PutByte(fp, 0);
}

void VistelGIF::StartPixels()
{
    pixelRow.resize((size_t)head.biWidth);
    dataRow = 0;
    rowPos = rowEnd = 0;
    CountDown = (long)head.biWidth * head.biHeight;
}

// Unpacks the next row of data into pixelRow: one index per byte, whatever
// the image's depth; an interlaced image's rows go in pass order.
void VistelGIF::LoadPixelRow()
{
    const long pictureRow = PictureRow(dataRow++, head.biHeight, interlaced);
    const BYTE* row = GetBits((DWORD)(head.biHeight - 1 - pictureRow));
    const long width = head.biWidth;
    UnpackIndexRow(row, head.biBitCount, width, pixelRow.data());
    rowPos = 0;
    rowEnd = width;
}

int VistelGIF::GifNextPixel()
{
    if (CountDown == 0) return -1;
    --CountDown;
    if (rowPos == rowEnd) LoadPixelRow();
    return pixelRow[(size_t)rowPos++];
}

void VistelGIF::ResetCompressor(int init_bits, VsFile* outfile)
{
    g_init_bits = init_bits;
    n_bits = init_bits;
    g_outfile = outfile;
    cur_accum = 0;
    cur_bits = 0;
    clear_flg = 0;
    maxcode = (short)MaxCode(n_bits);
    ClearCode = 1 << (init_bits - 1);
    EOFCode = ClearCode + 1;
    free_ent = (short)(ClearCode + 2);
    a_count = 0;
}

// Only the compressors of this file call output: defined inline so that
// their loops neither call it through the shared library's PLT nor spend
// on the end of the data, which EndCodes writes. The accumulator never holds
// bits above cur_bits: each byte sent is shifted out.
inline void VistelGIF::output(DWORD code)
{
    cur_accum |= (unsigned long)code << cur_bits;
    cur_bits += n_bits;
    while (cur_bits >= 8) {
        accum[a_count++] = (char)(cur_accum & 0xFF);
        if (a_count >= 254) flush_char();
        cur_accum >>= 8;
        cur_bits -= 8;
    }

    if (free_ent > maxcode || clear_flg) {
        if (clear_flg) {
            n_bits = g_init_bits;
            maxcode = (short)MaxCode(n_bits);
            clear_flg = 0;
        } else {
            ++n_bits;
            maxcode = (short)(n_bits == 12 ? MAXCODE_LIMIT : MaxCode(n_bits));
        }
    }
}

// Sends the end code, the bits still held and the last sub-block.
void VistelGIF::EndCodes()
{
    output(EOFCode);
    for (; cur_bits > 0; cur_bits -= 8) {
        accum[a_count++] = (char)(cur_accum & 0xFF);
        if (a_count >= 254) flush_char();
        cur_accum >>= 8;
    }
    flush_char();
    g_outfile->Flush();
    if (g_outfile->Error()) SetLastError("Write Error in GIF file");
}

void VistelGIF::compressNONE(int init_bits, VsFile* outfile)
{
    ResetCompressor(init_bits, outfile);
    long ent = GifNextPixel();
    output(ClearCode);
    while (ent != -1) {
        const long c = GifNextPixel();
        output((DWORD)ent);
        ent = c;
        if (free_ent < MAXCODE_LIMIT) {
            free_ent++;
        } else {
            free_ent = (short)(ClearCode + 2);
            clear_flg = 1;
            output(ClearCode);
        }
    }
    EndCodes();
}

// The hashing of compress(1): a string is its prefix code and next pixel,
// hashed by xor into a table of a prime size and probed backwards by a
// second hash. A slot holds the string (20 bits) above its code (12 bits),
// so a probe is one load; string codes start at 6, so an empty slot reads
// 0. As in compress(1), a probe ends at an empty slot or at the slot of the
// string whose value is 0 (the first index twice), and a new string goes
// where the probe ended. Pixels come a row at a time so the loop runs over
// plain bytes.
void VistelGIF::compressLZW(int init_bits, VsFile* outfile)
{
    ResetCompressor(init_bits, outfile);
    htab.resize(HSIZE);
    long ent = GifNextPixel();
    cl_hash(HSIZE);
    output(ClearCode);

    uint32_t* const slots = htab.data();
    while (CountDown > 0) {
        if (rowPos == rowEnd) LoadPixelRow();
        const long n = std::min(rowEnd - rowPos, CountDown);
        const BYTE* pixel = pixelRow.data() + rowPos;
        rowPos += n;
        CountDown -= n;
        for (const BYTE* end = pixel + n; pixel < end; pixel++) {
            const uint32_t c = *pixel;
            const uint32_t string = (c << 12) + (uint32_t)ent;
            long i = (long)((c << 4) ^ (uint32_t)ent);
            uint32_t slot = slots[i];
            // The slot holds this string when the difference is its code.
            if (slot - (string << 12) - 1 < 4095) {
                ent = slot & 0xFFF;
                continue;
            }
            if (slot != 0) {
                const long disp = i == 0 ? 1 : HSIZE - i;
                do {
                    i -= disp;
                    if (i < 0) i += HSIZE;
                    slot = slots[i];
                } while (slot - (string << 12) - 1 >= 4095 && slot >> 12 != 0);
                if (slot - (string << 12) - 1 < 4095) {
                    ent = slot & 0xFFF;
                    continue;
                }
            }
            output((DWORD)ent);
            ent = (long)c;
            if (free_ent < MAXCODE_LIMIT) {
                slots[i] = string << 12 | (uint32_t)free_ent++;
            } else {
                cl_hash(HSIZE);
                free_ent = (short)(ClearCode + 2);
                clear_flg = 1;
                output(ClearCode);
            }
        }
    }
    output((DWORD)ent);
    EndCodes();
}

void VistelGIF::cl_hash(long hsize)
{
    std::fill(htab.begin(), htab.begin() + hsize, 0u);
}

void VistelGIF::flush_char()
{
    if (a_count > 0) {
        PutByte(g_outfile, (BYTE)a_count);
        g_outfile->Write(accum, 1, a_count);
        a_count = 0;
    }
}
