#include "DatabaseFile.h"
#include "MessageBox.h"
#include "frmMain.h"

#include <QDir>
#include <QFile>
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

struct Messages {
    std::vector<QString> texts;
    Messages()
    {
        SetMessageHook([this](const QString& text, const QString&) { texts.push_back(text); });
    }
    ~Messages() { SetMessageHook({}); }
};

std::shared_ptr<clsChr> Glyph(int32_t code, float level)
{
    auto g = std::make_shared<clsChr>();
    g->AsciiNo = code;
    g->TL = g->TR = g->BL = g->BR = level;
    return g;
}

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
    buckets[3].push_back(Glyph(0x889F, 3.5f));
    buckets[3].push_back(Glyph(0x88A0, 3.6f));
    buckets[15].push_back(Glyph(0x8140, 15.96f));
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
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(20, '\0') + QByteArray("\x40\x81\0\0", 4)); // cut short
    f.close();

    Messages messages;
    frmMain w(dir.path());
    w.Form_Load();
    EXPECT_FALSE(w.DatabaseReady);
    EXPECT_EQ(w.Command1->text(), QStringLiteral("データベース作成"));
    EXPECT_EQ(GlyphCount(w.GlyphBuckets), 0u);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].contains(path));
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
    for (int pos = 10; pos >= 0; --pos) {
        w.Slider2->setValue(pos);
        EXPECT_EQ(w.Contrast, float((pos - 5) * 0.1 + 1.0)) << pos;
        EXPECT_EQ(w.Contrast, contrasts[pos]) << pos;
    }
    w.Slider2->setValue(5);
    EXPECT_EQ(w.Contrast, 1.0f);

    const int variations[] = {0, 1, 2, 3, 4, 5, 6, 10, 20, 30, 50};
    for (int pos = 0; pos <= 10; ++pos) {
        w.Slider3->setValue(pos);
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

TEST(frmMain, LayoutAndJapaneseFonts)
{
    QTemporaryDir dir;
    frmMain w(dir.path());
    w.Form_Load();
    EXPECT_EQ(w.size(), QSize(273, 225));
    EXPECT_EQ(w.Command1->geometry(), QRect(8, 8, 177, 33));
    EXPECT_EQ(w.Picture1->geometry(), QRect(192, 12, 25, 25));
    EXPECT_EQ(w.Picture1->ScaleWidth(), 25);
    EXPECT_EQ(w.Combo1->geometry(), QRect(104, 60, 161, 21));
    EXPECT_EQ(w.Slider3->geometry(), QRect(104, 164, 157, 30));
    EXPECT_EQ(w.Label1->geometry(), QRect(4, 208, 269, 17));
    EXPECT_FALSE(w.Picture2->isVisible());
    EXPECT_EQ(w.Combo1->count(), 4);
    EXPECT_FALSE(w.Combo1->isEditable());
    EXPECT_EQ(w.Slider1->minimum(), 0);
    EXPECT_EQ(w.Slider1->maximum(), 10);

    const QStringList japanese = {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック"),
                                  QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")};
    for (QWidget* c : std::initializer_list<QWidget*>{&w, w.Command1, w.Label1, w.Label2, w.Label4, w.Combo1}) {
        const QString family = QFontInfo(c->font()).family();
        EXPECT_TRUE(japanese.contains(family)) << family.toStdString();
    }
    // The status line needs a font whose columns line up: full width is twice half width.
    const QFontMetrics status(w.Label1->font());
    EXPECT_EQ(status.horizontalAdvance(u'i'), status.horizontalAdvance(u'W'));
    EXPECT_EQ(status.horizontalAdvance(QStringLiteral("文")), 2 * status.horizontalAdvance(u'0'));
    EXPECT_TRUE(w.Command1->font().bold());
    EXPECT_FALSE(w.windowIcon().isNull());
}

TEST(frmMain, DispatchFollowsTheDatabaseFlag)
{
    QTemporaryDir dir;
    frmMain w(dir.path());
    w.Form_Load();
    EXPECT_FALSE(w.Busy());
    w.close();
    EXPECT_TRUE(w.Closed());
    w.Command1_Click(); // after closing, nothing runs
    EXPECT_FALSE(QFile::exists(dir.filePath("Standard.cdb")));
}
