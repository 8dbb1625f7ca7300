// SPDX-License-Identifier: MIT
// Lumenpane: reading text picture files, start-up, rereading, font picks, fitting.
#include "viewer/Form1.h"
#include "viewer/TextPictureFile.h"
#include "tests/TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace {

// A text picture file, and services that count reads and run beforeRead at
// each, after the existence test has passed.
class ViewerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("picture.txt");
    std::vector<QString> messages;
    int reads = 0;
    std::function<void()> beforeRead = [] {};

    void Write(const QByteArray& bytes) const { ASSERT_TRUE(WriteAll(path, bytes)); }
    std::unique_ptr<Form1> Window(const QString& argument)
    {
        ViewerServices s;
        s.message = [this](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon) {
            messages.push_back(caption + ":" + text);
        };
        s.readPicture = [this](const QString& p) { return ++reads, beforeRead(), ReadTextPictureFile(p); };
        return std::make_unique<Form1>(argument, s);
    }
};

} // namespace

TEST(TextPictureFile, LineEndsDecodingAndOnlyRegularFiles)
{
    // Code page 932 (and ASCII): a last line may lack its end, CR alone ends a
    // line, a lone LF stays inside its line, trail bytes 0x5C are no
    // backslashes (ソ表), half-width ｱ is one byte, and a cut lead byte spoils
    // only its own line. Valid UTF-8 with a multi-byte sequence: LF ends a line
    // too, and only a byte-order mark opening the file is dropped (EF BB 80 is
    // ﻀ, no mark). One byte that is no UTF-8 (C0 AF and E0 80 AF are overlong
    // "/", ED A0 80 a surrogate, F4 90 80 80 past U+10FFFF, a sequence the
    // file's end cuts) leaves all as it always was.
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\r\n\n", {"a\nb", "\n"}},
        {"\x82\xa0\x88\x9f\x81\xa1\r\n\x83\x5c\x95\x5c\r\n\xb1", {"あ亜■", "ソ表", "ｱ"}},
        {"A\x82\r\n\x82\xa0", {"A\uFFFD", "あ"}},
        {"\xEF\xBB\xBF", {}},
        {"\xEF\xBB\xBF\r\n", {""}},
        {"\xEF\xBB\xBF-\n\nb\n\r", {"-", "", "b", ""}},
        {"\n\xEF\xBB\xBF\r\xE3\x81\x82\r\n\r", {"", QString(QChar(0xFEFF)), "あ", ""}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF\n", {QString(QChar(0xFEFF))}},
        {"\xEF\xBB\x80\n", {"\uFEC0"}},
        {"\xF0\xA0\x80\x8B\r\n", {"\U0002000B"}},
        {"\xE3\x81\x82\n\xC0\xAF", {"\u7E3A\uFFFD\n\uFF80\uFF6F"}},
        {"\xE3\x81\x82\xED\xA0\x80", {"\u7E3A\u308F\uFFFD\uFFFD"}},
        {"\xE3\x81\x82\xE0\x80\xAF", {"\u7E3A\u3082\uFFFD\uFF6F"}},
        {"\xE3\x81\x82\xF4\x90\x80\x80", {"\u7E3A\uFFFD\uE33F\uFFFD\uFFFD"}},
        {"\xEF\xBB\xBF\xE3\x81", {"\uFFFD\uFF7B\uFF7F\u7E3A"}}};
    for (const auto& [bytes, lines] : cases) {
        EXPECT_EQ(SplitTextPicture(bytes), lines) << bytes.toHex().toStdString();
        EXPECT_EQ(MakeTextPicture(bytes).text, JoinWithCrLf(lines)) << bytes.toHex().toStdString();
    }

    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.txt"), dir.path(), MakeFifo(dir.filePath("fifo"))})
        EXPECT_FALSE(RegularFileLength(path)) << path.toStdString();
}

