// SPDX-License-Identifier: MIT
#include "engine/FastConversion.h"

#include "common/CodePage932.h"
#include "engine/CellSampler.h"
#include "engine/RndJump.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <immintrin.h>
#include <memory>
#include <thread>

namespace {

struct Cell {
    float TL, TR, BL, BR;
    int32_t Level;
    uint32_t Draws;  // numbers ChooseGlyph draws for this cell
    bool EveryClose; // every glyph of the bucket draws: the vector scoring applies
};

// std::jthread and an atomic counter: no library beyond the standard one, no
// idle threads spinning between bands (OpenMP's teams spin and, on a loaded
// machine, took milliseconds per region), and rows handed out one at a time
// as threads come free, because rows differ in cost with the sizes of the
// buckets they search. Starting a thread costs about 30 us here.
template <class Body>
void ParallelFor(size_t count, unsigned threads, const Body& body)
{
    threads = unsigned(std::min<size_t>(threads, count));
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;)
            body(i);
    };
    std::vector<std::jthread> team;
    for (unsigned t = 1; t < threads; ++t)
        team.emplace_back(work);
    work();
}

// Lightness of a QRgb pixel: blue + green + red, as SampleCell reads it.
inline int32_t Lightness(QRgb p)
{
    return int32_t((p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF));
}

// As SampleCell: the quarter sums are whole numbers below 2^24, so integer
// sums equal its float ones.
float Adjust(int32_t sum, int32_t n, float brightness, float contrast)
{
    return float((double(float(sum)) / n - 8) * double(contrast) + double(brightness));
}

// Samples count cells of the cell row whose top edge is top, from column
// firstColumn on.
void SampleRow(const QImage& image, int32_t cellSize, int32_t top, int32_t firstColumn, int32_t count,
               const ConversionSettings& s, const GlyphTable& table, Cell* out)
{
    const int32_t half = cellSize / 2;
    std::vector<std::array<int32_t, 4>> sums(static_cast<size_t>(count), {0, 0, 0, 0});
    for (int32_t dy = 0; dy < half; ++dy) {
        const QRgb* upper = reinterpret_cast<const QRgb*>(image.constScanLine(top + dy));
        const QRgb* lower = reinterpret_cast<const QRgb*>(image.constScanLine(top + half + dy));
        for (int32_t c = 0; c < count; ++c) {
            const int32_t x = (firstColumn + c) * cellSize;
            int32_t tl = 0, tr = 0, bl = 0, br = 0;
            for (int32_t dx = 0; dx < half; ++dx) {
                tl += Lightness(upper[x + dx]);
                tr += Lightness(upper[x + half + dx]);
                bl += Lightness(lower[x + dx]);
                br += Lightness(lower[x + half + dx]);
            }
            auto& q = sums[size_t(c)];
            q[0] += tl;
            q[1] += tr;
            q[2] += bl;
            q[3] += br;
        }
    }
    const int32_t n = int32_t(double(cellSize * 48 * cellSize) / 4);
    for (int32_t c = 0; c < count; ++c) {
        const auto& q = sums[size_t(c)];
        Cell& cell = out[c];
        cell.TL = Adjust(q[0], n, s.Brightness, s.Contrast);
        cell.TR = Adjust(q[1], n, s.Brightness, s.Contrast);
        cell.BL = Adjust(q[2], n, s.Brightness, s.Contrast);
        cell.BR = Adjust(q[3], n, s.Brightness, s.Contrast);
        cell.Level = ToneLevel(cell.TL, cell.TR, cell.BL, cell.BR);
        const GlyphTable::Bucket& b = table[cell.Level];
        cell.EveryClose = EveryGlyphClose(b, cell.TL, cell.TR, cell.BL, cell.BR);
        cell.Draws = uint32_t(cell.EveryClose ? b.Code.size()
                                              : DrawCount(table, cell.TL, cell.TR, cell.BL, cell.BR, cell.Level));
    }
}

// The buckets' quarter values padded to whole vectors with glyphs so far off
// that their score overflows to infinity and never wins.
constexpr size_t kStep = 8; // glyphs per pass of the vector loop
constexpr float kFarOff = 1e30f;

