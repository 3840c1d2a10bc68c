// Putting bytes into a file so that a failure loses nothing: a regular file
// is written under a new name beside it and renamed over it only when
// complete; devices and other special files are written in place and never
// removed.
#ifndef VISTEL_FILEREPLACE_H
#define VISTEL_FILEREPLACE_H

#include <cstddef>

#include "TkVistel.h"

// Makes `bytes` the content of the file `fileName` (a Tcl file name). A
// link is followed, and the file it names is replaced; an existing file
// keeps its permissions (and, where allowed, its owner), a new one gets
// 0644 less the umask. On failure the result names the file and the cause,
// with errorcode VISTEL IO, and the file is as it was.
int ReplaceFileContents(Tcl_Interp* interp, const char* fileName, const unsigned char* bytes,
                        size_t size);

#endif
