// SPDX-License-Identifier: MIT
// Fonts for Japanese captions. The Windows families the windows were laid out
// for ("ＭＳ ゴシック", "ＭＳ Ｐゴシック") are asked for first; where they are
// missing the IPA families of fonts-ipafont-gothic stand in, so that fontconfig
// never silently gives a Latin font without Japanese glyphs.
#pragma once

#include <QFont>

enum class Pitch { Fixed, Proportional };

QFont JapaneseFont(const QString& family, Pitch pitch, double points, int weight = 400);

// font at the size nearest to points at which a full-width character is
// exactly two half-width ones wide: an even number of pixels per em at dpi.
// Odd or fractional pixel sizes round the two widths apart and the columns of
// a picture drift. At 96 dpi 6, 9, 12 and 15 points stay as they are.
QFont CellAlignedFont(QFont font, double points, double dpi);
