// heap.cpp - the allocator of the real programs: the C heap.
//
// A request for 0 bytes still yields a block, so an empty table is never
// mistaken for an allocation failure.
#include <cstdlib>

#include "platform/platform.h"

void *PlatAlloc(size_t n) { return std::malloc(n ? n : 1); }

void PlatFree(void *block) { std::free(block); }
