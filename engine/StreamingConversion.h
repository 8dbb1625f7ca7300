// SPDX-License-Identifier: MIT
// Converting a picture while it is decoded: one thread decodes the next band
// of rows while the others convert the band before it, so that the whole run
// takes little more than the decoding, and memory holds two bands, not the
// picture. The rows are those ConvertGrid gives for the whole picture.
#pragma once

#include "common/Outcome.h"
#include "engine/BandDecoder.h"
#include "engine/FastConversion.h"
#include "engine/GlyphChooser.h"
#include "engine/Settings.h"

#include <QByteArray>
#include <functional>

struct StreamHooks {
    // Changes a band of decoded pixels before it is converted (the command
    // line's --invert); may be empty.
    std::function<void(QImage& band)> prepareBand;
    // Gets each finished row, without its line end, and the share of the
    // grid done after it in percent.
    std::function<void(const QByteArray& row, double percent)> writeRow;
};

// Pixel rows a band holds: whole cells, about 2 MB of pixels, at least a cell.
// Smaller bands start and end the run sooner; more cost a thread start each.
int StreamBandRows(int width, int32_t cellSize);

// Converts the picture decoder reads with the settings fixed, from rnd's
// state, leaving rnd where ConvertCells would. Fails with the decoder's
// outcome (a damaged picture, found perhaps only at its end) or when memory
// cannot hold two bands; rows handed on before a failure are not final.
// bandRows, a multiple of cellSize, overrides StreamBandRows (tests).
Outcome ConvertAsDecoded(BandDecoder& decoder, int32_t cellSize, const GlyphTable& table,
                         const ConversionSettings& settings, Rnd& rnd, const StreamHooks& hooks,
                         const FastOptions& options = {}, int bandRows = 0);