struct PaddedBuckets {
    explicit PaddedBuckets(const GlyphTable& table)
    {
        for (int level = 0; level < kBucketCount; ++level) {
            const GlyphTable::Bucket& b = table[level];
            Padded& p = buckets[size_t(level)];
            const size_t size = (b.Code.size() + kStep - 1) / kStep * kStep;
            p.TL = b.TL, p.TR = b.TR, p.BL = b.BL, p.BR = b.BR;
            for (auto* v : {&p.TL, &p.TR, &p.BL, &p.BR})
                v->resize(size, kFarOff);
            longest = std::max(longest, size);
        }
    }
    struct Padded {
        std::vector<float> TL, TR, BL, BR;
    };
    std::array<Padded, kBucketCount> buckets;
    size_t longest = 0;
};

struct RowContext {
    const GlyphTable& table;
    const PaddedBuckets& padded;
    const RndJumpTable& jumps;
    int32_t variation;
};

// Four of the eight floats, low (h = 0) or high half, as doubles.
__attribute__((target("avx2"), always_inline)) inline __m256d Wide(__m256 v, int h)
{
    return _mm256_cvtps_pd(h ? _mm256_extractf128_ps(v, 1) : _mm256_castps256_ps128(v));
}

// Scores eight glyphs of the cell's bucket per pass into scores and answers
// the lowest score.
// Exact: float x float is exact in double and the sum runs in the scalar
// order dTL² + dTR² + dBL² + dBR² + r V, each step one IEEE double rounding,
// then one rounding to float (no fused multiply-add here either). The
// differences keep their signs: a square does not depend on them.
// Glyph i gets the number of draw i + 1 from the cell's start state x, state
// A(i + 1) x + C(i + 1), so lanes need no chain of draws; that number r is
// s / 2^24 for the 24-bit state s, hence r V = s (V / 2^24), V / 2^24 exact.
__attribute__((target("avx2"))) float ScoreBucketAvx2(const RowContext& ctx, const Cell& cell, uint32_t start,
                                                      float* scores)
{
    const __m256d scaledVariation = _mm256_set1_pd(double(ctx.variation) * 0x1p-24);
    const __m256i mask24 = _mm256_set1_epi32(0xFFFFFF);
    const uint32_t* a = ctx.jumps.A() + 1;
    const uint32_t* c = ctx.jumps.C() + 1;
    const PaddedBuckets::Padded& p = ctx.padded.buckets[size_t(cell.Level)];
    const __m256 tl = _mm256_set1_ps(cell.TL), tr = _mm256_set1_ps(cell.TR);
    const __m256 bl = _mm256_set1_ps(cell.BL), br = _mm256_set1_ps(cell.BR);
    const __m256i x = _mm256_set1_epi32(int32_t(start));
    __m256 best = _mm256_set1_ps(9999.0f);
    for (size_t i = 0; i < p.TL.size(); i += kStep) {
        const __m256 dtl = _mm256_sub_ps(tl, _mm256_loadu_ps(&p.TL[i]));
        const __m256 dtr = _mm256_sub_ps(tr, _mm256_loadu_ps(&p.TR[i]));
        const __m256 dbl = _mm256_sub_ps(bl, _mm256_loadu_ps(&p.BL[i]));
        const __m256 dbr = _mm256_sub_ps(br, _mm256_loadu_ps(&p.BR[i]));
        const __m256i state = _mm256_and_si256(
            _mm256_add_epi32(_mm256_mullo_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i)), x),
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i))),
            mask24);
        __m128 half[2];
        for (int h = 0; h < 2; ++h) {
            const __m256d r =
                _mm256_cvtepi32_pd(h ? _mm256_extracti128_si256(state, 1) : _mm256_castsi256_si128(state));
            const __m256d qtl = Wide(dtl, h), qtr = Wide(dtr, h), qbl = Wide(dbl, h), qbr = Wide(dbr, h);
            __m256d sum = _mm256_mul_pd(qtl, qtl);
            sum = _mm256_add_pd(sum, _mm256_mul_pd(qtr, qtr));
            sum = _mm256_add_pd(sum, _mm256_mul_pd(qbl, qbl));
            sum = _mm256_add_pd(sum, _mm256_mul_pd(qbr, qbr));
            sum = _mm256_add_pd(sum, _mm256_mul_pd(r, scaledVariation));
            half[h] = _mm256_cvtpd_ps(sum);
        }
        const __m256 score = _mm256_set_m128(half[1], half[0]);
        _mm256_storeu_ps(&scores[i], score);
        best = _mm256_min_ps(score, best);
    }
    __m128 low = _mm_min_ps(_mm256_castps256_ps128(best), _mm256_extractf128_ps(best, 1));
    low = _mm_min_ps(low, _mm_movehl_ps(low, low));
    low = _mm_min_ss(low, _mm_shuffle_ps(low, low, 1));
    return _mm_cvtss_f32(low);
}

