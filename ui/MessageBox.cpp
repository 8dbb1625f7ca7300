// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>

#include <algorithm>

namespace {

// Room the window manager takes beside a caption: icon and title buttons.
constexpr int kTitleBarExtras = 160;

} // namespace

void PrepareMessageBox(QMessageBox& box)
{
    // QMessageBox sizes itself to its text alone; a short text such as
    // "完了しました" would leave the caption cut to "…". A spacer across the
    // layout is the one width hint it honours.
    const QFontMetrics title(QApplication::font("QMdiSubWindowTitleBar"));
    const int width = std::max(kMinimumMessageBoxWidth, title.horizontalAdvance(box.windowTitle()) + kTitleBarExtras);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                      grid->columnCount());
    box.setContentsMargins(8, 8, 8, 4);
    box.setDefaultButton(QMessageBox::Ok);
    // In front of the viewer, which the maker started a moment ago, and ready for Enter.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
}

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    PrepareMessageBox(box);
    box.exec();
}
