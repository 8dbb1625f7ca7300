// SPDX-License-Identifier: MIT
#include "engine/GlyphBuckets.h"

#include <cmath>

int BucketKey(const clsChr& glyph)
{
    const double sum = double(glyph.TL) + double(glyph.TR) + double(glyph.BL) + double(glyph.BR);
    return static_cast<int>(std::floor(sum / 4));
}

size_t GlyphCount(const GlyphBucketArray& buckets)
{
    size_t n = 0;
    for (const auto& bucket : buckets)
        n += bucket.size();
    return n;
}

void ClearBuckets(GlyphBucketArray& buckets)
{
    for (auto& bucket : buckets)
        bucket.clear();
}
