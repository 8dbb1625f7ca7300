#include "engine/DatabaseFile.h"
#include "engine/ImageLoading.h"
#include "tests/TestSupport.h"
#include "tests/WindowTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A maker window with a small database, its dialogs, message boxes and viewer
// answers.launches answered by the test.
class ConvertImageTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MakerAnswers answers;
    std::unique_ptr<frmMain> w;

    void SetUp() override
    {
        GlyphBucketArray buckets;
        for (int b = 0; b < kBucketCount; ++b)
            buckets[b] = {MakeGlyph(0x889F + b * 2, b + 0.3f), MakeGlyph(0x88A0 + b * 2, b + 0.5f)};
        buckets[15].push_back(MakeGlyph(0x8140, 15.96f));
        ASSERT_TRUE(WriteDatabase(dir.filePath("Standard.cdb"), buckets).ok);
        frmMain::ScreenRefreshMs = 0;
        frmMain::EventIntervalUs = 0;
        w = std::make_unique<frmMain>(dir.path());
        w->Form_Load();
        ASSERT_TRUE(w->DatabaseReady);
    }

    void TearDown() override
    {
        frmMain::ScreenRefreshMs = 16;
        frmMain::EventIntervalUs = 1000;
    }

    QString Picture(const QString& name, int width, int height, QColor colour = Qt::gray)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }
};

} // namespace

TEST_F(ConvertImageTest, WritesRowsShowsProgressAndStartsTheViewer)
{
    answers.openAnswer = Picture("two by two.bmp", 16, 16);
    answers.saveAnswer = dir.filePath(QStringLiteral("出力 picture")); // no extension added
    QStringList labels;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (labels.isEmpty() || labels.back() != w->Label1->text())
            labels << w->Label1->text();
    });
    sampler.start(0);
    w->Command1->click();
    sampler.stop();

    ASSERT_EQ(answers.launches.size(), 1u);
    EXPECT_EQ(answers.launches[0].first, dir.filePath("Lumenpane"));
    EXPECT_EQ(answers.launches[0].second, *answers.saveAnswer);
    const QByteArray text = ReadAll(*answers.saveAnswer);
    ASSERT_EQ(text.size(), 2 * (4 + 2));
    EXPECT_TRUE(text.endsWith("\r\n"));
    EXPECT_EQ(text.mid(4, 2), QByteArray("\r\n"));

    QStringList percents;
    static const QRegularExpression shape(QStringLiteral("^文字絵作成中 : (.{6}) : (.)$"));
    for (const QString& l : labels) {
        const auto m = shape.match(l);
        if (m.hasMatch())
            percents << m.captured(1);
    }
    EXPECT_EQ(percents, (QStringList{"  0.0%", " 25.0%", " 50.0%", " 75.0%"}));
    EXPECT_TRUE(w->Label1->text().isEmpty());
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].first, QStringLiteral("完了しました"));
}

TEST_F(ConvertImageTest, CancelInEitherDialogEndsSilently)
{
    answers.openAnswer.reset();
    w->Command1->click();
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_TRUE(answers.launches.empty());

    answers.openAnswer = Picture("a.bmp", 16, 16);
    answers.saveAnswer.reset();
    w->Command1->click();
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_TRUE(answers.launches.empty());
    EXPECT_EQ(w->Picture2->ScaleWidth(), 16) << "the picture stays loaded";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2) << "no file was created";

    // A file that is not a picture ends the run silently too.
    QFile bogus(dir.filePath("bogus.jpg"));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a picture");
    bogus.close();
    answers.openAnswer = bogus.fileName();
    answers.saveAnswer = dir.filePath("never.txt");
    w->Command1->click();
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_FALSE(QFile::exists(*answers.saveAnswer));
}

TEST_F(ConvertImageTest, FallbackAndPicturesSmallerThanACell)
{
    // Pure black cells: bucket 0 is emptied, so the ideographic space stands in.
    w->GlyphBuckets[0].clear();
    answers.openAnswer = Picture("black.bmp", 16, 8, Qt::black);
    answers.saveAnswer = dir.filePath("black.txt");
    w->Command1->click();
    EXPECT_EQ(ReadAll(*answers.saveAnswer), QByteArray("\x81\x40\x81\x40\r\n"));

    answers.openAnswer = Picture("narrow.bmp", 7, 24);
    answers.saveAnswer = dir.filePath("narrow.txt");
    w->Command1->click();
    EXPECT_EQ(ReadAll(*answers.saveAnswer), QByteArray("\r\n\r\n\r\n"));

    // An existing output is emptied; one shorter than a cell stays at 0 bytes.
    answers.openAnswer = Picture("short.bmp", 40, 7);
    w->Command1->click();
    EXPECT_EQ(ReadAll(*answers.saveAnswer), QByteArray());
    EXPECT_EQ(answers.launches.size(), 3u);
    EXPECT_EQ(answers.messages.size(), 3u);
    EXPECT_EQ(answers.messages.back().first, QStringLiteral("完了しました"));
}

