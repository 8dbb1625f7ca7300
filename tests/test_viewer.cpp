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
    // A last line may lack its end, CR alone ends a line, a lone LF stays inside
    // its line, trail bytes 0x5C are no backslashes (ソ表), half-width ｱ is one
    // byte, and a cut lead byte spoils only its own line.
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\nb\r\n\n", {"a\nb", "\n"}},
        {"\x82\xa0\x88\x9f\x81\xa1\r\n\x83\x5c\x95\x5c\r\n\xb1", {"あ亜■", "ソ表", "ｱ"}},
        {"A\x82\r\n\x82\xa0", {"A\uFFFD", "あ"}}};
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(SplitTextPicture(bytes), lines) << bytes.toStdString();

    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.txt"), dir.path(), MakeFifo(dir.filePath("fifo"))})
        EXPECT_FALSE(RegularFileLength(path)) << path.toStdString();
}

TEST(TextPictureFile, ReadInAnyPiecesAsWhole)
{
    // CR LF cut between pieces, a lead byte at a piece's end, a lone LF, and a
    // line wider than a shown paragraph.
    const QByteArray wide = QByteArray("\x88\x9f").repeated(int(kWidestShownLine) + 5) + "x";
    const QByteArray bytes = "ab\r\n\x82\xa0\x82\xa2\rc\nd\r\n" + wide + "\r\n\x83\x5c\x82";
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
        TextPictureBuilder builder;
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            builder.Add(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        const TextPicture read = builder.Finish();
        EXPECT_EQ(std::tuple(read.text, read.display.join(QString()), read.size),
                  std::tuple(whole.text, whole.display.join(QString()), whole.size))
            << piece;
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
