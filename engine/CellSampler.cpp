// SPDX-License-Identifier: MIT
#include "engine/CellSampler.h"

#include "engine/RuleArithmetic.h"

#include <cmath>

ImagePixels::ImagePixels(const QImage& image)
    : image_(image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32))
{}

GridExtent ComputeGridExtent(int32_t width, int32_t height, int32_t cellSize)
{
    auto last = [cellSize](int32_t size) {
        return int32_t(std::floor(double(size) / double(cellSize)) * cellSize - cellSize);
    };
    return {last(width), last(height)};
}

int32_t ToneLevel(float tl, float tr, float bl, float br)
{
    const double t = double(tl) + double(tr) + double(bl) + double(br);
    // nearbyint rounds halves to even in the default rounding mode.
    int32_t level = int32_t(std::nearbyint(t)) / 4;
    if (level > 15)
        level = 15;
    if (level < 0)
        level = 0;
    return level;
}

CellValues SampleCell(const PixelSource& pixels, int32_t x, int32_t y, int32_t cellSize, float brightness,
                      float contrast)
{
    const int32_t half = cellSize / 2;
    float tl = 0, tr = 0, bl = 0, br = 0;
    for (int32_t dx = 0; dx <= half - 1; ++dx) {
        for (int32_t dy = 0; dy <= half - 1; ++dy) {
            tl = float(double(tl) + Lightness(pixels.Point(x + dx, y + dy)));
            tr = float(double(tr) + Lightness(pixels.Point(x + dx + half, y + dy)));
            bl = float(double(bl) + Lightness(pixels.Point(x + dx, y + dy + half)));
            br = float(double(br) + Lightness(pixels.Point(x + dx + half, y + dy + half)));
        }
    }
    const int32_t n = QuarterDivisor(cellSize);
    CellValues v;
    v.TL = AdjustQuarter(tl, n, brightness, contrast);
    v.TR = AdjustQuarter(tr, n, brightness, contrast);
    v.BL = AdjustQuarter(bl, n, brightness, contrast);
    v.BR = AdjustQuarter(br, n, brightness, contrast);
    v.Level = ToneLevel(v.TL, v.TR, v.BL, v.BR);
    return v;
}