TEST(TextPictureFile, ReadInAnyPiecesAsWhole)
{
    // CR LF cut between pieces, a lead byte at a piece's end, a lone LF, and a
    // line wider than a shown paragraph; in UTF-8 as well, with the mark and
    // every multi-byte sequence cut, and a file that starts like the mark.
    const QByteArray wide = QByteArray("\x88\x9f").repeated(int(kWidestShownLine) + 5) + "x";
    const QByteArray sjis = "ab\r\n\x82\xa0\x82\xa2\rc\nd\r\n" + wide + "\r\n\x83\x5c\x82";
    const QByteArray utf8 = "ab\r\n\xE3\x81\x82\xE3\x81\x84\rc\nd\r\n" + wide.toHex() + "\xF0\xA0\x80\x8B" +
                            QByteArray("\xE4\xBA\x9C").repeated(int(kWidestShownLine) + 5) + "\n\xC2\xA9";
    const std::pair<QByteArray, TextEncoding> files[] = {{sjis, TextEncoding::Cp932},
                                                         {"\xEF\xBB\xBF" + utf8, TextEncoding::Utf8},
                                                         {"\xEF\xBB\x80" + utf8, TextEncoding::Utf8}};
    for (const auto& [bytes, encoding] : files) {
        const QStringList lines = SplitTextPicture(bytes);
        QStringList shown = lines;
        for (QString& line : shown) {
            line.replace(u'\n', QChar(0x240A));
            for (qsizetype at = kWidestShownLine; at < line.size(); at += kWidestShownLine + 1)
                line.insert(at, u'\n');
        }
        const TextPicture whole = MakeTextPicture(bytes);
        EXPECT_EQ(std::tuple(whole.text, whole.display.join(QString()), whole.size),
                  std::tuple(JoinWithCrLf(lines), shown.join(u'\n'), bytes.size()));
        for (const qsizetype piece : {1, 2, 3, 7, 4096}) {
            TextEncodingCheck check;
            for (qsizetype at = 0; at < bytes.size(); at += piece)
                check.Add(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
            EXPECT_EQ(check.Encoding(), encoding) << piece;
            TextPictureBuilder builder(check.Encoding());
            for (qsizetype at = 0; at < bytes.size(); at += piece)
                builder.Add(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
            const TextPicture read = builder.Finish();
            EXPECT_EQ(std::tuple(read.text, read.display.join(QString()), read.size),
                      std::tuple(whole.text, whole.display.join(QString()), whole.size))
                << piece;
        }
    }
    const TextPicture tall = MakeTextPicture(QByteArray("\r\n").repeated(int(kMostTextPictureLines) + 1));
    EXPECT_TRUE(tall.tooManyLines && tall.text.isEmpty() && tall.display.isEmpty());

    QTemporaryDir dir;
    EXPECT_FALSE(ReadTextPictureFile(MakeFifo(dir.filePath("fifo")))) << "a FIFO is refused, not waited on";
}

TEST_F(ViewerTest, LargeFilesAreReadAsideAndHugeOnesRefused)
{
    // Past a few megabytes the window shows at once and the file is read on
    // a worker; the picture arrives when the read is done.
    const QByteArray row = QByteArray("\x88\x9f").repeated(500) + "\r\n";
    Write(row.repeated(4000)); // 4 MB
    auto w = Window(path);
    ASSERT_TRUE(w->Form_Load());
    EXPECT_EQ(std::pair(w->isVisible(), w->FileSize), std::pair(true, 0));
    QTRY_COMPARE_WITH_TIMEOUT(w->FileSize, int32_t(row.size() * 4000), 20000);
    EXPECT_EQ(std::tuple(reads, w->Text1->document()->blockCount(), w->Text1Text.size()),
              std::tuple(1, 4000, qsizetype(502 * 4000)));

    // A file longer than any text picture is not read; the window says why.
    QFile file(path);
    ASSERT_TRUE(file.resize(kLargestTextPictureBytes + 1));
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(reads, w->Text1->toPlainText(), w->FileSize), std::tuple(1, QString(), 0));
    EXPECT_TRUE(w->Text1->placeholderText().startsWith("このファイルは大きすぎるため表示しません。"))
        << w->Text1->placeholderText().toStdString();
    w->ReloadIfChanged();
    EXPECT_EQ(reads, 1) << "refused once for its length";
    Write("ab\r\n");
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(reads, w->Text1->toPlainText(), w->Text1->placeholderText()),
              std::tuple(2, QString("ab"), QString()));

    // Too many lines: read and refused once, not at every look.
    Write(QByteArray("\r\n").repeated(int(kMostTextPictureLines) + 1) + QByteArray(1 << 20, 'x')); // past one read
    w->ReloadIfChanged();
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(reads, w->Text1->toPlainText()), std::tuple(3, QString()));
    EXPECT_TRUE(w->Text1->placeholderText().startsWith("このファイルは行が多すぎるため表示しません。"))
        << w->Text1->placeholderText().toStdString();
}

