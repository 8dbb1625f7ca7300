// SPDX-License-Identifier: MIT
// The glyph search with AVX2: eight boxes, then eight glyphs, per instruction.
// Built on x86-64 only and called only where the processor has AVX2.
#include "engine/GlyphSearch.h"

#include "engine/RuleArithmetic.h"

#include <algorithm>
#include <immintrin.h>
#include <limits>
#include <utility>

namespace {

constexpr size_t kLanes = GlyphSearch::kLanes;

// Squared distance from the cell to eight boxes, in float, as the portable
// kernel works it.
__attribute__((target("avx2"), always_inline)) inline __m256 EightBounds(const GlyphSearch::Boxes& box, const __m256* c)
{
    __m256 sum = _mm256_setzero_ps();
#pragma GCC unroll 4
    for (size_t q = 0; q < 4; ++q) {
        const __m256 below = _mm256_sub_ps(_mm256_load_ps(box.Lo[q]), c[q]);
        const __m256 above = _mm256_sub_ps(c[q], _mm256_load_ps(box.Hi[q]));
        const __m256 gap = _mm256_max_ps(_mm256_max_ps(below, above), _mm256_setzero_ps());
        sum = _mm256_add_ps(sum, _mm256_mul_ps(gap, gap));
    }
    return sum;
}

// Four of the eight floats, low (h = 0) or high half, as doubles.
__attribute__((target("avx2"), always_inline)) inline __m256d Wide(__m256 v, int h)
{
    return _mm256_cvtps_pd(h ? _mm256_extractf128_ps(v, 1) : _mm256_castps256_ps128(v));
}

// Scores with a glyph value that is not a number as infinity: such a glyph
// never wins, and no minimum taken over its lanes turns out not a number.
__attribute__((target("avx2"), always_inline)) inline __m256 WinsNever(__m256 scores)
{
    return _mm256_blendv_ps(scores, _mm256_set1_ps(std::numeric_limits<float>::infinity()),
                            _mm256_cmp_ps(scores, scores, _CMP_UNORD_Q));
}

// A block's differences from the cell and the states its glyphs draw.
struct BlockInput {
    __m256 d[4];
    __m256i state;
};

__attribute__((target("avx2"), always_inline)) inline BlockInput Differences(const GlyphSearch::Block& block,
                                                                             const __m256* c, __m256i start)
{
    BlockInput in;
#pragma GCC unroll 4
    for (size_t q = 0; q < 4; ++q)
        in.d[q] = _mm256_sub_ps(c[q], _mm256_load_ps(block.Value[q]));
    in.state = _mm256_and_si256(
        _mm256_add_epi32(_mm256_mullo_epi32(_mm256_load_si256(reinterpret_cast<const __m256i*>(block.JumpA)), start),
                         _mm256_load_si256(reinterpret_cast<const __m256i*>(block.JumpC))),
        _mm256_set1_epi32(int32_t(Rnd::kMask)));
    return in;
}

// The scores worked in float, a few float steps from the exact ones: a
// block none of whose rough scores comes near the best needs no exact ones.
__attribute__((target("avx2"), always_inline)) inline __m256 RoughScores(const BlockInput& in, __m256 floatVariation)
{
    __m256 sum = _mm256_mul_ps(in.d[0], in.d[0]);
#pragma GCC unroll 4
    for (size_t q = 1; q < 4; ++q)
        sum = _mm256_add_ps(sum, _mm256_mul_ps(in.d[q], in.d[q]));
    return WinsNever(_mm256_add_ps(sum, _mm256_mul_ps(_mm256_cvtepi32_ps(in.state), floatVariation)));
}

// The scores of a block's eight slots.
// Exact: float x float is exact in double and the sum runs in the scalar
// order dTL² + dTR² + dBL² + dBR² + r V, each step one IEEE double rounding,
// then one rounding to float (no fused multiply-add here either). The
// differences keep their signs: a square does not depend on them. The number
// r is s / 2^24 for the 24-bit state s, hence r V = s (V / 2^24), V / 2^24 exact.
__attribute__((target("avx2"), always_inline)) inline __m256 ExactScores(const BlockInput& in, __m256d scaledVariation)
{
    __m128 half[2];
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
        const __m256d r =
            _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(in.state, 1) : _mm256_castsi256_si128(in.state));
        __m256d sum = _mm256_setzero_pd();
#pragma GCC unroll 4
        for (size_t q = 0; q < 4; ++q) {
            const __m256d wide = Wide(in.d[q], h);
            sum = q ? _mm256_add_pd(sum, _mm256_mul_pd(wide, wide)) : _mm256_mul_pd(wide, wide);
        }
        sum = _mm256_add_pd(sum, _mm256_mul_pd(r, scaledVariation));
        half[h] = _mm256_cvtpd_ps(sum);
    }
    return WinsNever(_mm256_set_m128(half[1], half[0]));
}

