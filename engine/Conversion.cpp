// SPDX-License-Identifier: MIT
#include "engine/Conversion.h"

#include "common/CodePage932.h"
#include "engine/ConversionAhead.h"

#include <algorithm>
#include <bit>
#include <vector>

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

// NOLINTNEXTLINE(readability-function-size): the replay and its recomputation share one cell cursor
ConversionEnd RunGrid(const QImage& image, int32_t cellSize, const FastConverter& converter, ConversionAhead* ahead,
                      Rnd& rnd, const ConversionHooks& hooks, int64_t cellsPerBand)
{
    const GridExtent grid = ComputeGridExtent(image.width(), image.height(), cellSize);
    const int32_t rows = converter.Rows();
    const int32_t columns = converter.Columns();
    const auto bandRows = int32_t(std::clamp<int64_t>(cellsPerBand / std::max(columns, 1), 1, std::max(1, rows)));
    auto read = [&hooks] { return hooks.settings ? hooks.settings() : ConversionSettings{}; };
    std::vector<int32_t> codes;
    std::vector<uint32_t> starts;
    for (int32_t first = 0; first < rows; first += bandRows) {
        const int32_t bandEnd = std::min(rows, first + bandRows);
        const int64_t begin = int64_t(first) * columns;
        const size_t count = size_t(bandEnd - first) * size_t(columns);
        codes.resize(count);
        starts.resize(count);
        ConversionSettings used = read();
        // Cells converted ahead first, the rest from where they leave the generator.
        uint32_t end = rnd.State();
        const int64_t taken = ahead ? ahead->Take(image, cellSize, begin, int64_t(count), used, rnd.State(),
                                                  codes.data(), starts.data(), end)
                                    : 0;
        if (taken < int64_t(count))
            end = converter.Convert(begin + taken, int64_t(count) - taken, used, end, codes.data() + taken,
                                    starts.data() + taken);
        // Where the rule's generator stands after cell k of the band.
        auto after = [&](size_t k) { return k + 1 < count ? starts[k + 1] : end; };
        for (int32_t r = first; r < bandEnd; ++r) {
            QByteArray row;
            row.reserve(qsizetype(columns) * 2);
            const size_t rowBegin = size_t(r - first) * size_t(columns);
            for (int32_t c = 0; c < columns; ++c) {
                const size_t k = rowBegin + size_t(c);
                if (k > 0) {
                    if (const ConversionSettings now = read(); !SameSettings(now, used)) {
                        used = now;
                        end = converter.Convert(begin + int64_t(k), int64_t(count - k), used, starts[k], &codes[k],
                                                &starts[k]);
                    }
                }
                AppendCodeBytes(row, codes[k]);
                if (hooks.afterCell &&
                    !hooks.afterCell(CellProgress(grid, cellSize, c * cellSize, r * cellSize), codes[k])) {
                    rnd = Rnd(after(k));
                    return ConversionEnd::Stopped;
                }
            }
            if (!hooks.writeRow(row)) {
                rnd = Rnd(columns ? after(rowBegin + size_t(columns) - 1) : end);
                return ConversionEnd::Stopped;
            }
        }
        rnd = Rnd(end);
    }
    return ConversionEnd::Finished;
}

} // namespace

ConversionEnd ConvertGrid(const QImage& image, int32_t cellSize, const GlyphTable& table, Rnd& rnd,
                          const ConversionHooks& hooks, const FastOptions& options, int64_t cellsPerBand)
{
    const FastConverter converter(image, cellSize, table, options);
    return RunGrid(image, cellSize, converter, nullptr, rnd, hooks, cellsPerBand);
}

ConversionEnd ConvertGrid(const QImage& image, int32_t cellSize, ConversionAhead& ahead, Rnd& rnd,
                          const ConversionHooks& hooks, const FastOptions& options, int64_t cellsPerBand)
{
    const FastConverter converter(image, cellSize, ahead.Search(), options);
    return RunGrid(image, cellSize, converter, &ahead, rnd, hooks, cellsPerBand);
}
