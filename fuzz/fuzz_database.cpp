// SPDX-License-Identifier: MIT
// The glyph database reader: any bytes load, or are refused with a reason,
// and a loaded database holds only valid, distinct codes.
#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "fuzz/FuzzFile.h"

#include <set>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlyphBucketArray buckets;
    const Outcome r = ReadDatabase(FuzzFile(data, size, "database"), buckets, [](double p) {
        if (!(p >= 0 && p <= 100))
            abort();
        return true;
    });
    if (!r.IsDone()) {
        if (GlyphCount(buckets) != 0 || r.Reason().isEmpty())
            abort();
        return 0;
    }
    std::set<int32_t> codes;
    for (const auto& bucket : buckets)
        for (const auto& g : bucket)
            if (CharFromCode(g->AsciiNo).isEmpty() || !codes.insert(g->AsciiNo).second)
                abort();
    return 0;
}
