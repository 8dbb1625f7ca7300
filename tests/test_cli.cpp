// SPDX-License-Identifier: MIT
// pictoria-convert: the window's bytes, its options, refusals and exit codes.
#include "cli/ConvertCommand.h"
#include "common/CodePage932.h"
#include "common/NativePath.h"
#include "engine/DatabaseFile.h"
#include "engine/DatabaseLocation.h"
#include "engine/GlyphFont.h"
#include "maker/frmMain.h"
#include "tests/MakerAnswers.h"
#include "tests/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>

#include <clocale>
#include <cwchar>
#include <filesystem>
#include <pwd.h>
#include <set>

namespace {

struct Result {
    int code = -1;
    QByteArray out;
    QString err;
};

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
    QString At(const char* name) const { return dir.filePath(name); }
    // The command with dir as the program's directory and, unless the
    // arguments name one, the small database.
    Result Run(QStringList args, QByteArray input = {}) const
    {
        if (!args.contains("--database") && !args.contains("--help"))
            args << "--database" << database;
        char *out = nullptr, *err = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE* o = open_memstream(&out, &outSize);
        FILE* e = open_memstream(&err, &errSize);
        input.append('\0'); // fmemopen wants room even for nothing
        FILE* i = fmemopen(input.data(), size_t(input.size() - 1), "r");
        const int code =
            RunConvertCommand(QStringList{"pictoria-convert"} + args, dir.path(), CommandIo{o, e, false, i});
        std::fclose(o);
        std::fclose(e);
        std::fclose(i);
        Result r{code, QByteArray(out, qsizetype(outSize)), QString::fromUtf8(err, qsizetype(errSize))};
        std::free(out);
        std::free(err);
        return r;
    }
};

} // namespace

// Each window's generator starts at its start state, as every run of the
// command line does. The large picture's text takes more than a megabyte: the
// command line keeps it in huge pages, the window converts it in stretches
// while it loads.
TEST_F(CliTest, GivesTheBytesOfTheWindowsFirstConversion)
{
    QImage large(2900, 2900, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, qRgb((x * 7 + y) % 256, (x ^ y) % 256, (x * y / 64) % 256));
    ASSERT_TRUE(large.save(At("large.png")));
    const QStringList settings = {"--cell", "4", "--brightness", "9", "--contrast", "1.2", "--variation", "20"};
    for (const auto& [path, columns, rows] : {std::tuple(picture, 24, 16), std::tuple(At("large.png"), 725, 725)}) {
        SCOPED_TRACE(path.toStdString());
        const QString windowOut = At("window.txt");
        {
            MakerAnswers answers;
            answers.openAnswer = path;
            answers.saveAnswer = windowOut;
            // The program's own pace of serving the screen: the bytes do not depend on it.
            MakerServices services = answers.Services();
            services.screenRefresh = MakerServices().screenRefresh;
            services.eventInterval = MakerServices().eventInterval;
            frmMain w(dir.path(), services);
            w.Form_Load();
            w.Combo1->setCurrentIndex(0); // cell size 4
            KeySlider(w.Slider1, 6);      // brightness 9
            KeySlider(w.Slider2, 7);      // contrast 1.2
            KeySlider(w.Slider3, 8);      // variation 20
            w.Command1->click();
        }
        const Result r = Run(QStringList{path, "-o", At("cli.txt"), "-q"} + settings);
        ASSERT_EQ(r.code, kExitDone) << r.err.toStdString();
        const QByteArray window = ReadAll(windowOut);
        EXPECT_EQ(std::pair(window.size(), ReadAll(At("cli.txt"))),
                  std::pair(qsizetype(rows * (columns * 2 + 2)), window));
        EXPECT_EQ(Run(QStringList{path, "-o", "-"} + settings).out, window) << "every run starts afresh";
    }
}

