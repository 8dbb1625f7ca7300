// SPDX-License-Identifier: MIT
// Where "Standard.cdb" lives. Beside the program when it is there or when the
// program's directory is writable; otherwise (an installed program) in the
// user's data directory, $XDG_DATA_HOME/Pictoria (~/.local/share/Pictoria).
#pragma once

#include "common/Outcome.h"

#include <QString>

QString DatabaseLocation(const QString& programDir);

// The user's data directory for the database.
QString UserDatabaseDirectory();

// Creates the directory that is to hold the database file, if missing. A
// failure names the database file and the reason.
Outcome PrepareDatabaseDirectory(const QString& databasePath);
