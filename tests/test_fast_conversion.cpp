// SPDX-License-Identifier: MIT
// The parallel converter against the one-cell-at-a-time loop: same bytes and
// the same random state afterwards, for random pictures and glyph sets.
#include "engine/Conversion.h"
#include "engine/FastConversion.h"
#include "engine/GlyphSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>

namespace {

std::mt19937 g(20240611);

int Uniform(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(g);
}

// Quarter values on the measuring scale in sixteenths; or 0 and 8 only (equal
// scores everywhere); or spread so wide that the closeness test splits
// buckets; or a few values a float step apart, so that scores tie or nearly
// tie across the search's blocks; or values at the closeness limit, 100 away
// from the cells'. Some glyphs repeat an earlier one, some buckets are empty,
// some codes are one byte; a few buckets are as large as the real font's.
float RandomValue(int kind)
{
    switch (kind) {
    case 1: return float(Uniform(0, 1) * 8);
    case 2: return float(Uniform(0, 3200)) / 16;
    case 3: return std::nextafter(float(Uniform(0, 2) * 4), Uniform(0, 1) ? 0.0f : 100.0f);
    case 4: return float(Uniform(0, 255)) / 16 + float(Uniform(-1, 1)) * 100;
    default: return float(Uniform(0, 255)) / 16;
    }
}

GlyphBucketArray RandomBuckets()
{
    const int kind = Uniform(0, 4);
    auto value = [&] { return RandomValue(kind); };
    GlyphBucketArray buckets;
    for (auto& bucket : buckets)
        for (int i = 0, n = Uniform(0, 3) ? Uniform(1, Uniform(0, 7) ? 40 : 400) : 0; i < n; ++i)
            bucket.push_back(std::make_shared<clsChr>(
                i && !Uniform(0, 4) ? *bucket[size_t(Uniform(0, i - 1))]
                                    : clsChr{value(), value(), value(), value(),
                                             Uniform(0, 5) ? Uniform(0x8140, 0x9FFC) : Uniform(0x21, 0x7E)}));
    return buckets;
}

// Patches of one colour with noise, so cells fall in many tone levels.
QImage RandomPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::vector<int> patches(64 * 3);
    std::generate(patches.begin(), patches.end(), [] { return Uniform(0, 255); });
    auto noisy = [](int v) { return std::clamp(v + Uniform(-40, 40), 0, 255); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int* p = &patches[size_t((y / 9 % 8 * 8 + x / 7 % 8) * 3)];
            image.setPixel(x, y, qRgb(noisy(p[0]), noisy(p[1]), noisy(p[2])));
        }
    return image;
}

// From the slider's range mostly; now and then none, a negative one (the
// random term then lowers scores) or one far beyond the range.
int32_t RandomVariation()
{
    switch (Uniform(0, 9)) {
    case 0: return 0;
    case 1: return Uniform(-60, -1);
    case 2: return Uniform(51, 1 << 20);
    default: return Uniform(1, 50);
    }
}

// Brightness and contrast, in tenths, from the sliders' ranges, far beyond
// them, and near the edge of the closeness test, where some glyphs of a
// bucket draw no number.
ConversionSettings RandomSettings()
{
    const int ranges[][4] = {{30, 130, 5, 15}, {-1500, 1500, -200, 200}, {800, 1200, 0, 30}, {-1100, -900, 10, 10}};
    const int* r = ranges[Uniform(0, 3)];
    return {float(Uniform(r[0], r[1])) / 10, float(Uniform(r[2], r[3])) / 10, RandomVariation()};
}

// What the hooks see, rows and every cell's progress and code, while the
// settings change as a window's do: in the events after a cell, here after
// the cells that changes names; a run may also be stopped after a cell or at
// a row.
struct Recorder {
    ConversionSettings current;
    std::map<size_t, ConversionSettings> changes;
    size_t stopAfterCell = SIZE_MAX, stopAtRow = SIZE_MAX;
    std::vector<QByteArray> rows;
    std::vector<std::pair<double, int32_t>> cells;

