// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
