// SPDX-License-Identifier: MIT
// What pictoria-convert says on standard error: errors, notes and a progress
// line redrawn in place, every name and reason made safe for the terminal.
#pragma once

#include "cli/ConvertCommand.h"
#include "common/PrintableText.h"
#include "common/Throttle.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdio>

inline constexpr const char* kProgramName = "pictoria-convert";

class Reporter {
public:
    explicit Reporter(const CommandIo& io) : io_(io) {}

    void Error(const QString& text) const
    {
        ClearLine();
        std::fprintf(io_.err, "%s: %s\n", kProgramName, qPrintable(PrintableText(text)));
    }

    // A progress line redrawn in place, at most ten times a second.
    void Progress(const QString& label, double percent)
    {
        if (!showProgress || !io_.errIsTerminal || !pace_.Due())
            return;
        constexpr int kBar = 30;
        const int filled = std::clamp(int(percent / 100 * kBar), 0, kBar);
        std::fprintf(io_.err, "\r%5.1f%% [%s%s] %s\033[K", percent, QByteArray(filled, '#').constData(),
                     QByteArray(kBar - filled, ' ').constData(), qPrintable(PrintableText(label)));
        std::fflush(io_.err);
        lineOpen_ = true;
    }

    void Note(const QString& text) const
    {
        if (!showProgress)
            return;
        ClearLine();
        std::fprintf(io_.err, "%s\n", qPrintable(PrintableText(text)));
    }

    void ClearLine() const
    {
        if (lineOpen_) {
            std::fprintf(io_.err, "\r\033[K");
            lineOpen_ = false;
        }
    }

    bool showProgress = true;

private:
    const CommandIo& io_;
    Throttle pace_{std::chrono::milliseconds(100)};
    mutable bool lineOpen_ = false;
};
