// SPDX-License-Identifier: MIT
// Pixel colours as the measuring and sampling code reads them: 0x00BBGGRR,
// red in the lowest byte, 0xFFFFFF for white.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>

inline int32_t ColourBgr(QRgb c)
{
    return int32_t(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16));
}

// Colour of pixel (x, y) of image as 0x00BBGGRR; -1 outside the image.
inline int32_t PixelAt(const QImage& image, int32_t x, int32_t y)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return -1;
    return ColourBgr(image.pixel(x, y));
}