TEST_F(ViewerTest, StartUp)
{
    EXPECT_FALSE(Window(QString())->Form_Load()); // the program ends without showing the window
    EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("Lumenpane:Pictoria.exe から実行して下さい")});
    Write("\x82\xa0\x82\xa2\r\nab\r\n");
    auto w = Window(path);
    bool visibleAtRead = true;
    beforeRead = [&] { visibleAtRead = w->isVisible(); };
    EXPECT_TRUE(w->Form_Load());
    // Read once, before the window shows; the title names the file; 9 in the size field, but no item picked.
    EXPECT_EQ(std::tuple(reads, visibleAtRead, w->Text1->toPlainText(), w->windowTitle(), w->Combo1->currentIndex(),
                         w->Combo1->currentText()),
              std::tuple(1, false, "あい\nab", "Inkwindow - " + path, -1, "9"));
    EXPECT_FALSE(w->windowIcon().availableSizes().isEmpty());
}

TEST_F(ViewerTest, TheProgramsWindowLooksAtTheFileEveryTenSeconds)
{
    // Made as the program makes it, with the real services.
    Write("ab\r\n");
    Form1 w(path);
    EXPECT_EQ(std::tuple(w.Timer1->interval(), w.Timer1->isActive(), w.Timer1->isSingleShot()),
              std::tuple(10000, true, false));
    QMetaObject::invokeMethod(w.Timer1, "timeout"); // a tick, without waiting for it
    EXPECT_EQ(w.Text1Text, "ab\r\n");
}

TEST_F(ViewerTest, RereadsOnlyWhenTheLengthChanges)
{
    Write("");
    auto w = Window(path);
    w->ReloadIfChanged();
    EXPECT_EQ(reads, 0) << "0 bytes is the FileSize of a new window";

    Write("ab\r\n");
    w->ReloadIfChanged();
    Write("cd\r\n"); // same length, other content: not looked at
    w->ReloadIfChanged();
    EXPECT_EQ(std::pair(reads, w->Text1Text), std::pair(1, QString("ab\r\n")));

    QFile::remove(path);
    w->ReloadIfChanged();
    Write("ab\r\ncd\r\n");
    beforeRead = [&] { QFile::remove(path); }; // gone between the existence test and the read
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(reads, w->Text1->toPlainText(), w->FileSize), std::tuple(2, QString("ab"), 4));

    beforeRead = [] {};
    Write("\r\n\r\n-\nx\rz\x88\x9f");
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(w->Text1Text, w->Text1->toPlainText(), w->FileSize),
              std::tuple("\r\n\r\n-\nx\r\nz亜\r\n", "\n\n-\u240Ax\nz亜", 11))
        << "one paragraph per line of the file";

    Write(""); // shrinking to nothing is a change like any other
    w->ReloadIfChanged();
    EXPECT_EQ(std::pair(w->Text1Text, w->FileSize), std::pair(QString(), 0));
}

TEST_F(ViewerTest, ShowsUtf8AsUtf8AndAllElseAsBefore)
{
    // A file is decided anew at each read as it grows: ASCII keeps its lone
    // LF inside the line, a first UTF-8 character makes every LF a line end,
    // and one byte that is no UTF-8 brings back code page 932, as it always was.
    Write("ab\nc\r\n");
    auto w = Window(path);
    w->ReloadIfChanged();
    EXPECT_EQ(std::pair(w->Text1Text, w->Text1->toPlainText()), std::pair(QString("ab\nc\r\n"), QString("ab\u240Ac")));
    Write("ab\nc\r\n\xE3\x81\x82\xE3\x81\x82\xE3\x81\x84\r\n\xEF\xBB\xBF\nx\xC2\xA9\r\n");
    w->ReloadIfChanged();
    EXPECT_EQ(std::pair(w->Text1Text, w->Text1->toPlainText()),
              std::pair(QString("ab\r\nc\r\nああい\r\n\uFEFF\r\nx©\r\n"), QString("ab\nc\nああい\n\uFEFF\nx©")));
    Write("ab\nc\r\n\xE3\x81\x82\xE3\x81\x82\xE3\x81\x84\r\n\xEF\xBB\xBF\nx\xC2\xA9\xFF\r\n");
    w->ReloadIfChanged();
    EXPECT_EQ(std::pair(w->Text1Text, w->Text1->toPlainText()),
              std::pair(QString("ab\nc\r\n縺ゅ≠縺\uFFFD\r\n\uFFFDｻｿ\nxﾂｩ\uFFFD\r\n"),
                        QString("ab\u240Ac\n縺ゅ≠縺\uFFFD\n\uFFFDｻｿ\u240Axﾂｩ\uFFFD")));

    // The file is read a megabyte at a time: a character cut there, and the
    // mark, are found all the same.
    const QByteArray large = "\xEF\xBB\xBF" + QByteArray((1 << 20) - 4, 'x') + "\xE3\x81\x82\n";
    Write(large);
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(w->Text1Text.size(), w->Text1Text.first(1), w->Text1Text.last(4), w->FileSize),
              std::tuple((1 << 20) - 4 + 3, QString("x"), QString("xあ\r\n"), large.size()));
}

