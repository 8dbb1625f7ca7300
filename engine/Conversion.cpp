// SPDX-License-Identifier: MIT
#include "engine/Conversion.h"

#include "common/CodePage932.h"

double CellProgress(const GridExtent& grid, int32_t cellSize, int32_t x, int32_t y)
{
    // 64-bit products: the same values as 32-bit ones wherever those hold,
    // and no overflow for grids beyond 2^31 pixels.
    const int64_t width = int64_t(grid.LastCellLeft) + cellSize;
    const int64_t height = int64_t(grid.LastCellTop) + cellSize;
    return double(width * y + int64_t(x) * cellSize) / double(height * width) * 100;
}

ConversionEnd ConvertCells(const PixelSource& pixels, int32_t cellSize, const GlyphTable& table, Rnd& rnd,
                           const ConversionHooks& hooks)
{
    const GridExtent grid = ComputeGridExtent(pixels.ScaleWidth(), pixels.ScaleHeight(), cellSize);
    QByteArray row;
    for (int32_t y = 0; y <= grid.LastCellTop; y += cellSize) {
        row.clear();
        for (int32_t x = 0; x <= grid.LastCellLeft; x += cellSize) {
            const ConversionSettings s = hooks.settings ? hooks.settings() : ConversionSettings{};
            const CellValues cell = SampleCell(pixels, x, y, cellSize, s.Brightness, s.Contrast);
            const int32_t code = ChooseGlyph(table, cell.TL, cell.TR, cell.BL, cell.BR, cell.Level, s.Variation, rnd);
            AppendCodeBytes(row, code);
            if (hooks.afterCell && !hooks.afterCell(CellProgress(grid, cellSize, x, y), code))
                return ConversionEnd::Stopped;
        }
        if (!hooks.writeRow(row))
            return ConversionEnd::Stopped;
    }
    return ConversionEnd::Finished;
}
