#include "common/CodePage932.h"
#include "cli/ConvertCommand.h"
#include "engine/DatabaseFile.h"
#include "engine/DatabaseLocation.h"
#include "tests/TestSupport.h"
#include "tests/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Runs the command with its output and errors caught.
struct Outcome {
    int code = -1;
    QByteArray out;
    QString err;
};

Outcome Command(const QStringList& args, const QString& programDir)
{
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    CommandIo io;
    io.out = out;
    io.err = err;
    Outcome r;
    r.code = RunConvertCommand(QStringList{"pictoria-convert"} + args, programDir, io);
    auto slurp = [](FILE* f) {
        QByteArray bytes;
        std::rewind(f);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.append(buf, qsizetype(n));
        std::fclose(f);
        return bytes;
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
        // Several glyphs per bucket, so that variation has a choice to make.
        GlyphBucketArray buckets;
        const int32_t codes[] = {0x889F, 0x88A0, 0x88A1, 0x88A2, 0x88A3, 0x88A4};
        for (int b = 0; b < kBucketCount; ++b)
            for (int i = 0; i < 6; ++i)
                buckets[b].push_back(MakeGlyph(codes[i] + 0x100 * (b % 8), b + 0.1f * i, b + 0.9f - 0.1f * i, b + 0.3f, b + 0.5f));
        ASSERT_TRUE(WriteDatabase(database, buckets).ok);
        QImage image(96, 64, QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgba(x * 2, y * 3, (x * y) % 256, 255));
        ASSERT_TRUE(image.save(picture));
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
        frmMain w(dir.path());
        w.Form_Load();
        ASSERT_TRUE(w.DatabaseReady);
        w.Combo1->setCurrentIndex(0); // cell size 4
        w.Slider1->setValue(6);       // brightness 9
        w.Slider2->setValue(7);       // contrast 1.2
        w.Slider3->setValue(8);       // variation 20
        w.Command1->click();
    }

    const QString cliOut = dir.filePath("cli.txt");
    const Outcome r = Command({picture, "-o", cliOut, "--cell", "4", "--brightness", "9", "--contrast", "1.2",
                           "--variation", "20", "--database", database, "-q"},
                          dir.path());
    ASSERT_EQ(r.code, kExitDone) << r.err.toStdString();
    const QByteArray window = ReadAll(windowOut);
    EXPECT_EQ(window.size(), 16 * (24 * 2 + 2));
    EXPECT_EQ(ReadAll(cliOut), window);

    // Every run starts afresh: the same bytes again, and the same on standard output.
    const Outcome again = Command({picture, "-o", "-", "--cell", "4", "--brightness", "9", "--contrast", "1.2",
                               "--variation", "20", "--database", database},
                              dir.path());
    EXPECT_EQ(again.out, window);
}

TEST_F(CliTest, OptionsAndRefusals)
{
    const Outcome help = Command({"--help"}, dir.path());
    EXPECT_EQ(help.code, kExitDone);
    EXPECT_TRUE(help.out.contains("--variation"));
    EXPECT_EQ(Command({"--version"}, dir.path()).code, kExitDone);

    struct Bad {
        QStringList args;
        const char* named;
    };
    const std::vector<Bad> bad = {
        {{picture, "--cell", "5"}, "--cell"},
        {{picture, "--cell", "x"}, "--cell"},
        {{picture, "--brightness", "2.9"}, "--brightness"},
        {{picture, "--brightness", "14"}, "--brightness"},
        {{picture, "--contrast", "1.6"}, "--contrast"},
        {{picture, "--contrast", "nan"}, "--contrast"},
        {{picture, "--variation", "51"}, "--variation"},
        {{picture, "--variation", "2.5"}, "--variation"},
        {{picture, "--encoding", "latin1"}, "--encoding"},
        {{picture, picture, "-o", "x.txt"}, "--output"},
        {{}, "IMAGE"},
        {{picture, "--frobnicate"}, "frobnicate"},
    };
    for (const Bad& b : bad) {
        const Outcome r = Command(b.args + QStringList{"--database", database}, dir.path());
        EXPECT_EQ(r.code, kExitUsage) << b.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(b.named)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("ramp.txt"))) << "nothing converted after a refusal";

    // Values inside the ranges, ends included, are taken.
    const Outcome ok = Command({picture, "--cell", "32", "--brightness", "3", "--contrast", "1.5", "--variation", "0",
                            "--database", database},
                           dir.path());
    EXPECT_EQ(ok.code, kExitDone) << ok.err.toStdString();
    EXPECT_EQ(ReadAll(dir.filePath("ramp.txt")).size(), 2 * (3 * 2 + 2)) << "IMAGE's extension becomes .txt";
}

