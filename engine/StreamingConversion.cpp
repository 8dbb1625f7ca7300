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

// A band of pixels and its cells, sampled beside the decoder.
struct DecodedBand {
    QImage pixels;
    SampledBand cells;
    int32_t firstRow = 0; // of the grid, its top cell row
};

// Hands on the rows of a band whose cells have chosen their codes.
void WriteBandRows(const int32_t* codes, const DecodedBand& band, const Grid& grid, int32_t cellSize,
                   const StreamHooks& hooks)
{
    const auto cellRows = int32_t(band.cells.Count() / size_t(grid.columns));
    for (int32_t r = 0; r < cellRows; ++r) {
        QByteArray row(qsizetype(grid.columns) * 2, Qt::Uninitialized);
        char* end = row.data();
        for (int32_t c = 0; c < grid.columns; ++c)
            end = PutCodeBytes(end, codes[size_t(r) * size_t(grid.columns) + size_t(c)]);
        row.truncate(end - row.data());
        const int32_t y = band.firstRow + r + 1;
        hooks.writeRow(row, y < grid.rows ? CellProgress(grid.extent, cellSize, 0, y * cellSize) : 100.0);
    }
}

// The decoding thread's work: each band decoded, then sampled while its
// pixels are fresh in its cache, and its cells' starts in the random
// sequence counted. Those steps follow one another band by band, as
// decoding does; the other threads only choose characters.
struct BandSampling {
    BandDecoder& decoder;
    const Grid& grid;
    int32_t cellSize;
    int bandRows;
    const ConversionSettings& settings;
    const GlyphTable& table;
    const StreamHooks& hooks;
    RndJumpTable jumps;
    uint32_t state; // after the bands sampled so far

    Outcome operator()(DecodedBand& band, int first)
    {
        const int height = decoder.Size().height();
        Outcome read = decoder.ReadRows(band.pixels, std::min(band.pixels.height(), height - first));
        band.firstRow = first / cellSize;
        int32_t cellRows = std::clamp(grid.rows - band.firstRow, 0, bandRows / cellSize);
        if (!read.IsDone() || grid.columns == 0)
            cellRows = 0;
        if (cellRows > 0 && hooks.prepareBand)
            hooks.prepareBand(band.pixels);
        state = band.cells.Sample(band.pixels, cellSize, cellRows, grid.columns, settings, table, jumps, state);
        return read;
    }
};

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
    DecodedBand bands[2];
    for (DecodedBand& band : bands)
        if ((band.pixels = PictureBuffer(QSize(size.width(), bandRows))).isNull())
            return NotEnoughMemory(QString(), size);

    BandSampling sampling{
        decoder, grid, cellSize, bandRows, settings, table, hooks, RndJumpTable(table.LongestBucket()), rnd.State()};
    auto decode = [&sampling](DecodedBand& band, int first) { return sampling(band, first); };
    // Every row is read, those below the grid too: damage may show only at the end.
    std::future<Outcome> next = std::async(std::launch::async, decode, std::ref(bands[0]), 0);
    // Laid out while the first band is decoded.
    const GlyphSearch search(table, options.simd);
    std::vector<int32_t> codes;
    for (int first = 0, i = 0; first < size.height(); first += bandRows, ++i) {
        if (Outcome decoded = next.get(); !decoded.IsDone())
            return decoded;
        const DecodedBand& band = bands[i % 2];
        if (first + bandRows < size.height())
            next = std::async(std::launch::async, decode, std::ref(bands[(i + 1) % 2]), first + bandRows);
        if (band.cells.Count() == 0)
            continue;
        codes.resize(std::max(codes.size(), band.cells.Count()));
        band.cells.Choose(search, codes.data(), options);
        WriteBandRows(codes.data(), band, grid, cellSize, hooks);
    }
    // Every band has been sampled, its cells' draws counted.
    rnd = Rnd(sampling.state);
    return Outcome::Done();
}
