// SPDX-License-Identifier: MIT
// Window helpers of both programs: message boxes, Qt's Japanese texts, where
// the viewer opens.
#include "ui/MessageBox.h"
#include "ui/Translations.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(MessageBox, WideEnoughForItsCaptionAndAnsweredByEnter)
{
    const QString captions[] = {QStringLiteral("Inkgarden"), QStringLiteral("A rather long caption of a message box")};
    for (const QString& caption : captions) {
        QMessageBox box(QMessageBox::NoIcon, caption, QStringLiteral("完了しました"), QMessageBox::Ok);
        PrepareMessageBox(box);
        int shownWidth = 0;
        QTimer::singleShot(0, &box, [&] {
            shownWidth = box.width();
            QTest::keyClick(&box, Qt::Key_Return);
        });
        EXPECT_EQ(box.exec(), QMessageBox::Ok);
        const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
        EXPECT_GE(shownWidth, std::max(kMinimumMessageBoxWidth, title.horizontalAdvance(caption)))
            << caption.toStdString();
    }
}

TEST(Translations, QtsOwnTextsAreJapanese)
{
    ASSERT_TRUE(InstallJapaneseQtTranslations(*QApplication::instance())) << "qt6-translations-l10n must be installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
}

TEST(WindowPlacement, BesideTheMakerOnItsScreen)
{
    const QRect screen(0, 0, 1280, 800);
    const QSize viewer(640, 520);
    struct Case {
        QRect maker;
        std::optional<QPoint> at;
    };
    const Case cases[] = {
        {{100, 50, 280, 250}, QPoint(380, 50)},      // room on the right
        {{900, 50, 280, 250}, QPoint(260, 50)},      // only on the left
        {{500, 50, 280, 250}, std::nullopt},         // neither: the platform chooses
        {{100, 600, 280, 250}, QPoint(380, 280)},    // kept on the screen's height
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlaceBeside(c.maker, viewer, screen), c.at) << c.maker.x() << "," << c.maker.y();

    const WindowGeometry g{QRect(10, 20, 300, 260), QRect(12, 45, 296, 233)};
    const std::optional<WindowGeometry> back = DecodeWindowGeometry(EncodeWindowGeometry(g));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->frame, g.frame);
    EXPECT_EQ(back->client, g.client);
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5,6,7,x", "0,0,0,0,0,0,0,0"})
        EXPECT_FALSE(DecodeWindowGeometry(bad)) << bad;
}
