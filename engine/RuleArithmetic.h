// SPDX-License-Identifier: MIT
// The arithmetic that decides which character a cell gets, in one place for
// the one-cell-at-a-time loop and the fast engine alike. Every float and
// double step here is part of the result: change none of them.
#pragma once

#include <cstdint>

// No glyph wins unless its score is below this.
constexpr float kStartScore = 9999.0f;
// A glyph takes part (and draws a random number) only when none of its
// quarters differs from the cell's by more than this.
constexpr float kCloseness = 100.0f;

// R + G + B of a colour 0x00BBGGRR. For any colour of 24 bits this is the
// sum of its three bytes, whichever order they are in.
constexpr int32_t Lightness(int32_t c)
{
    return c / 65536 + c % 256 + (c % 65536) / 256;
}

// What a quarter's sum of lightness is divided by: a quarter of the cell's
// pixels times 48, which puts white at 765 / 48 = 15.9375.
constexpr int32_t QuarterDivisor(int32_t cellSize)
{
    return int32_t(double(cellSize * 48 * cellSize) / 4);
}

// A quarter's value from its sum, after brightness and contrast.
inline float AdjustQuarter(float sum, int32_t divisor, float brightness, float contrast)
{
    return float((double(sum) / divisor - 8) * double(contrast) + double(brightness));
}

// True when a glyph whose quarters differ by these amounts takes part.
inline bool Close(float dtl, float dtr, float dbl, float dbr)
{
    return dtl <= kCloseness && dtr <= kCloseness && dbl <= kCloseness && dbr <= kCloseness;
}

// A glyph's score: its squared differences and r x variation summed in this
// order in double, then rounded once to float.
inline float Score(float dtl, float dtr, float dbl, float dbr, float r, int32_t variation)
{
    return float(double(dtl) * dtl + double(dtr) * dtr + double(dbl) * dbl + double(dbr) * dbr + double(r) * variation);
}