    ConversionHooks Hooks()
    {
        return {[this] { return current; },
                [this](const QByteArray& row) { return rows.push_back(row), rows.size() - 1 != stopAtRow; },
                [this](double p, int32_t code) {
                    if (const auto c = changes.find(cells.size()); c != changes.end())
                        current = c->second;
                    cells.emplace_back(p, code);
                    return cells.size() - 1 != stopAfterCell;
                }};
    }
    auto Seen() const { return std::pair(rows, cells); }
};

TEST(FastConversion, MatchesTheSequentialLoop)
{
    GlyphBucketArray buckets;
    for (int trial = 0; trial < 400; ++trial) {
        if (trial % 10 == 0)
            buckets = RandomBuckets();
        const GlyphTable table(buckets);
        const int32_t cellSize = trial == 0 ? 4 : 4 << Uniform(0, 3);
        // The first picture is large enough for the grid to go in several bands.
        const QImage picture = trial == 0 ? RandomPicture(1100, 400) : RandomPicture(Uniform(0, 100), Uniform(0, 100));
        const ConversionSettings s = RandomSettings();
        const uint32_t start = trial % 2 ? Rnd::kStartState : uint32_t(Uniform(0, 0xFFFFFF));
        SCOPED_TRACE(testing::Message() << "trial " << trial);

        // Half the runs keep their settings; the others change them after
        // random cells (the first and the last among them), now and then to
        // the values in force, and a few are stopped.
        Recorder plan;
        plan.current = s;
        const GridExtent grid = ComputeGridExtent(picture.width(), picture.height(), cellSize);
        const int cellCount = grid.Columns(cellSize) * grid.Rows(cellSize);
        for (int i = trial % 2 || !cellCount ? 0 : Uniform(1, 6); i > 0; --i) {
            const int after = Uniform(0, 3) ? Uniform(0, cellCount - 1) : Uniform(0, 1) * (cellCount - 1);
            plan.changes[size_t(after)] = Uniform(0, 4) ? RandomSettings() : s;
        }
        if (cellCount && !Uniform(0, 7)) {
            if (Uniform(0, 1))
                plan.stopAfterCell = size_t(Uniform(0, cellCount - 1));
            else
                plan.stopAtRow = size_t(Uniform(0, grid.Rows(cellSize) - 1));
        }
        Recorder expected = plan, fast = plan;
        Rnd reference(start), whole(start);
        ConvertCells(ImagePixels(picture), cellSize, table, reference, expected.Hooks());
        // Bands from one row to the whole grid, on any number of threads.
        const FastOptions options{unsigned(Uniform(0, 3)), Uniform(0, 3) > 0};
        ConvertGrid(picture, cellSize, table, whole, fast.Hooks(), options,
                    trial == 0 ? kCellsPerBand : Uniform(1, 700));
        ASSERT_EQ(std::pair(fast.Seen(), whole.State()), std::pair(expected.Seen(), reference.State()));
        if (!plan.changes.empty() || plan.stopAfterCell != SIZE_MAX || plan.stopAtRow != SIZE_MAX)
            continue;

        // Two bands, split at a random row, must join up as one run.
        const int32_t split = Uniform(0, int(expected.rows.size()));
        for (const FastOptions options : {FastOptions{1, false}, FastOptions{2, true}, FastOptions{7, true}}) {
            Rnd rnd(start);
            std::vector<QByteArray> rows = ConvertBand(picture, cellSize, 0, split, s, table, rnd, options);
            for (QByteArray& row : ConvertBand(picture, cellSize, split, 1000, s, table, rnd, options))
                rows.push_back(row);
            ASSERT_EQ(std::pair(rows, rnd.State()), std::pair(expected.rows, reference.State())) << options.threads;
        }
    }
}

