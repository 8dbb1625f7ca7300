// SPDX-License-Identifier: MIT
// The conversion settings in one table: the cell sizes the window offers, the
// slider mappings that give brightness, contrast and variation, and the ranges
// and defaults that follow from them. The window's handlers, the command
// line's parsing, its messages and its help all read this table.
#pragma once

#include <QString>

#include <array>
#include <bit>
#include <cstdint>
#include <optional>

namespace Settings {

struct CellSizeItem {
    int32_t size;
    const char16_t* item; // the text of the window's combo box
};
inline constexpr std::array<CellSizeItem, 4> kCellSizes{{
    {4, u"４ピクセル四方／文字"},
    {8, u"８ピクセル四方／文字"},
    {16, u"１６ピクセル四方／文字"},
    {32, u"３２ピクセル四方／文字"},
}};
inline constexpr int kStartCellSizeIndex = 1;

// The cell size of combo box index, or nothing (no selection keeps the size).
constexpr std::optional<int32_t> CellSizeAt(int index)
{
    if (index < 0 || index >= int(kCellSizes.size()))
        return std::nullopt;
    return kCellSizes[size_t(index)].size;
}

// The three sliders: positions 0 to 10, starting in the middle.
inline constexpr int kSliderMin = 0;
inline constexpr int kSliderMax = 10;
inline constexpr int kSliderStart = 5;

// Brightness: the position plus 3, an integer sum stored as a float.
constexpr float BrightnessAt(int position)
{
    return float(int32_t(position) + 3);
}

// Contrast: (position - 5) x 0.1 + 1.0 in double, stored as a float.
constexpr float ContrastAt(int position)
{
    return float(double(int32_t(position) - 5) * 0.1 + 1.0);
}

// Variation: the position, except that 7, 8, 9 and 10 give 10, 20, 30 and 50.
constexpr int32_t VariationAt(int position)
{
    int32_t v = position;
    if (v == 10)
        v = 50;
    if (v == 9)
        v = 30;
    if (v == 8)
        v = 20;
    if (v == 7)
        v = 10;
    return v;
}

// A setting's range: the values at the slider's ends, and its start value.
struct Range {
    double min;
    double max;
    double start;
    bool whole; // only whole numbers
};
inline constexpr Range kBrightness{BrightnessAt(kSliderMin), BrightnessAt(kSliderMax), BrightnessAt(kSliderStart),
                                   false};
inline constexpr Range kContrast{ContrastAt(kSliderMin), ContrastAt(kSliderMax), ContrastAt(kSliderStart), false};
inline constexpr Range kVariation{double(VariationAt(kSliderMin)), double(VariationAt(kSliderMax)),
                                  double(VariationAt(kSliderStart)), true};

inline constexpr int32_t StartCellSize()
{
    return kCellSizes[kStartCellSizeIndex].size;
}

} // namespace Settings

// The values in force while a picture is converted.
struct ConversionSettings {
    float Brightness = Settings::BrightnessAt(Settings::kSliderStart);
    float Contrast = Settings::ContrastAt(Settings::kSliderStart);
    int32_t Variation = Settings::VariationAt(Settings::kSliderStart);
};

// Equal bits: the settings give the same bytes. (== would also take -0 for 0,
// and NaN would never equal itself.)
inline bool SameSettings(const ConversionSettings& a, const ConversionSettings& b)
{
    return std::bit_cast<uint32_t>(a.Brightness) == std::bit_cast<uint32_t>(b.Brightness) &&
           std::bit_cast<uint32_t>(a.Contrast) == std::bit_cast<uint32_t>(b.Contrast) && a.Variation == b.Variation;
}