__attribute__((target("avx2"), always_inline)) inline float Lowest(__m256 v)
{
    __m128 low = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    low = _mm_min_ps(low, _mm_movehl_ps(low, low));
    low = _mm_min_ss(low, _mm_shuffle_ps(low, low, 1));
    return _mm_cvtss_f32(low);
}

struct Search {
    const GlyphSearch::Level* level; // none for a candidate list's search
    __m256 c[4];
    __m256i start;
    __m256d scaledVariation;
    __m256 floatVariation;
    float best = kStartScore;
    int32_t index = -1;

    // The rule's order: a lower score wins, an equal one only from an
    // earlier glyph, nothing at or above the start score. Lanes run in
    // bucket order within a block, so the first lane of the lowest score is
    // the block's candidate.
    __attribute__((target("avx2"), always_inline)) void Score(size_t block) { Score(level->blocks[block]); }

    __attribute__((target("avx2"), always_inline)) void Score(const GlyphSearch::Block& b)
    {
        const __m256 scores = ExactScores(Differences(b, c, start), scaledVariation);
        const float lowest = Lowest(scores);
        if (!(lowest < best || (lowest == best && index >= 0)))
            return;
        const int lanes = _mm256_movemask_ps(_mm256_cmp_ps(scores, _mm256_set1_ps(lowest), _CMP_EQ_OQ));
        const int32_t candidate = b.Index[__builtin_ctz(unsigned(lanes))];
        if (lowest < best || candidate < index) {
            best = lowest;
            index = candidate;
        }
    }

    __attribute__((target("avx2"), always_inline)) __m256 Rough(size_t block) const
    {
        return RoughScores(Differences(level->blocks[block], c, start), floatVariation);
    }
};

__attribute__((target("avx2"), always_inline)) inline Search
ForCell(const GlyphSearch::Level* level, const CellQuarters& cell, int32_t variation, uint32_t start)
{
    return {level,
            {_mm256_set1_ps(cell.TL), _mm256_set1_ps(cell.TR), _mm256_set1_ps(cell.BL), _mm256_set1_ps(cell.BR)},
            _mm256_set1_epi32(int32_t(start)),
            _mm256_set1_pd(double(variation) * 0x1p-24),
            _mm256_set1_ps(float(variation) * 0x1p-24f)};
}

// The squared distance from the cell to every box into bounds; answers the
// first block nearest to the cell.
__attribute__((target("avx2"), always_inline)) inline size_t Bounds(const Search& s, float* bounds)
{
    const size_t boxes = s.level->boxes.size() * kLanes;
    __m256 nearest = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    for (size_t b = 0; b < boxes; b += kLanes) {
        const __m256 eight = EightBounds(s.level->boxes[b / kLanes], s.c);
        _mm256_storeu_ps(&bounds[b], eight);
        nearest = _mm256_min_ps(nearest, eight);
    }
    const __m256 least = _mm256_set1_ps(Lowest(nearest));
    for (size_t b = 0; b < boxes; b += kLanes)
        if (const int equal = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&bounds[b]), least, _CMP_EQ_OQ)))
            return b + size_t(__builtin_ctz(unsigned(equal)));
    return 0;
}

