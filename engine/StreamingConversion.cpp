// SPDX-License-Identifier: MIT
#include "engine/StreamingConversion.h"

#include "common/CodePage932.h"
#include "engine/CellSampler.h"
#include "engine/Conversion.h"
#include "engine/ImageLoading.h"
#include "engine/LoadingSteps.h"

#include <algorithm>
#include <future>
#include <vector>

int StreamBandRows(int width, int32_t cellSize)
{
    constexpr qint64 kBandBytes = qint64(2) << 20;
    const qint64 rows = kBandBytes / (qint64(std::max(width, 1)) * 4);
    return int(std::max<qint64>(rows / cellSize, 1) * cellSize);
}

namespace {

struct Grid {
    GridExtent extent;
    int32_t columns, rows;
};

// Converts the cell rows of band that lie in the grid, from cell row first.
void ConvertBandRows(const QImage& band, int32_t cellRows, int32_t firstRow, const Grid& grid, int32_t cellSize,
                     const GlyphSearch& search, const ConversionSettings& settings, Rnd& rnd, const StreamHooks& hooks,
                     const FastOptions& options)
{
    const size_t cellCount = size_t(cellRows) * size_t(grid.columns);
    // Kept from band to band: fresh ones would fault in every page again.
    thread_local std::vector<int32_t> codes;
    thread_local std::vector<uint32_t> starts;
    codes.resize(std::max(codes.size(), cellCount));
    starts.resize(std::max(starts.size(), cellCount));
    {
        // Gone before the band is handed back, so that decoding into it
        // never copies it.
        const FastConverter converter(band, cellSize, search, options);
        rnd = Rnd(converter.Convert(0, int64_t(cellCount), settings, rnd.State(), codes.data(), starts.data()));
    }
    for (int32_t r = 0; r < cellRows; ++r) {
        QByteArray row(qsizetype(grid.columns) * 2, Qt::Uninitialized);
        char* end = row.data();
        for (int32_t c = 0; c < grid.columns; ++c)
            end = PutCodeBytes(end, codes[size_t(r) * size_t(grid.columns) + size_t(c)]);
        row.truncate(end - row.data());
        const int32_t y = firstRow + r + 1;
        hooks.writeRow(row, y < grid.rows ? CellProgress(grid.extent, cellSize, 0, y * cellSize) : 100.0);
    }
}

} // namespace

Outcome ConvertAsDecoded(BandDecoder& decoder, int32_t cellSize, const GlyphTable& table,
                         const ConversionSettings& settings, Rnd& rnd, const StreamHooks& hooks,
                         const FastOptions& options, int bandRows)
{
    const QSize size = decoder.Size();
    const GridExtent extent = ComputeGridExtent(size.width(), size.height(), cellSize);
    const Grid grid{extent, std::max(extent.Columns(cellSize), 0), std::max(extent.Rows(cellSize), 0)};
    if (bandRows <= 0 || bandRows % cellSize)
        bandRows = StreamBandRows(size.width(), cellSize);
    QImage bands[2] = {PictureBuffer(QSize(size.width(), bandRows)), PictureBuffer(QSize(size.width(), bandRows))};
    if (bands[0].isNull() || bands[1].isNull())
        return NotEnoughMemory(QString(), size);

    auto decode = [&decoder, &size](QImage& band, int first) {
        return decoder.ReadRows(band, std::min(band.height(), size.height() - first));
    };
    // Every row is read, those below the grid too: damage may show only at the end.
    std::future<Outcome> next = std::async(std::launch::async, decode, std::ref(bands[0]), 0);
    // Laid out while the first band is decoded.
    const GlyphSearch search(table, options.simd);
    for (int first = 0, i = 0; first < size.height(); first += bandRows, ++i) {
        if (Outcome decoded = next.get(); !decoded.IsDone())
            return decoded;
        QImage& band = bands[i % 2];
        if (first + bandRows < size.height())
            next = std::async(std::launch::async, decode, std::ref(bands[(i + 1) % 2]), first + bandRows);
        const int32_t firstRow = first / cellSize;
        const int32_t cellRows = std::clamp(grid.rows - firstRow, 0, bandRows / cellSize);
        if (cellRows == 0 || grid.columns == 0)
            continue;
        if (hooks.prepareBand)
            hooks.prepareBand(band);
        ConvertBandRows(band, cellRows, firstRow, grid, cellSize, search, settings, rnd, hooks, options);
    }
    return Outcome::Done();
}
