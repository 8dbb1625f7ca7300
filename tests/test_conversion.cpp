// SPDX-License-Identifier: MIT
// From picture to characters: loading, sampling, tone levels, the generator,
// the choice of a glyph and the conversion loop.
#include "engine/Conversion.h"
#include "engine/GlyphMeasure.h"
#include "engine/ImageLoading.h"
#include "engine/TerminalGlyphs.h"
#include "engine/TextPictureImage.h"
#include "tests/TestSupport.h"

#include <QPainter>
#include <QTemporaryDir>

#include <map>
#include <stdexcept>

namespace {

// A picture whose pixels come from a function; a read outside the readable
// area throws, and every read is counted.
class ProbedPixels : public PixelSource {
public:
    ProbedPixels(int32_t w, int32_t h, std::function<int32_t(int32_t, int32_t)> colour, int32_t rw = -1, int32_t rh = -1)
        : w_(w), h_(h), colour_(std::move(colour)), rw_(rw < 0 ? w : rw), rh_(rh < 0 ? h : rh)
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

TEST(SampleCell, QuarterValuesOfKnownCells)
{
    struct Probe {
        const char* what;
        int32_t cellSize;
        std::function<int32_t(int32_t, int32_t)> colour;
        float contrast;
        float tl, tr, bl, br;
        int32_t level;
    };
    const Probe probes[] = {
        {"white", 8, [](int32_t, int32_t) { return 0xFFFFFF; }, 1, 15.9375f, 15.9375f, 15.9375f, 15.9375f, 15},
        {"grey 128", 8, [](int32_t, int32_t) { return Grey(128); }, 1, 8, 8, 8, 8, 8},
        {"black", 4, [](int32_t, int32_t) { return 0; }, 1, 0, 0, 0, 0, 0},
        {"left white", 8, [](int32_t x, int32_t) { return x < 4 ? 0xFFFFFF : 0; }, 1, 15.9375f, 0, 15.9375f, 0, 8},
        {"left white, contrast 1.5", 8, [](int32_t x, int32_t) { return x < 4 ? 0xFFFFFF : 0; }, 1.5f, 19.90625f,
         -4, 19.90625f, -4, 8},
        {"top red, bottom blue", 4, [](int32_t, int32_t y) { return y < 2 ? 0x0000FF : 0xFF0000; }, 1, 5.3125f,
         5.3125f, 5.3125f, 5.3125f, 5},
        {"16 black pixels in the bottom right", 32,
         [](int32_t x, int32_t y) { return x >= 28 && y >= 28 ? 0 : 0xFFFFFF; }, 1, 15.9375f, 15.9375f, 15.9375f,
         14.94140625f, 15},
    };
    for (const Probe& p : probes) {
        ProbedPixels pixels(p.cellSize, p.cellSize, p.colour);
        const CellValues v = SampleCell(pixels, 0, 0, p.cellSize, 8.0f, p.contrast);
        EXPECT_EQ(v.TL, p.tl) << p.what;
        EXPECT_EQ(v.TR, p.tr) << p.what;
        EXPECT_EQ(v.BL, p.bl) << p.what;
        EXPECT_EQ(v.BR, p.br) << p.what;
        EXPECT_EQ(v.Level, p.level) << p.what;
        EXPECT_EQ(pixels.reads.size(), size_t(p.cellSize * p.cellSize)) << p.what;
    }
}

TEST(ToneLevel, RoundsHalfToEvenThenTruncatesAndClamps)
{
    const std::pair<float, int32_t> cases[] = {
        {62.5f, 15}, {63.5f, 15}, {31.5f, 8}, {30.5f, 7}, {-7.0f, 0}, {3.0f, 0}, {4.0f, 1}, {-3.5f, 0}};
    for (const auto& [sum, level] : cases)
        EXPECT_EQ(ToneLevel(sum, 0, 0, 0), level) << sum;
}

TEST(Grid, ReadsEveryPixelOfWholeCellsOnceAndReportsTheShareBefore)
{
    // 17 x 9 at cell size 8: two columns, one row; column 16 and row 8 unread.
    ProbedPixels pixels(17, 9, [](int32_t x, int32_t y) { return Grey((x * 7 + y) % 256); }, 16, 8);
    Rnd rnd;
    EXPECT_EQ(Convert(pixels, 8, GlyphBucketArray{}, rnd), QByteArray("\x81\x40\x81\x40\r\n"));
    EXPECT_EQ(pixels.reads.size(), 16u * 8u);
    for (const auto& [xy, n] : pixels.reads)
        EXPECT_EQ(n, 1);
    EXPECT_EQ(ComputeGridExtent(7, 7, 8).LastCellLeft, -8);

    ProbedPixels square(16, 16, [](int32_t, int32_t) { return 0; });
    std::vector<double> progress;
    Convert(square, 8, GlyphBucketArray{}, rnd, 5, &progress);
    EXPECT_EQ(progress, (std::vector<double>{0, 25, 50, 75}));
    EXPECT_DOUBLE_EQ(CellProgress(GridExtent{100000 - 4, 40000 - 4}, 4, 0, 20000), 50.0) << "beyond 2^31 pixels";
}

TEST(ChooseGlyph, GeneratorScoresTiesAndTheClosenessTest)
{
    Rnd first;
    EXPECT_EQ(first.Next(), 0.7055475f);
    EXPECT_EQ(first.Next(), 0.533424f);
    EXPECT_EQ(first.Next(), 0.5795186f);

    GlyphBucketArray buckets;
    buckets[4] = {MakeGlyph(0x8801, 4), MakeGlyph(0x8802, 4)};
    const GlyphTable table(buckets);
    Rnd rnd;
    EXPECT_EQ(ChooseGlyph(table, 4, 4, 4, 4, 4, 0, rnd), 0x8801) << "a tie keeps the first";
    EXPECT_EQ(ChooseGlyph(table, 3, 3, 3, 3, 0, 0, rnd), kFallbackCode) << "empty bucket";

    // Squared distances 0.5 and 0.75, in both orders.
    auto nearer = MakeGlyph(0x8803, 4.5f, 4.5f, 4, 4);
    auto farther = MakeGlyph(0x8804, 4.5f, 4.5f, 4.5f, 4);
    GlyphBucketArray ab, ba;
    ab[4] = {nearer, farther};
    ba[4] = {farther, nearer};
    EXPECT_EQ(ChooseGlyph(GlyphTable(ab), 4, 4, 4, 4, 4, 0, rnd), 0x8803);
    EXPECT_EQ(ChooseGlyph(GlyphTable(ba), 4, 4, 4, 4, 4, 0, rnd), 0x8803);

    // Beyond 100 from every glyph: the space, and no draw.
    const uint32_t before = rnd.State();
    EXPECT_EQ(ChooseGlyph(table, 4, 4, 4, 104.5f, 4, 5, rnd), kFallbackCode);
    EXPECT_EQ(rnd.State(), before);
    // Exactly 100 passes (one draw a glyph) but cannot win; so does every glyph with variation.
    Rnd count, jitter, twice;
    twice.Next();
    twice.Next();
    EXPECT_EQ(ChooseGlyph(table, 104, 104, 104, 104, 4, 5, count), kFallbackCode);
    EXPECT_EQ(count.State(), twice.State());
    ChooseGlyph(table, 4, 4, 4, 4, 4, 50, jitter);
    EXPECT_EQ(jitter.State(), twice.State());
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
    EXPECT_EQ(Convert(pixels, 4, buckets, second, 20), a);
    EXPECT_NE(Convert(pixels, 4, buckets, first, 20), a) << "the sequence goes on across conversions";
}

TEST(ImageLoading, FormatsTransparencyAndContentOverName)
{
    struct Picture {
        const char* file;
        QSize size;
        QPoint probe;
        QRgb colour;
    };
    const Picture pictures[] = {
        {"grey-16x16.bmp", {16, 16}, {3, 3}, qRgb(128, 128, 128)},
        {"palette-32x16.gif", {32, 16}, {20, 5}, qRgb(255, 255, 255)},
        {"photo-24x16.jpg", {24, 16}, {0, 0}, 0},
        {"ramp-96x64.png", {96, 64}, {10, 20}, qRgb(20, 60, 200 % 256)},
        {"grey8-8x8.png", {8, 8}, {0, 0}, qRgb(64, 64, 64)},
        {"transparent-10x6.png", {10, 6}, {0, 0}, qRgb(255, 255, 255)}, // transparent reads as white
        {"png-named.jpg", {10, 6}, {1, 1}, qRgb(0, 0, 0)},               // the content decides
    };
    for (const Picture& p : pictures) {
        QImage image;
        ASSERT_TRUE(LoadImageOverWhite(TestData(p.file), image).IsDone()) << p.file;
        EXPECT_EQ(image.size(), p.size) << p.file;
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << p.file;
        if (p.colour) {
            EXPECT_EQ(image.pixel(p.probe), p.colour) << p.file;
        }
    }
    QImage upright; // stored 16 x 8 with a dark band on the left, EXIF orientation 6
    ASSERT_TRUE(LoadImageOverWhite(TestData("exif-6.jpg"), upright).IsDone());
    EXPECT_EQ(upright.size(), QSize(8, 16));
    EXPECT_LT(qGray(upright.pixel(4, 1)), 64) << "the band is on top once the photo stands upright";
    EXPECT_GT(qGray(upright.pixel(4, 12)), 192);

    QImage kept(1, 1, QImage::Format_RGB32);
    const Outcome bad = LoadImageOverWhite(TestData("not-a-picture.jpg"), kept);
    EXPECT_TRUE(bad.IsFailed());
    EXPECT_TRUE(bad.Path().endsWith("not-a-picture.jpg"));
    EXPECT_EQ(kept.size(), QSize(1, 1)) << "a failed load leaves the image as it was";
}

TEST(TerminalGlyphs, OnlyCharactersWideInEveryTerminal)
{
    const std::pair<char32_t, bool> widths[] = {
        {U'亜', true}, {U'　', true}, {U'Ａ', true}, {U'○', false}, {U'α', false}, {U'─', false}, {U'ｱ', false}};
    for (const auto& [c, wide] : widths)
        EXPECT_EQ(IsWideInEveryTerminal(c), wide) << uint32_t(c);

    GlyphBucketArray buckets;
    buckets[3] = {MakeGlyph(0x819B, 3), MakeGlyph(0x889F, 3), MakeGlyph(0x83BF, 3), MakeGlyph(0x88A0, 3)}; // ○ 亜 α 唖
    const GlyphBucketArray wide = TerminalGlyphsOnly(buckets);
    ASSERT_EQ(wide[3].size(), 2u);
    EXPECT_EQ(wide[3][0]->AsciiNo, 0x889F);
    EXPECT_EQ(wide[3][1]->AsciiNo, 0x88A0);
}

TEST(TextPictureImage, EachCharacterWhereItWasMeasured)
{
    QImage image;
    ASSERT_TRUE(DrawTextPicture({QByteArray("\x88\x9f\x81\x40"), QByteArray("\x81\x40")}, QString(), 1.0, image)
                    .IsDone());
    EXPECT_EQ(image.size(), QSize(2 * 16, 2 * 16));
    const GlyphFont font(FindGlyphFontFile());
    GlyphCanvas canvas(font);
    canvas.PrintAt(0, 0, QStringLiteral("亜"));
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            ink += canvas.Point(x, y) != 0xFFFFFF;
            ASSERT_EQ(ColourBgr(image.pixel(x, y)), canvas.Point(x, y)) << x << "," << y;
            ASSERT_EQ(image.pixel(16 + x, y), qRgb(255, 255, 255)) << "the ideographic space is blank";
        }
    EXPECT_GT(ink, 40);

    ASSERT_TRUE(DrawTextPicture({QByteArray("\x88\x9f\x88\x9f\x88\x9f")}, QString(), 0.5, image).IsDone());
    EXPECT_EQ(image.size(), QSize(24, 8));
    EXPECT_TRUE(DrawTextPicture({}, "/no/such/font.ttf", 1.0, image).IsFailed());
}

// Composing in place must give the bytes drawing over white always gave.
TEST(ImageLoading, InPlaceCompositionGivesTheBytesOfDrawingOverWhite)
{
    QTemporaryDir dir;
    QImage argb(256, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x)
            argb.setPixel(x, y, qRgba(y * 4, 255 - y * 3, (x * 7 + y) & 255, x));
    for (const QImage& source : {argb, argb.convertToFormat(QImage::Format_RGBA64)}) {
        const QString path = dir.filePath("alpha.png");
        ASSERT_TRUE(source.save(path));
        QImage want(source.size(), QImage::Format_RGB32);
        want.fill(Qt::white);
        QPainter(&want).drawImage(0, 0, QImage(path));
        QImage got;
        ASSERT_TRUE(LoadImageOverWhite(path, got).IsDone());
        EXPECT_EQ(got, want) << source.depth();
    }
}
