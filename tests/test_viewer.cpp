// SPDX-License-Identifier: MIT
// Lumenpane: reading text picture files, start-up, rereading, font picks, fitting.
#include "viewer/Form1.h"
#include "viewer/TextPictureFile.h"
#include "tests/TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace {

// Services that count reads, note whether the window was visible then, and can
// make the file vanish after the existence test has passed.
struct ViewerAnswers {
    std::vector<QString> messages;
    int reads = 0;
    bool visibleAtRead = false;
    bool vanishBeforeRead = false;
    Form1* window = nullptr;

    ViewerServices Services(std::chrono::milliseconds interval = std::chrono::milliseconds(10000))
    {
        ViewerServices s;
        s.message = [this](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon) {
            messages.push_back(caption + ":" + text);
        };
        s.readPicture = [this](const QString& path) {
            ++reads;
            visibleAtRead = window && window->isVisible();
            if (vanishBeforeRead)
                QFile::remove(path);
            return ReadTextPictureFile(path);
        };
        s.rereadInterval = interval;
        return s;
    }
};

struct PictureFile {
    QTemporaryDir dir;
    QString path = dir.filePath("picture.txt");
    void Write(const QByteArray& bytes) const { ASSERT_TRUE(WriteAll(path, bytes)); }
};

void PickFromList(QComboBox* combo, const QString& text)
{
    combo->showPopup();
    QTest::qWait(20);
    QAbstractItemView* view = combo->view();
    const QRect item = view->visualRect(view->model()->index(combo->findText(text), 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
}

} // namespace

TEST(TextPictureFile, LineEndsDecodingAndOnlyRegularFiles)
{
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {}},
        {"\r\n\r\n", {"", ""}},
        {"a\r\nb", {"a", "b"}},         // last line without its end
        {"a\rb\r", {"a", "b"}},         // CR alone ends a line too
        {"a\nb\r\n\n", {"a\nb", "\n"}}, // a lone LF stays inside its line
        // あ亜■ / ソ表, whose trail bytes 0x5C are no backslashes / half-width ｱ.
        {"\x82\xa0\x88\x9f\x81\xa1\r\n\x83\x5c\x95\x5c\r\n\xb1", {"あ亜■", "ソ表", "ｱ"}},
        {"A\x82\r\n\x82\xa0", {"A\uFFFD", "あ"}}, // a cut lead byte spoils only its own line
    };
    for (const auto& [bytes, lines] : cases)
        EXPECT_EQ(SplitTextPicture(bytes), lines) << bytes.toStdString();

    QTemporaryDir dir;
    for (const QString& path : {dir.filePath("missing.txt"), dir.path(), MakeFifo(dir.filePath("fifo"))})
        EXPECT_FALSE(RegularFileLength(path)) << path.toStdString();
    EXPECT_FALSE(ReadTextPictureFile(dir.path()));
}

TEST(ViewerWindow, StartUp)
{
    ViewerAnswers answers;
    {
        Form1 w(QString(), answers.Services());
        EXPECT_FALSE(w.Form_Load()); // the program ends without showing the window
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(answers.messages, std::vector<QString>{QStringLiteral("Lumenpane:Pictoria.exe から実行して下さい")});
    }
    PictureFile file;
    file.Write("\x82\xa0\x82\xa2\r\nab\r\n");
    Form1 w(file.path, answers.Services());
    answers.window = &w;
    EXPECT_EQ(std::pair(w.Combo1->currentIndex(), w.Combo1->currentText()), std::pair(-1, QString("9")))
        << "9 in the field, but no item picked";
    EXPECT_TRUE(w.Form_Load());
    EXPECT_EQ(w.windowTitle(), "Inkwindow - " + file.path);
    EXPECT_EQ(answers.reads, 1);
    EXPECT_FALSE(answers.visibleAtRead) << "the picture is in place before the window shows";
    EXPECT_EQ(w.Text1->toPlainText(), "あい\nab");
    EXPECT_FALSE(w.windowIcon().availableSizes().isEmpty());
}

