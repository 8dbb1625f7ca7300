#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphMeasure.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A surface whose drawings are chosen per text: a list of non-white pixels.
class FakeSurface : public DrawingSurface {
public:
    std::map<QString, std::map<std::pair<int, int>, int32_t>> ink;
    std::set<QString> narrow, missing;
    std::vector<QString> printed;
    int clears = 0;

    bool CanDraw(const QString& text) const override { return !missing.count(text); }
    double TextWidth(const QString& text) const override { return narrow.count(text) ? 8 : 16; }
    void PrintAt(int32_t, int32_t, const QString& text) override
    {
        printed.push_back(text);
        drawn_ = text;
    }
    int32_t Point(int32_t x, int32_t y) const override
    {
        const auto it = ink.find(drawn_);
        if (it == ink.end())
            return 0xFFFFFF;
        const auto px = it->second.find({x, y});
        return px == it->second.end() ? 0xFFFFFF : px->second;
    }
    void Cls() override
    {
        drawn_.clear();
        ++clears;
    }

private:
    QString drawn_;
};

// Ink in the first n pixels of a quarter, counted along its rows.
void InkQuarter(std::map<std::pair<int, int>, int32_t>& pixels, int qx, int qy, int n)
{
    for (int i = 0; i < n; ++i)
        pixels[{qx * 8 + i % 8, qy * 8 + i / 8}] = 0;
}

const clsChr* FindCode(const GlyphBucketArray& buckets, int32_t code, int* bucket = nullptr)
{
    for (int b = 0; b < kBucketCount; ++b)
        for (const auto& g : buckets[b])
            if (g->AsciiNo == code) {
                if (bucket)
                    *bucket = b;
                return g.get();
            }
    return nullptr;
}

} // namespace

TEST(CountToLevel, EdgesOfTheScale)
{
    EXPECT_EQ(CountToLevel(35), -1.0f);
    EXPECT_EQ(CountToLevel(0), -1.0f);
    EXPECT_EQ(CountToLevel(36), 0.0f);
    EXPECT_EQ(CountToLevel(37), 0.57f);
    EXPECT_EQ(CountToLevel(64), float(28 * 0.57));
    EXPECT_EQ(CountToLevel(64), 15.96f);
    clsChr g;
    g.TL = g.TR = g.BL = g.BR = CountToLevel(43); // 3.99 each
    EXPECT_EQ(BucketKey(g), 3);
}

TEST(MeasureGlyphs, CountsWhitePixelsPerQuarter)
{
    FakeSurface surface;
    const QString a = CharFromCode(0x889F); // 亜
    auto& px = surface.ink[a];
    px[{12, 3}] = 0;        // column 12, row 3: top-right
    px[{2, 2}] = 0xFEFFFF;  // nearly white is ink too: top-left
    InkQuarter(px, 0, 1, 28); // bottom-left keeps 36 white pixels: level 0
    px[{16, 0}] = 0;        // outside the 16 x 16 square: not counted
    px[{3, 20}] = 0;

    const QString b = CharFromCode(0x88A0); // 唖: one quarter with 35 white pixels
    InkQuarter(surface.ink[b], 1, 1, 29);

    GlyphBucketArray buckets;
    MeasureGlyphs(surface, buckets);
    int bucket = -1;
    const clsChr* g = FindCode(buckets, 0x889F, &bucket);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->TL, CountToLevel(63));
    EXPECT_EQ(g->TR, CountToLevel(63));
    EXPECT_EQ(g->BL, 0.0f);
    EXPECT_EQ(g->BR, CountToLevel(64));
    EXPECT_EQ(bucket, BucketKey(*g));
    EXPECT_EQ(FindCode(buckets, 0x88A0), nullptr) << "a quarter below 36 white pixels rejects the character";
}

