// SPDX-License-Identifier: MIT
// pictoria-convert: text pictures from the command line, with the engine the
// window uses, so the same picture and settings give the same bytes.
#pragma once

#include "cli/ExitCodes.h"

#include <QString>
#include <QStringList>
#include <cstdio>

struct CommandIo {
    FILE* out = stdout;
    FILE* err = stderr;
    bool errIsTerminal = false; // progress bars only on a terminal
    FILE* in = stdin;           // the picture given as -
};

// args as main() gets them, the program's name first. programDir is where the
// window's database would be looked for.
int RunConvertCommand(const QStringList& args, const QString& programDir, const CommandIo& io);
