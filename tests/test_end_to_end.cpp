// SPDX-License-Identifier: MIT
// The maker converts a picture while a viewer started on its output shows the
// rows written so far.
#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "maker/frmMain.h"
#include "tests/MakerAnswers.h"
#include "tests/TestSupport.h"
#include "viewer/Form1.h"

#include <QTemporaryDir>

TEST(EndToEnd, ViewerShowsThePictureGrowing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(WriteDatabase(dir.filePath("Standard.cdb"), SmallDatabase()).IsDone());
    const QString output = dir.filePath(QStringLiteral("文字絵 out.txt"));

    // The viewer runs in this process, rereading at every pass of the event loop.
    std::unique_ptr<Form1> viewer;
    std::vector<int> rowsSeen;
    MakerAnswers answers;
    answers.openAnswer = TestData("ramp-96x64.png");
    answers.saveAnswer = output;
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
    frmMain maker(dir.path(), answers.Services());
    maker.Form_Load();
    maker.Combo1->setCurrentIndex(0); // 24 x 16 cells
    maker.Command1->click();

    ASSERT_TRUE(viewer);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Inkwindow - ") + output);
    ASSERT_GT(rowsSeen.size(), 3u) << "rows appeared a few at a time";
    EXPECT_TRUE(std::is_sorted(rowsSeen.begin(), rowsSeen.end()));
    viewer->ReloadIfChanged();
    const QByteArray bytes = ReadAll(output);
    EXPECT_EQ(bytes.count("\r\n"), 16);
    EXPECT_EQ(viewer->Text1Text, FromCp932(bytes)) << "never a half row, ending with the whole picture";
}