// The index of the first of scores equal to lowest, which one of them is.
__attribute__((target("avx2"))) int32_t FirstWithScoreAvx2(const float* scores, float lowest)
{
    const __m256 target = _mm256_set1_ps(lowest);
    for (size_t i = 0;; i += kStep)
        if (const int equal = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(&scores[i]), target, _CMP_EQ_OQ)))
            return int32_t(i) + __builtin_ctz(unsigned(equal));
}

// The rule's winner is the first of the lowest scores below the start score;
// none below it leaves the ideographic space.
__attribute__((target("avx2"))) void ChooseRowAvx2(const RowContext& ctx, const Cell* cells, const uint32_t* starts,
                                                   size_t count, int32_t* codes)
{
    // The scores of a bucket, searched for the first lowest after the pass.
    std::vector<float> scores(ctx.padded.longest);
    for (size_t k = 0; k < count; ++k) {
        const Cell& cell = cells[k];
        if (!cell.EveryClose) {
            // Some glyphs may draw no number: the rule itself, from this cell's state.
            Rnd rnd(starts[k]);
            codes[k] = ChooseGlyph(ctx.table, cell.TL, cell.TR, cell.BL, cell.BR, cell.Level, ctx.variation, rnd);
            continue;
        }
        const float lowest = ScoreBucketAvx2(ctx, cell, starts[k], scores.data());
        codes[k] = lowest < 9999.0f ? ctx.table[cell.Level].Code[size_t(FirstWithScoreAvx2(scores.data(), lowest))]
                                    : kFallbackCode;
    }
}

void ChooseRowScalar(const RowContext& ctx, const Cell* cells, const uint32_t* starts, size_t count, int32_t* codes)
{
    for (size_t k = 0; k < count; ++k) {
        Rnd rnd(starts[k]);
        codes[k] = ChooseGlyph(ctx.table, cells[k].TL, cells[k].TR, cells[k].BL, cells[k].BR, cells[k].Level,
                               ctx.variation, rnd);
    }
}

} // namespace

namespace {

// By default a thread for each few thousand cells at most: a small band is
// done before another thread would have started.
unsigned ThreadsFor(const FastOptions& options, size_t cellCount)
{
    constexpr size_t kCellsPerThread = 4096;
    if (options.threads)
        return options.threads;
    return unsigned(
        std::clamp<size_t>(cellCount / kCellsPerThread, 1, std::max(std::thread::hardware_concurrency(), 1u)));
}

// Where each cell starts in the random sequence: one jump per cell. Answers
// the state after the last cell's draws.
uint32_t StartStates(const Cell* cells, size_t cellCount, const RndJumpTable& jumps, uint32_t state, uint32_t* starts)
{
    for (size_t k = 0; k < cellCount; ++k) {
        starts[k] = state;
        state = jumps.Advance(state, cells[k].Draws);
    }
    return state;
}

// The part of one cell row that a stretch of cells covers; the unit of work
// a thread takes.
struct RowPiece {
    int32_t row, firstColumn, count;
    size_t offset; // of its first cell in the stretch
};

} // namespace

