// GIF codec. Decoding reads the screen descriptor, colour tables and
// extension blocks, counts the frames, and composes the requested frame onto
// a canvas of the logical screen's size through the disposal methods and
// transparency of the frames before it; with all frames requested, every
// composed frame is kept in the frame set.
#ifndef VISTEL_VISTELGIF_H
#define VISTEL_VISTELGIF_H

#include "Vistel.h"

class GifLzwDecoder;

class VistelGIF : public Vistel {
public:
#pragma pack(push, 1)
    // Header and logical screen descriptor (fields little-endian in files).
    struct tag_dscgif {
        char header[6];
        WORD scrwidth;
        WORD scrheight;
        BYTE pflds;
        BYTE bcindx;
        BYTE pxasrat;
    };
    // Image descriptor following the byte 0x2C.
    struct tag_image {
        WORD l;
        WORD t;
        WORD w;
        WORD h;
        BYTE pf;
    };
    // Body of a graphic control extension.
    struct tag_gifgce {
        BYTE flags;
        WORD delaytime;
        BYTE transpcolindex;
    };
#pragma pack(pop)
    // A colour table as read from the file.
    struct tag_TabCol {
        short colres;
        short sogct;
        rgb_color paleta[256];
    };

    VistelGIF();

    bool Decode(VsFile* hFile);
    bool Decode(FILE* hFile);
    bool Encode(VsFile* hFile);
    // Writes pagecount images as one animated GIF.
    bool Encode(VsFile* hFile, Vistel** pImages, int pagecount, bool bLocalColorMap = false);
    // Recognises GIF data from its first bytes and reports the screen size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);

    int GetLoops() const { return m_loops; }
    void SetLoops(int loops) { m_loops = loops; }
    void GetComment(char* sz_comment_out) const;
    void SetComment(const char* sz_comment_in);

protected:
    // Reads one extension block after its introducer 0x21.
    bool DecodeExtension(VsFile* fp);
    // Counts the frames that fit on the screen, leaving the stream where it was.
    int get_num_frames(VsFile* fp, tag_TabCol* TabColSrc, tag_dscgif* dscgif);
    // Finds the next image descriptor (0x2C after 0x00) from position.
    long seek_next_image(VsFile* fp, long position);
    // Draws imgsrc2 onto this canvas at the descriptor's place, skipping
    // pixels of imgsrc2's transparent index.
    void GifMix(Vistel& imgsrc2, tag_image& imgdesc);

    tag_gifgce gifgce;
    char m_comment[256];
    int m_loops;

private:
    struct DecodeState;
    bool DecodeFrames(VsFile* fp, DecodeState& st);
    bool ReadFrame(VsFile* fp, DecodeState& st);
    bool ReadColorTable(VsFile* fp, int entries, tag_TabCol* table);
    void SkipFrameData(VsFile* fp, GifLzwDecoder& lzw, int badcode, long pos_start);
    void PrepareCanvas(DecodeState& st, WORD bpp);
    void WidenCanvas(DecodeState& st, WORD bpp);
    void SetFramePalette(VistelGIF& frame, const tag_TabCol& table) const;
    void PaintTrueColor(DecodeState& st, Vistel& frame, const tag_image& image);
    void CheckFrameSetBudget(DecodeState& st, const Vistel& screen) const;
    void StoreFrame(DecodeState& st, Vistel& composed);
    static Vistel* CopyImage(const Vistel& src);
    void SyncCanvasInfo(VistelGIF& canvas, long transIndex) const;
    void AdoptResult(Vistel& picture, long transIndex);
};

#endif