// For each set of lanes (a mask of eight bits), the lanes in order, packed
// to the front: the blocks near the cell are listed without a branch each.
struct LanePacking {
    uint8_t lanes[256][kLanes];
    constexpr LanePacking() : lanes()
    {
        for (unsigned mask = 0; mask < 256; ++mask)
            for (unsigned lane = 0, n = 0; lane < kLanes; ++lane)
                if (mask & (1u << lane))
                    lanes[mask][n++] = uint8_t(lane);
    }
};
constexpr LanePacking kPacking;

// The blocks other than first whose box is not farther than limit into out,
// which has room for a vector beyond the blocks; answers how many.
__attribute__((target("avx2"), always_inline)) inline size_t Near(const GlyphSearch::Level& level, const float* bounds,
                                                                  float limit, size_t first, uint32_t* out)
{
    size_t n = 0;
    const __m256 most = _mm256_set1_ps(limit);
    const size_t blocks = level.blocks.size();
    for (size_t b = 0; b < blocks; b += kLanes) {
        auto near = unsigned(_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&bounds[b]), most, _CMP_LE_OQ)));
        near &= blocks - b >= kLanes ? 0xFFu : (1u << (blocks - b)) - 1; // padding boxes are no blocks
        near &= first - b < kLanes ? ~(1u << (first - b)) : ~0u;
        const __m256i lanes =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kPacking.lanes[near])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(&out[n]),
                            _mm256_add_epi32(lanes, _mm256_set1_epi32(int32_t(b))));
        n += size_t(__builtin_popcount(near));
    }
    return n;
}

// With a negative variation the random term lowers scores and no rough
// score bounds an exact one: every near block is scored exactly.
__attribute__((target("avx2"), always_inline)) inline int32_t ExactlyAll(Search& s, size_t first, int32_t variation,
                                                                         SearchScratch& scratch)
{
    s.Score(first);
    uint32_t* blocks = scratch.blocks.data();
    const size_t n = Near(*s.level, scratch.bounds.data(), PruneAbove(s.best, variation), first, blocks);
    for (size_t k = 0; k < n; ++k)
        s.Score(blocks[k]);
    return s.index;
}

// Rough scores of the nearest block and of every block whose box is not
// farther than its lowest, into scratch; answers how many blocks and the
// lowest rough score, at most the start score.
__attribute__((target("avx2"), always_inline)) inline std::pair<size_t, float>
RoughlyNear(const Search& s, int32_t variation, size_t first, SearchScratch& scratch)
{
    float* rough = scratch.rough.data();
    uint32_t* blocks = scratch.blocks.data();
    const __m256 nearest = s.Rough(first);
    _mm256_storeu_ps(rough, nearest);
    const float bound = std::min(Lowest(nearest), kStartScore);
    blocks[0] = uint32_t(first);
    const size_t n = 1 + Near(*s.level, scratch.bounds.data(), PruneAbove(bound, variation), first, blocks + 1);
    __m256 lowest = _mm256_set1_ps(bound);
    for (size_t k = 1; k < n; ++k) {
        const __m256 r = s.Rough(blocks[k]);
        _mm256_storeu_ps(&rough[k * kLanes], r);
        lowest = _mm256_min_ps(lowest, r);
    }
    return {n, Lowest(lowest)};
}

// How many lanes of n eights of rough scores are not above limit (the
// glyphs that may win), and the first of them.
__attribute__((target("avx2"), always_inline)) inline std::pair<size_t, size_t> MayWin(const float* rough, size_t n,
                                                                                       __m256 limit)
{
    size_t candidates = 0, at = 0;
    for (size_t k = 0; k < n; ++k) {
        const auto near =
            unsigned(_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&rough[k * kLanes]), limit, _CMP_LE_OQ)));
        if (near && candidates == 0)
            at = k * kLanes + size_t(__builtin_ctz(near));
        candidates += size_t(__builtin_popcount(near));
    }
    return {candidates, at};
}

} // namespace

