// SPDX-License-Identifier: MIT
// Measuring an image cell by cell: four quarter values on the glyphs'
// lightness scale (0 black to 15.9375 white before brightness and contrast)
// and the tone level that picks the bucket to search.
#pragma once

#include "engine/PixelColour.h"

#include <QImage>
#include <cstdint>

// Read access to the pixels of a picture, colours as 0x00BBGGRR.
class PixelSource {
public:
    virtual ~PixelSource() = default;
    virtual int32_t ScaleWidth() const = 0;
    virtual int32_t ScaleHeight() const = 0;
    virtual int32_t Point(int32_t x, int32_t y) const = 0;
};

// The pixels of a 32-bit RGB image.
class ImagePixels : public PixelSource {
public:
    explicit ImagePixels(const QImage& image); // converted to 32-bit RGB if needed
    int32_t ScaleWidth() const override { return image_.width(); }
    int32_t ScaleHeight() const override { return image_.height(); }
    int32_t Point(int32_t x, int32_t y) const override
    {
        return ColourBgr(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
    }

private:
    QImage image_;
};

// Left edge of the last whole cell column and top edge of the last whole cell
// row; -cellSize when the picture is narrower (lower) than one cell.
struct GridExtent {
    int32_t LastCellLeft = 0;
    int32_t LastCellTop = 0;
    int32_t Columns(int32_t cellSize) const { return (LastCellLeft + cellSize) / cellSize; }
    int32_t Rows(int32_t cellSize) const { return (LastCellTop + cellSize) / cellSize; }
};
GridExtent ComputeGridExtent(int32_t width, int32_t height, int32_t cellSize);

struct CellValues {
    float TL = 0;
    float TR = 0;
    float BL = 0;
    float BR = 0;
    int32_t Level = 0; // 0 to 15
};

// The tone level of four quarter values: their sum rounded half to even,
// divided by 4 truncating toward zero, clamped to 0..15.
int32_t ToneLevel(float tl, float tr, float bl, float br);

// Samples the cell whose top-left pixel is (x, y). Every pixel of the cell is
// read once, none outside it.
CellValues SampleCell(const PixelSource& pixels, int32_t x, int32_t y, int32_t cellSize, float brightness,
                      float contrast);
