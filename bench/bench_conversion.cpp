// SPDX-License-Identifier: MIT
// Times the conversion loop on a picture at a cell size, without any window:
//   bench_conversion IMAGE [CELLSIZE] [DATABASE]
// The baseline is sampling every cell alone, measured in the same run.
#include "engine/Conversion.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphMeasure.h"
#include "engine/ImageLoading.h"

#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_conversion IMAGE [CELLSIZE] [DATABASE]\n");
        return 1;
    }
    const QString imagePath = QString::fromLocal8Bit(argv[1]);
    const int32_t cellSize = argc > 2 ? std::atoi(argv[2]) : 4;
    GlyphBucketArray buckets;
    if (argc > 3) {
        if (ReadDatabase(QString::fromLocal8Bit(argv[3]), buckets).status != DatabaseReadStatus::Loaded) {
            std::fprintf(stderr, "cannot read the database\n");
            return 1;
        }
    } else {
        GlyphFont font(FindGlyphFontFile());
        GlyphCanvas canvas(font);
        MeasureGlyphs(canvas, buckets);
    }

    QElapsedTimer t;
    t.start();
    QImage image;
    if (!LoadImageOverWhite(imagePath, image).IsDone()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const double decoding = t.nsecsElapsed() / 1e9;
    const ImagePixels pixels(image);
    const GridExtent grid = ComputeGridExtent(pixels.ScaleWidth(), pixels.ScaleHeight(), cellSize);

    t.restart();
    double sink = 0;
    for (int32_t y = 0; y <= grid.LastCellTop; y += cellSize)
        for (int32_t x = 0; x <= grid.LastCellLeft; x += cellSize)
            sink += SampleCell(pixels, x, y, cellSize, 8.0f, 1.0f).Level;
    const double sampling = t.nsecsElapsed() / 1e9;

    const GlyphTable table(buckets);
    Rnd rnd;
    size_t bytes = 0;
    ConversionHooks hooks;
    hooks.writeRow = [&](const QByteArray& row) {
        bytes += row.size() + 2;
        return true;
    };
    t.restart();
    (void)ConvertCells(pixels, cellSize, table, rnd, hooks);
    const double loop = t.nsecsElapsed() / 1e9;

    const long cells = long(grid.Columns(cellSize)) * grid.Rows(cellSize);
    std::printf("picture %dx%d, cell size %d, %ld cells, %zu bytes of text (checksum %g)\n", image.width(),
                image.height(), cellSize, cells, bytes, sink);
    std::printf("decoding the picture       %.3f s\n", decoding);
    std::printf("baseline: sampling alone   %.3f s\n", sampling);
    std::printf("conversion loop            %.3f s  (%.1f x baseline, %.0f ns a cell)\n", loop, loop / sampling,
                loop / cells * 1e9);
    return 0;
}
