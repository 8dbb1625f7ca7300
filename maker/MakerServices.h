// SPDX-License-Identifier: MIT
// What frmMain asks of the world outside its window: message boxes, the file
// dialogs, starting the viewer, and how often the screen and the event loop
// are served during a run. The real ones by default; tests give their own.
#pragma once

#include "common/Outcome.h"

#include <QMessageBox>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class CommonDialog;
class QWidget;

inline const QString kViewerProgramName = QStringLiteral("Lumenpane");

struct MakerServices {
    // Shows a message box with an OK button and waits for it.
    std::function<void(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)> message;
    // Shows the open (save false) or save dialog as set up in dialog: the
    // chosen file, or nothing after a cancel.
    std::function<std::optional<QString>(QWidget* parent, const CommonDialog& dialog, bool save)> chooseFile;
    // Starts program with the one argument, handing it the maker's window
    // geometry (EncodeWindowGeometry) so that it can open beside it. A
    // failure names the program and the system's reason.
    std::function<Outcome(const QString& program, const QString& argument, const QString& makerGeometry)> startViewer;

    // Least time between two looks of Picture1 while measuring and two
    // progress texts of a conversion: a repaint per character or cell costs
    // more than the work itself, and no screen shows it anyway.
    std::chrono::milliseconds screenRefresh{16};
    // Least time between two passes of the event loop during a conversion:
    // even an empty pass costs half as much as choosing a character.
    std::chrono::microseconds eventInterval{1000};

    // The real services: Qt's message boxes and file dialogs, a detached process.
    static MakerServices Real();
};
