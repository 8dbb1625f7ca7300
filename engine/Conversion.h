// SPDX-License-Identifier: MIT
// The conversion loop: every whole cell of the picture, row by row and left
// to right, is sampled, given its character, and each finished row is handed
// on to be written.
#pragma once

#include "engine/CellSampler.h"
#include "engine/FastConversion.h"
#include "engine/GlyphChooser.h"
#include "engine/Settings.h"

#include <QByteArray>
#include <functional>

class ConversionAhead;

struct ConversionHooks {
    // Read at every cell: a window's sliders take effect from the next cell.
    std::function<ConversionSettings()> settings;
    // Gets each finished row (without its line end); false stops the run.
    std::function<bool(const QByteArray& row)> writeRow;
    // After every cell: the share of the grid before this cell in percent and
    // the cell's code; false stops the run. May be empty.
    std::function<bool(double percent, int32_t code)> afterCell;
};

enum class ConversionEnd { Finished, Stopped };

// Converts the grid of whole cells of cellSize (fixed for the run), one cell
// after the other: the rule itself, against which the fast engine is tested
// and measured.
ConversionEnd ConvertCells(const PixelSource& pixels, int32_t cellSize, const GlyphTable& table, Rnd& rnd,
                           const ConversionHooks& hooks);

// Cells a band holds at most: a band takes a few milliseconds on two cores
// (some 20 without AVX2), so a window converting band by band stays live.
inline constexpr int64_t kCellsPerBand = 65536;

// The same conversion as ConvertCells, on all cores: each band of rows is
// converted ahead with the settings read at its first cell, then handed to
// the hooks cell by cell and row by row, as ConvertCells shows them. The
// settings are read again at every further cell; where they differ from
// those the band was converted with, the rest of the band is converted anew
// from that cell, with the generator's state at that cell. A caller that need
// not stay live (the command line) gives larger bands: fewer threads to start.
ConversionEnd ConvertGrid(const QImage& image, int32_t cellSize, const GlyphTable& table, Rnd& rnd,
                          const ConversionHooks& hooks, const FastOptions& options = {},
                          int64_t cellsPerBand = kCellsPerBand);

// The same, taking the cells converted ahead while the picture loaded where
// they hold for the settings and state met (the window: the user names the
// output meanwhile), and searching with the ahead's table.
ConversionEnd ConvertGrid(const QImage& image, int32_t cellSize, ConversionAhead& ahead, Rnd& rnd,
                          const ConversionHooks& hooks, const FastOptions& options = {},
                          int64_t cellsPerBand = kCellsPerBand);

// Progress before the cell at (x, y): the rows above and the cells to its left
// as a share of the grid's area, in percent.
double CellProgress(const GridExtent& grid, int32_t cellSize, int32_t x, int32_t y);
