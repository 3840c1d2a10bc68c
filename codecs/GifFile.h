// A GIF file as it is stored: the logical screen, colour tables, loop count
// and each frame as decoded (its rectangle, control block fields and palette
// indices), before any composition. Reading it follows what web browsers do
// with damaged and unusual files.
#ifndef VISTEL_GIFFILE_H
#define VISTEL_GIFFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "VsFile.h"

struct GifPalette {
    std::vector<uint8_t> rgb;  // red, green, blue per entry
    int Count() const { return (int)(rgb.size() / 3); }
};

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;  // on the logical screen
    bool interlaced = false;
    int palette = -1;      // index into GifFile::palettes; -1: no table at all
    bool localPalette = false;
    int transparent = -1;  // index the frame leaves unpainted; -1: none
    int disposal = 0;      // from its control block; 0 without one
    int delay = 0;         // hundredths of a second, as stored
    int codeSize = 0;      // LZW minimum code size as stored
    // Palette indices in the order the data holds them: row after row, and
    // for an interlaced frame the rows of each pass in turn. Damaged or cut
    // data leaves fewer than width * height.
    std::vector<uint8_t> indices;

    // Interlaced frames hold every 8th row from 0, every 8th from 4, every
    // 4th from 2, then every 2nd from 1. The row of the frame that data row
    // n fills, and the data row that fills row y.
    int RowOfData(int n) const;
    int DataRowOf(int y) const;
};

class GifFile {
public:
    // How far a read goes.
    enum Depth {
        kScreen,     // the screen as shown: header and first image descriptor
        kStructure,  // every frame's fields, without decoding image data
        kPixels      // everything
    };

    int width = 0, height = 0;  // the logical screen as it is shown
    int globalPalette = -1;     // index into palettes; -1: none
    int background = 0;         // background colour index, as stored
    int loops = -1;             // loop block count; -1: the file has none
    std::string comment;        // the last comment
    std::vector<GifPalette> palettes;
    std::vector<GifFrame> frames;

    // Reads a GIF stream. False with the reason in *error when the data is
    // no GIF or holds no frame; `maxPixels` bounds the screen and the frames'
    // decoded indices together.
    bool Read(VsFile* in, Depth depth, uint64_t maxPixels, std::string* error);

    // True for pictures that tile a true-colour image as frames with no
    // delay and no loop block: such a file is one still picture.
    bool IsTileStill() const;
    // How long frame `n` is shown, in milliseconds.
    int ShowMilliseconds(size_t n) const;
    // Frames a player shows: 1 for a still, else every frame.
    size_t ShownFrames() const { return IsTileStill() ? 1 : frames.size(); }
    // The frame whose composition a still shows.
    size_t StillFrame(size_t wanted) const { return IsTileStill() ? frames.size() - 1 : wanted; }
};

#endif
