// SPDX-License-Identifier: MIT
// The text picture file: code page 932 text, one line per cell row, every
// line ending in CR LF, no header. The window opens the file only while one
// row is appended, so a viewer can read it between rows.
#pragma once

#include "common/Outcome.h"

#include <QByteArray>
#include <QString>

// Creates path empty (or empties it).
Outcome CreateEmptyTextFile(const QString& path);

// Appends row and CR LF to path, then closes it.
Outcome AppendRow(const QString& path, const QByteArray& row);

// Writes the whole text to path under a temporary name and renames it over
// path when complete, so a failure never leaves half a picture in place of an
// older one.
Outcome WriteTextPictureFile(const QString& path, const QByteArray& text);
