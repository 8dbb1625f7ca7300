// SPDX-License-Identifier: MIT
// From picture to characters: sampling, tone levels, the generator, the
// choice of a glyph and the conversion loop.
#include "common/CodePage932.h"
#include "engine/BoardGlyphs.h"
#include "engine/CellColours.h"
#include "engine/Conversion.h"
#include "engine/GlyphFont.h"
#include "engine/GlyphMeasure.h"
#include "engine/TerminalGlyphs.h"
#include "engine/TextPictureMarkup.h"
#include "tests/TestSupport.h"

#include <map>
#include <stdexcept>

namespace {

using Colour = std::function<int32_t(int32_t, int32_t)>;

// A picture whose pixels come from a function; a read outside the readable
// area (rw x rh) throws, and every read is counted.
struct ProbedPixels : PixelSource {
    ProbedPixels(int32_t w, int32_t h, Colour c, int32_t rw = 0, int32_t rh = 0)
        : w(w), h(h), rw(rw ? rw : w), rh(rh ? rh : h), colour(std::move(c))
    {}
    int32_t w, h, rw, rh;
    Colour colour;
    mutable std::map<std::pair<int32_t, int32_t>, int> reads;
    int32_t ScaleWidth() const override { return w; }
    int32_t ScaleHeight() const override { return h; }
    int32_t Point(int32_t x, int32_t y) const override
    {
        if (x < 0 || y < 0 || x >= rw || y >= rh)
            throw std::out_of_range("read outside the grid");
        ++reads[{x, y}];
        return colour(x, y);
    }
};

int32_t Grey(int v)
{
    return v | (v << 8) | (v << 16);
}

} // namespace

TEST(SampleCell, QuarterValuesOfKnownCells)
{
    const Colour white = [](int32_t, int32_t) { return 0xFFFFFF; };
    const Colour leftWhite = [](int32_t x, int32_t) { return x < 4 ? 0xFFFFFF : 0; };
    // Cell size, colour, contrast, then TL, TR, BL, BR and the level; the last
    // cell has 16 black pixels in the bottom right.
    const std::tuple<int32_t, Colour, float, CellValues> probes[] = {
        {8, white, 1, {15.9375f, 15.9375f, 15.9375f, 15.9375f, 15}},
        {8, [](int32_t, int32_t) { return Grey(128); }, 1, {8, 8, 8, 8, 8}},
        {8, leftWhite, 1, {15.9375f, 0, 15.9375f, 0, 8}},
        {8, leftWhite, 1.5f, {19.90625f, -4, 19.90625f, -4, 8}},
        {4, [](int32_t, int32_t y) { return y < 2 ? 0x0000FF : 0xFF0000; }, 1, {5.3125f, 5.3125f, 5.3125f, 5.3125f, 5}},
        {32,
         [](int32_t x, int32_t y) { return x >= 28 && y >= 28 ? 0 : 0xFFFFFF; },
         1,
         {15.9375f, 15.9375f, 15.9375f, 14.94140625f, 15}}};
    for (const auto& [size, colour, contrast, want] : probes) {
        const ProbedPixels pixels(size, size, colour);
        const CellValues v = SampleCell(pixels, 0, 0, size, 8.0f, contrast);
        EXPECT_EQ(std::tuple(v.TL, v.TR, v.BL, v.BR, v.Level),
                  std::tuple(want.TL, want.TR, want.BL, want.BR, want.Level));
        EXPECT_EQ(pixels.reads.size(), size_t(size * size));
    }
}

TEST(ToneLevel, RoundsHalfToEvenThenTruncatesAndClamps)
{
    const std::pair<float, int32_t> cases[] = {{62.5f, 15}, {63.5f, 15}, {31.5f, 8}, {30.5f, 7},
                                               {-7.0f, 0},  {3.0f, 0},   {4.0f, 1},  {-3.5f, 0}};
    for (const auto& [sum, level] : cases)
        EXPECT_EQ(ToneLevel(sum, 0, 0, 0), level) << sum;
}

