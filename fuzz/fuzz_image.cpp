// SPDX-License-Identifier: MIT
// Picture loading and a whole small conversion: any file either loads as
// 32-bit RGB and converts to rows of the grid's width, or is refused.
#include "engine/CellSampler.h"
#include "engine/Conversion.h"
#include "engine/GlyphChooser.h"
#include "engine/ImageLoading.h"
#include "fuzz/FuzzFile.h"

#include <QGuiApplication>
#include <QImageReader>

namespace {

GlyphBucketArray Buckets()
{
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b] = {std::make_shared<clsChr>(clsChr{b + 0.5f, b + 0.5f, b + 0.5f, b + 0.5f, 0x889F + b})};
    return buckets;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzFile(data, size, "image");
    // Large claims are refused by the loader's own limit; here they would only
    // make each run slow.
    if (const QSize s = QImageReader(path).size(); s.isValid() && qint64(s.width()) * s.height() > 1 << 20)
        return 0;
    QImage image;
    if (!LoadImageOverWhite(path, image).IsDone())
        return 0;
    if (image.format() != QImage::Format_RGB32)
        abort();
    // A GIF may claim a height of 0 and decode thousands of rows: the header
    // check above is no bound, so the conversion is left to small pictures.
    if (qint64(image.width()) * image.height() > 1 << 20)
        return 0;
    static const GlyphBucketArray buckets = Buckets();
    const GlyphTable table(buckets);
    Rnd rnd;
    const int32_t cell = 4;
    const GridExtent grid = ComputeGridExtent(image.width(), image.height(), cell);
    ConversionHooks hooks;
    hooks.settings = [] { return ConversionSettings{8, 1, 5}; };
    hooks.writeRow = [&](const QByteArray& row) {
        if (row.size() != 2 * grid.Columns(cell))
            abort();
        return true;
    };
    (void)ConvertCells(ImagePixels(image), cell, table, rnd, hooks);
    return 0;
}
