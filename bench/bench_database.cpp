// SPDX-License-Identifier: MIT
// Times the creation of the glyph database: the measuring pass over all codes
// and the writing pass, against a baseline of decoding the codes alone.
//   bench_database [output.cdb]
#include "common/CodePage932.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphMeasure.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    const QString fontFile = FindGlyphFontFile();
    GlyphFont font(fontFile);
    if (!font.IsOpen()) {
        std::fprintf(stderr, "glyph font missing: %s\n", qPrintable(font.Status().Message()));
        return 1;
    }
    QTemporaryDir dir;
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath("Standard.cdb");

    QElapsedTimer t;
    t.start();
    int valid = 0;
    for (int code = 0x8000; code <= 0xFFFF; ++code)
        if (code < 0xA000 || code >= 0xE000)
            valid += !CharFromCode(code).isEmpty();
    const double baseline = t.nsecsElapsed() / 1e9;

    GlyphBucketArray buckets;
    GlyphCanvas canvas(font);
    t.restart();
    const MeasureResult measured = MeasureGlyphs(canvas, buckets);
    const double measuring = t.nsecsElapsed() / 1e9;
    t.restart();
    const Outcome written = WriteDatabase(out, buckets);
    const double writing = t.nsecsElapsed() / 1e9;
    if (!written.IsDone()) {
        std::fprintf(stderr, "%s\n", qPrintable(written.Message()));
        return 1;
    }

    std::printf("font            %s\n", qPrintable(fontFile));
    std::printf("valid codes     %d, kept %d\n", valid, measured.kept);
    std::printf("buckets        ");
    for (const auto& b : buckets)
        std::printf(" %zu", b.size());
    std::printf("\nbaseline (decode all codes)  %.3f s\n", baseline);
    std::printf("measuring pass               %.3f s  (%.1f x baseline)\n", measuring, measuring / baseline);
    std::printf("writing pass                 %.3f s\n", writing);
    std::printf("both passes                  %.3f s\n", measuring + writing);
    return 0;
}
