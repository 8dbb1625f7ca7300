// SPDX-License-Identifier: MIT
// The glyph database from start to end: creating it (find the font, measure
// every code, save atomically) and loading it (read, check, refuse damage).
// The window and the command line only show the progress and the outcome in
// their own ways.
#pragma once

#include "common/Outcome.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphBuckets.h"

#include <QImage>
#include <QString>
#include <functional>

enum class DatabaseStep { Measuring, Saving, Loading };

// Gets the step and its percentage at each progress point; false stops the run.
using DatabaseRunProgress = std::function<bool(DatabaseStep step, double percent)>;

// Sees the measuring surface after every character drawn on it.
using CanvasWatch = std::function<void(const QImage& canvas)>;

// What is under a database's name. Missing: nothing at all, not even a link
// leading nowhere, so a new database may be made there. Readable: a file that
// opens, ready to load. Unreadable: something that does not open; loading it
// names the reason, and it is never replaced unasked.
enum class DatabasePresence { Missing, Readable, Unreadable };
DatabasePresence LookForDatabase(const QString& path);

// Measures every double-byte code with the font file (empty: the one
// fontconfig lists for IPAGothic), files the glyphs into buckets (which must
// be empty) and saves them to path. Done when saved; Stopped (the buckets left
// empty) when the progress callback asked; NoFont when the font cannot be
// opened and nothing was measured; any other failure is the save's, and the
// measured buckets still serve this run.
Outcome CreateGlyphDatabase(const QString& path, const QString& fontFile, GlyphBucketArray& buckets,
                            const DatabaseRunProgress& progress = {}, const CanvasWatch& watch = {});

// Whether the buckets hold a measured database after CreateGlyphDatabase gave created.
bool GlyphsMeasured(const Outcome& created);

// Reads path into buckets (which must be empty), refusing a damaged file.
Outcome LoadGlyphDatabase(const QString& path, GlyphBucketArray& buckets, const DatabaseRunProgress& progress = {});
