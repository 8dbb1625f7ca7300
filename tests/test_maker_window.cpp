// SPDX-License-Identifier: MIT
// Pictoria's window, offscreen: start-up, settings, database creation and the
// conversion run with its dialogs and failures, watched by a viewer.
#include "engine/DatabaseFile.h"
#include "maker/frmMain.h"
#include "tests/MakerAnswers.h"
#include "tests/TestSupport.h"
#include "ui/JapaneseReason.h"
#include "ui/WindowPlacement.h"
#include "viewer/Form1.h"

#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <set>

namespace {

using Messages = std::vector<std::pair<QString, QString>>;
const Messages kDone{{"完了しました", "Inkgarden"}};

// Samples what a window shows at every pass of the event loop.
struct ShownLog {
    QStringList texts;
    QTimer timer;
    explicit ShownLog(std::function<QString()> shown)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, shown] {
            if (const QString t = shown(); texts.isEmpty() || texts.back() != t)
                texts << t;
        });
        timer.start(0);
    }
};

// A window on dir whose dialogs, boxes and viewer the test answers.
class MakerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MakerAnswers answers;
    std::unique_ptr<frmMain> w;

    void NewWindow(bool load = true)
    {
        answers = MakerAnswers{};
        w = std::make_unique<frmMain>(dir.path(), answers.Services());
        if (load)
            w->Form_Load();
    }
    QString Picture(const QString& name, int width, int height, QColor colour = Qt::gray)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(dir.filePath(name)));
        return dir.filePath(name);
    }
};

// The window with a small database.
class ConvertImageTest : public MakerTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteDatabase(dir.filePath("Standard.cdb"), SmallDatabase()).IsDone());
        NewWindow();
    }
};

} // namespace

TEST_F(MakerTest, StartUpModeFollowsTheDatabaseFile)
{
    const QString path = dir.filePath("Standard.cdb");
    ASSERT_TRUE(WriteDatabase(path, SmallDatabase()).IsDone());
    const QByteArray whole = ReadAll(path), cut = QByteArray(20, '\0') + QByteArray("\x40\x81\0\0", 4);
    for (const std::optional<QByteArray>& file :
         {std::optional(whole), std::optional(cut), std::optional<QByteArray>()}) {
        ASSERT_TRUE(file ? WriteAll(path, *file) : QFile::remove(path));
        const bool ready = file == whole, damaged = file == cut;
        NewWindow(false);
        ShownLog seen(
            [&] { return QString("%1 %2 %3").arg(w->isVisible()).arg(w->Command1->text(), w->Label1->text()); });
        w->Form_Load();
        EXPECT_EQ(std::pair(w->DatabaseReady, GlyphCount(w->GlyphBuckets)), std::pair(ready, size_t(ready ? 33 : 0)));
        // Loading shows in the window already shown with the caption of the mode it expects.
        EXPECT_EQ(seen.texts.filter("読込中"),
                  file ? QStringList{"1 画像ファイル変換 データベース読込中 :   0%"} : QStringList());
        EXPECT_EQ(w->Command1->text() + w->Label1->text(), ready ? "画像ファイル変換" : "データベース作成");
        EXPECT_EQ(std::tuple(w->CellSize, w->Variation, w->Brightness, w->Contrast), std::tuple(8, 5, 8.0f, 1.0f));
        ASSERT_EQ(answers.messages.size(), damaged ? 1u : 0u);
        if (damaged) { // named, and worded in Japanese alone
            QString text = answers.messages[0].first;
            EXPECT_TRUE(text.contains(path + " を読み込めません（最後の区切りの前でファイルが終わっています）"))
                << text.toStdString();
            EXPECT_FALSE(text.remove(path).contains(QRegularExpression("[A-Za-z]"))) << text.toStdString();
        }
        EXPECT_EQ(file.has_value() ? std::optional(ReadAll(path)) : std::nullopt, file) << "the file is left as it was";
    }
}

