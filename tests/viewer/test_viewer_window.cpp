// The viewer window, offscreen: start-up, the reload rules, font picks, fitting.
#include "viewer/Form1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Counts the reads, notes whether the window was visible then, and can make
// the file vanish after the existence test has passed.
class ObservedForm : public Form1 {
public:
    using Form1::Form1;
    int reads = 0;
    bool visibleAtRead = false;
    bool vanishBeforeRead = false;

protected:
    std::optional<TextPicture> ReadPicture(const QString& path) override
    {
        ++reads;
        visibleAtRead = isVisible();
        if (vanishBeforeRead)
            QFile::remove(path);
        return Form1::ReadPicture(path);
    }
};

struct PictureFile {
    QTemporaryDir dir;
    QString path = dir.filePath("picture.txt");
    void Write(const QByteArray& bytes) const
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
    }
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

TEST(viewer_window, StartUp)
{
    std::vector<QString> shown;
    Form1::Message = [&shown](const QString& text, const QString& caption) { shown.push_back(caption + ":" + text); };
    {
        ObservedForm w{QString()};
        EXPECT_FALSE(w.Form_Load()); // the program ends without showing the window
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.reads, 0);
        ASSERT_EQ(shown, std::vector<QString>{QStringLiteral("Lumenpane:Pictoria.exe から実行して下さい")});
    }
    {
        Form1 w(QStringLiteral("   ")); // blanks are an argument too, used as they are
        EXPECT_TRUE(w.Form_Load());
        EXPECT_EQ(w.windowTitle(), "Inkwindow -    ");
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(w.Text1->toPlainText().isEmpty());
    }
    PictureFile file;
    file.Write("\x82\xa0\x82\xa2\r\nab\r\n");
    ObservedForm w(file.path);
    EXPECT_EQ(w.Combo1->currentIndex(), -1); // "9" in the field, but no item picked
    EXPECT_EQ(w.Combo1->currentText(), "9");
    EXPECT_TRUE(w.Form_Load());
    EXPECT_EQ(w.windowTitle(), "Inkwindow - " + file.path);
    EXPECT_EQ(w.reads, 1);
    EXPECT_FALSE(w.visibleAtRead); // the picture is in place before the window shows
    EXPECT_EQ(w.Text1->toPlainText(), "あい\nab");
    EXPECT_EQ(shown.size(), 1u);
    Form1::Message = {};
}

TEST(viewer_window, RereadsOnlyWhenTheLengthChanges)
{
    PictureFile file;
    file.Write("");
    ObservedForm w(file.path);
    w.ReloadIfChanged();
    EXPECT_EQ(w.reads, 0); // 0 bytes is the FileSize of a new window

    file.Write("ab\r\n");
    w.ReloadIfChanged();
    file.Write("cd\r\n"); // same length, other content: not looked at
    w.ReloadIfChanged();
    EXPECT_EQ(w.reads, 1);
    EXPECT_EQ(w.Text1Text, "ab\r\n");
    EXPECT_EQ(w.FileSize, 4);

    QFile::remove(file.path);
    w.ReloadIfChanged();
    file.Write("ab\r\ncd\r\n");
    w.vanishBeforeRead = true; // gone between the existence test and the read
    w.ReloadIfChanged();
    EXPECT_EQ(w.reads, 2);
    EXPECT_EQ(w.Text1->toPlainText(), "ab");
    EXPECT_EQ(w.FileSize, 4);

    w.vanishBeforeRead = false;
    file.Write("\r\n\r\n-\nx\rz\x88\x9f");
    w.ReloadIfChanged();
    EXPECT_EQ(w.Text1Text, QStringLiteral("\r\n\r\n-\nx\r\nz亜\r\n"));
    EXPECT_EQ(w.Text1->document()->blockCount(), 4); // one paragraph per line of the file
    EXPECT_EQ(w.Text1->toPlainText(), "\n\n-\u240Ax\nz亜");
    EXPECT_EQ(w.FileSize, 11);

    file.Write(""); // shrinking to nothing is a change like any other
    w.ReloadIfChanged();
    EXPECT_EQ(w.Text1->toPlainText(), "");
    EXPECT_EQ(w.Text1Text, "");
    EXPECT_EQ(w.FileSize, 0);
}

TEST(viewer_window, TimerRereadsKeepingTheScrollPosition)
{
    PictureFile file;
    const QByteArray rows = QByteArray(300, 'x').append("\r\n").repeated(200);
    file.Write(rows);
    const int saved = Form1::TimerInterval;
    Form1::TimerInterval = 20;
    Form1 w(file.path);
    Form1::TimerInterval = saved;
    ASSERT_TRUE(w.Form_Load());
    QApplication::processEvents();
    w.Text1->verticalScrollBar()->setValue(120);
    w.Text1->horizontalScrollBar()->setValue(200);

    file.Write(rows + "y\r\n");
    for (int i = 0; i < 250 && w.FileSize == rows.size(); ++i)
        QTest::qWait(20);
    EXPECT_EQ(w.Text1->document()->blockCount(), 201);
    EXPECT_EQ(w.Text1->verticalScrollBar()->value(), 120);
    EXPECT_EQ(w.Text1->horizontalScrollBar()->value(), 200);
}

TEST(viewer_window, OnlyAPickFromTheListChangesTheFont)
{
    ObservedForm w(QStringLiteral("x"));
    w.show();
    PickFromList(w.Combo1, "9");
    EXPECT_EQ(w.Text1->font().pointSizeF(), 9.0);

    // Typed sizes, even one in the list, change nothing, Enter or not.
    QLineEdit* field = w.Combo1->lineEdit();
    for (const char* typed : {"20", "12"}) {
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(w.Text1->font().pointSizeF(), 9.0) << typed;
    }
    EXPECT_EQ(w.Combo1->count(), 7);

    PickFromList(w.Combo1, "15");
    EXPECT_EQ(w.Text1->font().pointSizeF(), 15.0);
    EXPECT_EQ(w.Text1->font().family(), QFont(w.Text1->font()).family());
    EXPECT_EQ(w.reads, 0);

    // Every size offered keeps full-width cells exactly two half-width cells wide.
    for (int i = 0; i < w.Combo1->count(); ++i) {
        w.Combo1->setCurrentIndex(i);
        emit w.Combo1->activated(i);
        const QFontMetrics m(w.Text1->font(), w.Text1);
        EXPECT_EQ(m.horizontalAdvance(QStringLiteral("■亜 a")), 6 * m.horizontalAdvance(u'a')) << i;
        EXPECT_NEAR(w.Text1->font().pointSizeF(), Val(w.Combo1->currentText()), 0.75);
    }
}

TEST(viewer_window, TextBoxFollowsTheWindowButNotWhenMinimized)
{
    Form1 w(QStringLiteral("x"));
    w.show();
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 609, 465));
    w.showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, w.width() - 6, w.height() - 30));
    EXPECT_NE(w.width(), 615);

    w.showNormal();
    w.resize(615, 495);
    w.showMinimized();
    w.setWindowState(Qt::WindowMinimized);
    w.resize(160, 100);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 609, 465));
    w.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 154, 70));
    w.resize(5, 20);
    EXPECT_EQ(w.Text1->geometry(), QRect(4, 28, 0, 0));
}
