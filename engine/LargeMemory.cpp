// SPDX-License-Identifier: MIT
#include "engine/LargeMemory.h"

#include <cstdint>
#include <sys/mman.h>

namespace {

// Unreadable pages after the area: a fault there is a bug found, not another
// allocation's memory overwritten.
constexpr size_t kGuard = 8192;
constexpr uintptr_t kPage = 4096;

} // namespace

LargeMemory::LargeMemory(size_t bytes)
{
    // A huge page more than asked, so that the area can start on one.
    length_ = bytes + kHugePage + kGuard;
    void* mapped = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return;
    mapped_ = mapped;
    auto* start = static_cast<unsigned char*>(mapped);
    data_ = start + (kHugePage - reinterpret_cast<uintptr_t>(start) % kHugePage) % kHugePage;
    (void)::madvise(data_, bytes, MADV_HUGEPAGE); // a hint: without it the pages are ordinary ones
    auto* end = static_cast<unsigned char*>(data_) + bytes;
    (void)::mprotect(end + (kPage - reinterpret_cast<uintptr_t>(end) % kPage) % kPage, kPage, PROT_NONE);
}

LargeMemory::~LargeMemory()
{
    if (mapped_)
        ::munmap(mapped_, length_);
}

bool PreparePages(const void* data, size_t bytes)
{
    // Whole pages only: a page partly outside belongs to someone else.
    const auto begin = reinterpret_cast<uintptr_t>(data), end = begin + bytes;
    const uintptr_t first = (begin + kPage - 1) / kPage * kPage, last = end / kPage * kPage;
    if (last <= first)
        return true;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the page bounds of a caller's pointer
    return ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE) == 0;
}
