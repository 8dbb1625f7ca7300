// SPDX-License-Identifier: MIT
// Converting a picture's cells while the picture is still being loaded, and
// on while the window waits for the user to name the output, with the
// settings and the generator's state of that moment. The run that follows
// (ConvertGrid) takes the cells converted so from here instead of converting
// them again, wherever its settings and state are still those; the bytes are
// the same either way.
#pragma once

#include "engine/FastConversion.h"
#include "engine/GlyphChooser.h"
#include "engine/GlyphSearch.h"
#include "engine/ImageLoading.h"
#include "engine/LargeMemory.h"
#include "engine/Settings.h"

#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class ConversionAhead final : public LoadWatcher {
public:
    // Converts with cellSize and settings, the generator at state start before
    // the first cell; buckets are copied, so a database changed later does not
    // change what was converted.
    ConversionAhead(const GlyphBucketArray& buckets, int32_t cellSize, const ConversionSettings& settings,
                    uint32_t start, const FastOptions& options = {});
    // Stops, and waits for the stretch being converted.
    ~ConversionAhead() override;
    ConversionAhead(const ConversionAhead&) = delete;
    ConversionAhead& operator=(const ConversionAhead&) = delete;

    void RowsLoaded(const QImage& picture, int rows) override;
    void LoadFailed() override;

    // Converts no further; what is converted stays to be taken.
    void Stop();

    // The table and search the cells were chosen with; a run that takes cells
    // must search with them (lists made ahead serve it too).
    const GlyphTable& Table() const { return table_; }
    const GlyphSearch& Search() const { return search_; }

    // Copies the cells [first, first + count) of image's grid, converted with
    // cellSize and settings from the generator state start, into codes and
    // their states before their draws into starts, as FastConverter::Convert
    // gives them; waits for those of loaded rows still being converted. Answers how many
    // cells from first on were copied, and end, the state after them. Nothing
    // is copied for another picture, cell size, settings or state; settings
    // other than those converted with stop the conversion, which would only
    // compete with the run for the processor.
    int64_t Take(const QImage& image, int32_t cellSize, int64_t first, int64_t count,
                 const ConversionSettings& settings, uint32_t start, int32_t* codes, uint32_t* starts, uint32_t& end);

private:
    void Work();

    const GlyphTable table_;
    const GlyphSearch search_;
    const int32_t cellSize_;
    const ConversionSettings settings_;
    const FastOptions options_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
    QImage picture_; // a view of the rows being decoded, then the loaded picture itself
    int rowsLoaded_ = 0;
    bool working_ = false; // the worker runs and will convert more
    bool stop_ = false;
    int32_t columns_ = 0, rows_ = 0;    // the picture's grid
    int32_t rowsDone_ = 0;              // whole cell rows converted
    uint32_t state_ = 0;                // the generator's state after them
    std::unique_ptr<LargeMemory> area_; // the codes and states, grid cells of each
    int32_t* codes_ = nullptr;
    uint32_t* starts_ = nullptr;
};
