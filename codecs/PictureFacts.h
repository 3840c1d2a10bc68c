// What a file says about its picture without its pixels being decoded:
// the facts each codec's Describe reads from headers and metadata.
#ifndef VISTEL_PICTUREFACTS_H
#define VISTEL_PICTUREFACTS_H

#include <vector>

#include "VsExifInfo.h"
#include "VsTypes.h"

struct PictureFacts {
    DWORD format = VISTEL_FORMAT_UNKNOWN;
    int width = 0, height = 0;  // as a still read shows it
    int depth = 0;              // bits per pixel as stored
    size_t frames = 1;          // frames a player shows
    std::vector<int> delays;    // GIF: each frame's delay in milliseconds, as stored
    int loops = -1;             // GIF loop count; -1: the file has none
    long xDpi = 0, yDpi = 0;    // resolution; 0: the file states none
    bool alpha = false;         // the picture can have transparent pixels
    bool interlaced = false;    // PNG Adam7, or a GIF with interlaced frames
    bool progressive = false;   // JPEG progressive scans
    bool hasExif = false;
    tag_ExifInfo exif = {};     // when hasExif (ThumbnailPointer always null)
};

#endif
