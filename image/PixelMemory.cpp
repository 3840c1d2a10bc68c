#include "PixelMemory.h"

#include <cstdlib>
#include <sys/mman.h>

namespace {

const size_t kHugePage = (size_t)2 << 20;
// Below this, a block is mostly partial huge pages and the advice buys
// little; plain malloc also keeps such blocks in its heap for reuse.
const size_t kAdviseFrom = 4 * kHugePage;

}  // namespace

void* AllocPixelMemory(size_t size)
{
    if (size < kAdviseFrom) return malloc(size);
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, size) != 0) return nullptr;
    // Advice only: where the kernel has no huge pages to give, the block
    // still works with small ones.
    madvise(block, size & ~(kHugePage - 1), MADV_HUGEPAGE);
    return block;
}
