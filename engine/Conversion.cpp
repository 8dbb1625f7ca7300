// SPDX-License-Identifier: MIT
#include "engine/Conversion.h"

#include "common/CodePage932.h"

#include <algorithm>

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

namespace {

// The code of the cell at byte offset i of a row: two bytes for a double-byte
// code, as AppendCodeBytes wrote it.
int32_t CodeAt(const QByteArray& row, qsizetype& i)
{
    const auto lead = uint8_t(row[i++]);
    if (lead < 0x80 || i >= row.size())
        return lead;
    return (int32_t(lead) << 8) | uint8_t(row[i++]);
}

} // namespace

ConversionEnd ConvertGrid(const QImage& image, int32_t cellSize, const GlyphTable& table, Rnd& rnd,
                          const ConversionHooks& hooks, const FastOptions& options, int64_t cellsPerBand)
{
    const GridExtent grid = ComputeGridExtent(image.width(), image.height(), cellSize);
    const int32_t rows = grid.Rows(cellSize);
    const int64_t columns = std::max<int64_t>(1, grid.Columns(cellSize));
    const auto bandRows = int32_t(std::clamp<int64_t>(cellsPerBand / columns, 1, std::max(1, rows)));
    for (int32_t first = 0; first < rows; first += bandRows) {
        const ConversionSettings s = hooks.settings ? hooks.settings() : ConversionSettings{};
        const std::vector<QByteArray> band = ConvertBand(image, cellSize, first, bandRows, s, table, rnd, options);
        for (size_t r = 0; r < band.size(); ++r) {
            const int32_t y = (first + int32_t(r)) * cellSize;
            int32_t x = 0;
            for (qsizetype i = 0; i < band[r].size() && hooks.afterCell; x += cellSize)
                if (!hooks.afterCell(CellProgress(grid, cellSize, x, y), CodeAt(band[r], i)))
                    return ConversionEnd::Stopped;
            if (!hooks.writeRow(band[r]))
                return ConversionEnd::Stopped;
        }
    }
    return ConversionEnd::Finished;
}
