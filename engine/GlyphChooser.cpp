// SPDX-License-Identifier: MIT
#include "engine/GlyphChooser.h"

#include "engine/RuleArithmetic.h"

#include <algorithm>
#include <cmath>

GlyphTable::GlyphTable(const GlyphBucketArray& buckets) : buckets_(buckets.size())
{
    for (size_t b = 0; b < buckets.size(); ++b) {
        Bucket& out = buckets_[b];
        bool first = true;
        for (const auto& g : buckets[b]) {
            out.TL.push_back(g->TL);
            out.TR.push_back(g->TR);
            out.BL.push_back(g->BL);
            out.BR.push_back(g->BR);
            out.Code.push_back(g->AsciiNo);
            const float lo = std::min({g->TL, g->TR, g->BL, g->BR});
            const float hi = std::max({g->TL, g->TR, g->BL, g->BR});
            out.Min = first ? lo : std::min(out.Min, lo);
            out.Max = first ? hi : std::max(out.Max, hi);
            first = false;
        }
    }
}

size_t GlyphTable::LongestBucket() const
{
    size_t longest = 0;
    for (const Bucket& b : buckets_)
        longest = std::max(longest, b.Code.size());
    return longest;
}

bool EveryGlyphClose(const GlyphTable::Bucket& b, float tl, float tr, float bl, float br)
{
    const float lo = std::min({tl, tr, bl, br});
    const float hi = std::max({tl, tr, bl, br});
    return !b.Code.empty() && hi - b.Min < kCloseness - 1 && b.Max - lo < kCloseness - 1;
}

size_t DrawCount(const GlyphTable& table, float tl, float tr, float bl, float br, int32_t level)
{
    if (level < 0 || level >= kBucketCount)
        return 0;
    const GlyphTable::Bucket& b = table[level];
    if (EveryGlyphClose(b, tl, tr, bl, br))
        return b.Code.size();
    size_t draws = 0;
    for (size_t i = 0; i < b.Code.size(); ++i)
        draws +=
            Close(std::fabs(tl - b.TL[i]), std::fabs(tr - b.TR[i]), std::fabs(bl - b.BL[i]), std::fabs(br - b.BR[i]));
    return draws;
}

int32_t ChooseGlyph(const GlyphTable& table, float tl, float tr, float bl, float br, int32_t level, int32_t variation,
                    Rnd& rnd)
{
    if (level < 0 || level >= kBucketCount)
        return kFallbackCode;
    const GlyphTable::Bucket& b = table[level];
    const size_t n = b.Code.size();
    float best = kStartScore;
    int32_t code = kFallbackCode;

    // With the settings' ranges every glyph is close enough; then the test can
    // be left out of the loop.
    if (EveryGlyphClose(b, tl, tr, bl, br)) {
        for (size_t i = 0; i < n; ++i) {
            const float score = Score(std::fabs(tl - b.TL[i]), std::fabs(tr - b.TR[i]), std::fabs(bl - b.BL[i]),
                                      std::fabs(br - b.BR[i]), rnd.Next(), variation);
            if (best > score) {
                best = score;
                code = b.Code[i];
            }
        }
        return code;
    }

    for (size_t i = 0; i < n; ++i) {
        const float dtl = std::fabs(tl - b.TL[i]);
        const float dtr = std::fabs(tr - b.TR[i]);
        const float dbl = std::fabs(bl - b.BL[i]);
        const float dbr = std::fabs(br - b.BR[i]);
        float score = kStartScore;
        if (Close(dtl, dtr, dbl, dbr))
            score = Score(dtl, dtr, dbl, dbr, rnd.Next(), variation);
        if (best > score) {
            best = score;
            code = b.Code[i];
        }
    }
    return code;
}
