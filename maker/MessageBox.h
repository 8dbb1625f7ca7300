// Message boxes with an OK button only. Tests install a hook that takes the
// message instead of showing a modal box.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

inline const QString kMakerTitle = QStringLiteral("Inkgarden");

using MessageHook = std::function<void(const QString& text, const QString& caption)>;
void SetMessageHook(MessageHook hook);

void ShowMessage(QWidget* parent, const QString& text, const QString& caption = kMakerTitle,
                 QMessageBox::Icon icon = QMessageBox::NoIcon);
