#include "engine/Conversion.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace {

// A picture of given size whose pixels come from a function; any read outside
// the readable area fails the test, and every read is counted.
class ProbedPixels : public PixelSource {
public:
    ProbedPixels(int32_t w, int32_t h, std::function<int32_t(int32_t, int32_t)> colour, int32_t readableW = -1,
                 int32_t readableH = -1)
        : w_(w), h_(h), colour_(std::move(colour)), rw_(readableW < 0 ? w : readableW),
          rh_(readableH < 0 ? h : readableH)
    {
    }
    int32_t ScaleWidth() const override { return w_; }
    int32_t ScaleHeight() const override { return h_; }
    int32_t Point(int32_t x, int32_t y) const override
    {
        if (x < 0 || y < 0 || x >= rw_ || y >= rh_)
            throw std::out_of_range("read outside the grid");
        ++reads[{x, y}];
        return colour_(x, y);
    }
    mutable std::map<std::pair<int32_t, int32_t>, int> reads;

private:
    int32_t w_, h_;
    std::function<int32_t(int32_t, int32_t)> colour_;
    int32_t rw_, rh_;
};

int32_t Grey(int v)
{
    return v | (v << 8) | (v << 16);
}

QByteArray Convert(const PixelSource& pixels, int32_t cellSize, const GlyphBucketArray& buckets, Rnd& rnd,
                   int32_t variation = 5, std::vector<double>* progress = nullptr)
{
    QByteArray out;
    ConversionHooks hooks;
    hooks.settings = [=] { return ConversionSettings{8.0f, 1.0f, variation}; };
    hooks.writeRow = [&](const QByteArray& row) {
        out += row + "\r\n";
        return true;
    };
    hooks.afterCell = [&](double p, int32_t) {
        if (progress)
            progress->push_back(p);
        return true;
    };
    EXPECT_EQ(ConvertCells(pixels, cellSize, GlyphTable(buckets), rnd, hooks), ConversionEnd::Finished);
    return out;
}

} // namespace

TEST(SampleCell, WorkedValues)
{
    ProbedPixels white(8, 8, [](int32_t, int32_t) { return 0xFFFFFF; });
    CellValues v = SampleCell(white, 0, 0, 8, 8.0f, 1.0f);
    EXPECT_EQ(v.TL, 15.9375f);
    EXPECT_EQ(v.BR, 15.9375f);
    EXPECT_EQ(v.Level, 15);

    ProbedPixels grey(8, 8, [](int32_t, int32_t) { return Grey(128); });
    v = SampleCell(grey, 0, 0, 8, 8.0f, 1.0f);
    EXPECT_EQ(v.TR, 8.0f);
    EXPECT_EQ(v.Level, 8);

    ProbedPixels black(8, 8, [](int32_t, int32_t) { return 0; });
    v = SampleCell(black, 0, 0, 8, 8.0f, 1.0f);
    EXPECT_EQ(v.BL, 0.0f);
    EXPECT_EQ(v.Level, 0);

    ProbedPixels halves(8, 8, [](int32_t x, int32_t) { return x < 4 ? 0xFFFFFF : 0; });
    v = SampleCell(halves, 0, 0, 8, 8.0f, 1.0f);
    EXPECT_EQ(v.TL, 15.9375f);
    EXPECT_EQ(v.BL, 15.9375f);
    EXPECT_EQ(v.TR, 0.0f);
    EXPECT_EQ(v.Level, 8);

    v = SampleCell(halves, 0, 0, 8, 8.0f, 1.5f);
    EXPECT_EQ(v.TL, 19.90625f);
    EXPECT_EQ(v.TR, -4.0f);

    // Red, green and blue weigh alike: 0x00BBGGRR.
    ProbedPixels red(4, 4, [](int32_t, int32_t) { return 0x0000FF; });
    ProbedPixels blue(4, 4, [](int32_t, int32_t) { return 0xFF0000; });
    EXPECT_EQ(SampleCell(red, 0, 0, 4, 8, 1).TL, SampleCell(blue, 0, 0, 4, 8, 1).TL);
    EXPECT_EQ(SampleCell(red, 0, 0, 4, 8, 1).TL, float(255.0 / 48));
}

TEST(ToneLevel, RoundsHalfToEvenThenTruncatesAndClamps)
{
    EXPECT_EQ(ToneLevel(62.5f, 0, 0, 0), 15);  // 62 div 4
    EXPECT_EQ(ToneLevel(63.5f, 0, 0, 0), 15);  // 64 div 4 = 16, clamped
    EXPECT_EQ(ToneLevel(31.5f, 0, 0, 0), 8);   // 32 div 4
    EXPECT_EQ(ToneLevel(30.5f, 0, 0, 0), 7);   // 30 div 4
    EXPECT_EQ(ToneLevel(-7.0f, 0, 0, 0), 0);   // -7 div 4 = -1, clamped
    EXPECT_EQ(ToneLevel(-4.0f, -4.0f, -4.0f, -4.0f), 0);
    EXPECT_EQ(ToneLevel(3.0f, 0, 0, 0), 0);
    EXPECT_EQ(ToneLevel(4.0f, 0, 0, 0), 1);
}

