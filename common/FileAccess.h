// SPDX-License-Identifier: MIT
// Opening the user's files safely: inputs are checked before they are read,
// outputs never replace what is not an ordinary file, and two spellings of
// one file are recognised as one. Paths are taken byte for byte (NativePath).
#pragma once

#include "common/Outcome.h"

#include <QFile>
#include <QString>
#include <functional>

// Opens path for reading. Only a regular file is read: a directory, FIFO,
// device or socket is refused by its kind at once, without blocking. A
// missing file gives ENOENT's reason, an unreadable one the system's reason.
Outcome OpenForReading(const QString& path, QFile& file);

// The system's length of an opened file (0 for anything but a regular file).
qint64 OpenedFileLength(const QFile& file);

// Opens path for writing with the extra open(2) flags (O_CREAT, O_APPEND):
// never truncating, never waiting for a FIFO's reader. The descriptor, or -1
// with errno set.
int OpenForWriting(const QString& path, int flags);

// Writes a whole file through write, which answers Done to keep what it wrote.
// A missing or ordinary file is replaced atomically: written beside path
// (unnamed where the file system allows, so that a killed run leaves nothing)
// and renamed over it only when complete, so a failure or a stop keeps the
// old content whole. Anything else that exists (a device, a FIFO, a
// socket, or whatever /dev and /proc name) is written in place: never renamed
// over and never truncated; a FIFO without a reader fails at once.
using WholeFileWriter = std::function<Outcome(QFileDevice& file)>;
Outcome WriteWholeFile(const QString& path, const WholeFileWriter& write);

// True when WriteWholeFile writes path in place: it exists and is no
// ordinary file, or /dev or /proc names it.
bool WritesInPlace(const QString& path);

// What a path leads to: the device and inode of an existing file (so that
// links, hard links, bind mounts and /proc/self/fd agree), else the resolved
// path of the file to be. Two paths name one file when these are equal.
QString FileIdentity(const QString& path);

// True when both paths name one file however they are spelled: symbolic
// links, hard links, "." and "..", whether or not the file exists yet.
bool SameFile(const QString& a, const QString& b);

// path made absolute against the working directory, nothing resolved.
QString AbsolutePath(const QString& path);

// path made absolute with symbolic links and ".." resolved as far as it
// exists, so that two spellings of one output compare equal.
QString ResolvedPath(const QString& path);
