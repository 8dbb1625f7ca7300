// SPDX-License-Identifier: MIT
// The glyph search with AVX2: eight boxes, then eight glyphs, per instruction.
// Built on x86-64 only and called only where the processor has AVX2.
#include "engine/GlyphSearch.h"

#include "engine/RuleArithmetic.h"

#include <immintrin.h>
#include <limits>

namespace {

constexpr size_t kLanes = GlyphSearch::kLanes;

// Squared distance from the cell to eight boxes, in float, as the portable
// kernel works it.
__attribute__((target("avx2"))) __m256 EightBounds(const GlyphSearch::Level& l, size_t b, const __m256* c)
{
    __m256 sum = _mm256_setzero_ps();
    for (size_t q = 0; q < 4; ++q) {
        const __m256 below = _mm256_sub_ps(_mm256_loadu_ps(&l.Lo[q][b]), c[q]);
        const __m256 above = _mm256_sub_ps(c[q], _mm256_loadu_ps(&l.Hi[q][b]));
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

// The scores of a block's eight slots.
// Exact: float x float is exact in double and the sum runs in the scalar
// order dTL² + dTR² + dBL² + dBR² + r V, each step one IEEE double rounding,
// then one rounding to float (no fused multiply-add here either). The
// differences keep their signs: a square does not depend on them. The number
// r is s / 2^24 for the 24-bit state s, hence r V = s (V / 2^24), V / 2^24 exact.
__attribute__((target("avx2"))) __m256 ScoreBlock(const GlyphSearch::Level& l, size_t slot, const __m256* c,
                                                  __m256i start, __m256d scaledVariation)
{
    const __m256 dtl = _mm256_sub_ps(c[0], _mm256_loadu_ps(&l.Value[0][slot]));
    const __m256 dtr = _mm256_sub_ps(c[1], _mm256_loadu_ps(&l.Value[1][slot]));
    const __m256 dbl = _mm256_sub_ps(c[2], _mm256_loadu_ps(&l.Value[2][slot]));
    const __m256 dbr = _mm256_sub_ps(c[3], _mm256_loadu_ps(&l.Value[3][slot]));
    const __m256i state = _mm256_and_si256(
        _mm256_add_epi32(
            _mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(&l.JumpA[slot])), start),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&l.JumpC[slot]))),
        _mm256_set1_epi32(int32_t(Rnd::kMask)));
    __m128 half[2];
    for (int h = 0; h < 2; ++h) {
        const __m256d r = _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(state, 1) : _mm256_castsi256_si128(state));
        const __m256d qtl = Wide(dtl, h), qtr = Wide(dtr, h), qbl = Wide(dbl, h), qbr = Wide(dbr, h);
        __m256d sum = _mm256_mul_pd(qtl, qtl);
        sum = _mm256_add_pd(sum, _mm256_mul_pd(qtr, qtr));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(qbl, qbl));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(qbr, qbr));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(r, scaledVariation));
        half[h] = _mm256_cvtpd_ps(sum);
    }
    const __m256 score = _mm256_set_m128(half[1], half[0]);
    // A glyph value that is not a number gives a score that never wins.
    return _mm256_blendv_ps(score, _mm256_set1_ps(std::numeric_limits<float>::infinity()),
                            _mm256_cmp_ps(score, score, _CMP_UNORD_Q));
}

__attribute__((target("avx2"))) float Lowest(__m256 v)
{
    __m128 low = _mm_min_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    low = _mm_min_ps(low, _mm_movehl_ps(low, low));
    low = _mm_min_ss(low, _mm_shuffle_ps(low, low, 1));
    return _mm_cvtss_f32(low);
}

struct Search {
    const GlyphSearch::Level& level;
    __m256 c[4];
    __m256i start;
    __m256d scaledVariation;
    float best = kStartScore;
    int32_t index = -1;

    // The rule's order: a lower score wins, an equal one only from an
    // earlier glyph, nothing at or above the start score. Lanes run in
    // bucket order within a block, so the first lane of the lowest score is
    // the block's candidate.
    __attribute__((target("avx2"))) void Score(size_t block)
    {
        const size_t slot = block * kLanes;
        const __m256 scores = ScoreBlock(level, slot, c, start, scaledVariation);
        const float lowest = Lowest(scores);
        if (!(lowest < best || (lowest == best && index >= 0)))
            return;
        const int lanes = _mm256_movemask_ps(_mm256_cmp_ps(scores, _mm256_set1_ps(lowest), _CMP_EQ_OQ));
        const int32_t candidate = level.Index[slot + size_t(__builtin_ctz(unsigned(lanes)))];
        if (lowest < best || candidate < index) {
            best = lowest;
            index = candidate;
        }
    }
};

} // namespace

__attribute__((target("avx2"))) int32_t FindGlyphAvx2(const GlyphSearch::Level& level, const CellQuarters& cell,
                                                      int32_t variation, uint32_t start, float* bounds)
{
    if (!level.blocks)
        return -1;
    Search s{level,
             {_mm256_set1_ps(cell.TL), _mm256_set1_ps(cell.TR), _mm256_set1_ps(cell.BL), _mm256_set1_ps(cell.BR)},
             _mm256_set1_epi32(int32_t(start)),
             _mm256_set1_pd(double(variation) * 0x1p-24)};
    const size_t boxes = level.Lo[0].size();
    __m256 nearest = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    for (size_t b = 0; b < boxes; b += kLanes) {
        const __m256 eight = EightBounds(level, b, s.c);
        _mm256_storeu_ps(&bounds[b], eight);
        nearest = _mm256_min_ps(nearest, eight);
    }
    // The nearest block first, for a low best score early.
    const float least = Lowest(nearest);
    size_t first = 0;
    while (first + 1 < level.blocks && bounds[first] != least)
        ++first;
    s.Score(first);
    for (size_t b = 0; b < boxes; b += kLanes) {
        const __m256 limit = _mm256_set1_ps(PruneAbove(s.best, variation));
        // Boxes not farther than the limit; padding boxes are always farther.
        for (auto near = unsigned(_mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&bounds[b]), limit, _CMP_LE_OQ)));
             near; near &= near - 1) {
            const size_t block = b + size_t(__builtin_ctz(near));
            if (block != first && block < level.blocks && !(bounds[block] > PruneAbove(s.best, variation)))
                s.Score(block);
        }
    }
    return s.index;
}