TEST(Grid, ReadsEveryPixelOfWholeCellsOnce)
{
    // 17 x 9 at cell size 8: two columns, one row; column 16 and row 8 unread.
    ProbedPixels pixels(17, 9, [](int32_t x, int32_t y) { return Grey((x * 7 + y) % 256); }, 16, 8);
    Rnd rnd;
    const QByteArray text = Convert(pixels, 8, GlyphBucketArray{}, rnd);
    EXPECT_EQ(text, QByteArray("\x81\x40\x81\x40\r\n"));
    EXPECT_EQ(pixels.reads.size(), 16u * 8u);
    for (const auto& [xy, n] : pixels.reads)
        EXPECT_EQ(n, 1);

    const GridExtent g = ComputeGridExtent(7, 7, 8);
    EXPECT_EQ(g.LastCellLeft, -8);
    EXPECT_EQ(g.LastCellTop, -8);
}

TEST(Grid, ProgressIsTheShareBeforeEachCell)
{
    ProbedPixels pixels(16, 16, [](int32_t, int32_t) { return 0; });
    Rnd rnd;
    std::vector<double> progress;
    Convert(pixels, 8, GlyphBucketArray{}, rnd, 5, &progress);
    EXPECT_EQ(progress, (std::vector<double>{0, 25, 50, 75}));

    // A grid beyond 2^31 pixels keeps its percentages.
    GridExtent huge{100000 - 4, 40000 - 4};
    EXPECT_DOUBLE_EQ(CellProgress(huge, 4, 0, 20000), 50.0);
}

TEST(Rnd, StartsAtTheSameSequenceEveryTime)
{
    Rnd rnd;
    EXPECT_EQ(rnd.Next(), 0.7055475f);
    EXPECT_EQ(rnd.Next(), 0.533424f);
    EXPECT_EQ(rnd.Next(), 0.5795186f);
    for (int i = 0; i < 100000; ++i) {
        const float r = rnd.Next();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
    }
}

TEST(ChooseGlyph, ScoresTiesAndTheClosenessTest)
{
    GlyphBucketArray buckets;
    // Bucket 4: two identical glyphs, then nearer ones in both orders.
    buckets[4].push_back(MakeGlyph(0x8801, 4, 4, 4, 4));
    buckets[4].push_back(MakeGlyph(0x8802, 4, 4, 4, 4));
    GlyphTable table(buckets);
    Rnd rnd;
    EXPECT_EQ(ChooseGlyph(table, 4, 4, 4, 4, 4, 0, rnd), 0x8801) << "a tie keeps the first";
    EXPECT_EQ(ChooseGlyph(table, 3, 3, 3, 3, 0, 0, rnd), kFallbackCode) << "empty bucket";

    // Squared distances 0.5 and 0.75 (from 0.5^2 x 2 and 0.5^2 x 3).
    GlyphBucketArray ab, ba;
    auto near = MakeGlyph(0x8803, 4.5f, 4.5f, 4, 4);
    auto far = MakeGlyph(0x8804, 4.5f, 4.5f, 4.5f, 4);
    ab[4] = {near, far};
    ba[4] = {far, near};
    EXPECT_EQ(ChooseGlyph(GlyphTable(ab), 4, 4, 4, 4, 4, 0, rnd), 0x8803);
    EXPECT_EQ(ChooseGlyph(GlyphTable(ba), 4, 4, 4, 4, 4, 0, rnd), 0x8803);

    // A cell beyond 100 from every glyph gets the space and draws nothing.
    const uint32_t before = rnd.State();
    EXPECT_EQ(ChooseGlyph(table, 4, 4, 4, 104.5f, 4, 5, rnd), kFallbackCode);
    EXPECT_EQ(rnd.State(), before);

    // Differences of exactly 100 pass the test (one draw each) but can never win.
    Rnd count;
    EXPECT_EQ(ChooseGlyph(table, 104, 104, 104, 104, 4, 5, count), kFallbackCode);
    Rnd expected;
    expected.Next();
    expected.Next();
    EXPECT_EQ(count.State(), expected.State());

    // With variation every glyph that passes draws once, in order.
    Rnd jitter;
    ChooseGlyph(table, 4, 4, 4, 4, 4, 50, jitter);
    EXPECT_EQ(jitter.State(), expected.State());
}

TEST(ConvertCells, SameStartSameBytesLaterRunsDiffer)
{
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        for (int i = 0; i < 8; ++i)
            buckets[b].push_back(MakeGlyph(0x8A00 + b * 16 + i, b + i * 0.05f, b, b + 0.1f * i, b));
    ProbedPixels pixels(64, 64, [](int32_t x, int32_t y) { return Grey((x * 4 + y * 3) % 256); });
    Rnd first, second;
    const QByteArray a = Convert(pixels, 4, buckets, first, 20);
    const QByteArray b = Convert(pixels, 4, buckets, second, 20);
    EXPECT_EQ(a, b);
    EXPECT_NE(Convert(pixels, 4, buckets, first, 20), a) << "the sequence goes on across conversions";
}