TEST_F(ConvertImageTest, FailuresAreReportedAndTheWindowStaysUsable)
{
    answers.openAnswer = Picture("p.bmp", 32, 32);
    answers.saveAnswer = dir.filePath("no-such-dir/out.txt");
    w->Command1->click();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.contains(*answers.saveAnswer)) << answers.messages[0].first.toStdString();
    EXPECT_TRUE(answers.launches.empty()) << "nothing to show";

    // A viewer that cannot start is reported, and the picture is still written.
    answers.viewerStarts = false;
    answers.saveAnswer = dir.filePath("out.txt");
    w->Command1->click();
    ASSERT_EQ(answers.messages.size(), 3u);
    EXPECT_TRUE(answers.messages[1].first.contains(dir.filePath("Lumenpane")));
    EXPECT_EQ(answers.messages[2].first, QStringLiteral("完了しました"));
    EXPECT_EQ(ReadAll(*answers.saveAnswer).size(), 4 * (8 + 2));
    EXPECT_FALSE(w->Busy());
}

TEST_F(ConvertImageTest, CellSizeHoldsForTheRunAndGeneratorGoesOn)
{
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
    answers.openAnswer = dir.filePath("ramp.bmp");
    ASSERT_TRUE(image.save(*answers.openAnswer));
    w->Slider3->setValue(10); // variation 50

    // Changing the cell size during the run takes effect at the next run.
    w->Combo1->setCurrentIndex(1);
    answers.saveAnswer = dir.filePath("first.txt");
    QTimer::singleShot(0, w.get(), [&] { w->Combo1->setCurrentIndex(0); });
    w->Command1->click();
    EXPECT_EQ(ReadAll(*answers.saveAnswer).size(), 8 * (16 + 2));
    EXPECT_EQ(w->CellSize, 4);

    w->Combo1->setCurrentIndex(1);
    answers.saveAnswer = dir.filePath("second.txt");
    w->Command1->click();
    EXPECT_NE(ReadAll(dir.filePath("first.txt")), ReadAll(*answers.saveAnswer))
        << "a later conversion draws on a later stretch of the sequence";
}

TEST_F(ConvertImageTest, ClosingDuringARunStopsIt)
{
    answers.openAnswer = Picture("big.bmp", 64, 64);
    answers.saveAnswer = dir.filePath("closed.txt");
    QTimer::singleShot(0, w.get(), [&] { w->close(); });
    w->Command1->click();
    EXPECT_TRUE(w->Closed());
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_LT(ReadAll(*answers.saveAnswer).size(), 8 * 18);
}

TEST(ImageLoading, FormatsTransparencyAndCase)
{
    QTemporaryDir dir;
    QImage rgba(10, 6, QImage::Format_ARGB32);
    rgba.fill(Qt::transparent);
    rgba.setPixel(1, 1, qRgba(0, 0, 0, 255));
    ASSERT_TRUE(rgba.save(dir.filePath("IMG_0001.PNG"), "PNG"));
    const QImage flat = LoadImageOverWhite(dir.filePath("IMG_0001.PNG"));
    ASSERT_FALSE(flat.isNull());
    EXPECT_EQ(flat.pixel(0, 0), qRgb(255, 255, 255)) << "transparent reads as white";
    EXPECT_EQ(flat.pixel(1, 1), qRgb(0, 0, 0));

    // Content decides, whatever the name says.
    QImage jpeg(8, 8, QImage::Format_RGB32);
    jpeg.fill(Qt::white);
    ASSERT_TRUE(jpeg.save(dir.filePath("photo.JPG"), "JPEG"));
    ASSERT_TRUE(jpeg.save(dir.filePath("misnamed.gif"), "JPEG"));
    EXPECT_FALSE(LoadImageOverWhite(dir.filePath("photo.JPG")).isNull());
    EXPECT_FALSE(LoadImageOverWhite(dir.filePath("misnamed.gif")).isNull());

    const QString shared = qEnvironmentVariable("PICTORIA_SHARED_IMAGES");
    if (QFileInfo::exists(shared + "/chelsea.gif")) {
        const QImage gif = LoadImageOverWhite(shared + "/chelsea.gif");
        const QImage bmp = LoadImageOverWhite(shared + "/chelsea.bmp");
        EXPECT_EQ(gif.size(), QSize(451, 300));
        EXPECT_EQ(bmp.size(), QSize(451, 300));
    }

    // The open dialog lists pictures whatever the case of their extension.
    const QStringList filters = CommonDialog::NameFilters(QStringLiteral("画像ファイル |*.jpg;*.jpeg;*.bmp;*.gif"));
    ASSERT_EQ(filters.size(), 1);
    const QStringList patterns = filters[0].section(u'(', 1).chopped(1).split(u' ');
    auto listed = [&](const QString& name) {
        return std::any_of(patterns.begin(), patterns.end(), [&](const QString& p) {
            return QRegularExpression(QRegularExpression::wildcardToRegularExpression(p)).match(name).hasMatch();
        });
    };
    EXPECT_TRUE(listed("IMG_0001.JPG"));
    EXPECT_TRUE(listed("b.Bmp"));
    EXPECT_TRUE(listed("c.gif"));
    EXPECT_FALSE(listed("notes.txt"));
}

TEST(ImageLoading, PhotosBeyondQtsDefaultLimitLoad)
{
    // 8000 x 6000 is 192 MB of pixels, above Qt's default limit of 128 MB.
    QTemporaryDir dir;
    QImage big(8000, 6000, QImage::Format_RGB32);
    big.fill(Qt::darkGray);
    const QString path = dir.filePath("big.png");
    ASSERT_TRUE(big.save(path, "PNG", 0));
    const QImage loaded = LoadImageOverWhite(path);
    EXPECT_EQ(loaded.size(), QSize(8000, 6000));
}
