// SPDX-License-Identifier: MIT
// The glyph database file "Standard.cdb": headerless little-endian 20-byte
// slots. A slot whose first field is 0 is a separator; the first separator
// opens bucket 0, each further one the next bucket, the seventeenth ends the
// database. A glyph slot holds AsciiNo, TL, TR, BL, BR.
#pragma once

#include "common/Outcome.h"
#include "engine/GlyphBuckets.h"

#include <QString>
#include <functional>

constexpr int kSlotBytes = 20;
constexpr int kSeparatorCount = kBucketCount + 1;
constexpr int kMostGlyphs = 16384; // every code of both ranges measured
// The longest file read as a database: the most glyphs and the separators,
// and up to 1 MB of whatever may follow the last separator. Anything longer
// is refused as damaged before it is read.
constexpr qint64 kLargestDatabaseBytes = qint64(kMostGlyphs + kSeparatorCount) * kSlotBytes + 1024 * 1024;
constexpr int kProgressSlotStep = 500; // progress is reported at slots 0, 500, 1000 ...

inline const QString kDatabaseFileName = QStringLiteral("Standard.cdb");

// Called at the progress points with the percentage done; answering false stops
// the run (the window was closed).
using DatabaseProgress = std::function<bool(double percent)>;

// Writes all buckets to path through WriteWholeFile: an ordinary file is
// written beside path and renamed over it only when complete, so a failure
// or a stop never leaves a half-written database. Progress comes when the slot index of a
// written glyph is a multiple of 500: (glyph slots written) / (glyph count) x 100.
Outcome WriteDatabase(const QString& path, const GlyphBucketArray& buckets, const DatabaseProgress& progress = {});

// Reads path into buckets (which must be empty). Progress comes after slots 0,
// 500, 1000 ...: (byte offset of the slot) / (file length) x 100. Unless the
// result is Done the buckets are left empty. Nothing after the seventeenth
// separator is read. A file that cannot be read fails with its system reason
// (or NotRegular); one that is empty, cut short, too long, holds a glyph
// before the first separator, or a code that is no double-byte character or
// comes twice fails as Damaged; Stopped when the progress callback asked.
Outcome ReadDatabase(const QString& path, GlyphBucketArray& buckets, const DatabaseProgress& progress = {});
