// Fonts for Japanese captions. The Windows families the windows were laid out
// for ("ＭＳ ゴシック", "ＭＳ Ｐゴシック") are asked for first; where they are
// missing the IPA families of fonts-ipafont-gothic stand in, so that fontconfig
// never silently gives a Latin font without Japanese glyphs.
#pragma once

#include <QFont>

enum class Pitch { Fixed, Proportional };

QFont JapaneseFont(const QString& family, Pitch pitch, double points, int weight = 400);
