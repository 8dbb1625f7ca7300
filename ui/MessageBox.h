// SPDX-License-Identifier: MIT
// Message boxes with an OK button only, as both programs show them.
#pragma once

#include <QMessageBox>
#include <QString>

// Shows text in a modal box under caption and waits for OK.
void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon);