// Both searches against the rule for one cell every glyph of whose bucket is
// close, with its variation and a random start state.
void ExpectTheRulesGlyph(const GlyphSearch& portable, const GlyphSearch& vector, const CellQuarters& c, int32_t level,
                         int32_t variation, SearchScratch& scratch)
{
    const uint32_t start = uint32_t(Uniform(0, 0xFFFFFF));
    Rnd rnd(start);
    const int32_t expected = ChooseGlyph(portable.Table(), c.TL, c.TR, c.BL, c.BR, level, variation, rnd);
    ASSERT_EQ(portable.Choose(c, level, variation, start, scratch), expected);
    ASSERT_EQ(vector.Choose(c, level, variation, start, scratch), expected);
}

// The search that passes over blocks of glyphs against the rule that scores
// them all, cell by cell, on both kernels: cells on glyphs' own values (exact
// ties with variation 0), on a coarse grid, anywhere between, and far off.
TEST(GlyphSearch, FindsTheRulesGlyph)
{
    for (int trial = 0; trial < 60; ++trial) {
        const GlyphBucketArray buckets = RandomBuckets();
        const GlyphTable table(buckets);
        const GlyphSearch portable(table, false), vector(table, true);
        SearchScratch scratch = portable.Scratch();
        for (int k = 0; k < 3000; ++k) {
            const int32_t level = Uniform(0, kBucketCount - 1);
            const GlyphTable::Bucket& b = table[level];
            if (b.Code.empty())
                continue;
            CellQuarters c{};
            float* q[] = {&c.TL, &c.TR, &c.BL, &c.BR};
            const size_t near = size_t(Uniform(0, int(b.Code.size()) - 1));
            const float* values[] = {&b.TL[near], &b.TR[near], &b.BL[near], &b.BR[near]};
            // Some cells lie about 50 from a glyph on every quarter: scores
            // near the start score, 9999, which only a lower one may pass.
            const int kind = Uniform(0, 3);
            const float offsets[] = {0, 49.99f, 49.995f, 50, 50.005f};
            for (int i = 0; i < 4; ++i)
                *q[i] = kind == 0   ? *values[i]
                        : kind == 1 ? float(Uniform(0, 16))
                        : kind == 2 ? float(Uniform(-64, 320)) / 16
                                    : *values[i] + offsets[Uniform(1, 4)];
            if (!EveryGlyphClose(b, c.TL, c.TR, c.BL, c.BR))
                continue;
            ASSERT_NO_FATAL_FAILURE(
                ExpectTheRulesGlyph(portable, vector, c, level, Uniform(0, 2) ? RandomVariation() : 0, scratch))
                << trial << " " << k;
        }
    }
}

