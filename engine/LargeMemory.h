// SPDX-License-Identifier: MIT
// Memory for a large working area: fresh from the kernel (it reads as zeros)
// and in huge pages where the kernel allows. Every first touch of a page costs
// a fault, some microseconds on a virtual machine; a huge page takes one
// fault for 2 MB instead of 512.
#pragma once

#include <cstddef>

class LargeMemory {
public:
    static constexpr size_t kHugePage = size_t(2) << 20;

    // Data() is null when the memory was refused.
    explicit LargeMemory(size_t bytes);
    ~LargeMemory();
    LargeMemory(const LargeMemory&) = delete;
    LargeMemory& operator=(const LargeMemory&) = delete;

    void* Data() const { return data_; }

    // bytes rounded up to whole huge pages: asked for so, an area's last
    // part too is a huge page, not hundreds of small ones each faulted in.
    static constexpr size_t InHugePages(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

private:
    void* mapped_ = nullptr;
    size_t length_ = 0;
    void* data_ = nullptr;
};

// Makes the pages of [data, data + bytes) present and writable without
// changing what they hold, so that whoever writes them next finds them ready:
// another thread can take on the faults of a writer this way. False when the
// kernel cannot (Linux before 5.14); the writer then takes the faults itself.
bool PreparePages(const void* data, size_t bytes);
