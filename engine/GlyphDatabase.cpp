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

Outcome CreateGlyphDatabase(const QString& path, const QString& fontFile, GlyphBucketArray& buckets,
                            const DatabaseRunProgress& progress, const CanvasWatch& watch)
{
    const GlyphFont font(fontFile.isEmpty() ? FindGlyphFontFile() : fontFile);
    if (!font.IsOpen())
        return font.Status(); // another family would give a different database; better none at all
    WatchedCanvas canvas(font, watch);
    if (MeasureGlyphs(canvas, buckets, StepProgress(progress, DatabaseStep::Measuring)).stopped) {
        ClearBuckets(buckets);
        return Outcome::Stopped();
    }
    Outcome saved = PrepareDatabaseDirectory(path);
    if (saved.IsDone())
        saved = WriteDatabase(path, buckets, StepProgress(progress, DatabaseStep::Saving));
    if (saved.IsStopped())
        ClearBuckets(buckets);
    return saved;
}

bool GlyphsMeasured(const Outcome& created)
{
    return created.IsDone() || (created.IsFailed() && created.Kind() != FailureKind::NoFont);
}

Outcome LoadGlyphDatabase(const QString& path, GlyphBucketArray& buckets, const DatabaseRunProgress& progress)
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
