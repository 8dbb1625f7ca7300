// SPDX-License-Identifier: MIT
// Module General, code page 932, number patterns and file access.
#include "common/CodePage932.h"
#include "common/FileAccess.h"
#include "common/General.h"
#include "common/NumberPattern.h"
#include "common/Throttle.h"
#include "tests/TestSupport.h"

#include <QDir>

#include <filesystem>

TEST(General, FixedWidthTexts)
{
    EXPECT_EQ(AnsiLen(QStringLiteral("文字絵 ｱ%")), 9) << "full width 2, half-width kana and ASCII 1";
    EXPECT_EQ(AnsiMid(QStringLiteral("ab文字"), 2, 3) + "|" + AnsiMid(QStringLiteral("ab文字"), 2, 2), "b文|b")
        << "half a character is dropped";

    const std::tuple<QString, int, bool, QString> pads[] = {
        {"45%", 4, true, " 45%"},     {"100.0%", 6, true, "100.0%"},
        {"ab", 4, false, "ab  "},     {"12345", 4, true, "1234"},
        {"  12345", 4, true, "  12"}, // the cut comes before the trim
        {" 5 ", 4, false, "5   "},    {QStringLiteral("全角"), 6, true, QStringLiteral("  全角")},
    };
    for (const auto& [text, width, right, want] : pads)
        EXPECT_EQ(PadToWidth(text, width, right), want) << text.toStdString();
}

TEST(CodePage932, ConvertsBothWaysCharacterByCharacter)
{
    const QString text = QStringLiteral("文字絵 ASCII ｶﾅ　・");
    EXPECT_EQ(FromCp932(ToCp932(text)), text);
    EXPECT_EQ(ToCp932(QStringLiteral("a😀b")), QByteArray("a?b")) << "unrepresentable becomes one ?";
    const QChar high(0xD800), low(0xDC00);
    EXPECT_EQ(ToCp932(QString(high) + "AB|" + low + "A" + high), QByteArray("?AB|?A?"))
        << "a lone surrogate is one character";
    EXPECT_EQ(PadToWidth(QString(high) + "7", 4, true), QString("  ") + high + "7");
    EXPECT_EQ(FromCp932(QByteArray("a\x81")) + FromCp932(QByteArray("a\x81"), Cp932Tail::Drop), "a\uFFFDa");

    EXPECT_EQ(CharFromCode(0x889F), QStringLiteral("亜"));
}

TEST(NumberPattern, FormatsHalfAwayFromZeroAtFifteenDigitsAndReadsLeadingNumbers)
{
    const std::tuple<double, const char*, const char*> formats[] = {
        {0, "##0", "0"},        {12.5, "##0", "13"},          {96.875, "##0", "97"},     {12345, "##0", "12345"},
        {0, "##0.0", "0.0"},    {6.25, "##0.0", "6.3"},       {99.95, "##0.0", "100.0"}, {0.15, "##0.0", "0.2"},
        {0.04, "##0.0", "0.0"}, {100.0 / 3, "##0.0", "33.3"}, {-2.5, "##0", "-3"},       {0.4, "#.0", ".4"},
    };
    for (const auto& [value, pattern, want] : formats)
        EXPECT_EQ(FormatNumber(value, pattern), want) << value << " " << pattern;

    const std::pair<const char*, double> reads[] = {{"12", 12},   {"9pt", 9},     {"abc", 0}, {"", 0},
                                                    {"  10", 10}, {"7.5.1", 7.5}, {"-3", -3}};
    for (const auto& [text, value] : reads)
        EXPECT_EQ(Val(text), value) << text;
}

// FileExists, and OpenForReading's reason; a FIFO without a writer must make
// neither wait, and nothing may stay open.
TEST(FileAccess, InputsOfEveryKindAnswerAtOnce)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("画像 file.txt"));
    ASSERT_TRUE(WriteAll(file, ""));
    auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = descriptors();
    const char* irregular = "is not a regular file";
    const std::tuple<QString, bool, const char*> inputs[] = {
        {file, true, ""},
        {MakeFifo(dir.filePath("fifo")), true, irregular},
        {"/dev/null", true, irregular},
        {dir.path(), false, "is a directory"},
        {dir.filePath("missing"), false, "No such file or directory"},
        {QString(), false, "No such file or directory"}};
    for (const auto& [path, exists, reason] : inputs) {
        QFile opened;
        EXPECT_EQ(FileExists(path), exists) << path.toStdString();
        EXPECT_EQ(OpenForReading(path, opened).Reason(), reason) << path.toStdString();
    }
    EXPECT_EQ(descriptors(), before);
}