TEST(Grid, ReadsEveryPixelOfWholeCellsOnceAndReportsTheShareBefore)
{
    // 17 x 9 at cell size 8: two columns, one row; column 16 and row 8 unread.
    const ProbedPixels pixels(
        17, 9, [](int32_t x, int32_t y) { return Grey((x * 7 + y) % 256); }, 16, 8);
    QByteArray out;
    std::vector<double> progress;
    Rnd rnd;
    const ConversionHooks hooks{[] { return ConversionSettings{}; },
                                [&](const QByteArray& row) { return out += row + "\r\n", true; },
                                [&](double p, int32_t) { return progress.push_back(p), true; }};
    EXPECT_EQ(ConvertCells(pixels, 8, GlyphTable(GlyphBucketArray{}), rnd, hooks), ConversionEnd::Finished);
    EXPECT_EQ(std::pair(out, progress), std::pair(QByteArray("\x81\x40\x81\x40\r\n"), std::vector<double>{0, 50}));
    EXPECT_EQ(pixels.reads.size(), 16u * 8u);
    EXPECT_TRUE(std::all_of(pixels.reads.begin(), pixels.reads.end(), [](const auto& r) { return r.second == 1; }));
    EXPECT_EQ(ComputeGridExtent(7, 7, 8).LastCellLeft, -8);
    EXPECT_DOUBLE_EQ(CellProgress(GridExtent{100000 - 4, 40000 - 4}, 4, 0, 20000), 50.0) << "beyond 2^31 pixels";
}

TEST(ChooseGlyph, GeneratorScoresTiesAndTheClosenessTest)
{
    Rnd first;
    const std::vector<float> drawn{first.Next(), first.Next(), first.Next()}; // in this order
    EXPECT_EQ(drawn, (std::vector<float>{0.7055475f, 0.533424f, 0.5795186f}));

    GlyphBucketArray buckets;
    buckets[4] = {MakeGlyph(0x8801, 4), MakeGlyph(0x8802, 4)};
    const GlyphTable table(buckets);
    Rnd rnd;
    // A tie keeps the first; an empty bucket gives the ideographic space.
    EXPECT_EQ(std::pair(ChooseGlyph(table, 4, 4, 4, 4, 4, 0, rnd), ChooseGlyph(table, 3, 3, 3, 3, 0, 0, rnd)),
              std::pair(0x8801, kFallbackCode));

    // Squared distances 0.5 and 0.75, in both orders.
    auto nearer = MakeGlyph(0x8803, 4.5f, 4.5f, 4, 4);
    auto farther = MakeGlyph(0x8804, 4.5f, 4.5f, 4.5f, 4);
    GlyphBucketArray ab, ba;
    ab[4] = {nearer, farther};
    ba[4] = {farther, nearer};
    EXPECT_EQ(std::pair(ChooseGlyph(GlyphTable(ab), 4, 4, 4, 4, 4, 0, rnd),
                        ChooseGlyph(GlyphTable(ba), 4, 4, 4, 4, 4, 0, rnd)),
              std::pair(0x8803, 0x8803));

    // Beyond 100 from every glyph: the space, and no draw.
    const uint32_t before = rnd.State();
    const int32_t beyond = ChooseGlyph(table, 4, 4, 4, 104.5f, 4, 5, rnd); // before reading the state
    EXPECT_EQ(std::pair(beyond, rnd.State()), std::pair(kFallbackCode, before));
    // Exactly 100 passes (one draw a glyph) but cannot win; so does every glyph with variation.
    Rnd count, jitter, twice;
    twice.Next();
    twice.Next();
    const int32_t exactly100 = ChooseGlyph(table, 104, 104, 104, 104, 4, 5, count);
    ChooseGlyph(table, 4, 4, 4, 4, 4, 50, jitter);
    EXPECT_EQ(std::tuple(exactly100, count.State(), jitter.State()),
              std::tuple(kFallbackCode, twice.State(), twice.State()));
}

