// SPDX-License-Identifier: MIT
// The text picture file: code page 932 text, one line per cell row, every
// line ending in CR LF, no header. The window opens the file only while one
// row is appended, so a viewer can read it between rows.
#pragma once

#include "common/Outcome.h"

#include <QByteArray>
#include <QFileDevice>
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

// Text written to an opened file in large writes: a 12000 x 9000 picture's
// 4,500 rows and line ends, written one by one, took longer than copying its
// 13 MB once. An ordinary file's written megabytes start on their way to the
// disk at once, so that the sync before it replaces the old file has little
// left to wait for.
class GatheredText {
public:
    GatheredText(QFileDevice& file, const QString& path) : file_(file), path_(path) {}
    // False once a write has failed; nothing more is written then.
    bool Add(const QByteArray& piece);
    // Writes what is gathered; the first write's failure, if any.
    Outcome Finish();

private:
    bool Flush();
    bool Write(const QByteArray& bytes);
    QFileDevice& file_;
    QString path_;
    QByteArray gathered_;
    qint64 written_ = 0;
    Outcome failed_ = Outcome::Done();
};