TEST_F(MakerTest, SettingsFollowTheControls)
{
    NewWindow();
    const float brightness[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    const float contrasts[] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f, 1.1f, 1.2f, 1.3f, 1.4f, 1.5f};
    const int variations[] = {0, 1, 2, 3, 4, 5, 6, 10, 20, 30, 50};
    for (int pos = 10; pos >= 0; --pos) {
        for (QSlider* slider : {w->Slider1, w->Slider2, w->Slider3})
            KeySlider(slider, pos);
        EXPECT_EQ(std::tuple(w->Brightness, w->Contrast, w->Variation),
                  std::tuple(brightness[pos], contrasts[pos], variations[pos]));
    }
    // The wheel over a slider moves it, and the setting with it.
    QWheelEvent wheel(QPointF(5, 5), w->Slider3->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w->Slider3, &wheel);
    EXPECT_EQ(std::pair(w->Slider3->value(), w->Variation), std::pair(1, 1));
    // The combo box's items from the last; no selection keeps the cell size.
    for (const auto& [index, size] : {std::pair(3, 32), {2, 16}, {1, 8}, {0, 4}, {-1, 4}}) {
        w->Combo1->setCurrentIndex(index);
        EXPECT_EQ(w->CellSize, size) << index;
    }

    // Only a Japanese fixed-pitch font gives the status line whole cells.
    const QFontMetrics status(w->Label1->font());
    EXPECT_EQ(status.horizontalAdvance(QStringLiteral("文")), 2 * status.horizontalAdvance(u'0'));
    // The picture box stays hidden, the icon is Pictoria's own, the keys start at the button.
    EXPECT_EQ(std::tuple(w->Picture2->isVisible(), w->windowIcon().availableSizes().isEmpty(), w->focusWidget()),
              std::tuple(false, false, w->Command1));
}

// The second and last measurement of the real font in the suite.
TEST_F(MakerTest, CreatesTheDatabaseShowingItsProgress)
{
    NewWindow(); // closed at once: nothing saved, nothing said
    QTimer::singleShot(0, w.get(), [&] { w->close(); });
    w->Command1->click();
    EXPECT_EQ(std::tuple(answers.messages.size(), QFile::exists(w->DatabasePath()), w->DatabaseReady),
              std::tuple(0u, false, false));

    NewWindow();
    // A picture opened before there is a database waits for it.
    answers.saveAnswer = dir.filePath("opened.txt");
    w->OpenPicture(TestData("ramp-96x64.png"));
    EXPECT_FALSE(QFile::exists(*answers.saveAnswer));
    ShownLog labels([&] { return w->Label1->text(); });
    struct CanvasLog : QObject { // the pictures Picture1 painted
        const PictureBox* box;
        std::set<qint64> shown;
        bool eventFilter(QObject*, QEvent* e) override
        {
            return e->type() == QEvent::Paint && shown.insert(box->Image().cacheKey()).second && false;
        }
    } canvas;
    canvas.box = w->Picture1;
    w->Picture1->installEventFilter(&canvas);
    w->Command1->click();

    EXPECT_EQ(std::tuple(w->DatabaseReady, w->Command1->text() + w->Label1->text(), answers.messages),
              std::tuple(true, "画像ファイル変換", Messages{{"データベース作成しました", "Inkgarden"}, kDone[0]}));
    EXPECT_EQ(ReadAll(*answers.saveAnswer).size(), 8 * 26) << "the waiting picture converted, no open dialog asked";
    EXPECT_EQ(labels.texts.value(0), QStringLiteral("データベース作成中 :   0%"));
    EXPECT_TRUE(labels.texts.contains(QStringLiteral("データベース作成中 :  97%")));
    EXPECT_TRUE(labels.texts.contains(QStringLiteral("データベース保存中 :   8%"))) << "slot 500, 498 of 6592 glyphs";
    EXPECT_GT(canvas.shown.size(), 6000u) << "each measured character is shown as it is drawn";
    EXPECT_EQ(QFileInfo(w->DatabasePath()).size(), 20 * (6592 + 17));
}