TEST_F(CliTest, OptionsAndRefusals)
{
    EXPECT_TRUE(Run({"--help"}).out.contains("Random variation, 0 to 50 (default 5)."));
    EXPECT_EQ(Run({"--version"}).out, "pictoria-convert 1.0.0\n");
    const std::pair<QStringList, const char*> bad[] = {
        {{picture, "--cell", "5"}, "--cell must be 4, 8, 16 or 32, not \"5\""},
        {{picture, "--brightness", "2.9"}, "--brightness must be a number from 3 to 13, not \"2.9\""},
        {{picture, "--contrast", "1.6"}, "--contrast must be a number from 0.5 to 1.5"},
        {{picture, "--contrast", "nan"}, "--contrast"},
        {{picture, "--variation", "2.5"}, "--variation must be a whole number from 0 to 50"},
        {{picture, "--scale", "3"}, "--scale"},
        {{picture, picture, "-o", "x.txt"}, "-o/--output takes one IMAGE, not 2"},
        {{}, "no IMAGE given"},
        {{picture, "--frobnicate"}, "frobnicate"},
        {{picture, "--width", "0"}, "--width must be a whole number from 1 to 100000, not \"0\""},
        {{picture, "--width", "5", "--fit"}, "--width and --fit cannot both be given"},
    };
    for (const auto& [args, named] : bad) {
        const Result r = Run(args);
        EXPECT_EQ(r.code, kExitUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(named)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(At("ramp.txt"))) << "nothing converted after a refusal";

    const Result ends = Run({picture, "--cell", "32", "--brightness", "3", "--contrast", "1.5", "--variation", "0"});
    EXPECT_EQ(std::pair(ends.code, ReadAll(At("ramp.txt")).size()),
              std::pair(int(kExitDone), qsizetype(2 * (3 * 2 + 2))))
        << "IMAGE's extension becomes .txt; " << ends.err.toStdString();
}

// --width and --fit scale the picture to a number of characters across, its
// shape kept; --invert makes black exactly what white was.
TEST_F(CliTest, WidthFitAndInvert)
{
    const auto lines = [](const QByteArray& text) { return text.split('\n').size() - 1; };
    const auto columns = [](const QByteArray& text) { return FromCp932(text.left(text.indexOf('\r'))).size(); };
    const Result wide = Run({picture, "-o", "-", "--width", "30"}); // 96 x 64 at cell 8: 240 x 160, 20 rows
    EXPECT_EQ(std::tuple(wide.code, columns(wide.out), lines(wide.out)), std::tuple(int(kExitDone), 30, 20));
    const Result narrow = Run({picture, "-o", "-", "--width", "3", "--cell", "4"}); // 12 x 8: 2 rows
    EXPECT_EQ(std::tuple(columns(narrow.out), lines(narrow.out)), std::tuple(3, 2));

    qputenv("COLUMNS", "41");
    const Result fit = Run({picture, "-o", "-", "--fit"}); // not a terminal: COLUMNS, two columns a character
    qunsetenv("COLUMNS");
    EXPECT_EQ(fit.out, Run({picture, "-o", "-", "--width", "20", "--terminal"}).out);
    const Result nowhere = Run({picture, "-o", "-", "--fit"});
    EXPECT_TRUE(nowhere.code == kExitUsage && nowhere.err.contains("--fit needs")) << nowhere.err.toStdString();

    QImage black(40, 24, QImage::Format_RGB32), white(40, 24, QImage::Format_RGB32);
    black.fill(Qt::black);
    white.fill(Qt::white);
    ASSERT_TRUE(black.save(At("black.png")) && white.save(At("white.png")));
    const Result inverted = Run({At("black.png"), "-o", "-", "--invert", "--variation", "0"});
    EXPECT_EQ(inverted.out, Run({At("white.png"), "-o", "-", "--variation", "0"}).out);
    EXPECT_NE(inverted.out, Run({At("black.png"), "-o", "-", "--variation", "0"}).out);
}

// HTML and colour add to the characters of the rule and change none of them.
TEST_F(CliTest, HtmlAndColourStripBackToThePlainText)
{
    const QByteArray plain = Run({picture, "-o", "-", "--encoding", "utf-8"}).out;
    const Result coloured = Run({picture, "-o", "-", "--color"});
    QString stripped = QString::fromUtf8(coloured.out);
    stripped.remove(QRegularExpression("\x1b\\[[0-9;]*m"));
    EXPECT_TRUE(coloured.code == kExitDone && coloured.out.contains("\x1b[38;2;"));
    EXPECT_EQ(stripped.toUtf8(), plain);
    // Inverted, the characters change and the colours stay the picture's own.
    const auto escapes = [](const QByteArray& text) {
        QStringList found;
        for (const auto& m : QRegularExpression("\x1b\\[[0-9;]*m").globalMatch(QString::fromUtf8(text)))
            found << m.captured();
        return found;
    };
    const QByteArray inverted = Run({picture, "-o", "-", "--color", "--invert"}).out;
    EXPECT_TRUE(inverted != coloured.out && escapes(inverted) == escapes(coloured.out));

    for (const QStringList& extra : {QStringList{"--color"}, QStringList{}}) {
        ASSERT_EQ(Run(QStringList{picture, "-o", At("page.html")} + extra).code, kExitDone);
        QString page = QString::fromUtf8(ReadAll(At("page.html")));
        const qsizetype pre = page.indexOf("<pre>") + 5;
        QString rows = page.mid(pre, page.indexOf("</pre>") - pre);
        rows.remove(QRegularExpression("<[^>]*>"));
        rows.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&");
        EXPECT_EQ(rows.replace("\n", "\r\n").toUtf8(), plain) << extra.join(' ').toStdString();
        EXPECT_TRUE(page.contains("<title>ramp.png</title>"));
    }
    EXPECT_EQ(Run({picture, "--format", "html", "-o", "-"}).out, ReadAll(At("page.html")))
        << "--format html chooses the same page";
    const Result png = Run({picture, "--format", "png", "--color"});
    EXPECT_TRUE(png.code == kExitUsage && png.err.contains("--color is for text and html")) << png.err.toStdString();
}

// --board keeps only characters one em wide in IPAPGothic, and its HTML page
// names the proportional fonts.
TEST_F(CliTest, BoardCharactersAreAllOneEmWide)
{
    // Katakana, narrower in IPAPGothic, first in every bucket: they win every tie.
    GlyphBucketArray buckets = SmallDatabase();
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b].insert(buckets[b].begin(), MakeGlyph(0x8340 + b, buckets[b].front()->TL, buckets[b].front()->TR,
                                                        buckets[b].front()->BL, buckets[b].front()->BR));
    ASSERT_TRUE(WriteDatabase(At("kana.cdb"), buckets).IsDone());
    const QStringList args = {picture,       "-o", "-",          "--encoding",  "utf-8",
                              "--variation", "0",  "--database", At("kana.cdb")};
    const Result plain = Run(args), board = Run(args + QStringList{"--board"});
    ASSERT_EQ(board.code, kExitDone) << board.err.toStdString();
    const GlyphFont font(FindFontFile(kBoardFontFamily));
    ASSERT_TRUE(font.IsOpen());
    const auto narrow = [&font](const QByteArray& out) {
        int n = 0;
        const QString text = QString::fromUtf8(out).remove("\r\n"); // held: remove answers a reference
        for (const QChar c : text)
            n += font.IsOneEmWide(c.unicode()) ? 0 : 1;
        return n;
    };
    EXPECT_GT(narrow(plain.out), 0);
    EXPECT_EQ(std::pair(narrow(board.out), board.out.size()), std::pair(0, plain.out.size()));
    EXPECT_TRUE(Run({picture, "-o", "-", "--board", "--format", "html"}).out.contains("font-family: \"IPAPGothic\""));
}