TEST(MeasureGlyphs, WalksBothRangesOnceWithItsProgressPoints)
{
    FakeSurface surface;
    surface.narrow.insert(CharFromCode(0x88A1));
    surface.missing.insert(CharFromCode(0x88A2));
    std::vector<double> reports;
    GlyphBucketArray buckets;
    const MeasureResult r = MeasureGlyphs(surface, buckets, [&](double p) {
        reports.push_back(p);
        return true;
    });

    ASSERT_EQ(reports.size(), 32u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(reports[i], i * 3.125);
        EXPECT_EQ(reports[16 + i], 50 + i * 3.125);
    }
    EXPECT_EQ(surface.clears, 16384) << "the surface is cleared after every code";

    std::map<QString, int> times;
    for (const QString& t : surface.printed)
        ++times[t];
    EXPECT_EQ(times[QStringLiteral("・")], 1);
    EXPECT_EQ(times[QStringLiteral("　")], 1);
    EXPECT_EQ(times.count(CharFromCode(0x88A1)), 0u) << "narrow";
    EXPECT_EQ(times.count(CharFromCode(0x88A2)), 0u) << "no glyph in the font";
    EXPECT_EQ(times.count(QString()), 0u) << "invalid codes are never drawn";
    EXPECT_EQ(r.kept, int(GlyphCount(buckets)));
    EXPECT_EQ(size_t(r.kept), buckets[15].size()) << "an all-white fake files everything under 15";

    // Stopping at the first report leaves the rest undone.
    FakeSurface again;
    GlyphBucketArray none;
    EXPECT_TRUE(MeasureGlyphs(again, none, [](double) { return false; }).stopped);
    EXPECT_EQ(again.clears, 0);
}

TEST(MeasureGlyphs, RealFontGivesAUsableReproducibleDatabase)
{
    GlyphFont font(FindGlyphFontFile());
    ASSERT_TRUE(font.IsOpen()) << "fonts-ipafont-gothic must be installed";
    GlyphCanvas canvas(font);
    GlyphBucketArray buckets;
    const MeasureResult r = MeasureGlyphs(canvas, buckets);
    EXPECT_GT(r.kept, 6000);

    int bucket = -1;
    const clsChr* space = FindCode(buckets, 0x8140, &bucket);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(bucket, 15);
    EXPECT_EQ(space->TL, 15.96f);
    EXPECT_EQ(space->BR, 15.96f);
    for (int b = 0; b < kBucketCount; ++b) {
        EXPECT_FALSE(buckets[b].empty()) << "bucket " << b;
        for (const auto& g : buckets[b]) {
            const QString text = CharFromCode(g->AsciiNo);
            ASSERT_FALSE(text.isEmpty()) << std::hex << g->AsciiNo;
            EXPECT_TRUE((g->AsciiNo >= 0x8000 && g->AsciiNo <= 0x9FFF) || (g->AsciiNo >= 0xE000 && g->AsciiNo <= 0xFFFF));
            EXPECT_FALSE(text.at(0).unicode() >= 0xE000 && text.at(0).unicode() <= 0xF8FF) << "private use";
            EXPECT_TRUE(g->AsciiNo == 0x8140 || text != QStringLiteral("　"));
        }
    }

    QTemporaryDir dir;
    const QString first = dir.filePath("a.cdb");
    ASSERT_TRUE(WriteDatabase(first, buckets).ok);
    EXPECT_EQ(QFileInfo(first).size(), 20 * (qint64(GlyphCount(buckets)) + 17));

    // A user's FreeType settings must not change the drawing.
    qputenv("FREETYPE_PROPERTIES", "truetype:interpreter-version=35");
    GlyphFont other(FindGlyphFontFile());
    qunsetenv("FREETYPE_PROPERTIES");
    GlyphCanvas otherCanvas(other);
    GlyphBucketArray again;
    MeasureGlyphs(otherCanvas, again);
    const QString second = dir.filePath("b.cdb");
    ASSERT_TRUE(WriteDatabase(second, again).ok);
    QFile fa(first), fb(second);
    ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
    EXPECT_TRUE(fa.readAll() == fb.readAll());
}
