// SPDX-License-Identifier: MIT
// pictoria-convert: the window's bytes, its options, refusals and exit codes.
#include "cli/ConvertCommand.h"
#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "engine/DatabaseLocation.h"
#include "maker/frmMain.h"
#include "tests/MakerAnswers.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QImage>

#include <clocale>
#include <cwchar>
#include <set>

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QString err;
};

Result Command(const QStringList& args, const QString& programDir)
{
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    Result r;
    r.code = RunConvertCommand(QStringList{"pictoria-convert"} + args, programDir, CommandIo{out, err, false});
    auto slurp = [](FILE* f) {
        QFile file;
        std::rewind(f);
        file.open(f, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        return file.readAll();
    };
    r.out = slurp(out);
    r.err = QString::fromUtf8(slurp(err));
    return r;
}

class CliTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString database = dir.filePath("Standard.cdb");
    QString picture = dir.filePath("ramp.png");

    void SetUp() override
    {
        ASSERT_TRUE(WriteDatabase(database, SmallDatabase()).IsDone()); // variation has a choice to make
        ASSERT_TRUE(QFile::copy(TestData("ramp-96x64.png"), picture));
    }
};

} // namespace

// Runs first in this program, so the window's generator is at its start state.
TEST_F(CliTest, GivesTheBytesOfTheWindowsFirstConversion)
{
    const QString windowOut = dir.filePath("window.txt");
    {
        MakerAnswers answers;
        answers.openAnswer = picture;
        answers.saveAnswer = windowOut;
        frmMain w(dir.path(), answers.Services());
        w.Form_Load();
        w.Combo1->setCurrentIndex(0); // cell size 4
        w.Slider1->setValue(6);       // brightness 9
        w.Slider2->setValue(7);       // contrast 1.2
        w.Slider3->setValue(8);       // variation 20
        w.Command1->click();
    }
    const QStringList settings = {"--cell", "4",           "--brightness", "9",          "--contrast",
                                  "1.2",    "--variation", "20",           "--database", database};
    const Result r = Command(QStringList{picture, "-o", dir.filePath("cli.txt"), "-q"} + settings, dir.path());
    ASSERT_EQ(r.code, kExitDone) << r.err.toStdString();
    const QByteArray window = ReadAll(windowOut);
    EXPECT_EQ(window.size(), 16 * (24 * 2 + 2));
    EXPECT_EQ(ReadAll(dir.filePath("cli.txt")), window);
    EXPECT_EQ(Command(QStringList{picture, "-o", "-"} + settings, dir.path()).out, window) << "every run starts afresh";
    const Result utf8 = Command(QStringList{picture, "-o", "-", "--encoding", "utf-8"} + settings, dir.path());
    EXPECT_EQ(QString::fromUtf8(utf8.out), FromCp932(window));
}

TEST_F(CliTest, OptionsAndRefusals)
{
    const Result help = Command({"--help"}, dir.path());
    EXPECT_TRUE(help.code == kExitDone && help.out.contains("Random variation, 0 to 50 (default 5)."));
    EXPECT_EQ(Command({"--version"}, dir.path()).out, "pictoria-convert 1.0.0\n");

    const std::pair<QStringList, const char*> bad[] = {
        {{picture, "--cell", "5"}, "--cell must be 4, 8, 16 or 32, not \"5\""},
        {{picture, "--brightness", "2.9"}, "--brightness must be a number from 3 to 13, not \"2.9\""},
        {{picture, "--brightness", "14"}, "--brightness"},
        {{picture, "--contrast", "1.6"}, "--contrast must be a number from 0.5 to 1.5"},
        {{picture, "--contrast", "nan"}, "--contrast"},
        {{picture, "--variation", "51"}, "--variation must be a whole number from 0 to 50"},
        {{picture, "--variation", "2.5"}, "--variation"},
        {{picture, "--encoding", "latin1"}, "--encoding"},
        {{picture, picture, "-o", "x.txt"}, "-o/--output takes one IMAGE, not 2"},
        {{}, "no IMAGE given"},
        {{picture, "--frobnicate"}, "frobnicate"},
    };
    for (const auto& [args, named] : bad) {
        const Result r = Command(args + QStringList{"--database", database}, dir.path());
        EXPECT_EQ(r.code, kExitUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(named)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("ramp.txt"))) << "nothing converted after a refusal";

    const Result ends = Command(
        {picture, "--cell", "32", "--brightness", "3", "--contrast", "1.5", "--variation", "0", "--database", database},
        dir.path());
    EXPECT_EQ(ends.code, kExitDone) << ends.err.toStdString();
    EXPECT_EQ(ReadAll(dir.filePath("ramp.txt")).size(), 2 * (3 * 2 + 2)) << "IMAGE's extension becomes .txt";
}