TEST(TerminalGlyphs, OnlyCharactersWideInEveryTerminal)
{
    GlyphBucketArray buckets; // ○ 亜 α 　 ─ Ａ 唖: circles, Greek and box drawing are narrow in many terminals
    for (int32_t code : {0x819B, 0x889F, 0x83BF, 0x8140, 0x849F, 0x8260, 0x88A0})
        buckets[3].push_back(MakeGlyph(code, 3));
    const GlyphBucketArray wide = TerminalGlyphsOnly(buckets);
    std::vector<int32_t> kept;
    for (const auto& g : wide[3])
        kept.push_back(g->AsciiNo);
    EXPECT_EQ(kept, (std::vector<int32_t>{0x889F, 0x8140, 0x8260, 0x88A0}));
}

// Colour is added, never a character changed: each cell's mean colour, runs of
// one colour merged, escapes that strip back to the plain text, HTML escaped.
TEST(TextPictureMarkup, CellColoursEscapesAndPages)
{
    QImage picture(5, 2, QImage::Format_RGB32); // two 2 x 2 cells; the fifth column is no whole cell
    picture.fill(qRgb(9, 9, 9));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            picture.setPixel(x, y, qRgb(x * 10 + y, 100, 255 * x)); // means 5.5, 100, 127.5
    EXPECT_EQ(CellColours(picture, 2), (std::vector<QRgb>{qRgb(6, 100, 128), qRgb(9, 9, 9)}));

    const QList<QByteArray> rows = {"\x88\x9f\x88\x9f\x81\x40", "\x81\x40\x88\x9f\x88\x9f"}; // 亜亜　 / 　亜亜
    const std::vector<QRgb> colours = {qRgb(1, 2, 3), qRgb(1, 2, 3), qRgb(255, 0, 0),
                                       qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(0, 0, 0)};
    EXPECT_EQ(ColouredText(rows, &colours), QByteArray("\x1b[38;2;1;2;3m亜亜\x1b[38;2;255;0;0m　\x1b[0m\r\n"
                                                       "\x1b[38;2;0;0;0m　亜亜\x1b[0m\r\n"));
    EXPECT_EQ(ColouredText(rows, nullptr), QByteArray("亜亜　\r\n　亜亜\r\n"));

    const QByteArray page = HtmlPage(rows, "<a & b>", &colours, false);
    EXPECT_TRUE(page.contains("<title>&lt;a &amp; b&gt;</title>")) << page.toStdString();
    EXPECT_TRUE(page.contains("<pre><span style=\"color:#010203\">亜亜</span><span style=\"color:#ff0000\">　</span>\n"
                              "<span style=\"color:#000000\">　亜亜</span>\n</pre>"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("<meta charset=\"utf-8\">") && page.contains("\"IPAGothic\"") &&
                page.contains("line-height: 1;"));
    EXPECT_TRUE(HtmlPage(rows, "x", nullptr, false).contains("<pre>亜亜　\n　亜亜\n</pre>"));
}

// Only glyphs exactly one em wide in IPAPGothic, measured in the font's own
// units: kanji are, most kana and full-width Latin letters are not.
TEST(BoardGlyphs, OnlyCharactersOneEmWideInTheProportionalFont)
{
    GlyphBucketArray buckets; // 亜 ア Ａ 　 唖 ー
    buckets[0] = {MakeGlyph(0x889F, 1), MakeGlyph(0x8341, 1), MakeGlyph(0x8260, 1)};
    buckets[3] = {MakeGlyph(0x8140, 1), MakeGlyph(0x88A0, 1), MakeGlyph(0x815B, 1)};
    GlyphBucketArray board;
    ASSERT_TRUE(BoardGlyphsOnly(buckets, QString(), board).IsDone());
    std::vector<int32_t> kept;
    for (const auto& bucket : board)
        for (const auto& g : bucket)
            kept.push_back(g->AsciiNo);
    EXPECT_EQ(kept, (std::vector<int32_t>{0x889F, 0x8140, 0x88A0}));
    GlyphBucketArray none;
    EXPECT_TRUE(BoardGlyphsOnly(buckets, "/no/such/font.ttf", none).IsFailed());
}
