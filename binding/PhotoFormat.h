// The six photo formats ("vistel", "vsgif", "vspng", "vsjpg", "vstga",
// "vsbmp"): all read any of the five file types, found by content; they
// differ in what they write.
#ifndef VISTEL_PHOTOFORMAT_H
#define VISTEL_PHOTOFORMAT_H

// Registers the formats with Tk for the calling thread.
void RegisterPhotoFormats();

#endif
