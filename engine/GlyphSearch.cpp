// SPDX-License-Identifier: MIT
#include "engine/GlyphSearch.h"

#include "engine/RuleArithmetic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kFarOff = 1e30f; // padding: its squares overflow float, never win
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct Member {
    std::array<float, 4> q;
    int32_t index;
};

// Cuts members into groups of at most kLanes lying close together: halves at
// a whole number of groups across the quarter that spreads widest. Only
// speed depends on the cut; every cut gives the same winner.
void Cut(std::vector<Member>::iterator first, std::vector<Member>::iterator last, std::vector<std::vector<Member>>& out)
{
    const auto n = size_t(last - first);
    if (n <= GlyphSearch::kLanes) {
        out.emplace_back(first, last);
        return;
    }
    size_t widest = 0;
    float widestSpan = -1;
    for (size_t q = 0; q < 4; ++q) {
        const auto [lo, hi] =
            std::minmax_element(first, last, [q](const Member& a, const Member& b) { return a.q[q] < b.q[q]; });
        if (const float span = hi->q[q] - lo->q[q]; span > widestSpan) {
            widestSpan = span;
            widest = q;
        }
    }
    const size_t groups = (n + GlyphSearch::kLanes - 1) / GlyphSearch::kLanes;
    const auto middle = first + std::ptrdiff_t(groups / 2 * GlyphSearch::kLanes);
    std::nth_element(first, middle, last, [widest](const Member& a, const Member& b) {
        return a.q[widest] < b.q[widest] || (a.q[widest] == b.q[widest] && a.index < b.index);
    });
    Cut(first, middle, out);
    Cut(middle, last, out);
}

// A block's box on one quarter. A value that is not finite gives a box that
// holds everything, so that its block is never passed over.
std::pair<float, float> Box(const std::vector<Member>& block, size_t q)
{
    float lo = kInfinity, hi = -kInfinity;
    for (const Member& m : block) {
        if (!std::isfinite(m.q[q]))
            return {-kInfinity, kInfinity};
        lo = std::min(lo, m.q[q]);
        hi = std::max(hi, m.q[q]);
    }
    return {lo, hi};
}

GlyphSearch::Level Arrange(const GlyphTable::Bucket& bucket, const RndJumpTable& jumps)
{
    std::vector<Member> members;
    for (size_t i = 0; i < bucket.Code.size(); ++i)
        members.push_back({{bucket.TL[i], bucket.TR[i], bucket.BL[i], bucket.BR[i]}, int32_t(i)});
    std::vector<std::vector<Member>> blocks;
    Cut(members.begin(), members.end(), blocks);

    GlyphSearch::Level level;
    level.blocks = blocks.size();
    const size_t boxes = (blocks.size() + GlyphSearch::kLanes - 1) / GlyphSearch::kLanes * GlyphSearch::kLanes;
    const size_t slots = blocks.size() * GlyphSearch::kLanes;
    for (size_t q = 0; q < 4; ++q) {
        level.Lo[q].assign(boxes, kFarOff);
        level.Hi[q].assign(boxes, kFarOff);
        level.Value[q].assign(slots, kFarOff);
    }
    level.Index.assign(slots, -1);
    level.JumpA.assign(slots, 0);
    level.JumpC.assign(slots, 0);
    for (size_t b = 0; b < blocks.size(); ++b) {
        // In bucket order within a block: its first lane of a lowest score is then
        // its first glyph of that score.
        std::sort(blocks[b].begin(), blocks[b].end(),
                  [](const Member& x, const Member& y) { return x.index < y.index; });
        for (size_t q = 0; q < 4; ++q)
            std::tie(level.Lo[q][b], level.Hi[q][b]) = Box(blocks[b], q);
        for (size_t j = 0; j < blocks[b].size(); ++j) {
            const size_t slot = b * GlyphSearch::kLanes + j;
            const Member& m = blocks[b][j];
            for (size_t q = 0; q < 4; ++q)
                level.Value[q][slot] = m.q[q];
            level.Index[slot] = m.index;
            level.JumpA[slot] = jumps.A()[m.index + 1];
            level.JumpC[slot] = jumps.C()[m.index + 1];
        }
    }
    return level;
}

size_t LongestBucket(const GlyphTable& table)
{
    size_t longest = 0;
    for (int level = 0; level < kBucketCount; ++level)
        longest = std::max(longest, table[level].Code.size());
    return longest;
}

// The lowest score so far and its glyph; -1 for none yet.
struct Best {
    float score = kStartScore;
    int32_t index = -1;
    // The rule's order: a lower score wins, an equal one only from an earlier
    // glyph, and nothing at or above the start score.
    void Offer(float s, int32_t i)
    {
        if (s < score || (s == score && index >= 0 && i < index)) {
            score = s;
            index = i;
        }
    }
};

float BlockBound(const GlyphSearch::Level& l, size_t b, const float* c)
{
    float sum = 0;
    for (size_t q = 0; q < 4; ++q) {
        const float gap = std::max(std::max(l.Lo[q][b] - c[q], c[q] - l.Hi[q][b]), 0.0f);
        sum += gap * gap;
    }
    return sum;
}

void ScoreBlock(const GlyphSearch::Level& l, size_t b, const float* c, int32_t variation, uint32_t start, Best& best)
{
    for (size_t slot = b * GlyphSearch::kLanes, end = slot + GlyphSearch::kLanes; slot < end && l.Index[slot] >= 0;
         ++slot) {
        const float r = Rnd::Number((l.JumpA[slot] * start + l.JumpC[slot]) & Rnd::kMask);
        best.Offer(Score(std::fabs(c[0] - l.Value[0][slot]), std::fabs(c[1] - l.Value[1][slot]),
                         std::fabs(c[2] - l.Value[2][slot]), std::fabs(c[3] - l.Value[3][slot]), r, variation),
                   l.Index[slot]);
    }
}

} // namespace

int32_t FindGlyphPortable(const GlyphSearch::Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                          float* bounds)
{
    const float c[4] = {cell.TL, cell.TR, cell.BL, cell.BR};
    size_t nearest = 0;
    for (size_t b = 0; b < level.blocks; ++b) {
        bounds[b] = BlockBound(level, b, c);
        if (bounds[b] < bounds[nearest])
            nearest = b;
    }
    // The nearest block first, for a low best score early.
    Best best;
    if (level.blocks)
        ScoreBlock(level, nearest, c, variation, start, best);
    for (size_t b = 0; b < level.blocks; ++b)
        if (b != nearest && !(bounds[b] > PruneAbove(best.score, variation)))
            ScoreBlock(level, b, c, variation, start, best);
    return best.index;
}

GlyphSearch::GlyphSearch(const GlyphTable& table, bool vector)
    : table_(table), jumps_(LongestBucket(table)), kernel_(FindGlyphPortable)
{
    for (int l = 0; l < kBucketCount; ++l) {
        levels_[size_t(l)] = Arrange(table[l], jumps_);
        boundsSize_ = std::max(boundsSize_, levels_[size_t(l)].Lo[0].size());
    }
#if PICTORIA_AVX2
    if (vector && __builtin_cpu_supports("avx2"))
        kernel_ = FindGlyphAvx2;
#else
    (void)vector;
#endif
}

int32_t GlyphSearch::Choose(const CellQuarters& cell, int32_t level, int32_t variation, uint32_t start,
                            float* bounds) const
{
    const int32_t index = kernel_(levels_[size_t(level)], cell, variation, start, bounds);
    return index >= 0 ? table_[level].Code[size_t(index)] : kFallbackCode;
}
