// SPDX-License-Identifier: MIT
// The parallel converter against the one-cell-at-a-time loop: same bytes and
// the same random state afterwards, for random pictures and glyph sets.
#include "engine/Conversion.h"
#include "engine/FastConversion.h"
#include "engine/RndJump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

int Uniform(std::mt19937& g, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(g);
}

// Quarter values on the measuring scale in sixteenths, or from two values
// only (equal scores everywhere), or spread so wide that the closeness test
// splits buckets. Some glyphs repeat an earlier one, some buckets are empty,
// some codes are one byte.
GlyphBucketArray RandomBuckets(std::mt19937& g)
{
    const int kind = Uniform(g, 0, 2);
    auto value = [&] {
        return kind == 0   ? float(Uniform(g, 0, 255)) / 16
               : kind == 1 ? float(Uniform(g, 0, 1) * 8)
                           : float(Uniform(g, 0, 3200)) / 16;
    };
    GlyphBucketArray buckets;
    for (auto& bucket : buckets) {
        const int n = Uniform(g, 0, 3) == 0 ? 0 : Uniform(g, 1, 40);
        for (int i = 0; i < n; ++i) {
            auto glyph = std::make_shared<clsChr>();
            if (i > 0 && Uniform(g, 0, 4) == 0) {
                *glyph = *bucket[size_t(Uniform(g, 0, i - 1))];
            } else {
                for (float* q : {&glyph->TL, &glyph->TR, &glyph->BL, &glyph->BR})
                    *q = value();
                glyph->AsciiNo = Uniform(g, 0, 5) == 0 ? Uniform(g, 0x21, 0x7E) : Uniform(g, 0x8140, 0x9FFC);
            }
            bucket.push_back(glyph);
        }
    }
    return buckets;
}

// Patches of one colour with noise, so cells fall in many tone levels.
QImage RandomPicture(std::mt19937& g, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::vector<int> patches(64 * 3);
    for (int& p : patches)
        p = Uniform(g, 0, 255);
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int* p = &patches[size_t((y / 9 % 8 * 8 + x / 7 % 8) * 3)];
            auto noisy = [&](int v) { return std::clamp(v + Uniform(g, -40, 40), 0, 255); };
            line[x] = qRgb(noisy(p[0]), noisy(p[1]), noisy(p[2]));
        }
    }
    return image;
}

// Brightness and contrast from the sliders' ranges, far beyond them, and near
// the edge of the closeness test, where some glyphs of a bucket draw no number.
ConversionSettings RandomSettings(std::mt19937& g)
{
    ConversionSettings s;
    switch (Uniform(g, 0, 3)) {
    case 0:
        s.Brightness = float(Uniform(g, 30, 130)) / 10;
        s.Contrast = float(Uniform(g, 5, 15)) / 10;
        break;
    case 1:
        s.Brightness = float(Uniform(g, -150, 150));
        s.Contrast = float(Uniform(g, -200, 200)) / 10;
        break;
    case 2:
        s.Brightness = float(Uniform(g, 80, 120));
        s.Contrast = float(Uniform(g, 0, 30)) / 10;
        break;
    default:
        s.Brightness = float(Uniform(g, -110, -90));
        s.Contrast = 1;
        break;
    }
    s.Variation = Uniform(g, 0, 3) == 0 ? 0 : Uniform(g, 1, 50);
    return s;
}

TEST(FastConversion, MatchesTheSequentialLoop)
{
    std::mt19937 g(20240611);
    GlyphBucketArray buckets;
    for (int trial = 0; trial < 400; ++trial) {
        if (trial % 10 == 0)
            buckets = RandomBuckets(g);
        const GlyphTable table(buckets);
        const int32_t cellSize = trial == 0 ? 4 : 4 << Uniform(g, 0, 3);
        // The first picture is large enough for the grid to go in several bands.
        const QImage picture =
            trial == 0 ? RandomPicture(g, 420, 400) : RandomPicture(g, Uniform(g, 0, 100), Uniform(g, 0, 100));
        const ConversionSettings s = RandomSettings(g);
        const uint32_t start = trial % 2 ? Rnd::kStartState : uint32_t(Uniform(g, 0, 0xFFFFFF));

        // What the hooks see: rows, and every cell's progress and code.
        auto record = [&](std::vector<QByteArray>& rows, std::vector<std::pair<double, int32_t>>& cells) {
            ConversionHooks hooks;
            hooks.settings = [&] { return s; };
            hooks.writeRow = [&](const QByteArray& row) { return rows.push_back(row), true; };
            hooks.afterCell = [&](double p, int32_t code) { return cells.emplace_back(p, code), true; };
            return hooks;
        };
        std::vector<QByteArray> expected, grid;
        std::vector<std::pair<double, int32_t>> expectedCells, gridCells;
        Rnd reference(start), whole(start);
        ConvertCells(ImagePixels(picture), cellSize, table, reference, record(expected, expectedCells));
        ConvertGrid(picture, cellSize, table, whole, record(grid, gridCells));
        ASSERT_EQ(grid, expected) << "trial " << trial;
        ASSERT_EQ(gridCells, expectedCells) << "trial " << trial;
        ASSERT_EQ(whole.State(), reference.State());

        // Two bands, split at a random row, must join up as one run.
        const int32_t split = Uniform(g, 0, int(expected.size()));
        for (unsigned threads : {1u, 2u, 7u}) {
            for (bool simd : {false, true}) {
                SCOPED_TRACE(testing::Message() << "trial " << trial << " threads " << threads << " simd " << simd);
                Rnd rnd(start);
                std::vector<QByteArray> rows = ConvertBand(picture, cellSize, 0, split, s, table, rnd, {threads, simd});
                for (QByteArray& row : ConvertBand(picture, cellSize, split, 1000, s, table, rnd, {threads, simd}))
                    rows.push_back(row);
                ASSERT_EQ(rows, expected);
                ASSERT_EQ(rnd.State(), reference.State());
            }
        }
    }
}

TEST(FastConversion, JumpsLandWhereDrawingDoes)
{
    const RndJumpTable jumps(5000);
    for (uint32_t start : {0u, Rnd::kStartState, 0xFFFFFFu, 0x123456u}) {
        Rnd rnd(start);
        for (size_t n = 0; n <= jumps.MaxDraws(); ++n, rnd.Next())
            ASSERT_EQ(jumps.Advance(start, n), rnd.State()) << n;
    }
}

} // namespace
