// SPDX-License-Identifier: MIT
// The glyph database: file layout, the reader's damage rules, measuring, and
// the creation pipeline with the real font.
#include "engine/DatabaseFile.h"
#include "engine/GlyphDatabase.h"
#include "engine/GlyphMeasure.h"
#include "tests/TestSupport.h"

#include <QtEndian>

#include <map>

namespace {

QByteArray Slot(int32_t first, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0)
{
    QByteArray s(20, '\0');
    const uint32_t fields[] = {uint32_t(first), a, b, c, d};
    for (int i = 0; i < 5; ++i)
        qToLittleEndian(fields[i], s.data() + 4 * i);
    return s;
}

class DatabaseFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Standard.cdb"));
    GlyphBucketArray loaded;
};

// A surface that draws nothing but the ink given for each text.
struct FakeSurface : DrawingSurface {
    std::map<QString, std::map<std::pair<int, int>, int32_t>> ink;
    QString drawn;
    bool CanDraw(const QString&) const override { return true; }
    double TextWidth(const QString&) const override { return 16; }
    void PrintAt(int32_t, int32_t, const QString& text) override { drawn = text; }
    int32_t Point(int32_t x, int32_t y) const override
    {
        const auto it = ink.find(drawn);
        return it == ink.end() || !it->second.count({x, y}) ? 0xFFFFFF : it->second.at({x, y});
    }
    void Cls() override { drawn.clear(); }
};

} // namespace

TEST_F(DatabaseFileTest, WritesTheWorkedExampleAndReadsItBackBitForBit)
{
    GlyphBucketArray buckets;
    buckets[0] = {MakeGlyph(0x8150, 0.57f, 0, 1.14f, 0.57f), MakeGlyph(0x8151, 0, 0.57f, 0, 0)};
    buckets[15] = {MakeGlyph(0x8140, 15.96f)}; // buckets 1 to 14 stay empty
    ASSERT_TRUE(WriteDatabase(path, buckets).IsDone());

    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 20 * (3 + 17));
    // The separator of bucket 1, the ideographic space, the final separator.
    EXPECT_EQ(bytes.mid(20 * 3, 20) + bytes.mid(20 * 18),
              QByteArray::fromHex("00000000010000000000000000000000000000004081"
                                  "0000295C7F41295C7F41295C7F41295C7F41") +
                  QByteArray(20, '\0'));

    // Read back and written again, every code, value bit and bucket is where it
    // was. Separators are counted, the numbers in them never read, and what
    // follows the last one is ignored.
    QByteArray odd = bytes + Slot(0x889F, 1, 1, 1, 1) + "junk";
    for (qsizetype at = 0; at < bytes.size(); at += 20)
        odd.replace(at + 4, 4, odd.mid(at, 4) == QByteArray(4, '\0') ? "\xFF\xFF\xFF\x7F" : odd.mid(at + 4, 4));
    ASSERT_TRUE(WriteAll(path, odd));
    ASSERT_TRUE(ReadDatabase(path, loaded).IsDone());
    ASSERT_TRUE(WriteDatabase(path, loaded).IsDone());
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST_F(DatabaseFileTest, DamagedFilesAreRefusedAndLeaveBucketsEmpty)
{
    GlyphBucketArray good;
    for (int b = 0; b < kBucketCount; ++b)
        good[b].push_back(MakeGlyph(0x889F + b, float(b)));
    ASSERT_TRUE(WriteDatabase(path, good).IsDone());
    const QByteArray whole = ReadAll(path);
    auto inserted = [&](const QByteArray& slot) { return whole.left(20) + slot + whole.mid(20); };

    // The damage, and the numbers a front end words it with.
    const std::tuple<const char*, QByteArray, Damage, std::array<qint64, 4>> cases[] = {
        {"empty", QByteArray(), Damage::DatabaseEmpty, {}},
        {"cut before the final separator", whole.left(whole.size() - 20), Damage::DatabaseEndsEarly, {}},
        {"cut inside the final separator", whole.left(whole.size() - 1), Damage::DatabaseEndsEarly, {}},
        {"cut inside a glyph slot", whole.left(20 * 5 + 7), Damage::DatabaseEndsEarly, {}},
        {"glyph before the first separator", Slot(0x8140, 1, 1, 1, 1) + whole, Damage::DatabaseGlyphFirst, {}},
        {"no character at that code", inserted(Slot(0x8800)), Damage::DatabaseNotDoubleByte, {1, 0x8800}},
        {"single byte", inserted(Slot(0x41)), Damage::DatabaseNotDoubleByte, {1, 0x41}},
        {"beyond two bytes", inserted(Slot(0x1889F)), Damage::DatabaseNotDoubleByte, {1, 0x1889F}},
        {"between the ranges", inserted(Slot(0xA040)), Damage::DatabaseNotDoubleByte, {1, 0xA040}},
        {"a code twice", inserted(whole.mid(20, 20)), Damage::DatabaseRepeatedCode, {2, 0x889F}},
        {"longer than any database",
         whole + QByteArray(kLargestDatabaseBytes - whole.size() + 1, '\0'),
         Damage::DatabaseTooLong,
         {kLargestDatabaseBytes + 1, kLargestDatabaseBytes}},
    };
    for (const auto& [what, bytes, damage, values] : cases) {
        ASSERT_TRUE(WriteAll(path, bytes));
        const Outcome r = ReadDatabase(path, loaded);
        EXPECT_EQ(std::tuple(r.Kind(), r.DamageKind(), r.Values(), r.Path(), r.Reason().isEmpty(), GlyphCount(loaded)),
                  std::tuple(FailureKind::Damaged, damage, values, path, false, 0u))
            << what;
    }
    ASSERT_TRUE(WriteAll(path, inserted(Slot(0x8800))));
    EXPECT_EQ(ReadDatabase(path, loaded).Reason(), "slot 1 holds the code 0x8800, which is no double-byte character");
    ASSERT_TRUE(WriteAll(path, whole + QByteArray(kLargestDatabaseBytes - whole.size(), '\0')));
    EXPECT_TRUE(ReadDatabase(path, loaded).IsDone()) << "up to 1 MB after the end is tolerated";
}

