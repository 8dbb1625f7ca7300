#include "engine/DatabaseFile.h"
#include "tests/TestSupport.h"
#include "tests/WindowTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Counts LoadDatabase calls and what the window showed at that moment.
class ObservedMain : public frmMain {
public:
    using frmMain::frmMain;
    int loads = 0;
    bool visibleAtLoad = false;
    QString captionAtLoad;
    void LoadDatabase() override
    {
        ++loads;
        visibleAtLoad = isVisible();
        captionAtLoad = Command1->text();
        frmMain::LoadDatabase();
    }
};

} // namespace

TEST(frmMain, StartsInCreateModeWithoutDatabase)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Standard.cdb")); // a directory is not a database
    ObservedMain w(dir.path());
    w.Form_Load();
    EXPECT_EQ(w.windowTitle(), "Inkgarden");
    EXPECT_EQ(w.Command1->text(), QStringLiteral("データベース作成"));
    EXPECT_FALSE(w.DatabaseReady);
    EXPECT_EQ(w.loads, 0);
    EXPECT_EQ(w.CellSize, 8);
    EXPECT_EQ(w.Variation, 5);
    EXPECT_EQ(w.Brightness, 8.0f);
    EXPECT_EQ(w.Contrast, 1.0f);
    EXPECT_EQ(GlyphCount(w.GlyphBuckets), 0u);
    EXPECT_TRUE(w.Label1->text().isEmpty());
    EXPECT_EQ(w.Combo1->currentText(), QStringLiteral("８ピクセル四方／文字"));
}

TEST(frmMain, LoadsTheDatabaseOnceAfterShowingConvertCaption)
{
    QTemporaryDir dir;
    GlyphBucketArray buckets;
    buckets[3] = {MakeGlyph(0x889F, 3.5f), MakeGlyph(0x88A0, 3.6f)};
    buckets[15] = {MakeGlyph(0x8140, 15.96f)};
    ASSERT_TRUE(WriteDatabase(dir.filePath("Standard.cdb"), buckets).ok);

    ObservedMain w(dir.path());
    w.Form_Load();
    EXPECT_EQ(w.loads, 1);
    EXPECT_TRUE(w.visibleAtLoad);
    EXPECT_EQ(w.captionAtLoad, QStringLiteral("画像ファイル変換"));
    EXPECT_TRUE(w.DatabaseReady);
    ASSERT_EQ(w.GlyphBuckets[3].size(), 2u);
    EXPECT_EQ(w.GlyphBuckets[3][0]->AsciiNo, 0x889F);
    EXPECT_EQ(w.GlyphBuckets[3][1]->AsciiNo, 0x88A0);
    EXPECT_EQ(w.GlyphBuckets[15][0]->AsciiNo, 0x8140);
    EXPECT_TRUE(w.Label1->text().isEmpty());
}

TEST(frmMain, DamagedDatabaseFallsBackToCreateModeAndStaysUntouched)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Standard.cdb");
    ASSERT_TRUE(WriteAll(path, QByteArray(20, '\0') + QByteArray("\x40\x81\0\0", 4))); // cut short
    MakerAnswers answers;
    frmMain w(dir.path());
    w.Form_Load();
    EXPECT_FALSE(w.DatabaseReady);
    EXPECT_EQ(w.Command1->text(), QStringLiteral("データベース作成"));
    EXPECT_EQ(GlyphCount(w.GlyphBuckets), 0u);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(answers.messages[0].first.contains(path));
    EXPECT_EQ(QFileInfo(path).size(), 24);
}

TEST(frmMain, SettingsFollowTheControls)
{
    QTemporaryDir dir;
    frmMain w(dir.path());
    w.Form_Load();

    w.Slider1->setValue(0);
    EXPECT_EQ(w.Brightness, 3.0f);
    w.Slider1->setValue(10);
    EXPECT_EQ(w.Brightness, 13.0f);

    const float contrasts[] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f, 1.1f, 1.2f, 1.3f, 1.4f, 1.5f};
    const int variations[] = {0, 1, 2, 3, 4, 5, 6, 10, 20, 30, 50};
    for (int pos = 10; pos >= 0; --pos) {
        w.Slider2->setValue(pos);
        w.Slider3->setValue(pos);
        EXPECT_EQ(w.Contrast, contrasts[pos]) << pos;
        EXPECT_EQ(w.Variation, variations[pos]) << pos;
    }

    const int sizes[] = {4, 8, 16, 32};
    for (int i = 3; i >= 0; --i) {
        w.Combo1->setCurrentIndex(i);
        EXPECT_EQ(w.CellSize, sizes[i]);
    }
    w.Combo1->setCurrentIndex(-1);
    EXPECT_EQ(w.CellSize, 4) << "no selection keeps the cell size";
}

TEST(frmMain, JapaneseCaptionsGetAJapaneseFont)
{
    QTemporaryDir dir;
    frmMain w(dir.path());
    w.Form_Load();
    // fontconfig answers a missing family with a Latin font that has no kana.
    const QStringList japanese = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック"),
                                  QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")};
    for (QWidget* c : std::initializer_list<QWidget*>{&w, w.Command1, w.Label1, w.Label4, w.Combo1}) {
        const QString family = QFontInfo(c->font()).family();
        EXPECT_TRUE(japanese.contains(family)) << family.toStdString();
    }
    // The status line needs columns that line up: full width is twice half width.
    const QFontMetrics status(w.Label1->font());
    EXPECT_EQ(status.horizontalAdvance(u'i'), status.horizontalAdvance(u'W'));
    EXPECT_EQ(status.horizontalAdvance(QStringLiteral("文")), 2 * status.horizontalAdvance(u'0'));
    EXPECT_FALSE(w.Picture2->isVisible());
    EXPECT_FALSE(w.windowIcon().isNull());
}
