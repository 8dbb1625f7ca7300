// SPDX-License-Identifier: MIT
// The glyph search against the rule it stands in for: the input makes a
// bucket (quarter values from a small set, so that scores tie, or any float
// at all) and cells with their variation and start states; both kernels must
// pick the glyph ChooseGlyph picks for every cell whose bucket is all close,
// through the blocks and through the candidate lists alike.
#include "engine/GlyphSearch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    template <class T>
    T Next()
    {
        T v{};
        const size_t n = std::min(sizeof v, size);
        std::memcpy(&v, data, n);
        data += n;
        size -= n;
        return v;
    }
    // A byte picks one of a few values a float step apart, or the next four
    // bytes are the float itself.
    float Value()
    {
        const auto b = Next<uint8_t>();
        return b < 200 ? std::nextafter(float(b % 25) / 4, b % 3 ? 100.0f : -100.0f) : Next<float>();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in{data, size};
    GlyphBucketArray buckets;
    const int level = in.Next<uint8_t>() % kBucketCount;
    for (int i = 0, n = in.Next<uint8_t>() + 1; i < n; ++i)
        buckets[size_t(level)].push_back(
            std::make_shared<clsChr>(clsChr{in.Value(), in.Value(), in.Value(), in.Value(), 0x8140 + i}));
    const GlyphTable table(buckets);
    // A cube's candidate list is made at its second cell, so that inputs reach the lists.
    const GlyphSearch portable(table, false, 1), vector(table, true, 1);
    SearchScratch scratch = portable.Scratch();
    while (in.size > 0) {
        const CellQuarters c{in.Value(), in.Value(), in.Value(), in.Value()};
        const auto variation = in.Next<int8_t>();
        const uint32_t start = in.Next<uint32_t>() & Rnd::kMask;
        if (!EveryGlyphClose(table[level], c.TL, c.TR, c.BL, c.BR))
            continue;
        Rnd rnd(start);
        const int32_t expected = ChooseGlyph(table, c.TL, c.TR, c.BL, c.BR, level, variation, rnd);
        if (portable.Choose(c, level, variation, start, scratch) != expected ||
            vector.Choose(c, level, variation, start, scratch) != expected)
            abort();
    }
    return 0;
}
