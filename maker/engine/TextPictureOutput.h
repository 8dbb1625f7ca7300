// The text picture file: code page 932 text, one line per cell row, every
// line ending in CR LF, no header. The file is opened only while one row is
// appended, so a viewer can read it between rows.
#pragma once

#include <QByteArray>
#include <QString>

// Creates path empty (or empties it). On failure error names the file and the reason.
bool CreateEmptyTextFile(const QString& path, QString* error);

// Appends row and CR LF to path, then closes it.
bool AppendRow(const QString& path, const QByteArray& row, QString* error);
