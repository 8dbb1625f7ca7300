// SPDX-License-Identifier: MIT
// The conversion on all processor cores, with the bytes of the one-cell-at-a-
// time loop (ConvertCells): every cell is sampled first, the random numbers
// each cell will draw are counted, and the cells then choose their characters
// independently, each starting from its own place in the random sequence.
#pragma once

#include "engine/GlyphChooser.h"
#include "engine/Settings.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

struct FastOptions {
    unsigned threads = 0; // 0: as many as the processor runs at once, fewer for a small band
    bool simd = true;     // score eight glyphs per instruction where the processor has AVX2
};

// Converts the cell rows [firstRow, firstRow + rowCount) of the grid of whole
// cells of the picture (rows beyond the grid are left out) with the settings
// fixed, starting at rnd's state, and leaves rnd where ConvertCells would.
// Returns each row's bytes in order, without line ends.
std::vector<QByteArray> ConvertBand(const QImage& image, int32_t cellSize, int32_t firstRow, int32_t rowCount,
                                    const ConversionSettings& settings, const GlyphTable& table, Rnd& rnd,
                                    const FastOptions& options = {});
