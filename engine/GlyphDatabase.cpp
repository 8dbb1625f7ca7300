// SPDX-License-Identifier: MIT
#include "engine/GlyphDatabase.h"

#include "common/General.h"
#include "common/NativePath.h"
#include "engine/DatabaseLocation.h"
#include "engine/GlyphFont.h"
#include "engine/GlyphMeasure.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

// The measuring surface, showing every drawn character to the watcher.
class WatchedCanvas : public GlyphCanvas {
public:
    WatchedCanvas(const GlyphFont& font, const CanvasWatch& watch) : GlyphCanvas(font), watch_(watch) {}
    void PrintAt(int32_t x, int32_t y, const QString& text) override
    {
        GlyphCanvas::PrintAt(x, y, text);
        if (watch_)
            watch_(Image());
    }

private:
    const CanvasWatch& watch_;
};

DatabaseProgress StepProgress(const DatabaseRunProgress& progress, DatabaseStep step)
{
    if (!progress)
        return {};
    return [&progress, step](double percent) { return progress(step, percent); };
}

} // namespace

DatabaseCreation CreateGlyphDatabase(const QString& path, const QString& fontFile, GlyphBucketArray& buckets,
                                     const DatabaseRunProgress& progress, const CanvasWatch& watch)
{
    DatabaseCreation result;
    const GlyphFont font(fontFile.isEmpty() ? FindGlyphFontFile() : fontFile);
    if (!font.IsOpen()) {
        // Another family would give a different database; better none at all.
        result.end = DatabaseCreation::End::NoFont;
        result.outcome = font.Status();
        return result;
    }
    WatchedCanvas canvas(font, watch);
    if (MeasureGlyphs(canvas, buckets, StepProgress(progress, DatabaseStep::Measuring)).stopped) {
        ClearBuckets(buckets);
        return result;
    }
    Outcome saved = PrepareDatabaseDirectory(path);
    if (saved.IsDone())
        saved = WriteDatabase(path, buckets, StepProgress(progress, DatabaseStep::Saving));
    if (saved.IsStopped()) {
        ClearBuckets(buckets);
        return result;
    }
    result.end = saved.IsDone() ? DatabaseCreation::End::Saved : DatabaseCreation::End::NotSaved;
    result.outcome = saved;
    return result;
}

DatabaseReadResult LoadGlyphDatabase(const QString& path, GlyphBucketArray& buckets,
                                     const DatabaseRunProgress& progress)
{
    return ReadDatabase(path, buckets, StepProgress(progress, DatabaseStep::Loading));
}

DatabasePresence LookForDatabase(const QString& path)
{
    if (FileExists(path))
        return DatabasePresence::Readable;
    struct stat st {};
    if (::lstat(NativePath(path).constData(), &st) != 0 && errno == ENOENT)
        return DatabasePresence::Missing;
    return DatabasePresence::Unreadable;
}
