// SPDX-License-Identifier: MIT
// A text picture drawn as an image, to share it where text will not do: each
// character in the measuring font (IPAGothic, 16 pixels, baseline 14 pixels
// below the cell's top) exactly where the glyph database measured it, black on
// white, one 16 x 16 square per cell.
#pragma once

#include "common/Outcome.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QList>

inline constexpr double kMinimumImageScale = 0.25;
inline constexpr double kMaximumImageScale = 2.0;

// Done when the drawing of columns x rows characters at scale stays within
// kImageAllocationLimitMB; otherwise the failure naming its size and the
// limit. A caller may ask before converting.
Outcome TextPictureImageFits(qint64 columns, qint64 rows, double scale);
// The same for the text picture of a picture of size in cells of cellSize.
Outcome TextPictureImageFits(QSize picture, int32_t cellSize, double scale);

// Draws rows of code page 932 text (one character a cell, no line ends)
// with the font file (empty: IPAGothic as fontconfig lists it), scaled by
// scale. The image is 16 x columns by 16 x rows pixels at scale 1. A drawing
// over the limit is refused before anything is allocated, and one that memory
// cannot hold fails with NotEnoughMemory; image is only set when Done.
Outcome DrawTextPicture(const QList<QByteArray>& rows, const QString& fontFile, double scale, QImage& image);
