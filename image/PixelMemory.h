// Memory for whole pictures: pixel blocks, alpha planes, file contents.
//
// A freshly mapped block is faulted in by the kernel one 4 KiB page at a
// time on first touch, and for a picture of tens of megabytes those faults
// can cost more than decoding it. Large blocks are therefore aligned to
// 2 MiB and advised for transparent huge pages, which the kernel then
// faults in 512 times less often. The contents are what malloc gives:
// undefined. Release with free().
#ifndef VISTEL_PIXELMEMORY_H
#define VISTEL_PIXELMEMORY_H

#include <cstddef>

void* AllocPixelMemory(size_t size);

#endif
