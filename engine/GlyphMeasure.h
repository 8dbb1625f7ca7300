// SPDX-License-Identifier: MIT
// Measuring the font: every double-byte code of 0x8000-0x9FFF and
// 0xE000-0xFFFF is drawn, the white pixels of the four 8 x 8 quarters of its
// 16 x 16 cell are counted and turned into lightness levels, and the usable
// characters are filed into the buckets.
#pragma once

#include "engine/DrawingSurface.h"
#include "engine/GlyphBuckets.h"
#include "engine/GlyphFont.h"

#include <QImage>
#include <functional>

// Level of a quarter with count white pixels: (count - 36) x 0.57, or -1 when
// the quarter has too much ink (fewer than 36 white pixels).
float CountToLevel(int32_t count);

constexpr int32_t kMeasureProgressStep = 512; // codes between progress reports

struct MeasureResult {
    int32_t kept = 0;     // records put into buckets
    bool stopped = false; // the progress callback asked to stop
};

// Measures all codes onto surface and appends the kept records to buckets.
// progress gets the percentage at every code that is a multiple of 512 and
// answers false to stop.
MeasureResult MeasureGlyphs(DrawingSurface& surface, GlyphBucketArray& buckets,
                            const std::function<bool(double percent)>& progress = {});

// A 25 x 25 white surface drawn on with a GlyphFont.
class GlyphCanvas : public DrawingSurface {
public:
    explicit GlyphCanvas(const GlyphFont& font);

    bool CanDraw(const QString& text) const override;
    double TextWidth(const QString& text) const override;
    void PrintAt(int32_t x, int32_t y, const QString& text) override;
    int32_t Point(int32_t x, int32_t y) const override;
    void Cls() override;

    const QImage& Image() const { return image_; }

private:
    const GlyphFont& font_;
    QImage image_;
};
