#include "engine/DatabaseFile.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <bit>

namespace {

uint32_t Bits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

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
};

} // namespace

TEST_F(DatabaseFileTest, WritesTheWorkedExampleByteForByte)
{
    GlyphBucketArray buckets;
    buckets[15].push_back(MakeGlyph(0x8140, 15.96f));
    ASSERT_TRUE(WriteDatabase(path, buckets).ok);

    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 20 * 18);
    EXPECT_EQ(bytes.mid(20, 20), QByteArray::fromHex("0000000001000000000000000000000000000000"));
    EXPECT_EQ(bytes.mid(16 * 20, 20), QByteArray::fromHex("40810000295C7F41295C7F41295C7F41295C7F41"))
        << "the glyph follows the separator of bucket 15";
    EXPECT_EQ(bytes.mid(17 * 20, 20), QByteArray(20, '\0')) << "final separator";
}

TEST_F(DatabaseFileTest, RoundTripKeepsBucketsOrderAndBits)
{
    GlyphBucketArray buckets;
    buckets[0] = {MakeGlyph(0x8150, 0.57f, 0, 1.14f, 0.57f), MakeGlyph(0x8151, 0, 0.57f, 0, 0)};
    // bucket 1 stays empty between full ones
    buckets[2] = {MakeGlyph(0x88A0, 2.28f, 2.85f, 3.42f, 1.71f)};
    buckets[15] = {MakeGlyph(0x8140, 15.96f)};
    ASSERT_TRUE(WriteDatabase(path, buckets).ok);
    EXPECT_EQ(ReadAll(path).size(), 20 * (4 + 17));

    GlyphBucketArray loaded;
    ASSERT_EQ(ReadDatabase(path, loaded).status, DatabaseReadStatus::Loaded);
    for (int b = 0; b < kBucketCount; ++b) {
        ASSERT_EQ(loaded[b].size(), buckets[b].size()) << "bucket " << b;
        for (size_t i = 0; i < loaded[b].size(); ++i) {
            const clsChr &want = *buckets[b][i], &got = *loaded[b][i];
            EXPECT_EQ(got.AsciiNo, want.AsciiNo);
            EXPECT_EQ(Bits(got.TL), Bits(want.TL));
            EXPECT_EQ(Bits(got.TR), Bits(want.TR));
            EXPECT_EQ(Bits(got.BL), Bits(want.BL));
            EXPECT_EQ(Bits(got.BR), Bits(want.BR));
        }
    }
    EXPECT_NEAR(double(loaded[0][0]->TL), 0.569999992847, 1e-12);

    // No glyph at all: seventeen separators, 340 bytes, and one loading report of 0.
    std::vector<double> reports;
    ASSERT_TRUE(WriteDatabase(path, GlyphBucketArray{}).ok);
    EXPECT_EQ(ReadAll(path).size(), 340);
    GlyphBucketArray none;
    ASSERT_EQ(ReadDatabase(path, none, [&](double p) { reports.push_back(p); return true; }).status,
              DatabaseReadStatus::Loaded);
    EXPECT_EQ(reports, std::vector<double>{0.0});
}

TEST_F(DatabaseFileTest, ReaderCountsSeparatorsAndIgnoresWhatFollows)
{
    // Separators with junk in their other fields, then bytes after the seventeenth.
    QByteArray bytes = Slot(0, 0xDEADBEEF, 7, 7, 7) + Slot(0x889F, Bits(1.0f), Bits(2.0f), Bits(3.0f), Bits(4.0f));
    for (int i = 1; i < 16; ++i)
        bytes += Slot(0, 0, 0xFFFFFFFF);
    bytes += Slot(0x8140, Bits(15.96f), Bits(15.96f), Bits(15.96f), Bits(15.96f)) + Slot(0);
    bytes += Slot(0x9999, 1, 1, 1, 1) + "junk";
    ASSERT_TRUE(WriteAll(path, bytes));

    GlyphBucketArray loaded;
    ASSERT_EQ(ReadDatabase(path, loaded).status, DatabaseReadStatus::Loaded);
    EXPECT_EQ(GlyphCount(loaded), 2u);
    ASSERT_EQ(loaded[0].size(), 1u);
    EXPECT_EQ(loaded[0][0]->AsciiNo, 0x889F);
    EXPECT_EQ(loaded[0][0]->BR, 4.0f);
    ASSERT_EQ(loaded[15].size(), 1u);
    EXPECT_EQ(loaded[15][0]->AsciiNo, 0x8140);
}

TEST_F(DatabaseFileTest, DamagedFilesAreRejectedAndLeaveBucketsEmpty)
{
    GlyphBucketArray good;
    for (int b = 0; b < kBucketCount; ++b)
        good[b].push_back(MakeGlyph(0x8800 + b, float(b)));
    ASSERT_TRUE(WriteDatabase(path, good).ok);
    const QByteArray whole = ReadAll(path);

    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"empty", QByteArray()},
        {"cut inside the first slot", whole.left(3)},
        {"cut before the final separator", whole.left(whole.size() - 20)},
        {"cut inside the final separator", whole.left(whole.size() - 1)},
        {"cut inside a glyph slot", whole.left(20 * 5 + 7)},
        {"glyph before the first separator", Slot(0x8140, 1, 1, 1, 1) + whole},
    };
    for (const auto& [what, bytes] : cases) {
        ASSERT_TRUE(WriteAll(path, bytes));
        GlyphBucketArray loaded;
        const auto r = ReadDatabase(path, loaded);
        EXPECT_EQ(r.status, DatabaseReadStatus::Damaged) << what;
        EXPECT_FALSE(r.reason.isEmpty()) << what;
        EXPECT_EQ(GlyphCount(loaded), 0u) << what;
    }
    GlyphBucketArray loaded;
    EXPECT_EQ(ReadDatabase(dir.filePath("missing.cdb"), loaded).status, DatabaseReadStatus::Unreadable);
}

TEST_F(DatabaseFileTest, ProgressPointsOfWritingAndReading)
{
    // 1000 glyphs spread over the buckets: slots 0, 500 and 1000 report when read.
    GlyphBucketArray buckets;
    for (int i = 0; i < 1000; ++i)
        buckets[i * 16 / 1000].push_back(MakeGlyph(0x8800 + i, 1));
    std::vector<double> saving;
    ASSERT_TRUE(WriteDatabase(path, buckets, [&](double p) { saving.push_back(p); return true; }).ok);
    // Slot 500 holds a glyph of bucket 7 (8 separators before it): 493 of 1000 glyph slots.
    EXPECT_EQ(saving, (std::vector<double>{(500.0 - 7) / 1000 * 100, (1000.0 - 15) / 1000 * 100}));

    std::vector<double> reading;
    GlyphBucketArray loaded;
    ASSERT_EQ(ReadDatabase(path, loaded, [&](double p) { reading.push_back(p); return true; }).status,
              DatabaseReadStatus::Loaded);
    const double length = 20.0 * 1017;
    EXPECT_EQ(reading, (std::vector<double>{0.0, 20.0 * 500 / length * 100, 20.0 * 1000 / length * 100}));

    // A stop while saving leaves the old file untouched and no temporary file behind.
    const QByteArray before = ReadAll(path);
    buckets[3].insert(buckets[3].end(), 600, MakeGlyph(0x8801, 1));
    EXPECT_TRUE(WriteDatabase(path, buckets, [](double) { return false; }).stopped);
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    const QString bad = dir.filePath("no-such-dir/Standard.cdb");
    const auto r = WriteDatabase(bad, GlyphBucketArray{});
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(bad)) << r.error.toStdString();
}
