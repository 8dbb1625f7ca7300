#include "engine/DatabaseFile.h"
#include "tests/WindowTestSupport.h"

#include <QFile>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Counts paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

TEST(CreateDatabase, BuildsWritesAndSwitchesToConversion)
{
    QTemporaryDir dir;
    MakerAnswers answers;
    frmMain w(dir.path());
    w.Form_Load();
    ASSERT_FALSE(w.DatabaseReady);

    // Pending events run at every progress point: a zero timer sees each label text.
    QStringList labels;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (labels.isEmpty() || labels.back() != w.Label1->text())
            labels << w.Label1->text();
    });
    sampler.start(0);
    PaintCounter counter;
    w.Picture1->installEventFilter(&counter);

    frmMain::ScreenRefreshMs = 0;
    w.Command1->click();
    frmMain::ScreenRefreshMs = 16;
    sampler.stop();

    EXPECT_TRUE(w.DatabaseReady);
    EXPECT_EQ(w.Command1->text(), QStringLiteral("画像ファイル変換"));
    EXPECT_TRUE(w.Label1->text().isEmpty());
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].first, QStringLiteral("データベース作成しました"));
    EXPECT_EQ(answers.messages[0].second, QStringLiteral("Inkgarden"));

    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.front(), QStringLiteral("データベース作成中 :   0%"));
    EXPECT_TRUE(labels.contains(QStringLiteral("データベース作成中 :  97%")));
    EXPECT_TRUE(labels.contains(QStringLiteral("データベース作成中 :  50%")));
    EXPECT_FALSE(labels.filter(QStringLiteral("データベース保存中 : ")).isEmpty());
    EXPECT_GT(counter.paints, 6000) << "each measured character is shown as it is drawn";

    const size_t glyphs = GlyphCount(w.GlyphBuckets);
    EXPECT_EQ(QFileInfo(w.DatabasePath()).size(), 20 * qint64(glyphs + 17));

    // A click now converts, and the next start loads the same buckets.
    frmMain next(dir.path());
    next.Form_Load();
    EXPECT_TRUE(next.DatabaseReady);
    for (int b = 0; b < kBucketCount; ++b) {
        ASSERT_EQ(next.GlyphBuckets[b].size(), w.GlyphBuckets[b].size());
        for (size_t i = 0; i < w.GlyphBuckets[b].size(); ++i)
            EXPECT_EQ(next.GlyphBuckets[b][i]->AsciiNo, w.GlyphBuckets[b][i]->AsciiNo);
    }
}

TEST(CreateDatabase, MissingFontCreatesNothing)
{
    QTemporaryDir dir;
    MakerAnswers answers;
    frmMain w(dir.path());
    w.Form_Load();
    w.GlyphFontFile = dir.filePath("no-such-font.ttf");
    w.Command1->click();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.contains(QStringLiteral("fonts-ipafont-gothic")));
    EXPECT_FALSE(w.DatabaseReady);
    EXPECT_EQ(GlyphCount(w.GlyphBuckets), 0u);
    EXPECT_FALSE(QFile::exists(w.DatabasePath()));
}

TEST(CreateDatabase, UnwritableLocationStillServesThisRun)
{
    QTemporaryDir dir;
    // The program directory is a plain file, so nothing can be written below it.
    const QString notADir = dir.filePath("program");
    QFile f(notADir);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    // Neither beside the program nor in the user's data directory.
    qputenv("XDG_DATA_HOME", (notADir + "/data").toLocal8Bit());
    MakerAnswers answers;
    frmMain w(notADir);
    w.Form_Load();
    w.Command1->click();
    const QString path = w.DatabasePath();
    qunsetenv("XDG_DATA_HOME");
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.contains(path)) << answers.messages[0].first.toStdString();
    EXPECT_TRUE(w.DatabaseReady);
    EXPECT_EQ(w.Command1->text(), QStringLiteral("画像ファイル変換"));
    EXPECT_GT(GlyphCount(w.GlyphBuckets), 6000u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no partial file left";
}

TEST(CreateDatabase, ClosingTheWindowStopsTheRun)
{
    QTemporaryDir dir;
    MakerAnswers answers;
    frmMain w(dir.path());
    w.Form_Load();
    QTimer::singleShot(0, &w, [&] { w.close(); });
    w.Command1->click();
    EXPECT_TRUE(w.Closed());
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_FALSE(QFile::exists(w.DatabasePath()));
    EXPECT_FALSE(w.DatabaseReady);
}
