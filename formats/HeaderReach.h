// How far into a file a header check must see: the structure of the first
// bytes (PNG chunks, GIF blocks, JPEG segments) tells where the part the
// check decides on lies, so that a match reads only as far as that, and
// not at all past bytes that break the structure.
#ifndef VISTEL_HEADERREACH_H
#define VISTEL_HEADERREACH_H

#include <cstddef>

#include "VsTypes.h"

namespace formats {

// The bytes the header check of `type` needs, given the first `size` bytes
// of a file: more than `size` when what it decides on lies further; 0 when
// more bytes would not change its answer (it had them, or the structure
// is broken, or the type's header is all in its first bytes).
size_t HeaderReach(DWORD type, const BYTE* data, size_t size);

}  // namespace formats

#endif
