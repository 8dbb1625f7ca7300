// SPDX-License-Identifier: MIT
// What glyph measuring needs from the surface it draws on.
#pragma once

#include <QString>
#include <cstdint>

class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    // False when the font has no glyph of its own for the text.
    virtual bool CanDraw(const QString& text) const = 0;
    // Width of the text in the surface's font, in pixels.
    virtual double TextWidth(const QString& text) const = 0;
    // Draws the text with its top-left corner at (x, y).
    virtual void PrintAt(int32_t x, int32_t y, const QString& text) = 0;
    // Colour of a pixel as 0x00BBGGRR (0xFFFFFF is white).
    virtual int32_t Point(int32_t x, int32_t y) const = 0;
    // Clears the surface to white.
    virtual void Cls() = 0;
};
