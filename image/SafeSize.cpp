#include "SafeSize.h"

namespace vssize {

namespace {
thread_local uint64_t currentMaxPixels = kDefaultMaxPixels;
}

uint64_t MaxPixels()
{
    return currentMaxPixels;
}

CeilingScope::CeilingScope(uint64_t maxPixels) : previous_(currentMaxPixels)
{
    currentMaxPixels = maxPixels;
}

CeilingScope::~CeilingScope()
{
    currentMaxPixels = previous_;
}

}  // namespace vssize