TEST_F(CliTest, ExitCodesNameTheFileConcerned)
{
    // Unreadable pictures are reported; readable ones are still converted.
    const QString missing = dir.filePath("missing.jpg");
    const QString second = dir.filePath("second.png");
    QFile::copy(picture, second);
    Outcome r = Command({missing, second, "--database", database}, dir.path());
    EXPECT_EQ(r.code, kExitImage);
    EXPECT_TRUE(r.err.contains(missing));
    EXPECT_TRUE(QFile::exists(dir.filePath("second.txt")));

    // A damaged database is refused and left alone.
    const QString damaged = dir.filePath("damaged.cdb");
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, '\0'));
    f.close();
    r = Command({picture, "--database", damaged}, dir.path());
    EXPECT_EQ(r.code, kExitDatabase);
    EXPECT_TRUE(r.err.contains(damaged));
    EXPECT_EQ(QFileInfo(damaged).size(), 100);

    // An output that cannot be written.
    const QString unwritable = dir.filePath("no-such-dir/out.txt");
    r = Command({picture, "-o", unwritable, "--database", database}, dir.path());
    EXPECT_EQ(r.code, kExitOutput);
    EXPECT_TRUE(r.err.contains(unwritable));

    // The first failure's code wins.
    r = Command({picture, missing, "--database", damaged}, dir.path());
    EXPECT_EQ(r.code, kExitDatabase);
}

TEST_F(CliTest, Utf8IsTheShiftJisTextDecoded)
{
    const Outcome sjis = Command({picture, "-o", "-", "--database", database, "--variation", "0"}, dir.path());
    const Outcome utf8 = Command({picture, "-o", "-", "--database", database, "--variation", "0", "--encoding", "utf-8"},
                             dir.path());
    ASSERT_EQ(sjis.code, kExitDone);
    ASSERT_EQ(utf8.code, kExitDone);
    EXPECT_EQ(QString::fromUtf8(utf8.out), FromCp932(sjis.out));
    EXPECT_TRUE(utf8.out.endsWith("\r\n"));
    EXPECT_EQ(utf8.out.count("\r\n"), 8);
}

TEST_F(CliTest, DatabaseLocationAndCreation)
{
    // Beside the program first, when it is there.
    EXPECT_EQ(DatabaseLocation(dir.path()), database);

    // A writable program directory without a database keeps it beside the program.
    QTemporaryDir empty;
    EXPECT_EQ(DatabaseLocation(empty.path()), empty.filePath("Standard.cdb"));

    // An unusable program directory: the user's data directory.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    const QString gone = dir.filePath("not-installed-here");
    EXPECT_EQ(DatabaseLocation(gone), home.filePath("Pictoria/Standard.cdb"));

    // A missing database is created there first, with the real font.
    const Outcome r = Command({picture, "-o", "-", "-q"}, gone);
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(r.code, kExitDone) << r.err.toStdString();
    EXPECT_GT(QFileInfo(home.filePath("Pictoria/Standard.cdb")).size(), 20 * 6000);
    EXPECT_EQ(r.out.count("\r\n"), 8);
}