struct FastConverter::Shared {
    Shared(const QImage& image, int32_t cellSize, const GlyphTable& table, const FastOptions& options)
        : rgb(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32)),
          cellSize(cellSize),
          table(table),
          options(options),
          padded(table),
          jumps(padded.longest)
    {
        const GridExtent grid = ComputeGridExtent(rgb.width(), rgb.height(), cellSize);
        columns = std::max(grid.Columns(cellSize), 0);
        rows = std::max(grid.Rows(cellSize), 0);
    }
    QImage rgb;
    int32_t cellSize;
    const GlyphTable& table;
    FastOptions options;
    PaddedBuckets padded;
    RndJumpTable jumps;
    int32_t columns = 0, rows = 0;
};

FastConverter::FastConverter(const QImage& image, int32_t cellSize, const GlyphTable& table, const FastOptions& options)
    : shared_(std::make_unique<const Shared>(image, cellSize, table, options))
{}

FastConverter::~FastConverter() = default;

int32_t FastConverter::Columns() const
{
    return shared_->columns;
}

int32_t FastConverter::Rows() const
{
    return shared_->rows;
}

uint32_t FastConverter::Convert(int64_t first, int64_t count, const ConversionSettings& settings, uint32_t start,
                                int32_t* codes, uint32_t* starts) const
{
    const Shared& sh = *shared_;
    if (count <= 0 || sh.columns == 0)
        return start;
    std::vector<RowPiece> pieces;
    for (int64_t k = first, end = first + count; k < end;) {
        const auto column = int32_t(k % sh.columns);
        const auto n = int32_t(std::min<int64_t>(sh.columns - column, end - k));
        pieces.push_back({int32_t(k / sh.columns), column, n, size_t(k - first)});
        k += n;
    }

    const size_t cellCount = size_t(count);
    const unsigned threads = ThreadsFor(sh.options, cellCount);
    // Left uninitialised: the sampling threads write every cell, and touch
    // the fresh pages in parallel rather than one clearing pass.
    const std::unique_ptr<Cell[]> cells(new Cell[cellCount]);
    ParallelFor(pieces.size(), threads, [&](size_t i) {
        const RowPiece& p = pieces[i];
        SampleRow(sh.rgb, sh.cellSize, p.row * sh.cellSize, p.firstColumn, p.count, settings, sh.table,
                  &cells[p.offset]);
    });

    const uint32_t end = StartStates(cells.get(), cellCount, sh.jumps, start & RndJumpTable::kMask, starts);

    // Without AVX2 each cell runs the rule itself from its own start state.
    auto choose = sh.options.simd && __builtin_cpu_supports("avx2") ? ChooseRowAvx2 : ChooseRowScalar;
    const RowContext ctx{sh.table, sh.padded, sh.jumps, settings.Variation};
    ParallelFor(pieces.size(), threads, [&](size_t i) {
        const RowPiece& p = pieces[i];
        choose(ctx, &cells[p.offset], &starts[p.offset], size_t(p.count), &codes[p.offset]);
    });
    return end;
}

std::vector<QByteArray> ConvertBand(const QImage& image, int32_t cellSize, int32_t firstRow, int32_t rowCount,
                                    const ConversionSettings& settings, const GlyphTable& table, Rnd& rnd,
                                    const FastOptions& options)
{
    const FastConverter converter(image, cellSize, table, options);
    const int32_t columns = converter.Columns();
    const int32_t first = std::max(firstRow, 0);
    const int64_t end = std::min<int64_t>(int64_t(firstRow) + rowCount, converter.Rows());
    const int32_t rows = int32_t(std::max<int64_t>(end - first, 0));
    const size_t cellCount = size_t(rows) * size_t(columns);
    std::vector<int32_t> codes(cellCount);
    std::vector<uint32_t> starts(cellCount);
    rnd = Rnd(converter.Convert(int64_t(first) * columns, int64_t(cellCount), settings, rnd.State(), codes.data(),
                                starts.data()));
    std::vector<QByteArray> out(static_cast<size_t>(rows));
    for (QByteArray& row : out)
        row.reserve(qsizetype(columns) * 2);
    for (size_t k = 0; k < cellCount; ++k)
        AppendCodeBytes(out[k / size_t(columns)], codes[k]);
    return out;
}
