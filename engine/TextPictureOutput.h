// SPDX-License-Identifier: MIT
// The text picture file: code page 932 text, one line per cell row, every
// line ending in CR LF, no header. The window opens the file only while one
// row is appended, so a viewer can read it between rows.
#pragma once

#include "common/Outcome.h"

#include <QByteArray>
#include <QString>

// Creates path empty, or empties it when it is an ordinary file; a device or
// FIFO is left as it is, and a FIFO without a reader fails at once.
Outcome CreateEmptyTextFile(const QString& path);

// Appends row and CR LF to the existing path, then closes it. When the row
// cannot be written whole, the file is cut back to its size before.
Outcome AppendRow(const QString& path, const QByteArray& row);

// Writes the whole text to path as WriteWholeFile does: an ordinary file is
// replaced only when complete, so a failure never leaves half a picture in
// place of an older one; a device or FIFO is written in place.
Outcome WriteTextPictureFile(const QString& path, const QByteArray& text);
// The same for a text given as pieces, written one after the other: a
// large picture's rows need not be joined in memory first.
Outcome WriteTextPictureFile(const QString& path, const QByteArrayList& pieces);
