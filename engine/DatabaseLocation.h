// SPDX-License-Identifier: MIT
// Where "Standard.cdb" lives. Beside the program when it is there. Otherwise
// an installed program keeps it in the user's data directory,
// $XDG_DATA_HOME/Pictoria (~/.local/share/Pictoria), and never writes into its
// bin directory; a program run from where it was built (or copied anywhere
// else) keeps it beside itself when that directory is writable.
#pragma once

#include "common/Outcome.h"

#include <QString>

// The database's path; empty when it belongs in the user's data directory and
// the user has no home directory.
QString DatabaseLocation(const QString& programDir);

// True for a program that "cmake --install" (or its package) put in place: the
// installation leaves a marker in the data directory beside its bin directory.
bool IsInstalledProgram(const QString& programDir);

// The user's data directory for the database; empty without a home directory.
QString UserDatabaseDirectory();

// Creates the directory that is to hold the database file, if missing. A
// failure names the database file and the reason; the empty path (no home
// directory) is refused with that reason.
Outcome PrepareDatabaseDirectory(const QString& databasePath);