TEST(MeasureGlyphs, LevelsBucketsAndTheWhitePixelsOfEachQuarter)
{
    const std::pair<int, float> levels[] = {{35, -1.0f}, {36, 0.0f}, {37, 0.57f}, {64, 15.96f}};
    for (const auto& [count, level] : levels)
        EXPECT_EQ(CountToLevel(count), level) << count;
    EXPECT_EQ(std::pair(BucketKey(*MakeGlyph(1, CountToLevel(43))), BucketKey(*MakeGlyph(1, 15.96f))), std::pair(3, 15))
        << "3.99 stays in bucket 3";

    FakeSurface surface;
    auto& a = surface.ink[CharFromCode(0x889F)];
    a[{12, 3}] = 0;       // column 12, row 3: top-right
    a[{2, 2}] = 0xFEFFFF; // nearly white is ink too: top-left
    a[{16, 0}] = 0;       // outside the 16 x 16 square: not counted
    for (int i = 0; i < 28; ++i)
        a[{i % 8, 8 + i / 8}] = 0; // bottom-left keeps 36 white pixels: level 0
    auto& b = surface.ink[CharFromCode(0x88A0)];
    for (int i = 0; i < 29; ++i)
        b[{8 + i % 8, 8 + i / 8}] = 0; // 35 white pixels in a quarter: not stored

    GlyphBucketArray buckets;
    MeasureGlyphs(surface, buckets);
    // Every other code measures all white; of the 9604 codes only 唖 is left out.
    ASSERT_EQ(std::pair(GlyphCount(buckets), buckets[11].size()), std::pair(size_t(9603), size_t(1)));
    const clsChr& g = *buckets[11][0];
    EXPECT_EQ(std::tuple(g.AsciiNo, g.TL, g.TR, g.BL, g.BR), std::tuple(0x889F, 15.39f, 15.39f, 0.0f, 15.96f));
}

// The one measurement of the real font at this layer: what the user's
// FreeType settings say must not matter, and a database that cannot be saved
// still fills the buckets.
TEST(CreateGlyphDatabase, UnsavedDatabaseStillServesAndMatchesAnyFreeTypeSetting)
{
    QTemporaryDir dir;
    const QString blocked = dir.filePath("file");
    ASSERT_TRUE(WriteAll(blocked, "x"));
    qputenv("FREETYPE_PROPERTIES", "truetype:interpreter-version=35");
    GlyphBucketArray buckets;
    const Outcome created = CreateGlyphDatabase(blocked + "/Standard.cdb", QString(), buckets);
    qunsetenv("FREETYPE_PROPERTIES");
    EXPECT_EQ(std::tuple(GlyphsMeasured(created), created.Kind(), created.Errno(), created.Message(),
                         buckets[15].front()->AsciiNo),
              std::tuple(true, FailureKind::System, ENOTDIR, blocked + "/Standard.cdb: Not a directory", 0x8140));
    const size_t sizes[] = {35, 280, 689, 1269, 1221, 1048, 727, 389, 221, 152, 155, 175, 112, 68, 37, 14};
    for (int b = 0; b < kBucketCount; ++b)
        EXPECT_EQ(buckets[b].size(), sizes[b]) << "bucket " << b;

    GlyphBucketArray none;
    const Outcome noFont = CreateGlyphDatabase(dir.filePath("x.cdb"), dir.filePath("none.ttf"), none);
    EXPECT_TRUE(!GlyphsMeasured(noFont) && noFont.Kind() == FailureKind::NoFont &&
                noFont.Message().contains("none.ttf"));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.cdb")));
}
