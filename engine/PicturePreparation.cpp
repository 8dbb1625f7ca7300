// SPDX-License-Identifier: MIT
#include "engine/PicturePreparation.h"

#include "engine/ImageLoading.h"

#include <algorithm>
#include <vector>

namespace {

// The source span [first, end) under target pixel t of n, from a length of
// size: at least one source pixel, the spans together covering the source.
std::pair<int64_t, int64_t> Span(int64_t t, int64_t n, int64_t size)
{
    const int64_t first = t * size / n;
    const int64_t end = std::max(first + 1, (t + 1) * size / n);
    return {first, std::min(end, size)};
}

// The red, green and blue sums of each column of picture over rows [top, bottom).
void SumColumns(const QImage& picture, int64_t top, int64_t bottom, std::vector<uint64_t>& sums)
{
    std::fill(sums.begin(), sums.end(), 0);
    for (int64_t sy = top; sy < bottom; ++sy) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(int(sy)));
        for (int sx = 0; sx < picture.width(); ++sx) {
            sums[size_t(sx) * 3] += uint64_t(qRed(line[sx]));
            sums[size_t(sx) * 3 + 1] += uint64_t(qGreen(line[sx]));
            sums[size_t(sx) * 3 + 2] += uint64_t(qBlue(line[sx]));
        }
    }
}

} // namespace

Outcome ScaleToColumns(QImage& picture, int32_t columns, int32_t cellSize)
{
    const int64_t width = int64_t(columns) * cellSize;
    const int64_t height = std::max<int64_t>(1, (int64_t(picture.height()) * width * 2 + picture.width()) /
                                                    (int64_t(picture.width()) * 2));
    if (Outcome within = WithinAllocationLimit(QString(), width, height); !within.IsDone())
        return within;
    QImage scaled(int(width), int(height), QImage::Format_RGB32);
    if (scaled.isNull())
        return NotEnoughMemory(QString(), QSize(int(width), int(height)));
    std::vector<std::pair<int64_t, int64_t>> spans(static_cast<size_t>(width));
    for (int64_t x = 0; x < width; ++x)
        spans[size_t(x)] = Span(x, width, picture.width());
    std::vector<uint64_t> sums(static_cast<size_t>(picture.width()) * 3);
    for (int64_t y = 0; y < height; ++y) {
        // Each source column summed over the rows under this row, then each
        // new pixel from the columns under it.
        const auto [top, bottom] = Span(y, height, picture.height());
        SumColumns(picture, top, bottom, sums);
        auto* out = reinterpret_cast<QRgb*>(scaled.scanLine(int(y)));
        for (int64_t x = 0; x < width; ++x) {
            const auto [left, right] = spans[size_t(x)];
            uint64_t r = 0, g = 0, b = 0;
            for (int64_t sx = left; sx < right; ++sx) {
                r += sums[size_t(sx) * 3];
                g += sums[size_t(sx) * 3 + 1];
                b += sums[size_t(sx) * 3 + 2];
            }
            const uint64_t n = uint64_t(right - left) * uint64_t(bottom - top);
            // The mean rounded half up.
            out[x] = qRgb(int((r * 2 + n) / (n * 2)), int((g * 2 + n) / (n * 2)), int((b * 2 + n) / (n * 2)));
        }
    }
    picture = std::move(scaled);
    return Outcome::Done();
}

void InvertLightness(QImage& picture)
{
    picture.invertPixels(QImage::InvertRgb);
}