TEST(FileAccess, OrdinaryFilesAreReplacedWholeTheRestIsWrittenInPlace)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.txt"), link = dir.filePath("link");
    const QString fifo = MakeFifo(dir.filePath("fifo")), lonely = MakeFifo(dir.filePath("lonely"));
    ASSERT_TRUE(WriteAll(plain, "old content, longer than the new") && QFile::link(fifo, link));
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK); // writers never wait
    auto drain = [&] {
        QByteArray all(4096, '\0');
        return all.left(std::max<ssize_t>(::read(reader, all.data(), 4096), 0));
    };
    const int fd = ::open(QFile::encodeName(plain).constData(), O_RDONLY);
    const QString procPath = QStringLiteral("/proc/self/fd/%1").arg(fd); // as /dev/stdout leads to a file
    auto stat = [](const QString& p) {
        struct stat st {};
        ::stat(QFile::encodeName(p).constData(), &st); // what a name leads to
        return std::pair(st.st_mode & S_IFMT, st.st_ino);
    };
    auto write = [](const QString& path, const QByteArray& text, Outcome end = Outcome::Done()) {
        return WriteWholeFile(path, [&](QFileDevice& f) { return f.write(text), end; });
    };
    const std::pair<QString, const char*> cases[] = {
        {procPath, ""}, {link, ""}, {lonely, "No such device or address"}, {dir.path(), "Is a directory"}};
    for (const auto& [path, reason] : cases) {
        const auto before = stat(path);
        EXPECT_EQ(write(path, "text").Reason(), reason) << path.toStdString();
        EXPECT_EQ(stat(path), before) << path.toStdString() << ": the same file, still of its kind";
    }
    EXPECT_EQ(drain(), "text") << "through the link into the FIFO";
    EXPECT_EQ(ReadAll(procPath), "text") << "the very file behind /proc, not one renamed over it, cut to its length";
    ::close(fd);
    ::close(reader);

    const auto old = stat(plain);
    EXPECT_TRUE(write(plain, "new").IsDone() && write(plain, "x", Outcome::Stopped()).IsStopped());
    EXPECT_NE(stat(plain).second, old.second) << "an ordinary file is replaced, not rewritten";
    FileSizeLimit full(4096); // the new text fails in the flush, after the writer is done
    EXPECT_EQ(write(plain, QByteArray(8000, 'x')).Message(), plain + ": " + FileSizeLimit::kReason);
    full.Lift();
    EXPECT_EQ(ReadAll(plain), "new") << "a stop or a failure keeps the old file whole";
    const auto entries = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System); };
    EXPECT_EQ(entries().size(), 4) << "and no temporary file";

    // While the new content is written it has no name where the file system
    // allows: a run killed meanwhile leaves nothing behind.
    const int unnamed = ::open(QFile::encodeName(dir.path()).constData(), O_WRONLY | O_TMPFILE, 0600);
    const QStringList before = entries();
    QStringList during;
    EXPECT_TRUE(WriteWholeFile(plain, [&](QFileDevice& f) {
                    f.write("newer");
                    during = entries();
                    return Outcome::Done();
                }).IsDone());
    EXPECT_EQ(during.size(), before.size() + (unnamed >= 0 ? 0 : 1));
    EXPECT_EQ(std::pair(entries(), ReadAll(plain)), std::pair(before, QByteArray("newer")));
    if (unnamed >= 0)
        ::close(unnamed);
}

TEST(FileAccess, SameFileHoweverItIsNamed)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("a.png");
    ASSERT_TRUE(WriteAll(file, "x") && QFile::link(file, dir.filePath("symlink")));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(dir.filePath("hard")).constData()), 0);
    const std::pair<QString, bool> names[] = {{"symlink", true}, {"hard", true},   {"sub/../a.png", true},
                                              {"./a.png", true}, {"b.png", false}, {"new/../b.png", false}};
    for (const auto& [name, same] : names)
        EXPECT_EQ(SameFile(dir.filePath(name), file), same) << name.toStdString();
    EXPECT_TRUE(SameFile(dir.filePath("new/../b.png"), dir.filePath("b.png"))) << "neither exists yet";
}

// The pace of screens and event loops: due at the first call, then once the
// interval has passed since the last due answer, the clock read only at every
// pollEvery-th call.
TEST(Throttle, DueOnceAnIntervalHasPassedReadingTheClockSeldom)
{
    using namespace std::chrono_literals;
    Throttle::Clock::time_point now{};
    int reads = 0;
    Throttle pace(10ms, 2, [&] { return ++reads, now; });
    std::vector<bool> due;
    for (const auto step : {0ms, 0ms, 9ms, 0ms, 1ms, 0ms, 0ms, 50ms, 0ms}) {
        now += step;
        due.push_back(pace.Due());
    }
    EXPECT_EQ(due, (std::vector<bool>{true, false, false, false, true, false, false, false, true}));
    EXPECT_EQ(reads, 5) << "the first call, then every second one";
}
