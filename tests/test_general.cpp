#include "common/CodePage932.h"
#include "common/General.h"
#include "common/NumberPattern.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

namespace {

int OpenDescriptorCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

} // namespace

TEST(FileExists, AnswersWhetherTheFileCanBeOpenedForReading)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("画像 file.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();

    const int before = OpenDescriptorCount();
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(dir.filePath("missing.txt")));
    EXPECT_FALSE(FileExists(dir.path())) << "a directory is not a file";
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(dir.filePath("*.txt")));
    EXPECT_EQ(OpenDescriptorCount(), before) << "no file may stay open";

    // A file held open by this program still counts.
    QFile held(file);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    EXPECT_TRUE(FileExists(file));
    held.close();

    if (geteuid() != 0) { // root reads everything
        QFile::setPermissions(file, QFileDevice::WriteOwner);
        EXPECT_FALSE(FileExists(file));
    }
}

TEST(AddPathSeparator, AppendsOnlyWhenMissing)
{
    EXPECT_EQ(AddPathSeparator("/opt/pictoria"), "/opt/pictoria/");
    EXPECT_EQ(AddPathSeparator("/"), "/");
    EXPECT_EQ(AddPathSeparator("D:/data/"), "D:/data/");
    EXPECT_EQ(AddPathSeparator("C:\\"), "C:\\");
    EXPECT_EQ(AddPathSeparator(""), "/");
}

TEST(AnsiWidth, CountsCodePage932Bytes)
{
    EXPECT_EQ(AnsiLen("45%"), 3);
    EXPECT_EQ(AnsiLen(QStringLiteral("文字絵")), 6);
    EXPECT_EQ(AnsiLen(QStringLiteral("ｱｲ")), 2) << "half-width katakana take one byte";
    EXPECT_EQ(AnsiMid(QStringLiteral("ab文字"), 2, 3), QStringLiteral("b文"));
    EXPECT_EQ(AnsiMid(QStringLiteral("ab文字"), 2, 2), QStringLiteral("b")) << "half a character is dropped";
    EXPECT_EQ(AnsiMid("abc", 2, 10), "bc");
}

TEST(PadToWidth, AlignsCutsAndTrims)
{
    EXPECT_EQ(PadToWidth("45%", 4, true), " 45%");
    EXPECT_EQ(PadToWidth("100%", 4, true), "100%");
    EXPECT_EQ(PadToWidth("7.5%", 6, true), "  7.5%");
    EXPECT_EQ(PadToWidth("0.0%", 6, true), "  0.0%");
    EXPECT_EQ(PadToWidth("100.0%", 6, true), "100.0%");
    EXPECT_EQ(PadToWidth("ab", 4, false), "ab  ");
    EXPECT_EQ(PadToWidth("12345", 4, true), "1234") << "an over-long text is cut on the right";
    // The cut comes before the trim: the two blanks take width, then vanish.
    EXPECT_EQ(PadToWidth("  12345", 4, true), "  12");
    EXPECT_EQ(PadToWidth(" 5 ", 4, false), "5   ");
    EXPECT_EQ(PadToWidth(QStringLiteral("全角"), 6, true), QStringLiteral("  全角"));
}

TEST(CodePage932, RoundTripsAndRejectsInvalidCodes)
{
    const QString text = QStringLiteral("文字絵 ASCII ｶﾅ　・");
    EXPECT_EQ(FromCp932(ToCp932(text)), text);
    EXPECT_EQ(ToCp932(QStringLiteral("　")), QByteArray("\x81\x40"));
    EXPECT_EQ(ToCp932(QStringLiteral("a😀b")), QByteArray("a?b")) << "unrepresentable becomes ?";

    EXPECT_EQ(CharFromCode(0x8140), QStringLiteral("　"));
    EXPECT_EQ(CharFromCode(0x8145), QStringLiteral("・"));
    EXPECT_EQ(CharFromCode(0x889F), QStringLiteral("亜"));
    for (int invalid : {0x8000, 0x8040, 0x8100, 0x81FF, 0xFD40, 0xA0A0})
        EXPECT_TRUE(CharFromCode(invalid).isEmpty()) << std::hex << invalid;

    int valid = 0;
    for (int code = 0x8000; code <= 0x9FFF; ++code)
        valid += !CharFromCode(code).isEmpty();
    for (int code = 0xE000; code <= 0xFFFF; ++code)
        valid += !CharFromCode(code).isEmpty();
    EXPECT_EQ(valid, 9604);

    QByteArray bytes;
    AppendCodeBytes(bytes, 0x8140);
    AppendCodeBytes(bytes, 0x41);
    EXPECT_EQ(bytes, QByteArray("\x81\x40" "A"));
    EXPECT_EQ(FromCp932(QByteArray("a\x81")), QStringLiteral("a\uFFFD"));
}

TEST(NumberPattern, RoundsHalfAwayFromZeroAtFifteenDigits)
{
    const QString whole = QStringLiteral("##0");
    const QString tenth = QStringLiteral("##0.0");
    EXPECT_EQ(FormatNumber(0, whole), "0");
    EXPECT_EQ(FormatNumber(12.5, whole), "13") << "not to even";
    EXPECT_EQ(FormatNumber(96.875, whole), "97");
    EXPECT_EQ(FormatNumber(12345, whole), "12345") << "no grouping";
    EXPECT_EQ(FormatNumber(0, tenth), "0.0");
    EXPECT_EQ(FormatNumber(6.25, tenth), "6.3");
    EXPECT_EQ(FormatNumber(99.95, tenth), "100.0");
    // 0.15 is stored as 0.1499999..., but to 15 digits it is 0.15.
    EXPECT_EQ(FormatNumber(0.15, tenth), "0.2");
    EXPECT_EQ(FormatNumber(0.04, tenth), "0.0");
    EXPECT_EQ(FormatNumber(100.0 / 3, tenth), "33.3");
}