TEST_F(ViewerTest, RereadsKeepingTheScrollPosition)
{
    const QByteArray rows = QByteArray(300, 'x').append("\r\n").repeated(200);
    Write(rows);
    auto w = Window(path);
    ASSERT_TRUE(w->Form_Load());
    QApplication::processEvents();
    w->Text1->verticalScrollBar()->setValue(120);
    w->Text1->horizontalScrollBar()->setValue(200);

    Write(rows + "y\r\n");
    w->ReloadIfChanged();
    EXPECT_EQ(std::tuple(w->Text1->document()->blockCount(), w->Text1->verticalScrollBar()->value(),
                         w->Text1->horizontalScrollBar()->value()),
              std::tuple(201, 120, 200));
}

TEST_F(ViewerTest, OnlyAPickFromTheListChangesTheFont)
{
    Write(QByteArray("x\r\n").repeated(300));
    auto w = Window(path);
    ASSERT_TRUE(w->Form_Load());
    QLineEdit* field = w->Combo1->lineEdit();
    const std::pair<const char*, Qt::Key> typed[] = {{"6", Qt::Key_Return}, {"12", Qt::Key_Tab}, {"1", Qt::Key_Down}};
    for (const auto& [text, key] : typed) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, key);
        QTest::mouseClick(w->Text1->viewport(), Qt::LeftButton); // a click into the picture
        EXPECT_EQ(w->Text1->font().pointSizeF(), 9.0) << text;
    }
    EXPECT_EQ(w->Combo1->count(), 7) << "typed sizes never join the list";
    // Leaving the field for another widget ends its editing, which makes
    // QComboBox activate the item that matches the typed text.
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (const Qt::FocusReason reason : {Qt::TabFocusReason, Qt::MouseFocusReason}) {
        field->setFocus();
        ASSERT_TRUE(field->hasFocus());
        field->selectAll();
        QTest::keyClicks(field, "12");
        w->Text1->setFocus(reason);
        EXPECT_TRUE(w->Text1->hasFocus());
        EXPECT_EQ(w->Text1->font().pointSizeF(), 9.0) << "left by " << reason;
    }

    const int small = w->Text1->verticalScrollBar()->maximum();
    w->Combo1->showPopup(); // a click on 15 in the open list
    QTest::qWait(20);
    QAbstractItemView* list = w->Combo1->view();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(6, 0)).center());
    EXPECT_EQ(w->Text1->font().pointSizeF(), 15.0);
    const int large = w->Text1->verticalScrollBar()->maximum();
    w->Combo1->showPopup(); // a pick with the keyboard in the open list: 15 -> 12 -> 10
    QTest::qWait(20);
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Return})
        QTest::keyClick(list, key);
    EXPECT_NEAR(w->Text1->font().pointSizeF(), 10.5, 0.01);
    // Fewer lines of a larger font fit, and the range follows the font at once.
    EXPECT_TRUE(small < large && w->Text1->verticalScrollBar()->maximum() < large) << small << " " << large;
    field->setFocus();
    QTest::keyClicks(field, "8");
    w.reset(); // with text in the field: no slot of the window may run once its destruction began
}

TEST_F(ViewerTest, TextBoxFollowsTheWindowButNotWhenMinimized)
{
    auto w = Window(path);
    w->show();
    w->setWindowState(Qt::WindowMinimized);
    w->resize(160, 100);
    EXPECT_EQ(w->Text1->geometry(), QRect(4, 28, 609, 465)) << "left as it was while minimized";
    w->setWindowState(Qt::WindowNoState);
    EXPECT_EQ(w->Text1->geometry(), QRect(4, 28, 154, 70)) << "fitted again once restored";
}
