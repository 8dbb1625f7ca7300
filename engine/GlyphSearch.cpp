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
    std::vector<std::vector<Member>> groups;
    Cut(members.begin(), members.end(), groups);

    constexpr size_t kLanes = GlyphSearch::kLanes;
    GlyphSearch::Level level;
    GlyphSearch::Block padding{};
    for (auto& lane : padding.Value)
        std::fill(std::begin(lane), std::end(lane), kFarOff);
    std::fill(std::begin(padding.Index), std::end(padding.Index), -1);
    level.blocks.assign(groups.size(), padding);
    GlyphSearch::Boxes farOff{};
    for (size_t q = 0; q < 4; ++q) {
        std::fill(std::begin(farOff.Lo[q]), std::end(farOff.Lo[q]), kFarOff);
        std::fill(std::begin(farOff.Hi[q]), std::end(farOff.Hi[q]), kFarOff);
    }
    level.boxes.assign((groups.size() + kLanes - 1) / kLanes, farOff);
    for (size_t b = 0; b < groups.size(); ++b) {
        // In bucket order within a block: its first lane of a lowest score is then
        // its first glyph of that score.
        std::sort(groups[b].begin(), groups[b].end(),
                  [](const Member& x, const Member& y) { return x.index < y.index; });
        GlyphSearch::Boxes& box = level.boxes[b / kLanes];
        for (size_t q = 0; q < 4; ++q)
            std::tie(box.Lo[q][b % kLanes], box.Hi[q][b % kLanes]) = Box(groups[b], q);
        GlyphSearch::Block& block = level.blocks[b];
        for (size_t j = 0; j < groups[b].size(); ++j) {
            const Member& m = groups[b][j];
            for (size_t q = 0; q < 4; ++q)
                block.Value[q][j] = m.q[q];
            block.Index[j] = m.index;
            block.JumpA[j] = jumps.A()[m.index + 1];
            block.JumpC[j] = jumps.C()[m.index + 1];
        }
    }
    return level;
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
    const GlyphSearch::Boxes& box = l.boxes[b / GlyphSearch::kLanes];
    const size_t lane = b % GlyphSearch::kLanes;
    float sum = 0;
    for (size_t q = 0; q < 4; ++q) {
        const float gap = std::max(std::max(box.Lo[q][lane] - c[q], c[q] - box.Hi[q][lane]), 0.0f);
        sum += gap * gap;
    }
    return sum;
}

void ScoreBlock(const GlyphSearch::Block& block, const float* c, int32_t variation, uint32_t start, Best& best)
{
    for (size_t j = 0; j < GlyphSearch::kLanes && block.Index[j] >= 0; ++j) {
        const float r = Rnd::Number((block.JumpA[j] * start + block.JumpC[j]) & Rnd::kMask);
        best.Offer(Score(std::fabs(c[0] - block.Value[0][j]), std::fabs(c[1] - block.Value[1][j]),
                         std::fabs(c[2] - block.Value[2][j]), std::fabs(c[3] - block.Value[3][j]), r, variation),
                   block.Index[j]);
    }
}

} // namespace

int32_t FindGlyphPortable(const GlyphSearch::Level& level, const CellQuarters& cell, int32_t variation, uint32_t start,
                          SearchScratch& scratch)
{
    float* bounds = scratch.bounds.data();
    const float c[4] = {cell.TL, cell.TR, cell.BL, cell.BR};
    const size_t blocks = level.blocks.size();
    size_t nearest = 0;
    for (size_t b = 0; b < blocks; ++b) {
        bounds[b] = BlockBound(level, b, c);
        if (bounds[b] < bounds[nearest])
            nearest = b;
    }
    // The nearest block first, for a low best score early.
    Best best;
    if (blocks)
        ScoreBlock(level.blocks[nearest], c, variation, start, best);
    for (size_t b = 0; b < blocks; ++b)
        if (b != nearest && !(bounds[b] > PruneAbove(best.score, variation)))
            ScoreBlock(level.blocks[b], c, variation, start, best);
    return best.index;
}

