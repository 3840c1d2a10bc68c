// Composes the frames of a GIF file onto its logical screen as web browsers
// show them: a canvas that starts transparent, each frame painted with its
// own colour table over what is there, and the frame's disposal applied
// before the next one is painted.
#ifndef VISTEL_GIFCOMPOSER_H
#define VISTEL_GIFCOMPOSER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "GifFile.h"

// A rectangle of the screen; empty when width or height is 0.
struct GifRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
    // The smallest rectangle holding both.
    GifRect Union(const GifRect& other) const;
};

class GifComposer {
public:
    // The file must outlive the composer.
    explicit GifComposer(const GifFile& file);

    // Makes the screen show frame `n`: composes on from the current frame
    // when `n` lies ahead of it, else from the start. False when the canvas
    // cannot be allocated; the canvas then holds nothing.
    bool ComposeTo(size_t n);
    // The frame shown, or -1 before the first.
    long Frame() const { return frame_; }

    int Width() const { return file_.width; }
    int Height() const { return file_.height; }
    // The screen as red, green, blue, alpha bytes, top row first.
    const uint8_t* Rgba() const { return canvas_.data(); }
    // The part of the screen that changed since the last call.
    GifRect TakeChanges();

    // Row y of the first frame's composition, as RGBA bytes, without a
    // canvas: a still picture goes to its destination row by row.
    static void FirstFrameRow(const GifFile& file, int y, uint8_t* rgba);

private:
    bool Restart();
    void PaintNext();
    void DisposeOf(const GifFrame& frame);
    void Paint(const GifFrame& frame);
    static GifRect Clip(const GifFile& file, const GifFrame& frame);
    void Touch(const GifRect& r) { changed_ = changed_.Union(r); }

    const GifFile& file_;
    long frame_ = -1;
    std::vector<uint8_t> canvas_;
    // The screen under a frame that restores it when disposed of.
    std::vector<uint8_t> saved_;
    GifRect savedRect_;
    GifRect changed_;
};

#endif
