// SPDX-License-Identifier: MIT
#include "engine/FastConversion.h"

#include "common/CodePage932.h"
#include "engine/CellSampler.h"
#include "engine/GlyphSearch.h"
#include "engine/RuleArithmetic.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>

#if PICTORIA_AVX2
#include <emmintrin.h>
#endif

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

// Qt's pixel without its alpha: its three colour bytes, all Lightness sums.
inline int32_t Colour(QRgb p)
{
    return int32_t(p & 0xFFFFFFu);
}

#if PICTORIA_AVX2
// AddHalves with psadbw, which adds up the eight bytes of each half of a
// vector: with the alpha bytes cleared, the lightness of two pixels at once,
// the very sums. False for halves it does not take (not 2 or a multiple of 4).
bool AddHalvesSse2(const QRgb* row, int32_t count, int32_t half, std::array<int32_t, 4>* sums, size_t side)
{
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    auto four = [&](const QRgb* at) {
        return _mm_sad_epu8(_mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), colour),
                            _mm_setzero_si128());
    };
    auto total = [](__m128i pairs) { return _mm_cvtsi128_si32(_mm_add_epi64(pairs, _mm_srli_si128(pairs, 8))); };
    if (half != 2 && half % 4 != 0)
        return false;
    for (int32_t c = 0; c < count; ++c) {
        const QRgb* cell = row + ptrdiff_t(c) * 2 * half;
        if (half == 2) {
            const __m128i pairs = four(cell);
            sums[c][side] += _mm_cvtsi128_si32(pairs);
            sums[c][side + 1] += _mm_extract_epi16(pairs, 4);
            continue;
        }
        __m128i left = _mm_setzero_si128(), right = _mm_setzero_si128();
        for (int32_t dx = 0; dx < half; dx += 4) {
            left = _mm_add_epi64(left, four(cell + dx));
            right = _mm_add_epi64(right, four(cell + half + dx));
        }
        sums[c][side] += total(left);
        sums[c][side + 1] += total(right);
    }
    return true;
}
#endif

// Adds the lightness sums of the left and the right half of each of count
// cells of one pixel row, from the row's first pixel on, to sums[c][side] and
// sums[c][side + 1].
void AddHalves(const QRgb* row, int32_t count, int32_t half, std::array<int32_t, 4>* sums, size_t side)
{
#if PICTORIA_AVX2
    if (AddHalvesSse2(row, count, half, sums, side))
        return;
#endif
    for (int32_t c = 0; c < count; ++c) {
        const QRgb* cell = row + ptrdiff_t(c) * 2 * half;
        int32_t left = 0, right = 0;
        for (int32_t dx = 0; dx < half; ++dx) {
            left += Lightness(Colour(cell[dx]));
            right += Lightness(Colour(cell[half + dx]));
        }
        sums[c][side] += left;
        sums[c][side + 1] += right;
    }
}

// Samples count cells of the cell row whose top edge is top, from column
// firstColumn on.
void SampleRow(const QImage& image, int32_t cellSize, int32_t top, int32_t firstColumn, int32_t count,
               const ConversionSettings& s, const GlyphTable& table, Cell* out)
{
    const int32_t half = cellSize / 2;
    std::vector<std::array<int32_t, 4>> sums(static_cast<size_t>(count), {0, 0, 0, 0});
    const ptrdiff_t x = ptrdiff_t(firstColumn) * cellSize;
    for (int32_t dy = 0; dy < half; ++dy) {
        AddHalves(reinterpret_cast<const QRgb*>(image.constScanLine(top + dy)) + x, count, half, sums.data(), 0);
        AddHalves(reinterpret_cast<const QRgb*>(image.constScanLine(top + half + dy)) + x, count, half, sums.data(), 2);
    }
    const int32_t n = QuarterDivisor(cellSize);
    for (int32_t c = 0; c < count; ++c) {
        const auto& q = sums[size_t(c)];
        Cell& cell = out[c];
        // The sums are whole numbers below 2^24: exact in float, as the rule's.
        cell.TL = AdjustQuarter(float(q[0]), n, s.Brightness, s.Contrast);
        cell.TR = AdjustQuarter(float(q[1]), n, s.Brightness, s.Contrast);
        cell.BL = AdjustQuarter(float(q[2]), n, s.Brightness, s.Contrast);
        cell.BR = AdjustQuarter(float(q[3]), n, s.Brightness, s.Contrast);
        cell.Level = ToneLevel(cell.TL, cell.TR, cell.BL, cell.BR);
        const GlyphTable::Bucket& b = table[cell.Level];
        cell.EveryClose = EveryGlyphClose(b, cell.TL, cell.TR, cell.BL, cell.BR);
        cell.Draws = uint32_t(cell.EveryClose ? b.Code.size()
                                              : DrawCount(table, cell.TL, cell.TR, cell.BL, cell.BR, cell.Level));
    }
}

