// SPDX-License-Identifier: MIT
// Window helpers of both programs: fonts, message boxes, Qt's Japanese texts, where
// the viewer opens.
#include "ui/JapaneseFont.h"
#include "ui/JapaneseReason.h"
#include "ui/MessageBox.h"
#include "ui/Translations.h"
#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>

// Every kind of failure the windows show is worded in Japanese, with its
// numbers (no English words; units and names like MB and HOME stay); only an
// errno value nobody has worded falls back to English.
TEST(JapaneseReason, EveryKindInJapaneseWithItsNumbers)
{
    const std::pair<Outcome, const char*> cases[] = {
        {Outcome::FromErrno("/x", ENOENT), ""},
        {Outcome::FromErrno("/x", ENOSPC), ""},
        {Outcome::FromErrno("/x", EACCES), ""},
        {Outcome::FromErrno("/x", EFBIG), ""},
        {Outcome::Failed(FailureKind::NotRegular, "/x", "is a directory", {1}), "ディレクトリです"},
        {Outcome::Failed(FailureKind::NotRegular, "/x", "is not a regular file", {0}), "通常のファイルではありません"},
        {Outcome::Damaged(Damage::DatabaseEndsEarly, "/x", "the file ends before its last separator"),
         "最後の区切りの前でファイルが終わっています"},
        {Outcome::Damaged(Damage::DatabaseNotDoubleByte, "/x", "", {3, 0x8800}), "スロット 3 のコード 0x8800"},
        {Outcome::Damaged(Damage::DatabaseRepeatedCode, "/x", "", {2, 0x889f}), "スロット 2 でコード 0x889f"},
        {Outcome::Damaged(Damage::DatabaseTooLong, "/x", "", {1400000, 1380000}), "1,400,000 バイト"},
        {Outcome::Damaged(Damage::PictureEndsEarly, "/x", "the data ends before the last row"), "最後の行の前で"},
        {Outcome::Failed(FailureKind::TooLarge, "/x", "", {30000, 30000, 3433, 2048}),
         "30000 × 30000 ピクセルには 3,433 MB"},
        {Outcome::Failed(FailureKind::NoMemory, "/x", "", {20000, 20000}), "20000 × 20000 の画像"},
        {Outcome::Failed(FailureKind::NoFont, "/x.ttf", "not a readable font"), "フォント"},
        {Outcome::Failed(FailureKind::NoHome, "", ""), "ホームディレクトリがありません"},
    };
    for (const auto& [outcome, fragment] : cases) {
        const QString reason = JapaneseReason(outcome);
        EXPECT_TRUE(reason.contains(QString::fromUtf8(fragment)) && !reason.contains(QRegularExpression("[a-z]{3,}")))
            << outcome.Reason().toStdString() << " -> " << reason.toStdString();
    }
    EXPECT_EQ(JapaneseMessage(Outcome::FromErrno("/x", ENOENT)), "/x: " + JapaneseErrnoText(ENOENT));
    EXPECT_EQ(JapaneseErrnoText(4095), "エラー 4095（" + ErrnoText(4095) + "）");
}

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