// Rough scores lie within a few float steps of exact ones, far inside the
// margin of PruneAbove: a glyph whose exact score is at or below the best
// has a rough one at or below PruneAbove of the lowest rough one.
//
// The nearest block's rough scores bound the best; the blocks whose box is
// not farther than that are scored roughly, all in one run without branches.
// Where a single glyph's rough score comes near the lowest, it is the winner
// (when it is surely below the start score); otherwise the blocks holding
// candidates are scored exactly, as the rule does.
__attribute__((target("avx2"))) int32_t FindGlyphAvx2(const GlyphSearch::Level& level, const CellQuarters& cell,
                                                      int32_t variation, uint32_t start, SearchScratch& scratch)
{
    if (level.blocks.empty())
        return -1;
    Search s = ForCell(&level, cell, variation, start);
    const size_t first = Bounds(s, scratch.bounds.data());
    if (variation < 0)
        return ExactlyAll(s, first, variation, scratch);
    const auto [n, lowest] = RoughlyNear(s, variation, first, scratch);
    const float* rough = scratch.rough.data();
    const __m256 limit = _mm256_set1_ps(PruneAbove(lowest, variation));
    const auto [candidates, at] = MayWin(rough, n, limit);
    if (candidates == 0)
        return -1;
    if (candidates == 1 && rough[at] < kStartScore * (1 - 0x1p-16f))
        return level.blocks[scratch.blocks[at / kLanes]].Index[at % kLanes];
    for (size_t k = 0; k < n; ++k)
        if (_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&rough[k * kLanes]), limit, _CMP_LE_OQ)))
            s.Score(scratch.blocks[k]);
    return s.index;
}

namespace {

// The winner among the glyphs of the first n blocks of list whose rough
// score is not above limit, scored as the rule does.
__attribute__((target("avx2"), always_inline)) inline int32_t ExactlyListed(Search& s, const CandidateList& list,
                                                                            size_t n, const float* rough, __m256 limit)
{
    for (size_t k = 0; k < n; ++k)
        if (_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&rough[k * kLanes]), limit, _CMP_LE_OQ)))
            s.Score(list.blocks[k]);
    return s.index;
}

constexpr size_t kLaidOut = CandidateList::kLaidOut;
static_assert(kLaidOut * kLanes <= 32);

// The laid-out blocks scored roughly: their lowest score (at most the start
// score) and, a bit each, the glyphs whose rough score is not above
// PruneAbove of it.
struct LaidOut {
    float bound;
    uint32_t near;
};

// The rough scores of the laid-out blocks into rough. Most cells need two or
// three blocks: scoring the laid-out ones whatever is needed costs less than
// the branch mispredicted on where to stop. Blocks beyond the stop only add
// glyphs that cannot win.
__attribute__((target("avx2"), always_inline)) inline LaidOut RoughlyLaidOut(const Search& s, const CandidateList& list,
                                                                             int32_t variation, float* rough)
{
    __m256 r[kLaidOut];
    __m256 lowest = _mm256_set1_ps(kStartScore);
#pragma GCC unroll 4
    for (size_t k = 0; k < kLaidOut; ++k) {
        r[k] = RoughScores(Differences(list.blocks[k], s.c, s.start), s.floatVariation);
        _mm256_storeu_ps(&rough[k * kLanes], r[k]);
        lowest = _mm256_min_ps(lowest, r[k]);
    }
    const float bound = Lowest(lowest);
    const __m256 limit = _mm256_set1_ps(PruneAbove(bound, variation));
    uint32_t near = 0;
#pragma GCC unroll 4
    for (size_t k = 0; k < kLaidOut; ++k)
        near |= uint32_t(_mm256_movemask_ps(_mm256_cmp_ps(r[k], limit, _CMP_LE_OQ))) << (k * kLanes);
    return {bound, near};
}