// "-" reads the picture from standard input, in any format, and writes to
// standard output unless -o says otherwise.
TEST_F(CliTest, StandardInputAsAFile)
{
    const QByteArray png = ReadAll(picture);
    const Result piped = Run({"-", "--cell", "4"}, png);
    EXPECT_EQ(std::pair(piped.code, piped.out),
              std::pair(int(kExitDone), Run({picture, "-o", "-", "--cell", "4"}).out));
    ASSERT_EQ(Run({"-", "-o", At("piped.txt")}, ReadAll(TestData("grey-16x16.bmp"))).code, kExitDone);
    EXPECT_EQ(ReadAll(At("piped.txt")), Run({TestData("grey-16x16.bmp"), "-o", "-"}).out);

    const Result garbage = Run({"-"}, "not a picture");
    EXPECT_TRUE(garbage.code == kExitImage && garbage.err.startsWith("pictoria-convert: standard input: cannot read"))
        << garbage.err.toStdString();
    const Result twice = Run({"-", "-"}, png);
    EXPECT_TRUE(twice.code == kExitUsage && twice.err.contains("can be given once")) << twice.err.toStdString();
}

TEST_F(CliTest, FailuresAndHostileFilesAreNamedBeforeAnyHarm)
{
    const QByteArray original = ReadAll(picture);
    ASSERT_TRUE(QFile::link(picture, At("symlink.txt")));
    QDir(dir.path()).mkpath("sub/third.txt"); // a directory where third.png's text would go
    const QString fifo = MakeFifo(At("fifo.png")), damaged = At("damaged.cdb");
    ASSERT_TRUE(WriteAll(damaged, QByteArray(100, '\0')));
    for (const char* copy : {"ramp.jpg", "second.png", "sub/third.png", "ramp-text.png"})
        ASSERT_TRUE(QFile::copy(picture, At(copy)));
    ASSERT_TRUE(QFile::link(At("ramp.jpg"), At("other.txt")));

    const QString huge = At("huge.png"); // headers alone: 12000 x 50000, no pixels
    ASSERT_TRUE(WriteAll(huge, QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200002ee00000c3500802000000a69acf04"
                                                   "000000004944415435af061e0000000049454e44ae426082")));
    const QString noDir = At("no/out.txt");
    const std::tuple<QStringList, int, QString> cases[] = {
        {{picture, "-o", At("symlink.txt")}, kExitUsage, "would overwrite the picture itself"},
        {{picture, "-o", database}, kExitUsage, "would overwrite the glyph database " + database},
        // A batch whose outputs fall on its other pictures: refused whole, before any work.
        {{At("ramp.jpg"), At("ramp-text.png"), "--format", "png"},
         kExitUsage,
         "ramp-text.png: the text picture of " + At("ramp.jpg") + " would overwrite the picture " +
             At("ramp-text.png")},
        {{At("ramp.jpg"), At("other.gif")},
         kExitUsage,
         "of " + At("other.gif") + " would overwrite the picture " + At("ramp.jpg")},
        {{picture, "-o", noDir},
         kExitOutput,
         "pictoria-convert: " + noDir + ": cannot write the text picture (No such"},
        {{picture, At("ramp.jpg")}, kExitUsage, picture + " and " + At("ramp.jpg") + " would both be written to"},
        {{fifo}, kExitImage, "fifo.png: cannot read the picture (is not a regular file)"},
        // Read band by band, a picture of any size is read to its end; held whole
        // (here to be scaled), it is refused over the limit before decoding.
        {{huge}, kExitImage, "huge.png: cannot read the picture (Unable to read image data)"},
        {{huge, "--width", "40"}, kExitImage, "12000 × 50000 pixels need 2,289 MB; the limit is 2,048 MB"},
        // The first failure's code wins; readable pictures are still converted.
        {{At("missing.png"), At("second.png"), At("sub/third.png")}, kExitImage, "third.txt: cannot write the text"},
        {{picture, "--database", damaged}, kExitDatabase, damaged + ": damaged glyph database"},
        {{picture, "--database", "/dev/zero"}, kExitDatabase, "/dev/zero: cannot read the glyph database (is not a"},
    };
    for (const auto& [args, code, said] : cases) {
        const Result r = Run(args + QStringList{"-q"});
        EXPECT_EQ(r.code, code) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(said)) << r.err.toStdString();
    }
    EXPECT_EQ(ReadAll(picture) + ReadAll(damaged) + ReadAll(At("ramp-text.png")) + ReadAll(At("ramp.jpg")),
              original + QByteArray(100, '\0') + original + original)
        << "the inputs are as they were";
    EXPECT_TRUE(QFileInfo(At("symlink.txt")).isSymLink());
    // Later pictures are converted after a failure; none before a refusal of the whole command.
    EXPECT_EQ(std::pair(QFile::exists(At("second.txt")), QFile::exists(At("ramp.txt"))), std::pair(true, false));
}

