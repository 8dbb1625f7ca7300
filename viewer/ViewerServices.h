// SPDX-License-Identifier: MIT
// What Form1 asks of the world outside its window: message boxes, reading the
// picture file, and how often it looks at the file. The real ones by default;
// tests give their own.
#pragma once

#include "viewer/TextPictureFile.h"

#include <QMessageBox>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

struct ViewerServices {
    // Shows a message box with an OK button and waits for it.
    std::function<void(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)> message;
    // Reads the whole picture file; nothing when it cannot be read. Large
    // files are read on a worker thread, so it must not touch the window.
    std::function<std::optional<TextPicture>(const QString& path)> readPicture;
    // Time between two looks at the file.
    std::chrono::milliseconds rereadInterval{10000};
    // The geometry of the maker's window that started the viewer, as
    // EncodeWindowGeometry gives it; empty when started otherwise.
    QString makerGeometry;

    static ViewerServices Real();
};
