// SPDX-License-Identifier: MIT
// Window helpers of both programs: fonts, message boxes, Qt's Japanese texts, where
// the viewer opens.
#include "ui/JapaneseFont.h"
#include "ui/MessageBox.h"
#include "ui/Translations.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

// The boxes speak Japanese, Qt's own buttons too, and show their whole caption.
TEST(MessageBox, JapaneseAndWideEnoughForItsCaption)
{
    ASSERT_TRUE(InstallJapaneseQtTranslations(*QApplication::instance())) << "qt6-translations-l10n must be installed";
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    for (const QString caption : {"Inkgarden", "A rather long caption of a message box"}) {
        QMessageBox box(QMessageBox::NoIcon, caption, QStringLiteral("完了しました"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        PrepareMessageBox(box);
        box.show();
        EXPECT_GE(box.width(), std::max(kMinimumMessageBoxWidth, title.horizontalAdvance(caption)))
            << caption.toStdString();
        EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "キャンセル");
    }
}

TEST(JapaneseFont, AJapaneseFamilyWithWholeCellsAtEverySizeOffered)
{
    // fontconfig answers a missing family with a Latin font that has no kana.
    const QStringList japanese = {"ＭＳ Ｐゴシック", "ＭＳ ゴシック", "IPAPGothic", "IPAGothic"};
    EXPECT_TRUE(japanese.contains(QFontInfo(JapaneseFont("ＭＳ Ｐゴシック", Pitch::Proportional, 9)).family()));
    for (const double points : {4, 6, 8, 9, 10, 12, 15}) {
        const QFont font = CellAlignedFont(JapaneseFont("ＭＳ ゴシック", Pitch::Fixed, points), points,
                                           QApplication::primaryScreen()->logicalDotsPerInchY());
        const QFontMetrics m(font);
        EXPECT_TRUE(japanese.contains(QFontInfo(font).family()) && std::abs(font.pointSizeF() - points) < 0.75);
        EXPECT_EQ(m.horizontalAdvance("■亜 a"), 6 * m.horizontalAdvance(u'a')) << points << " pt: cells of two columns";
    }
}

TEST(WindowPlacement, BesideTheMakerOnItsScreen)
{
    // Room on the right; only on the left; neither (the platform chooses); kept on the screen's height.
    const std::pair<QRect, std::optional<QPoint>> cases[] = {{{100, 50, 280, 250}, QPoint(380, 50)},
                                                             {{900, 50, 280, 250}, QPoint(260, 50)},
                                                             {{500, 50, 280, 250}, std::nullopt},
                                                             {{100, 600, 280, 250}, QPoint(380, 280)}};
    for (const auto& [maker, at] : cases)
        EXPECT_EQ(PlaceBeside(maker, QSize(640, 520), QRect(0, 0, 1280, 800)), at) << maker.x() << "," << maker.y();
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5,6,7,x", "0,0,0,0,0,0,0,0"})
        EXPECT_FALSE(DecodeWindowGeometry(bad)) << bad;
}
