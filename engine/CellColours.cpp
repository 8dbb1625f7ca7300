// SPDX-License-Identifier: MIT
#include "engine/CellColours.h"

#include "engine/CellSampler.h"

std::vector<QRgb> CellColours(const QImage& picture, int32_t cellSize)
{
    const GridExtent grid = ComputeGridExtent(picture.width(), picture.height(), cellSize);
    const int32_t columns = std::max(grid.Columns(cellSize), 0), rows = std::max(grid.Rows(cellSize), 0);
    std::vector<QRgb> colours;
    colours.reserve(size_t(columns) * size_t(rows));
    const uint64_t n = uint64_t(cellSize) * uint64_t(cellSize);
    std::vector<uint64_t> sums(static_cast<size_t>(columns) * 3);
    for (int32_t row = 0; row < rows; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int32_t y = row * cellSize; y < (row + 1) * cellSize; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            for (int32_t x = 0; x < columns * cellSize; ++x) {
                uint64_t* s = &sums[size_t(x / cellSize) * 3];
                s[0] += uint64_t(qRed(line[x]));
                s[1] += uint64_t(qGreen(line[x]));
                s[2] += uint64_t(qBlue(line[x]));
            }
        }
        for (int32_t c = 0; c < columns; ++c) {
            const uint64_t* s = &sums[size_t(c) * 3];
            colours.push_back(
                qRgb(int((s[0] * 2 + n) / (n * 2)), int((s[1] * 2 + n) / (n * 2)), int((s[2] * 2 + n) / (n * 2))));
        }
    }
    return colours;
}