namespace {

int32_t FindListedOne(const CandidateList& list, const CellQuarters& cell, int32_t variation, uint32_t start)
{
    const float c[4] = {cell.TL, cell.TR, cell.BL, cell.BR};
    Best best;
    for (size_t g = 0; g < list.groups; ++g) {
        if (list.nearest[g] > PruneAbove(best.score, variation))
            return best.index;
        ScoreBlock(list.blocks[g], c, variation, start, best);
    }
    return list.rest > PruneAbove(best.score, variation) ? best.index : GlyphSearch::kNotListed;
}

} // namespace

void FindListedPortable(const CandidateList* const* lists, const CellQuarters* cells, const uint32_t* starts,
                        size_t count, int32_t variation, int32_t* found, SearchScratch&)
{
    for (size_t k = 0; k < count; ++k)
        found[k] = lists[k] ? FindListedOne(*lists[k], cells[k], variation, starts[k]) : GlyphSearch::kNotListed;
}

GlyphSearch::GlyphSearch(const GlyphTable& table, bool vector, uint32_t listAfter)
    : table_(table),
      jumps_(table.LongestBucket()),
      kernel_(FindGlyphPortable),
      listKernel_(FindListedPortable),
      candidates_(table, jumps_, listAfter)
{
    for (int l = 0; l < kBucketCount; ++l) {
        levels_[size_t(l)] = Arrange(table[l], jumps_);
        boxes_ = std::max(boxes_, levels_[size_t(l)].boxes.size() * kLanes);
    }
#if PICTORIA_AVX2
    if (vector && __builtin_cpu_supports("avx2")) {
        kernel_ = FindGlyphAvx2;
        listKernel_ = FindListedAvx2;
    }
#else
    (void)vector;
#endif
}

int32_t GlyphSearch::Choose(const CellQuarters& cell, int32_t level, int32_t variation, uint32_t start,
                            SearchScratch& scratch) const
{
    int32_t code = kFallbackCode;
    ChooseMany(&cell, &level, &start, 1, variation, &code, scratch);
    return code;
}

void GlyphSearch::ChooseMany(const CellQuarters* cells, const int32_t* levels, const uint32_t* starts, size_t count,
                             int32_t variation, int32_t* codes, SearchScratch& scratch) const
{
    const CandidateList** lists = scratch.lists.data();
    int32_t* found = scratch.found.data();
    for (size_t first = 0; first < count; first += kBatch) {
        const size_t n = std::min(kBatch, count - first);
        for (size_t k = 0; k < n; ++k)
            lists[k] = candidates_.Find(levels[first + k], cells[first + k], variation, scratch.memo);
        listKernel_(lists, cells + first, starts + first, n, variation, found, scratch);
        for (size_t k = 0; k < n; ++k) {
            const size_t c = first + k;
            const int32_t index = found[k] != kNotListed
                                      ? found[k]
                                      : kernel_(levels_[size_t(levels[c])], cells[c], variation, starts[c], scratch);
            codes[c] = index >= 0 ? table_[levels[c]].Code[size_t(index)] : kFallbackCode;
        }
    }
}

SearchScratch GlyphSearch::Scratch() const
{
    SearchScratch scratch;
    scratch.bounds.resize(boxes_);
    scratch.rough.resize(std::max(boxes_, CandidateCache::kMaxGroups) * kLanes);
    // Every block, the first once more, and a vector's worth: the kernels
    // write whole vectors of block numbers before they know how many count.
    scratch.blocks.resize(boxes_ + 1 + kLanes);
    scratch.lists.resize(kBatch);
    scratch.found.resize(kBatch);
    scratch.batchRough.resize(kBatch * CandidateCache::kMaxGroups * kLanes);
    return scratch;
}
