// SPDX-License-Identifier: MIT
// The colour of each cell: the mean of the pixels the cell's character was
// chosen from, for text pictures shown in colour.
#pragma once

#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

// The mean colour of every cell of the grid the conversion lays over picture
// (32-bit RGB) with cells of cellSize, row by row; each channel rounded half
// up. Cells are whole, as the conversion's are.
std::vector<QRgb> CellColours(const QImage& picture, int32_t cellSize);
