// SPDX-License-Identifier: MIT
#include "engine/LargeMemory.h"

#include <cstdint>
#include <sys/mman.h>

LargeMemory::LargeMemory(size_t bytes)
{
    // A huge page more than asked, so that the area can start on one.
    length_ = bytes + kHugePage;
    void* mapped = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return;
    mapped_ = mapped;
    auto* start = static_cast<unsigned char*>(mapped);
    data_ = start + (kHugePage - reinterpret_cast<uintptr_t>(start) % kHugePage) % kHugePage;
    (void)::madvise(data_, bytes, MADV_HUGEPAGE); // a hint: without it the pages are ordinary ones
}

LargeMemory::~LargeMemory()
{
    if (mapped_)
        ::munmap(mapped_, length_);
}