// A plain text file is written as the picture is decoded, into a new file
// that replaces the old one only when the text is whole: a picture damaged
// halfway or a write that fails keeps the old file and leaves nothing behind.
TEST_F(CliTest, TextFilesAreReplacedOnlyWhenWhole)
{
    const QString kept = At("kept.txt");
    const QByteArray old = "the old text picture\r\n";
    for (const QStringList& more : {QStringList{}, QStringList{"--invert", "--cell", "4", "--variation", "20"},
                                    QStringList{"--encoding", "utf-8", "--brightness", "11"}}) {
        ASSERT_TRUE(WriteAll(kept, old));
        const Result r = Run(QStringList{picture, "-o", kept} + more);
        EXPECT_EQ(std::pair(r.code, ReadAll(kept)),
                  std::pair(int(kExitDone), Run(QStringList{picture, "-o", "-"} + more).out))
            << more.join(' ').toStdString() << r.err.toStdString();
    }

    // Damage found only bands after the first: data of the last quarter spoilt.
    QImage wide(4096, 512, QImage::Format_RGB32);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x)
            wide.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 256));
    ASSERT_TRUE(wide.save(At("damaged.png")));
    QByteArray png = ReadAll(At("damaged.png"));
    for (qsizetype at = png.size() * 3 / 4, end = at + 32; at < end; ++at)
        png[at] = char(png[at] ^ 0x55);
    ASSERT_TRUE(WriteAll(At("damaged.png"), png) && WriteAll(kept, old));
    const auto entries = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); };
    const QStringList before = entries();
    const Result damaged = Run({At("damaged.png"), "-o", kept, "-q"});
    EXPECT_EQ(damaged.code, kExitImage);
    EXPECT_TRUE(damaged.err.contains(At("damaged.png") + ": cannot read the picture (")) << damaged.err.toStdString();
    FileSizeLimit room(200); // a few rows: a full disk or quota
    const Result full = Run({picture, "-o", kept, "--cell", "4"});
    room.Lift();
    EXPECT_EQ(full.code, kExitOutput);
    EXPECT_TRUE(full.err.contains(kept + ": cannot write the text picture (" + FileSizeLimit::kReason))
        << full.err.toStdString();
    EXPECT_EQ(std::pair(ReadAll(kept), entries()), std::pair(old, before));
}