// The viewer runs in this process, rereading at every pass of the event loop.
TEST_F(ConvertImageTest, WritesRowsShowsProgressAndTheViewerShowsThemGrowing)
{
    answers.openAnswer = Picture("grey.bmp", 32, 32);
    answers.saveAnswer = dir.filePath(QStringLiteral("出力 picture")); // no extension added
    std::unique_ptr<Form1> viewer;
    std::vector<int> rowsSeen;
    answers.onLaunch = [&](const QString& argument) {
        ViewerServices services = ViewerServices::Real();
        services.rereadInterval = std::chrono::milliseconds(0);
        viewer = std::make_unique<Form1>(argument, services);
        EXPECT_TRUE(viewer->Form_Load());
        QObject::connect(viewer->Timer1, &QTimer::timeout, [&] {
            const int rows = int(viewer->Text1Text.count(QStringLiteral("\r\n")));
            if (rowsSeen.empty() || rowsSeen.back() != rows)
                rowsSeen.push_back(rows);
        });
    };
    ShownLog labels([&] { return w->Label1->text(); });
    w->Command1->click();

    ASSERT_EQ(answers.launches.size(), 1u);
    const auto& [program, argument, geometry] = answers.launches[0];
    EXPECT_EQ(std::pair(program, argument), std::pair(dir.filePath("Lumenpane"), *answers.saveAnswer));
    EXPECT_EQ(DecodeWindowGeometry(geometry).value_or(WindowGeometry{}).client, w->geometry())
        << "the viewer learns where the maker is";
    QStringList percents; // "文字絵作成中 : " the share " : " the character
    for (const QString& l : labels.texts.filter(QRegularExpression("^文字絵作成中 : .{6} : .$")))
        percents << l.mid(9, 6);
    EXPECT_EQ(percents.join('|'), "  0.0%|  6.3%| 12.5%| 18.8%| 25.0%| 31.3%| 37.5%| 43.8%| 50.0%| 56.3%| 62.5%| "
                                  "68.8%| 75.0%| 81.3%| 87.5%| 93.8%");
    EXPECT_EQ(std::pair(w->Label1->text(), answers.messages), std::pair(QString(), kDone));

    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->windowTitle(), "Inkwindow - " + *answers.saveAnswer);
    EXPECT_GT(rowsSeen.size(), 2u) << "rows appeared a few at a time";
    EXPECT_TRUE(std::is_sorted(rowsSeen.begin(), rowsSeen.end()));
    viewer->ReloadIfChanged();
    const QByteArray text = ReadAll(*answers.saveAnswer);
    ASSERT_EQ(std::pair(text.size(), text.mid(8, 2)), std::pair(qsizetype(4 * (8 + 2)), QByteArray("\r\n")));
    EXPECT_EQ(viewer->Text1Text, FromCp932(text)) << "never a half row, ending with the whole picture";

    answers.saveAnswer = dir.filePath("second.txt");
    w->Command1->click();
    EXPECT_NE(ReadAll(*answers.saveAnswer), text) << "a later conversion draws on a later stretch of the sequence";
}

// A slider dragged while a picture is converted: the positions it passes are
// never used; the one it is let go at counts from the next cell on, in a
// grid too small to be cut into bands.
TEST_F(ConvertImageTest, ASliderCountsWhereItIsLetGoFromTheNextCell)
{
    QImage ramp(64, 64, QImage::Format_RGB32); // 8 x 8 cells
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ramp.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
    ASSERT_TRUE(ramp.save(dir.filePath("ramp.png")));
    answers.openAnswer = dir.filePath("ramp.png");
    answers.saveAnswer = dir.filePath("out.txt");

    QSlider* slider = w->Slider1;
    const int y = slider->height() / 2, threeQuarters = slider->width() * 3 / 4;
    int cell = -1, releasedAfter = -1;
    std::vector<int> passed;
    auto moveTo = [&](int x) { QTest::mouseMove(slider, QPoint(x, y)), passed.push_back(slider->value()); };
    auto release = [&] { QTest::mouseRelease(slider, Qt::LeftButton, {}, {threeQuarters, y}), releasedAfter = cell; };
    // At the cell named, in the events after it: the press on the handle in
    // the middle, moves to both ends and back, the release.
    const std::vector<std::pair<int, std::function<void()>>> drag{
        {3, [&] { QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, y)); }},
        {6, [&] { moveTo(1); }},
        {9, [&] { moveTo(slider->width() - 2); }},
        {12, [&] { moveTo(threeQuarters); }},
        {15, release},
    };
    size_t next = 0;
    QTimer events;
    QObject::connect(&events, &QTimer::timeout, [&] {
        const QString shown = w->Label1->text();
        if (!shown.startsWith("文字絵作成中"))
            return;
        cell = qRound(shown.mid(9, 6).trimmed().chopped(1).toDouble() * 64 / 100);
        if (next < drag.size() && drag[next].first <= cell)
            drag[next++].second();
    });
    events.start(0);
    w->Command1->click();

    ASSERT_EQ(std::pair(next, passed.size()), std::pair(drag.size(), size_t(3)));
    EXPECT_EQ(std::tuple(passed[0], passed[1], slider->value()), std::tuple(0, 10, passed[2]));
    const ConversionSettings released{Settings::BrightnessAt(passed[2]), 1.0f, 5};
    EXPECT_EQ(w->Brightness, released.Brightness);
    int seen = 0;
    QByteArray expected;
    Rnd rnd; // the window's first conversion
    ConvertCells(ImagePixels(ramp), 8, GlyphTable(w->GlyphBuckets), rnd,
                 {[&] { return seen++ <= releasedAfter ? ConversionSettings{} : released; },
                  [&](const QByteArray& row) { return expected += row + "\r\n", true; },
                  {}});
    EXPECT_EQ(ReadAll(*answers.saveAnswer), expected) << "released after cell " << releasedAfter;
}