// Cells crowded into a few cubes of the candidate lists (made here at a
// cube's second cell), on the cubes' edges, a float step off them and on
// glyphs' own values, some with more equal glyphs than a list holds: the
// lists' search against the rule on both kernels, a cell at a time and all
// of a trial's cells at once (batches mixing cells with lists and without).
TEST(GlyphSearch, ListsFindTheRulesGlyph)
{
    constexpr float kStep = CandidateCache::kCubeWidth / 4;
    for (int trial = 0; trial < 40; ++trial) {
        GlyphBucketArray buckets = RandomBuckets();
        // More equal glyphs than a list holds: the search must go on past it.
        if (trial % 4 == 0) {
            GlyphCollection& equal = buckets[size_t(Uniform(0, kBucketCount - 1))];
            equal.clear();
            for (int i = 0, n = Uniform(65, 300); i < n; ++i)
                equal.push_back(std::make_shared<clsChr>(clsChr{2, 4, 6, 8, 0x8140 + i}));
        }
        const GlyphTable table(buckets);
        const GlyphSearch portable(table, false, 1), vector(table, true, 1);
        SearchScratch scratch = portable.Scratch();
        const int32_t together = Uniform(0, 3) ? Uniform(0, CandidateCache::kMaxVariation) : 0;
        std::vector<CellQuarters> cells;
        std::vector<int32_t> levels, expected;
        std::vector<uint32_t> starts;
        for (int spot = 0; spot < 30; ++spot) {
            const int32_t level = Uniform(0, kBucketCount - 1);
            const GlyphTable::Bucket& b = table[level];
            if (b.Code.empty())
                continue;
            const size_t near = size_t(Uniform(0, int(b.Code.size()) - 1));
            const bool onGlyph = Uniform(0, 1);
            const float base[] = {onGlyph ? b.TL[near] : float(Uniform(0, 64)) * kStep,
                                  onGlyph ? b.TR[near] : float(Uniform(0, 64)) * kStep,
                                  onGlyph ? b.BL[near] : float(Uniform(0, 64)) * kStep,
                                  onGlyph ? b.BR[near] : float(Uniform(0, 64)) * kStep};
            for (int k = 0; k < 100; ++k) {
                float q[4];
                for (int i = 0; i < 4; ++i) {
                    q[i] = base[i] + float(Uniform(-4, 4)) * kStep;
                    if (!Uniform(0, 3))
                        q[i] = std::nextafter(q[i], Uniform(0, 1) ? -1000.0f : 1000.0f);
                }
                const CellQuarters c{q[0], q[1], q[2], q[3]};
                if (!EveryGlyphClose(b, c.TL, c.TR, c.BL, c.BR))
                    continue;
                const int32_t variation = Uniform(0, 5) ? Uniform(0, CandidateCache::kMaxVariation) : 0;
                ASSERT_NO_FATAL_FAILURE(ExpectTheRulesGlyph(portable, vector, c, level, variation, scratch))
                    << trial << " " << k;
                Rnd rnd(uint32_t(Uniform(0, 0xFFFFFF)));
                cells.push_back(c);
                levels.push_back(level);
                starts.push_back(rnd.State());
                expected.push_back(ChooseGlyph(table, c.TL, c.TR, c.BL, c.BR, level, together, rnd));
            }
        }
        const GlyphSearch freshPortable(table, false, 1), freshVector(table, true, 1);
        for (const GlyphSearch* search : {&freshPortable, &freshVector}) {
            std::vector<int32_t> codes(cells.size());
            search->ChooseMany(cells.data(), levels.data(), starts.data(), cells.size(), together, codes.data(),
                               scratch);
            ASSERT_EQ(codes, expected) << trial;
        }
    }
}

// The squared differences of a cell and a glyph, as the score sums them.
double Distance(const CellQuarters& c, const GlyphTable::Bucket& b, size_t i)
{
    double sum = 0;
    for (const auto& [cell, glyph] :
         {std::pair(c.TL, b.TL[i]), std::pair(c.TR, b.TR[i]), std::pair(c.BL, b.BL[i]), std::pair(c.BR, b.BR[i])})
        sum += double(std::fabs(cell - glyph)) * std::fabs(cell - glyph);
    return sum;
}

// A list against cells of its cube (its corners, a float step inside them,
// anywhere between): each eight's least distance is at or below that of
// every glyph in it and after it, and the rest's at or below that of every
// glyph left off that could still win.
void ExpectListBounds(const CandidateList& list, const GlyphTable::Bucket& b, const CellQuarters& c, int32_t variation)
{
    const size_t n = b.Code.size();
    std::vector<bool> listed(n);
    double nearest = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < n; ++i)
        nearest = std::min(nearest, Distance(c, b, i));
    for (size_t p = 0; p < list.groups * CandidateList::kGroup; ++p) {
        const GlyphBlock& block = list.blocks[p / CandidateList::kGroup];
        const size_t lane = p % CandidateList::kGroup;
        if (block.Index[lane] < 0)
            continue;
        const auto i = size_t(block.Index[lane]);
        ASSERT_EQ(block.Value[0][lane], b.TL[i]);
        ASSERT_EQ(block.Value[3][lane], b.BR[i]);
        listed[i] = true;
        for (size_t g = 0; g <= p / CandidateList::kGroup; ++g)
            ASSERT_LE(double(list.nearest[g]), Distance(c, b, i)) << g << " " << p;
    }
    for (size_t i = 0; i < n; ++i) {
        if (!listed[i] && Distance(c, b, i) <= nearest + variation) {
            ASSERT_LE(double(list.rest), Distance(c, b, i)) << i;
        }
    }
}