TEST_F(CliTest, FailuresAndHostileFilesAreNamedBeforeAnyHarm)
{
    const QByteArray original = ReadAll(picture);
    ASSERT_TRUE(QFile::link(picture, dir.filePath("symlink.txt")));
    ASSERT_EQ(::link(QFile::encodeName(picture).constData(), QFile::encodeName(dir.filePath("hard.txt")).constData()),
              0);
    QDir(dir.path()).mkpath("sub/third.txt"); // a directory where third.png's text would go
    const QString fifo = MakeFifo(dir.filePath("fifo.png")), damaged = dir.filePath("damaged.cdb");
    ASSERT_TRUE(WriteAll(damaged, QByteArray(100, '\0')));
    for (const char* copy : {"ramp.jpg", "second.png", "sub/third.png"})
        ASSERT_TRUE(QFile::copy(picture, dir.filePath(copy)));
    const QString huge = dir.filePath("huge.png"); // headers alone: 12000 x 50000, no pixels
    ASSERT_TRUE(WriteAll(huge, QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200002ee00000c3500802000000a69acf04"
                                                   "000000004944415435af061e0000000049454e44ae426082")));

    const std::tuple<QStringList, int, QString> cases[] = {
        {{picture, "-o", dir.filePath("symlink.txt")}, kExitOutput, "would overwrite the picture itself"},
        {{picture, "-o", dir.filePath("hard.txt")}, kExitOutput, "would overwrite the picture itself"},
        {{picture, "-o", dir.filePath("sub/../ramp.png")}, kExitOutput, "would overwrite the picture itself"},
        {{picture, "-o", database}, kExitOutput, "would overwrite the glyph database " + database},
        {{picture, "-o", dir.filePath("no/out.txt")},
         kExitOutput,
         "no/out.txt: cannot write the text picture (No such"},
        {{picture, dir.filePath("ramp.jpg")}, kExitUsage, picture + " and " + dir.filePath("ramp.jpg") + " would both"},
        {{dir.filePath("sub")}, kExitImage, "sub: cannot read the picture (is a directory)"},
        {{fifo}, kExitImage, "fifo.png: cannot read the picture (is not a regular file)"},
        {{huge}, kExitImage, "12000 × 50000 pixels need 2,289 MB; the limit is 2,048 MB"},
        // The first failure's code wins; readable pictures are still converted.
        {{dir.filePath("missing.png"), dir.filePath("second.png"), dir.filePath("sub/third.png")},
         kExitImage,
         "third.txt: cannot write the text picture (Is a directory)"},
        {{picture, "--database", damaged}, kExitDatabase, damaged + ": damaged glyph database"},
        {{picture, "--database", "/dev/zero"},
         kExitDatabase,
         "/dev/zero: cannot read the glyph database (is not a regular file)"},
        {{picture, "--database", dir.filePath("sub")},
         kExitDatabase,
         "cannot read the glyph database (is a directory)"},
    };
    for (const auto& [args, code, said] : cases) {
        const bool ownDatabase = args.contains("--database");
        const Result r = Command(
            args + QStringList{"-q"} + (ownDatabase ? QStringList() : QStringList{"--database", database}), dir.path());
        EXPECT_EQ(r.code, code) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(said)) << r.err.toStdString();
    }
    EXPECT_EQ(ReadAll(picture), original);
    EXPECT_EQ(ReadAll(damaged), QByteArray(100, '\0'));
    EXPECT_TRUE(QFileInfo(dir.filePath("symlink.txt")).isSymLink());
    EXPECT_TRUE(QFile::exists(dir.filePath("second.txt")));
    EXPECT_FALSE(QFile::exists(dir.filePath("ramp.txt"))) << "nothing converted before the refusal of two pictures";
}

