// LZW decompression of the table-based image data of one GIF frame: a
// buffered byte reader over the stream, a variable-width code reader that
// follows GIF's data sub-blocks, the string-table decoder, and a line writer
// that packs rows for 1- and 4-bit images and places them in sequential or
// interlaced order.
#ifndef VISTEL_GIFLZWDECODER_H
#define VISTEL_GIFLZWDECODER_H

#include "Vistel.h"

// Row cursor over a frame image. Row 0 is the first row in memory, the bottom
// of the picture. A cursor made with a height but no image only counts rows:
// the frame counter uses it to walk the data without storing pixels.
class CImageIterator {
public:
    explicit CImageIterator(Vistel* image);
    explicit CImageIterator(long height);

    // Moves to the top row of the picture.
    void Upset();
    // Moves to row y; out-of-range rows are ignored.
    void SetY(long y);
    // Copies n bytes (n < 0: the padded row width) into the current row.
    void SetRow(const BYTE* buf, long n);
    // Moves one row down the picture.
    void PrevRow();
    bool ItOK() const;
    Vistel* Image() const { return ima; }
    long Height() const { return height; }

private:
    long Itx = 0;
    long Ity = 0;
    BYTE* IterImage = nullptr;
    Vistel* ima = nullptr;
    long height = 0;
};

class GifLzwDecoder {
public:
    enum {
        LZW_OK = 0,
        LZW_END = -1,            // end of input, or a row beyond the frame
        LZW_NO_MEMORY = -10,     // the line buffer cannot be allocated
        LZW_BAD_CODE_SIZE = -20  // minimum code size outside 2..9
    };
    static const int kBufferSize = 16384;
    static const int kTableSize = 4096;

    // Prepares the reader and line writer for a frame of `height` rows whose
    // data starts at the stream's current position.
    void BeginFrame(bool interlaced, long height);
    // Decodes one frame's data into iter's image; linewidth is the frame
    // width in pixels, bad_code_count receives the number of codes above the
    // next free table slot.
    short decoder(VsFile* file, CImageIterator& iter, long linewidth, int& bad_code_count);

    // Bytes read from the stream ahead of what the decoder consumed.
    long ReadAhead() const { return ibf < ibfmax ? ibfmax - ibf : 0; }
    // True once the zero-length sub-block that closes the data was read.
    bool TerminatorRead() const { return terminated; }

    int get_byte(VsFile* file);
    short init_exp(short size);
    // The next code, `ending` at the data's terminator, or a negative value
    // at the end of the input.
    short get_next_code(VsFile* file)
    {
        if (nbits < curr_size) {
            // Two bytes of the current sub-block at once cover any code
            // width: at most 11 bits wait, 27 fit.
            if (navail_bytes >= 2) {
                bitbuf |= (DWORD)(pbytes[0] | (pbytes[1] << 8)) << nbits;
                pbytes += 2;
                navail_bytes = (short)(navail_bytes - 2);
                nbits += 16;
            } else {
                int stop = FillBits(file);
                if (stop != 0) return (short)stop;
            }
        }
        short code = (short)(bitbuf & ((1u << curr_size) - 1));
        bitbuf >>= curr_size;
        nbits -= curr_size;
        return code;
    }
    int out_line(CImageIterator& iter, BYTE* pixels, long linelen);

private:
    int LoadSubBlock(VsFile* file);
    int FillBits(VsFile* file);
    void AddEntry(short first, short c, short& oc, short& fc);
    // Length of the string a code stands for; sound only for codes below slot.
    unsigned StringLength(short code) const { return code < newcodes ? 1u : length[code]; }
    // After a clear code: the table back to its initial codes and width;
    // returns the first code that is not another clear.
    short RestartTable(VsFile* file, int size);
    short Expand(VsFile* file, CImageIterator& iter, long linewidth, int size, int& bad_code_count);
    short Skim(VsFile* file, long linewidth, int size, int& bad_code_count);
    void NextInterlacedRow();

    // line writer
    int interlaced = 0;
    long iypos = 0;
    long istep = 8;
    long iheight = 0;
    int ipass = 0;
    long rowsWritten = 0;
    // byte reader
    int ibf = kBufferSize;
    int ibfmax = kBufferSize;
    BYTE buf[kBufferSize];
    // code reader and string table
    short curr_size = 0;
    short clear = 0;
    short ending = 0;
    short newcodes = 0;
    short top_slot = 0;
    short slot = 0;
    short navail_bytes = 0;
    int nbits = 0;      // valid low bits in bitbuf
    DWORD bitbuf = 0;   // bits read ahead of the next code, least significant first
    bool terminated = false;
    BYTE byte_buff[257];
    BYTE* pbytes = byte_buff;
    BYTE stack[kTableSize];
    BYTE suffix[kTableSize];
    WORD prefix[kTableSize];
    WORD length[kTableSize];  // string length per entry
};

#endif