TEST(GlyphSearch, ListsBoundTheirGlyphs)
{
    constexpr double kWidth = CandidateCache::kCubeWidth, kOrigin = CandidateCache::kOrigin;
    for (int trial = 0; trial < 40; ++trial) {
        const GlyphBucketArray buckets = RandomBuckets();
        const GlyphTable table(buckets);
        const RndJumpTable jumps(400);
        const CandidateCache cache(table, jumps, 1);
        for (int k = 0; k < 200; ++k) {
            const int32_t level = Uniform(0, kBucketCount - 1);
            const GlyphTable::Bucket& b = table[level];
            if (b.Code.empty())
                continue;
            const size_t near = size_t(Uniform(0, int(b.Code.size()) - 1));
            const float base[] = {b.TL[near], b.TR[near], b.BL[near], b.BR[near]};
            float q[4];
            for (int i = 0; i < 4; ++i)
                q[i] = Uniform(0, 1) ? base[i] + float(Uniform(-8, 8)) / 16 : float(Uniform(0, 255)) / 16;
            const int32_t variation = Uniform(0, CandidateCache::kMaxVariation);
            CandidateCache::Memo memo;
            (void)cache.Find(level, {q[0], q[1], q[2], q[3]}, variation, memo); // the cube is taken
            if (!cache.Find(level, {q[0], q[1], q[2], q[3]}, variation, memo))
                continue;
            for (int corner = 0; corner < 48; ++corner) {
                float at[4];
                for (int i = 0; i < 4; ++i) {
                    const double lo = std::floor((q[i] - kOrigin) / kWidth) * kWidth + kOrigin;
                    const int where = corner < 16 ? (corner >> i & 1) * 2 : Uniform(0, 3);
                    at[i] = where == 0   ? float(lo)
                            : where == 2 ? std::nextafter(float(lo + kWidth), -1000.0f)
                            : where == 1 ? float(lo + kWidth * Uniform(1, 15) / 16)
                                         : q[i];
                }
                const CellQuarters c{at[0], at[1], at[2], at[3]};
                // A cell a float step below an edge may be found in the next
                // cube: whichever list serves it must bound it.
                CandidateCache::Memo fresh;
                (void)cache.Find(level, c, variation, fresh);
                if (const CandidateList* own = cache.Find(level, c, variation, fresh))
                    ExpectListBounds(*own, b, c, variation);
            }
        }
    }
}

// More cubes than the lists have room for (the searches' caches fill as the
// one looked at here does): once it is full the cells keep to the blocks,
// with the rule's glyph still.
TEST(GlyphSearch, KeepsToTheBlocksWhenListsRunOut)
{
    GlyphBucketArray buckets;
    for (int i = 0; i < 300; ++i)
        buckets[0].push_back(
            std::make_shared<clsChr>(clsChr{float(Uniform(0, 48)) / 16, float(Uniform(0, 48)) / 16,
                                            float(Uniform(0, 48)) / 16, float(Uniform(0, 48)) / 16, 0x8140 + i}));
    const GlyphTable table(buckets);
    const GlyphSearch portable(table, false, 1), vector(table, true, 1);
    SearchScratch scratch = portable.Scratch();
    const CandidateCache cache(table, portable.Jumps(), 1);
    constexpr int kSide = 12; // 12^4 cubes
    size_t refused = 0;
    for (int cube = 0; cube < kSide * kSide * kSide * kSide; ++cube) {
        float q[4];
        for (int i = 0, at = cube; i < 4; ++i, at /= kSide)
            q[i] = (float(at % kSide) + 0.5f) * CandidateCache::kCubeWidth;
        const CellQuarters c{q[0], q[1], q[2], q[3]};
        CandidateCache::Memo memo;
        (void)cache.Find(0, c, 20, memo);
        refused += cache.Find(0, c, 20, memo) == nullptr;
        for (int visit = 0; visit < 2; ++visit) {
            ASSERT_NO_FATAL_FAILURE(ExpectTheRulesGlyph(portable, vector, c, 0, 20, scratch)) << cube;
        }
    }
    EXPECT_GT(refused, 0u);
    EXPECT_LT(refused, size_t(kSide * kSide * kSide * kSide));
}

} // namespace
