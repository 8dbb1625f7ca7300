// SPDX-License-Identifier: MIT
// Pixel colours as the measuring and sampling code reads them: 0x00BBGGRR,
// red in the lowest byte, 0xFFFFFF for white.
#pragma once

#include <QRgb>
#include <cstdint>

inline int32_t ColourBgr(QRgb c)
{
    return int32_t(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16));
}