// Each cell's character: the search where every glyph of its bucket draws a
// number, all such cells of the row together, else the rule itself from the
// cell's own start state.
void ChooseRow(const GlyphSearch& search, int32_t variation, const Cell* cells, const uint32_t* starts, size_t count,
               int32_t* codes)
{
    SearchScratch scratch = search.Scratch();
    thread_local std::vector<CellQuarters> quarters;
    thread_local std::vector<int32_t> levels, found;
    thread_local std::vector<uint32_t> from;
    thread_local std::vector<size_t> places;
    quarters.clear();
    levels.clear();
    from.clear();
    places.clear();
    for (size_t k = 0; k < count; ++k) {
        const Cell& cell = cells[k];
        if (cell.EveryClose) {
            quarters.push_back({cell.TL, cell.TR, cell.BL, cell.BR});
            levels.push_back(cell.Level);
            from.push_back(starts[k]);
            places.push_back(k);
        } else {
            Rnd rnd(starts[k]);
            codes[k] = ChooseGlyph(search.Table(), cell.TL, cell.TR, cell.BL, cell.BR, cell.Level, variation, rnd);
        }
    }
    found.resize(places.size());
    search.ChooseMany(quarters.data(), levels.data(), from.data(), places.size(), variation, found.data(), scratch);
    for (size_t i = 0; i < places.size(); ++i)
        codes[places[i]] = found[i];
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
    Shared(const QImage& image, int32_t cellSize, const GlyphTable& table, const FastOptions& options,
           const GlyphSearch* given)
        : rgb(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32)),
          cellSize(cellSize),
          table(table),
          options(options),
          own(given ? std::nullopt : std::make_optional<GlyphSearch>(table, options.simd)),
          search(given ? *given : *own)
    {
        const GridExtent grid = ComputeGridExtent(rgb.width(), rgb.height(), cellSize);
        columns = std::max(grid.Columns(cellSize), 0);
        rows = std::max(grid.Rows(cellSize), 0);
    }
    QImage rgb;
    int32_t cellSize;
    const GlyphTable& table;
    FastOptions options;
    std::optional<GlyphSearch> own;
    const GlyphSearch& search;
    int32_t columns = 0, rows = 0;
};

FastConverter::FastConverter(const QImage& image, int32_t cellSize, const GlyphTable& table, const FastOptions& options)
    : shared_(std::make_unique<const Shared>(image, cellSize, table, options, nullptr))
{}

FastConverter::FastConverter(const QImage& image, int32_t cellSize, const GlyphSearch& search,
                             const FastOptions& options)
    : shared_(std::make_unique<const Shared>(image, cellSize, search.Table(), options, &search))
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
    // Kept for the thread's next stretch: a fresh one would fault in every
    // page again. Left uninitialised: the sampling threads write every cell.
    thread_local std::unique_ptr<Cell[]> kept;
    thread_local size_t room = 0;
    if (room < cellCount) {
        kept.reset(new Cell[cellCount]);
        room = cellCount;
    }
    Cell* const cells = kept.get(); // the other threads see this thread's
    ParallelFor(pieces.size(), threads, [&](size_t i) {
        const RowPiece& p = pieces[i];
        SampleRow(sh.rgb, sh.cellSize, p.row * sh.cellSize, p.firstColumn, p.count, settings, sh.table,
                  &cells[p.offset]);
    });

    const uint32_t end = StartStates(cells, cellCount, sh.search.Jumps(), start & RndJumpTable::kMask, starts);

    ParallelFor(pieces.size(), threads, [&](size_t i) {
        const RowPiece& p = pieces[i];
        ChooseRow(sh.search, settings.Variation, &cells[p.offset], &starts[p.offset], size_t(p.count),
                  &codes[p.offset]);
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
