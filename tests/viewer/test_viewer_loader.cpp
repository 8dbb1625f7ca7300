// Reading text picture files without a window: line ends, decoding, failures.
#include "viewer/Form1.h"
#include "viewer/TextPictureFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(viewer_loader, LineEndsAndDecoding)
{
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\nb", {"a", "b"}},                 // last line without its end
        {"a\rb\r", {"a", "b"}},                 // CR alone ends a line too
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\nb\r\n\n", {"a\nb", "\n"}},         // a lone LF stays inside its line
        // あ亜■ / ソ表, whose trail bytes 0x5C are no backslashes / half-width ｱ.
        {"\x82\xa0\x88\x9f\x81\xa1\r\n\x83\x5c\x95\x5c\r\n\xb1", {"あ亜■", "ソ表", "ｱ"}},
        // A lead byte cut off by the line end spoils only its own line.
        {"A\x82\r\n\x82\xa0", {"A\uFFFD", "あ"}},
    };
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(SplitTextPicture(bytes), lines) << bytes.toStdString();
}

TEST(viewer_loader, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    EXPECT_FALSE(ReadTextPictureFile(dir.filePath("missing.txt")));
    EXPECT_FALSE(ReadTextPictureFile(dir.path()));
    EXPECT_FALSE(RegularFileLength(dir.filePath("missing.txt")));
    EXPECT_FALSE(RegularFileLength(dir.path()));
    // A FIFO passes the open test, but a blocking read would hang the window.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(RegularFileLength(fifo));
}

TEST(viewer_loader, ValTakesTheLeadingNumber)
{
    const std::pair<const char*, double> cases[] = {
        {"12", 12}, {"9pt", 9}, {"abc", 0}, {"", 0}, {"  10", 10}, {"7.5.1", 7.5}, {"-3", -3}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(Val(text), value) << text;
}
