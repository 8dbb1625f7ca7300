// SPDX-License-Identifier: MIT
// The converter's exit codes, and the one table that gives every failure its code.
#pragma once

#include "common/Outcome.h"

#include <optional>

enum ExitCode {
    kExitDone = 0,
    kExitUsage = 1,    // the command line is wrong, or an output would fall on an input
    kExitImage = 2,    // a picture cannot be read: missing, damaged, too large, or memory ran out
    kExitDatabase = 3, // the glyph database cannot be read, made or saved
    kExitOutput = 4,   // a text picture cannot be drawn or written
};

// What a failure is about.
enum class Subject { Picture, Database, Output };

// The exit code of outcome about subject; kExitDone for a done outcome.
int ExitCodeFor(Subject subject, const Outcome& outcome);