// The winner when more blocks than the laid-out ones are needed: scored
// roughly until one lies beyond the lowest rough score.
__attribute__((target("avx2"), always_inline)) inline int32_t WinnerBeyond(Search& s, const CandidateList& list,
                                                                           float* rough, float bound, int32_t variation)
{
    size_t n = kLaidOut;
    for (; n < list.groups && !(list.nearest[n] > PruneAbove(bound, variation)); ++n) {
        const __m256 more = RoughScores(Differences(list.blocks[n], s.c, s.start), s.floatVariation);
        _mm256_storeu_ps(&rough[n * kLanes], more);
        bound = std::min(bound, Lowest(more));
    }
    if (n >= list.groups && !(list.rest > PruneAbove(bound, variation)))
        return GlyphSearch::kNotListed;
    const __m256 limit = _mm256_set1_ps(PruneAbove(bound, variation));
    const auto [candidates, at] = MayWin(rough, n, limit);
    if (candidates == 0)
        return -1;
    if (candidates == 1 && rough[at] < kStartScore * (1 - 0x1p-16f))
        return list.blocks[at / kLanes].Index[at % kLanes];
    return ExactlyListed(s, list, n, rough, limit);
}

// The winner from the laid-out blocks' rough scores (in rough, with room
// for every block of the list), going on to further blocks where needed.
__attribute__((target("avx2"), always_inline)) inline int32_t Winner(const CandidateList& list,
                                                                     const CellQuarters& cell, int32_t variation,
                                                                     uint32_t start, float* rough, LaidOut laid)
{
    const float prune = PruneAbove(laid.bound, variation);
    const bool enough = kLaidOut >= list.groups || list.nearest[kLaidOut] > prune;
    if (enough && kLaidOut >= list.groups && !(list.rest > prune))
        return GlyphSearch::kNotListed;
    // A single one is the lowest, and wins when surely below the start score.
    if (enough && __builtin_popcount(laid.near) == 1 && laid.bound < kStartScore * (1 - 0x1p-16f)) {
        const auto at = unsigned(__builtin_ctz(laid.near));
        return list.blocks[at / kLanes].Index[at % kLanes];
    }
    Search s = ForCell(nullptr, cell, variation, start);
    if (!enough)
        return WinnerBeyond(s, list, rough, laid.bound, variation);
    return laid.near ? ExactlyListed(s, list, kLaidOut, rough, _mm256_set1_ps(prune)) : -1;
}

} // namespace

// As FindGlyphAvx2, over each cell's candidate list nearest first: blocks
// are scored roughly until one lies beyond the lowest rough score, then
// those holding glyphs that came near it exactly. The laid-out blocks of
// every cell are scored first and the cells decided after: each cell's work
// then overlaps the next one's instead of waiting on its branches.
__attribute__((target("avx2"))) void FindListedAvx2(const CandidateList* const* lists, const CellQuarters* cells,
                                                    const uint32_t* starts, size_t count, int32_t variation,
                                                    int32_t* found, SearchScratch& scratch)
{
    constexpr size_t kRoom = CandidateCache::kMaxGroups * kLanes; // rough scores of a cell
    LaidOut laid[GlyphSearch::kBatch];
    float* rough = scratch.batchRough.data();
    for (size_t k = 0; k < count; ++k)
        if (lists[k])
            laid[k] = RoughlyLaidOut(ForCell(nullptr, cells[k], variation, starts[k]), *lists[k], variation,
                                     rough + k * kRoom);
    for (size_t k = 0; k < count; ++k)
        found[k] = lists[k] ? Winner(*lists[k], cells[k], variation, starts[k], rough + k * kRoom, laid[k])
                            : GlyphSearch::kNotListed;
}