TEST_F(CliTest, FullDiskKeepsTheOldTextAndSaysWhy)
{
    LimitedSpace space(8192);
    const QString out = space.FilePath("out.txt");
    ASSERT_TRUE(WriteAll(out, "old"));          // one page of the two; the new text needs two
    QImage big(400, 200, QImage::Format_RGB32); // 10,100 bytes of text
    big.fill(Qt::gray);
    ASSERT_TRUE(big.save(picture, "PNG"));
    const Result r = Command({picture, "--cell", "4", "-q", "-o", out, "--database", database}, dir.path());
    EXPECT_EQ(r.code, kExitOutput);
    EXPECT_EQ(
        r.err.toStdString(),
        ("pictoria-convert: " + out + ": cannot write the text picture (" + space.Reason() + ")\n").toStdString());
    EXPECT_EQ(ReadAll(out), "old");
}

TEST_F(CliTest, DatabaseLocation)
{
    EXPECT_EQ(DatabaseLocation(dir.path()), database) << "beside the program first";
    QTemporaryDir empty, home, prefix;
    EXPECT_EQ(DatabaseLocation(empty.path()), empty.filePath("Standard.cdb")) << "a writable program directory";
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    EXPECT_EQ(DatabaseLocation(dir.filePath("not-installed-here")), home.filePath("Pictoria/Standard.cdb"));

    // An installed program never writes into its bin directory, writable or not.
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/pictoria"));
    ASSERT_TRUE(WriteAll(prefix.filePath("share/pictoria/installed"), "x"));
    EXPECT_EQ(DatabaseLocation(prefix.filePath("bin")), home.filePath("Pictoria/Standard.cdb"));
    ASSERT_TRUE(WriteAll(prefix.filePath("bin/Standard.cdb"), "x"));
    EXPECT_EQ(DatabaseLocation(prefix.filePath("bin")), prefix.filePath("bin/Standard.cdb")) << "one already there";
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(CliTest, TerminalPicturesLineUpAndPngDrawsTheCells)
{
    // A database of characters terminals draw one column wide (α β …, ─ │ …) beside wide ones.
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b] = {MakeGlyph(0x83BF + b, float(b)), MakeGlyph(0x849F + b, b + 0.2f),
                      MakeGlyph(0x889F + b, b + 0.4f)};
    const QString mixed = dir.filePath("mixed.cdb");
    ASSERT_TRUE(WriteDatabase(mixed, buckets).IsDone());
    const QStringList base = {picture, "-o", "-", "--database", mixed, "--variation", "50"};
    const Result plain = Command(base, dir.path());
    const Result terminal = Command(base + QStringList{"--terminal"}, dir.path());
    ASSERT_EQ(terminal.code, kExitDone) << terminal.err.toStdString();
    EXPECT_EQ(Command(base, dir.path()).out, plain.out) << "without --terminal the bytes stay as they were";
    std::setlocale(LC_CTYPE, "C.UTF-8");
    auto widths = [](const QByteArray& utf8) {
        std::set<int> seen;
        for (const QString& line : QString::fromUtf8(utf8).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const std::wstring w = line.toStdWString();
            seen.insert(wcswidth(w.c_str(), w.size()));
        }
        return seen;
    };
    EXPECT_EQ(widths(terminal.out), std::set<int>{12 * 2}) << "every line 12 cells of two columns";
    EXPECT_GT(widths(FromCp932(plain.out).toUtf8()).size(), 1u) << "the database's own mix does not line up";

    const QString png = dir.filePath("ramp-text.PNG");
    ASSERT_EQ(Command({picture, "-o", png, "--database", mixed}, dir.path()).code, kExitDone);
    EXPECT_EQ(QImage(png).size(), QSize(12 * 16, 8 * 16));
    ASSERT_EQ(Command({picture, "--format", "png", "--scale", "0.5", "--database", mixed}, dir.path()).code, kExitDone);
    EXPECT_EQ(QImage(dir.filePath("ramp-text.png")).size(), QSize(12 * 8, 8 * 8));
    EXPECT_EQ(Command({picture, "--scale", "3", "--database", mixed}, dir.path()).code, kExitUsage);
}
