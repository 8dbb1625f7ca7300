// SPDX-License-Identifier: MIT
// Message boxes with an OK button only, as both programs show them.
#pragma once

#include <QMessageBox>
#include <QString>

// Narrowest box that still shows a caption whole under a window manager with
// the usual title buttons.
inline constexpr int kMinimumMessageBoxWidth = 260;

// Sets box up as both programs show it: wide enough for its caption, a margin
// around its text, in front and with the keyboard focus on OK.
void PrepareMessageBox(QMessageBox& box);

// Shows text in a modal box under caption and waits for OK.
void ShowMessage(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon);