// A name is its bytes: one that is not UTF-8 (Latin-1, Shift-JIS from an old
// archive) reaches its own file, never the one its replacement characters
// would spell, and its text picture gets the same bytes; messages show odd
// bytes and control characters escaped, never raw onto the terminal.
TEST_F(CliTest, NamesAreTheirBytes)
{
    const std::string base = QFile::encodeName(dir.path()).toStdString() + "/";
    const auto copy = [&](const char* name) { std::filesystem::copy_file(base + "ramp.png", base + name); };
    copy("caf\xe9.png");
    ASSERT_TRUE(WriteAll(At("caf\uFFFD.png"), "not the picture asked for"));
    copy("\x89\xe6\x91\x9c.png"); // 画像 in Shift-JIS
    for (const char* name : {"caf\xe9", "\x89\xe6\x91\x9c"}) {
        const Result r = Run({PathFromNative(base + name + ".png"), "-q"});
        EXPECT_EQ(r.code, kExitDone) << r.err.toStdString();
        EXPECT_TRUE(std::filesystem::exists(base + name + ".txt")) << name;
    }
    EXPECT_FALSE(QFile::exists(At("caf\uFFFD.txt")));

    const std::pair<std::string, QString> shown[] = {
        {"x\x8e\x1b]0;owned\x07\x1b[2J.jpg",
         "x\\x8e\\x1b]0;owned\\x07\\x1b[2J.jpg: cannot read the picture (File not found)"},
        {std::string(300, 'a') + ".png", "cannot read the picture (File name too long)"},
    };
    for (const auto& [name, said] : shown) {
        const Result r = Run({PathFromNative(base + name), "-q"});
        EXPECT_EQ(r.code, kExitImage);
        EXPECT_TRUE(r.err.contains(said) && !r.err.contains(QChar(0x1b))) << r.err.toStdString();
    }
}

// Where a program in the build tree finds its database; the installed one is
// checked by the installation test.
TEST_F(CliTest, DatabaseLocation)
{
    EXPECT_EQ(DatabaseLocation(dir.path()), database) << "beside the program first";
    QTemporaryDir empty, home;
    EXPECT_EQ(DatabaseLocation(empty.path()), empty.filePath("Standard.cdb")) << "a writable program directory";
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    EXPECT_EQ(DatabaseLocation(At("not-installed-here")), home.filePath("Pictoria/Standard.cdb"));
    qunsetenv("XDG_DATA_HOME");
    const QByteArray homeVariable = qgetenv("HOME");
    qunsetenv("HOME"); // the home of the password database, never the root directory
    EXPECT_EQ(DatabaseLocation(At("not-installed-here")),
              QString::fromUtf8(::getpwuid(::getuid())->pw_dir) + "/.local/share/Pictoria/Standard.cdb");
    qputenv("HOME", homeVariable);
}

TEST_F(CliTest, TerminalPicturesLineUpAndPngDrawsTheCells)
{
    // A database of characters terminals draw one column wide (α β …, ─ │ …) beside wide ones.
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b] = {MakeGlyph(0x83BF + b, b), MakeGlyph(0x849F + b, b + 0.2f), MakeGlyph(0x889F + b, b + 0.4f)};
    ASSERT_TRUE(WriteDatabase(database, buckets).IsDone());
    std::setlocale(LC_CTYPE, "C.UTF-8");
    auto widths = [&](const QStringList& more) {
        std::set<int> seen;
        const QString text = QString::fromUtf8(Run(QStringList{picture, "-o", "-", "--encoding", "utf-8"} + more).out);
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            seen.insert(wcswidth(line.toStdWString().c_str(), size_t(line.size())));
        return seen;
    };
    EXPECT_EQ(widths({"--terminal"}), std::set<int>{12 * 2}) << "every line 12 cells of two columns";

    // A picture by the output's extension or by --format, 16 pixels a cell times --scale.
    Run({picture, "-o", At("ramp-text.PNG")});
    Run({picture, "--format", "png", "--scale", "0.5"});
    EXPECT_EQ(std::pair(QImage(At("ramp-text.PNG")).size(), QImage(At("ramp-text.png")).size()),
              std::pair(QSize(12 * 16, 8 * 16), QSize(12 * 8, 8 * 8)));
}
