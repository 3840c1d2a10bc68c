// GIF codec: a still picture from a GIF file (one frame as the screen shows
// it, through GifFile and GifComposer), and the encoder for single pictures
// and frame lists.
#ifndef VISTEL_VISTELGIF_H
#define VISTEL_VISTELGIF_H

#include <vector>

#include "PictureFacts.h"
#include "Vistel.h"

class GifFile;

// The GIF codec option word (GetCodecOption(VISTEL_FORMAT_GIF)): how image
// data is packed, and whether rows are stored interlaced.
enum GIF_CODEC_OPTIONS : DWORD {
    GIF_OPT_LZW = 0,
    GIF_OPT_NONE = 1,         // plain codes, no compression
    GIF_OPT_RLE = 2,          // run-length codes
    GIF_OPT_COMPRESSION = 3,  // the bits that choose one of the above
    GIF_OPT_INTERLACE = 0x10  // rows in the four interlace passes
};

class VistelGIF : public Vistel {
public:
#pragma pack(push, 1)
    // Body of a graphic control extension.
    struct tag_gifgce {
        BYTE flags;
        WORD delaytime;
        BYTE transpcolindex;
    };
#pragma pack(pop)
    VistelGIF();

    // Decodes the frame GetFrame() names (0 unless set), composed as
    // browsers show it; a file of tiles that form one still picture gives
    // that picture.
    bool Decode(VsFile* hFile) override;
    bool Encode(VsFile* hFile) override;
    // Writes pagecount images as one animated GIF.
    bool Encode(VsFile* hFile, Vistel** pImages, int pagecount, bool bLocalColorMap = false);
    // Recognises GIF data from its first bytes and reports the screen size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

    int GetLoops() const { return m_loops; }
    void SetLoops(int loops) { m_loops = loops; }
    void GetComment(char* sz_comment_out) const;
    void SetComment(const char* sz_comment_in);

    // Frame `n` of a file as the screen shows it: an indexed image with the
    // frame's own table when it is the file's only frame and covers the
    // screen, else true colour with an alpha plane. False with the reason
    // in out's last error.
    static bool ComposeFrame(const GifFile& gif, size_t n, Vistel* out);

protected:
    tag_gifgce gifgce;
    char m_comment[256];
    int m_loops;

    // ---------------------------------------------------------- writing
    // State of the run-length compressor for one image.
    struct tag_RLE {
        int rl_pixel;        // pixel of the run being collected
        int rl_basecode;     // code of a run of 2 pixels; n pixels: rl_basecode + n - 2
        int rl_count;        // length of the run being collected
        int rl_table_pixel;  // pixel whose runs the decoder's table holds
        int rl_table_max;    // longest run the decoder's table holds
        int just_cleared;    // a clear code was the last thing sent
        int out_bits;        // current code width
        int out_bits_init;
        int out_count;       // codes sent since the last clear
        int out_bump;        // out_count at which the width grows
        int out_bump_init;
        int out_clear;       // out_count at which a clear is forced
        int out_clear_init;
        int max_ocodes;      // codes that fit before the decoder's table is full
        int code_clear;
        int code_eof;
        unsigned int obuf;   // bit accumulator
        int obits;
        unsigned char oblock[256];  // data sub-block being filled
        int oblen;
    };

    void EncodeHeader(VsFile* fp);
    void EncodeLoopExtension(VsFile* fp);
    void EncodeExtension(VsFile* fp);
    void EncodeComment(VsFile* fp);
    void EncodeBody(VsFile* fp, bool bLocalColorMap = false);
    bool EncodeRGB(VsFile* fp);
    void WriteColorTable(VsFile* fp);
    // Pixels in file order (top row first): StartPixels, then GifNextPixel
    // until it returns -1.
    void StartPixels();
    void LoadPixelRow();
    int GifNextPixel();
    void Putword(int w, VsFile* fp);
    void ResetCompressor(int init_bits, VsFile* outfile);
    void compressNONE(int init_bits, VsFile* outfile);
    void compressLZW(int init_bits, VsFile* outfile);
    void output(DWORD code);
    void EndCodes();
    void cl_hash(long hsize);
    void flush_char();

    void compressRLE(int init_bits, VsFile* outfile);
    void rle_clear(tag_RLE* rle);
    void rle_flush(tag_RLE* rle);
    void rle_flush_withtable(int count, tag_RLE* rle);
    void rle_flush_clearorrep(int count, tag_RLE* rle);
    void rle_flush_fromclear(int count, tag_RLE* rle);
    void rle_output_plain(int c, tag_RLE* rle);
    void rle_reset_out_clear(tag_RLE* rle);
    static unsigned int rle_compute_triangle_count(unsigned int count, unsigned int nrepcodes);
    static unsigned int rle_isqrt(unsigned int x);
    void rle_write_block(tag_RLE* rle);
    void rle_block_out(unsigned char c, tag_RLE* rle);
    void rle_block_flush(tag_RLE* rle);
    void rle_output(int val, tag_RLE* rle);
    void rle_output_flush(tag_RLE* rle);

    // Encoder state: pixel cursor, bit packer, LZW hash table, sub-block.
    std::vector<BYTE> pixelRow;  // the row being coded, one index per byte
    long dataRow;                // row of the image data to load next
    bool interlaced;             // data rows in the four passes' order
    long rowPos, rowEnd;         // cursor in pixelRow
    long CountDown;              // pixels left
    unsigned long cur_accum;
    int cur_bits;
    std::vector<uint32_t> htab;  // LZW string table, allocated by compressLZW only
    int n_bits;
    short maxcode;
    short free_ent;
    int clear_flg;
    int g_init_bits;
    VsFile* g_outfile;
    int ClearCode;
    int EOFCode;
    int a_count;
    char accum[256];

};

#endif
