// SPDX-License-Identifier: MIT
// Choosing the character of a cell: the glyph of the cell's bucket whose
// quarters are nearest, with a random jitter of width Variation.
#pragma once

#include "engine/GlyphBuckets.h"
#include "engine/Rnd.h"

#include <cstdint>
#include <vector>

constexpr int32_t kFallbackCode = 0x8140; // the ideographic space

// The buckets laid out flat for the search, in the buckets' own order.
class GlyphTable {
public:
    explicit GlyphTable(const GlyphBucketArray& buckets);

    struct Bucket {
        std::vector<float> TL, TR, BL, BR;
        std::vector<int32_t> Code;
        float Min = 0, Max = 0; // extremes of all four quarter values
    };
    const Bucket& operator[](int level) const { return buckets_[size_t(level)]; }
    // The glyphs of the bucket with the most: the most numbers a cell draws.
    size_t LongestBucket() const;

private:
    std::vector<Bucket> buckets_;
};

// True when every glyph of the bucket is provably close enough to the cell
// values, so each one draws a number. The margin keeps float rounding out of
// the question.
bool EveryGlyphClose(const GlyphTable::Bucket& b, float tl, float tr, float bl, float br);

// How many numbers ChooseGlyph draws for these cell values.
size_t DrawCount(const GlyphTable& table, float tl, float tr, float bl, float br, int32_t level);

// The code of the best glyph of bucket level for the cell values, or the
// ideographic space when none qualifies. A glyph qualifies when none of its
// quarters differs by more than 100; each qualifying glyph draws one random
// number, scores its squared differences plus r x variation, and wins only
// with a strictly lower score, so ties keep the glyph met first.
int32_t ChooseGlyph(const GlyphTable& table, float tl, float tr, float bl, float br, int32_t level, int32_t variation,
                    Rnd& rnd);
