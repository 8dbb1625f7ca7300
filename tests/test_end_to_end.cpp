// The maker converts a picture while a viewer started on its output shows the
// rows written so far.
#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "viewer/Form1.h"
#include "tests/TestSupport.h"
#include "tests/WindowTestSupport.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(EndToEnd, ViewerShowsThePictureGrowing)
{
    QTemporaryDir dir;
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b].push_back(MakeGlyph(0x889F + b, b + 0.5f));
    ASSERT_TRUE(WriteDatabase(dir.filePath("Standard.cdb"), buckets).ok);
    QImage image(128, 128, QImage::Format_RGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            image.setPixel(x, y, qRgb(x * 2, x * 2, y * 2));
    const QString picture = dir.filePath("gradient.png");
    ASSERT_TRUE(image.save(picture));
    const QString output = dir.filePath(QStringLiteral("文字絵 out.txt"));

    // The viewer runs in this process, rereading at every pass of the event loop.
    Form1::TimerInterval = 0;
    frmMain::EventIntervalUs = 0;
    std::unique_ptr<Form1> viewer;
    std::vector<int> rowsSeen;
    {
        MakerAnswers answers;
        answers.openAnswer = picture;
        answers.saveAnswer = output;
        SetViewerHook([&](const QString& program, const QString& argument) {
            EXPECT_TRUE(program.endsWith("/Lumenpane"));
            viewer = std::make_unique<Form1>(argument);
            EXPECT_TRUE(viewer->Form_Load());
            QObject::connect(viewer->Timer1, &QTimer::timeout, [&] {
                const int rows = int(viewer->Text1Text.count(QStringLiteral("\r\n")));
                if (rowsSeen.empty() || rowsSeen.back() != rows)
                    rowsSeen.push_back(rows);
            });
            return true;
        });
        frmMain maker(dir.path());
        maker.Form_Load();
        maker.Combo1->setCurrentIndex(0); // 32 x 32 cells
        maker.Command1->click();
    }
    frmMain::EventIntervalUs = 1000;
    Form1::TimerInterval = 10000;

    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Inkwindow - ") + output);
    // Rows appeared a few at a time, never a half row, ending with the whole picture.
    ASSERT_GT(rowsSeen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(rowsSeen.begin(), rowsSeen.end()));
    viewer->ReloadIfChanged();
    const QByteArray bytes = ReadAll(output);
    EXPECT_EQ(bytes.count("\r\n"), 32);
    EXPECT_EQ(viewer->Text1Text, FromCp932(bytes));
}
