// SPDX-License-Identifier: MIT
#include "engine/GlyphMeasure.h"

#include "common/CodePage932.h"
#include "engine/PixelColour.h"

float CountToLevel(int32_t count)
{
    float v = float(double(count - 36) * 0.57);
    if (v < 0)
        v = -1;
    if (v > 16)
        v = -1;
    return v;
}

namespace {

const QString kMiddleDot = QStringLiteral("・");
const QString kIdeographicSpace = QStringLiteral("　");

struct CodeRange {
    int32_t first;
    int32_t last;
    int32_t progressBase; // code whose percentage is 0 in the progress formula
};
constexpr CodeRange kRanges[] = {{0x8000, 0x9FFF, 0x8000}, {0xE000, 0xFFFF, 0xC000}};

void Count(const DrawingSurface& surface, clsChr& record)
{
    constexpr int32_t kWhite = 0xFFFFFF;
    int32_t tl = 0, tr = 0, bl = 0, br = 0;
    for (int32_t x = 0; x <= 7; ++x) {
        for (int32_t y = 0; y <= 7; ++y) {
            tl += surface.Point(x, y) == kWhite;
            tr += surface.Point(x + 8, y) == kWhite;
            bl += surface.Point(x, y + 8) == kWhite;
            br += surface.Point(x + 8, y + 8) == kWhite;
        }
    }
    record.TL = CountToLevel(tl);
    record.TR = CountToLevel(tr);
    record.BL = CountToLevel(bl);
    record.BR = CountToLevel(br);
}

} // namespace

MeasureResult MeasureGlyphs(DrawingSurface& surface, GlyphBucketArray& buckets,
                            const std::function<bool(double percent)>& progress)
{
    MeasureResult result;
    bool middleDotSeen = false;
    bool spaceSeen = false;
    for (const CodeRange& range : kRanges) {
        for (int32_t code = range.first; code <= range.last; ++code) {
            const QString text = CharFromCode(code);
            // A code that is no character has no text and counts as narrow; a
            // character the font lacks would measure the font's empty box.
            const bool wide = !text.isEmpty() && surface.CanDraw(text) && surface.TextWidth(text) >= 10;
            const bool measured =
                wide && !(text == kMiddleDot && middleDotSeen) && !(text == kIdeographicSpace && spaceSeen);
            if (measured) {
                surface.PrintAt(0, 0, text);
                auto record = std::make_shared<clsChr>();
                record->AsciiNo = code;
                Count(surface, *record);
                if (record->TL != -1 && record->TR != -1 && record->BL != -1 && record->BR != -1) {
                    buckets[BucketKey(*record)].push_back(std::move(record));
                    ++result.kept;
                }
                middleDotSeen = middleDotSeen || text == kMiddleDot;
                spaceSeen = spaceSeen || text == kIdeographicSpace;
            }
            if (code % kMeasureProgressStep == 0 && progress &&
                !progress(double(code - range.progressBase) * 100 / 16384)) {
                result.stopped = true;
                return result;
            }
            surface.Cls();
        }
    }
    return result;
}

GlyphCanvas::GlyphCanvas(const GlyphFont& font) : font_(font), image_(25, 25, QImage::Format_RGB32)
{
    image_.fill(Qt::white);
}

bool GlyphCanvas::CanDraw(const QString& text) const
{
    return font_.HasGlyphs(text);
}

double GlyphCanvas::TextWidth(const QString& text) const
{
    return font_.Advance(text);
}

void GlyphCanvas::PrintAt(int32_t x, int32_t y, const QString& text)
{
    font_.Draw(image_, x, y, text);
}

int32_t GlyphCanvas::Point(int32_t x, int32_t y) const
{
    return PixelAt(image_, x, y);
}

void GlyphCanvas::Cls()
{
    image_.fill(Qt::white);
}
