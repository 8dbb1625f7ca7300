// SPDX-License-Identifier: MIT
// The conversion on all processor cores, with the bytes of the one-cell-at-a-
// time loop (ConvertCells): every cell is sampled first, the random numbers
// each cell will draw are counted, and the cells then choose their characters
// independently, each starting from its own place in the random sequence.
#pragma once

#include "engine/GlyphChooser.h"
#include "engine/GlyphSearch.h"
#include "engine/Settings.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct FastOptions {
    unsigned threads = 0; // 0: as many as the processor runs at once, fewer for a small band
    bool simd = true;     // score eight glyphs per instruction where the processor has AVX2
};

// The grid of whole cells of one picture, converted stretch by stretch. What
// every stretch of a run shares (the 32-bit picture, the buckets laid out for
// the vector search, the jumps of the generator) is made once; table must
// outlive the converter.
class FastConverter {
public:
    FastConverter(const QImage& image, int32_t cellSize, const GlyphTable& table, const FastOptions& options = {});
    // The same with a search made once for many pictures or bands; search
    // must outlive the converter.
    FastConverter(const QImage& image, int32_t cellSize, const GlyphSearch& search, const FastOptions& options = {});
    ~FastConverter();
    FastConverter(const FastConverter&) = delete;
    FastConverter& operator=(const FastConverter&) = delete;

    int32_t Columns() const;
    int32_t Rows() const;

    // Converts count cells of the grid in reading order from the cell numbered
    // first (row x Columns() + column) with the settings fixed, the generator at
    // state start before the first. Writes each cell's code to codes[i] and
    // the generator's state before the cell's draws to starts[i]; answers the
    // state after the last cell's draws, where ConvertCells would leave it.
    uint32_t Convert(int64_t first, int64_t count, const ConversionSettings& settings, uint32_t start, int32_t* codes,
                     uint32_t* starts) const;

private:
    struct Shared;
    std::unique_ptr<const Shared> shared_;
};

// Converts the cell rows [firstRow, firstRow + rowCount) of the grid of whole
// cells of the picture (rows beyond the grid are left out) with the settings
// fixed, starting at rnd's state, and leaves rnd where ConvertCells would.
// Returns each row's bytes in order, without line ends.
std::vector<QByteArray> ConvertBand(const QImage& image, int32_t cellSize, int32_t firstRow, int32_t rowCount,
                                    const ConversionSettings& settings, const GlyphTable& table, Rnd& rnd,
                                    const FastOptions& options = {});
