// SPDX-License-Identifier: MIT
#include "engine/ConversionAhead.h"

#include "engine/CellSampler.h"

#include <algorithm>
#include <exception>

namespace {

// Cell rows converted at a time, about 100,000 cells: a stop waits for
// no more than some ten milliseconds of work.
int32_t StretchRows(int32_t columns)
{
    constexpr int32_t kStretchCells = 100000;
    return std::max(1, kStretchCells / std::max(columns, 1));
}

} // namespace

ConversionAhead::ConversionAhead(const GlyphBucketArray& buckets, int32_t cellSize, const ConversionSettings& settings,
                                 uint32_t start, const FastOptions& options)
    : table_(buckets),
      search_(table_, options.simd),
      cellSize_(cellSize),
      settings_(settings),
      options_(options),
      state_(start)
{}

ConversionAhead::~ConversionAhead()
{
    Stop();
}

void ConversionAhead::RowsLoaded(const QImage& picture, int rows)
{
    std::unique_lock lock(mutex_);
    if (stop_)
        return;
    if (!worker_.joinable()) {
        const GridExtent grid = ComputeGridExtent(picture.width(), picture.height(), cellSize_);
        columns_ = std::max(grid.Columns(cellSize_), 0);
        rows_ = columns_ > 0 ? std::max(grid.Rows(cellSize_), 0) : 0; // a picture narrower than a cell has none
        // Codes, then states: not cleared first, each written once as its
        // cell is converted; a large grid's in huge pages.
        const size_t cells = size_t(columns_) * size_t(rows_), bytes = std::max<size_t>(cells, 1) * 8;
        try {
            area_ = std::make_unique<LargeMemory>(bytes >= LargeMemory::kHugePage / 2 ? LargeMemory::InHugePages(bytes)
                                                                                      : bytes);
            if (area_->Data()) {
                codes_ = static_cast<int32_t*>(area_->Data());
                starts_ = reinterpret_cast<uint32_t*>(codes_ + cells);
                working_ = true;
                worker_ = std::thread(&ConversionAhead::Work, this);
            }
        } catch (const std::exception&) {
            working_ = false;
        }
        if (!working_) {
            // No memory or no thread: only a head start is lost, the run
            // converts every cell itself.
            stop_ = true;
            return;
        }
    }
    picture_ = picture;
    rowsLoaded_ = rows;
    changed_.notify_all();
}

void ConversionAhead::LoadFailed()
{
    Stop();
    // The picture's memory goes now; nothing is left to take.
    std::lock_guard lock(mutex_);
    picture_ = QImage();
    rowsDone_ = 0;
}

void ConversionAhead::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable())
        worker_.join();
}

void ConversionAhead::Work()
{
    std::unique_lock lock(mutex_);
    while (!stop_ && rowsDone_ < rows_) {
        const int32_t ready = std::min(rows_, rowsLoaded_ / cellSize_);
        if (ready <= rowsDone_) {
            changed_.wait(lock);
            continue;
        }
        const int32_t first = rowsDone_;
        const int32_t count = std::min(ready - first, StretchRows(columns_));
        // The stretch's own rows, viewed: the rows below may still be written.
        const QImage stretch(picture_.constScanLine(first * cellSize_), picture_.width(), count * cellSize_,
                             picture_.bytesPerLine(), picture_.format());
        const size_t begin = size_t(first) * size_t(columns_);
        const uint32_t start = state_;
        lock.unlock();
        uint32_t end = 0;
        try {
            const FastConverter converter(stretch, cellSize_, search_, options_);
            end = converter.Convert(0, int64_t(count) * columns_, settings_, start, codes_ + begin, starts_ + begin);
        } catch (const std::exception&) {
            // Memory or threads ran short: what is converted stays, the run does the rest.
            lock.lock();
            break;
        }
        lock.lock();
        state_ = end;
        rowsDone_ = first + count;
        changed_.notify_all();
    }
    working_ = false;
    changed_.notify_all();
}

int64_t ConversionAhead::Take(const QImage& image, int32_t cellSize, int64_t first, int64_t count,
                              const ConversionSettings& settings, uint32_t start, int32_t* codes, uint32_t* starts,
                              uint32_t& end)
{
    if (cellSize != cellSize_ || !SameSettings(settings, settings_)) {
        Stop();
        return 0;
    }
    std::unique_lock lock(mutex_);
    // Another picture gives nothing: the same memory and size is the same picture.
    if (picture_.isNull() || image.constBits() != picture_.constBits() || image.size() != picture_.size() ||
        first < 0 || count <= 0)
        return 0;
    // Cells whose rows are loaded are waited for.
    const int64_t ready = int64_t(std::min(rows_, rowsLoaded_ / cellSize_)) * columns_;
    const int64_t wanted = std::min(first + count, ready);
    changed_.wait(lock, [&] { return !working_ || int64_t(rowsDone_) * columns_ >= wanted; });
    const int64_t done = int64_t(rowsDone_) * columns_;
    if (first >= done || starts_[size_t(first)] != start)
        return 0;
    const int64_t taken = std::min(count, done - first);
    std::copy_n(codes_ + first, taken, codes);
    std::copy_n(starts_ + first, taken, starts);
    end = first + taken < done ? starts_[size_t(first + taken)] : state_;
    return taken;
}