TEST(ViewerWindow, RereadsOnlyWhenTheLengthChanges)
{
    PictureFile file;
    file.Write("");
    ViewerAnswers answers;
    Form1 w(file.path, answers.Services());
    w.ReloadIfChanged();
    EXPECT_EQ(answers.reads, 0) << "0 bytes is the FileSize of a new window";

    file.Write("ab\r\n");
    w.ReloadIfChanged();
    file.Write("cd\r\n"); // same length, other content: not looked at
    w.ReloadIfChanged();
    EXPECT_EQ(answers.reads, 1);
    EXPECT_EQ(w.Text1Text, "ab\r\n");

    QFile::remove(file.path);
    w.ReloadIfChanged();
    file.Write("ab\r\ncd\r\n");
    answers.vanishBeforeRead = true; // gone between the existence test and the read
    w.ReloadIfChanged();
    EXPECT_EQ(answers.reads, 2);
    EXPECT_EQ(std::pair(w.Text1->toPlainText(), w.FileSize), std::pair(QString("ab"), 4));

    answers.vanishBeforeRead = false;
    file.Write("\r\n\r\n-\nx\rz\x88\x9f");
    w.ReloadIfChanged();
    EXPECT_EQ(w.Text1Text, QStringLiteral("\r\n\r\n-\nx\r\nz亜\r\n"));
    EXPECT_EQ(std::pair(w.Text1->toPlainText(), w.FileSize), std::pair(QString("\n\n-\u240Ax\nz亜"), 11))
        << "one paragraph per line of the file";

    file.Write(""); // shrinking to nothing is a change like any other
    w.ReloadIfChanged();
    EXPECT_EQ(std::pair(w.Text1Text, w.FileSize), std::pair(QString(), 0));
}

TEST(ViewerWindow, TimerRereadsKeepingTheScrollPosition)
{
    PictureFile file;
    const QByteArray rows = QByteArray(300, 'x').append("\r\n").repeated(200);
    file.Write(rows);
    ViewerAnswers answers;
    Form1 w(file.path, answers.Services(std::chrono::milliseconds(20)));
    ASSERT_TRUE(w.Form_Load());
    QApplication::processEvents();
    w.Text1->verticalScrollBar()->setValue(120);
    w.Text1->horizontalScrollBar()->setValue(200);

    file.Write(rows + "y\r\n");
    for (int i = 0; i < 250 && w.FileSize == rows.size(); ++i)
        QTest::qWait(20);
    EXPECT_EQ(std::tuple(w.Text1->document()->blockCount(), w.Text1->verticalScrollBar()->value(),
                         w.Text1->horizontalScrollBar()->value()),
              std::tuple(201, 120, 200));
}

TEST(ViewerWindow, OnlyAPickFromTheListChangesTheFont)
{
    PictureFile file;
    file.Write(QByteArray("x\r\n").repeated(300));
    ViewerAnswers answers;
    auto w = std::make_unique<Form1>(file.path, answers.Services());
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

    const int small = w->Text1->verticalScrollBar()->maximum();
    PickFromList(w->Combo1, "15");
    EXPECT_EQ(w->Text1->font().pointSizeF(), 15.0);
    const int large = w->Text1->verticalScrollBar()->maximum();
    w->Combo1->showPopup(); // a pick with the keyboard in the open list: 15 -> 12 -> 10
    QTest::qWait(20);
    QTest::keyClick(w->Combo1->view(), Qt::Key_Up);
    QTest::keyClick(w->Combo1->view(), Qt::Key_Up);
    QTest::keyClick(w->Combo1->view(), Qt::Key_Return);
    EXPECT_NEAR(w->Text1->font().pointSizeF(), 10.5, 0.01);
    EXPECT_GT(large, small) << "fewer lines of a larger font fit";
    EXPECT_LT(w->Text1->verticalScrollBar()->maximum(), large) << "the range follows the font at once";

    // Every size offered keeps full-width cells exactly two half-width cells wide.
    for (int i = 0; i < w->Combo1->count(); ++i) {
        w->Combo1->setCurrentIndex(i);
        emit w->Combo1->activated(i);
        const QFontMetrics m(w->Text1->font(), w->Text1);
        EXPECT_EQ(m.horizontalAdvance(QStringLiteral("■亜 a")), 6 * m.horizontalAdvance(u'a')) << i;
        EXPECT_NEAR(w->Text1->font().pointSizeF(), w->Combo1->currentText().toDouble(), 0.75);
    }
    field->setFocus();
    QTest::keyClicks(field, "8");
    w.reset(); // with text in the field: no slot of the window may run once its destruction began
}

TEST(ViewerWindow, TextBoxFollowsTheWindowButNotWhenMinimized)
{
    ViewerAnswers answers;
    Form1 w(QStringLiteral("x"), answers.Services());
    w.show();
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 609, 465));
    w.showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, w.width() - 6, w.height() - 30));

    w.showNormal();
    w.resize(615, 495);
    w.setWindowState(Qt::WindowMinimized);
    w.resize(160, 100);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 609, 465));
    w.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 154, 70));
    w.resize(5, 20);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 0, 0));
}
