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

struct DatabaseCreation {
    enum class End {
        Saved,    // measured and saved
        NotSaved, // measured, but saving failed: the buckets still serve this run
        NoFont,   // the font could not be opened; nothing was measured
        Stopped,  // the progress callback asked to stop
    };
    End end = End::Stopped;
    Outcome outcome = Outcome::Done(); // NotSaved and NoFont: the file and the reason
};

// What is under a database's name. Missing: nothing at all, not even a link
// leading nowhere, so a new database may be made there. Readable: a file that
// opens, ready to load. Unreadable: something that does not open; loading it
// names the reason, and it is never replaced unasked.
enum class DatabasePresence { Missing, Readable, Unreadable };
DatabasePresence LookForDatabase(const QString& path);

// Measures every double-byte code with the font file (empty: the one
// fontconfig lists for IPAGothic), files the glyphs into buckets (which must
// be empty) and saves them to path. A stop leaves the buckets empty.
DatabaseCreation CreateGlyphDatabase(const QString& path, const QString& fontFile, GlyphBucketArray& buckets,
                                     const DatabaseRunProgress& progress = {}, const CanvasWatch& watch = {});

// Reads path into buckets (which must be empty), refusing a damaged file.
DatabaseReadResult LoadGlyphDatabase(const QString& path, GlyphBucketArray& buckets,
                                     const DatabaseRunProgress& progress = {});