TEST_F(ConvertImageTest, DialogsFailuresAndOutputsThatWouldOverwriteAnInput)
{
    const QString out = dir.filePath("out.txt"), grey = Picture("grey.bmp", 32, 8), database = w->DatabasePath();
    const QByteArray greyBytes = ReadAll(grey), databaseBytes = ReadAll(database);
    ASSERT_TRUE(QFile::link(grey, dir.filePath("link.txt")));
    const std::nullopt_t none = std::nullopt;
    struct Case {
        std::optional<QString> open, save;
        QStringList messages;           // a fragment of each message, in order
        std::optional<QByteArray> text; // the output afterwards; nothing: not created
        int viewerFailure = 0;          // the system's errno value; 0: the viewer starts
    };
    // The system's reason in Japanese, never the C library's English.
    const QString noViewer = JapaneseErrnoText(ENOENT);
    const Case cases[] = {
        {none, out, {}, none},
        {grey, none, {}, none},
        {TestData("not-a-picture.jpg"), out, {}, none},
        {grey, dir.filePath("no-such-dir/out.txt"), {dir.filePath("no-such-dir/out.txt")}, none},
        {Picture("narrow.bmp", 7, 24), out, {"完了しました"}, "\r\n\r\n\r\n"},
        // A viewer that cannot start ends the run, the output created and empty.
        {grey, out, {dir.filePath("Lumenpane") + ": " + noViewer}, QByteArray(), ENOENT},
        {Picture("short.bmp", 40, 7), out, {"完了しました"}, QByteArray()},
        {grey, dir.filePath("link.txt"), {grey}, none},
        {grey, database, {"データベース"}, none},
    };
    for (const Case& c : cases) {
        const std::string what = c.save.value_or("(cancelled)").toStdString();
        QFile::remove(out);
        NewWindow();
        answers.openAnswer = c.open;
        answers.saveAnswer = c.save;
        answers.viewerFailure = c.viewerFailure;
        w->Command1->click();
        ASSERT_EQ(size_t(answers.messages.size()), size_t(c.messages.size())) << what;
        for (size_t i = 0; i < answers.messages.size(); ++i)
            EXPECT_TRUE(answers.messages[i].first.contains(c.messages[qsizetype(i)])) << what;
        EXPECT_EQ(answers.launches.size(), c.text ? 1u : 0u) << what;
        EXPECT_EQ(QFile::exists(out) ? std::optional(ReadAll(out)) : std::nullopt, c.text) << what;
        EXPECT_FALSE(w->Busy()) << what;
    }
    EXPECT_EQ(ReadAll(grey) + ReadAll(database), greyBytes + databaseBytes) << "the inputs are as they were";
}

TEST_F(ConvertImageTest, FullDiskKeepsWholeRowsAndALaterRunWorks)
{
    answers.openAnswer = Picture("wide.bmp", 800, 64); // rows of 402 bytes: 4096 is no whole number of them
    answers.saveAnswer = dir.filePath("out.txt");
    w->Combo1->setCurrentIndex(0);
    FileSizeLimit full(4096);
    w->Command1->click();
    full.Lift();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.contains(*answers.saveAnswer + ": " + JapaneseErrnoText(EFBIG)))
        << answers.messages[0].first.toStdString();
    EXPECT_EQ(ReadAll(*answers.saveAnswer).size(), 4096 / 402 * 402) << "whole rows only";

    answers.messages.clear();
    w->Command1->click();
    EXPECT_EQ(std::pair(ReadAll(*answers.saveAnswer).size(), answers.messages), std::pair(qsizetype(16 * 402), kDone));

    // The output's directory removed once the run has begun: no claim that rows remain.
    QDir gone(dir.filePath("gone"));
    ASSERT_TRUE(gone.mkpath("."));
    answers.saveAnswer = gone.filePath("out.txt");
    answers.onLaunch = [&](const QString&) { gone.removeRecursively(); };
    answers.messages.clear();
    w->Command1->click();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.startsWith("出力ファイルがなくなったため"))
        << answers.messages[0].first.toStdString();
}

// A picture dropped on the window goes straight to the save dialog (the open
// dialog would cancel the run).
TEST_F(ConvertImageTest, ADroppedPictureIsConverted)
{
    answers.saveAnswer = dir.filePath("dropped.txt");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(TestData("ramp-96x64.png"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.get(), &drop);
    EXPECT_TRUE(enter.isAccepted() && drop.isAccepted());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answers.messages.empty(); }));
    EXPECT_EQ(std::pair(ReadAll(*answers.saveAnswer).size(), answers.messages), std::pair(qsizetype(8 * 26), kDone));
}

TEST_F(ConvertImageTest, ClosingStopsTheConversion)
{
    answers.openAnswer = TestData("ramp-96x64.png");
    answers.saveAnswer = dir.filePath("closed.txt");
    QTimer::singleShot(0, w.get(), [&] { w->close(); });
    w->Command1->click();
    EXPECT_TRUE(w->Closed() && ReadAll(*answers.saveAnswer).size() < 8 * 26);
}
