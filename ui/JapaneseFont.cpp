// SPDX-License-Identifier: MIT
#include "ui/JapaneseFont.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>
#include <cmath>

QFont JapaneseFont(const QString& family, Pitch pitch, double points, int weight)
{
    const QString fallback = pitch == Pitch::Fixed ? QStringLiteral("IPAGothic") : QStringLiteral("IPAPGothic");
    QFont font;
    // Only ask for the named family where it really is installed: fontconfig
    // would otherwise "match" it with an unrelated Latin font.
    if (QFontDatabase::hasFamily(family))
        font.setFamilies(QStringList{family, fallback});
    else
        font.setFamilies(QStringList{fallback});
    if (pitch == Pitch::Fixed)
        font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(points);
    font.setWeight(QFont::Weight(weight));
    return font;
}

QFont CellAlignedFont(QFont font, double points, double dpi)
{
    const double pixels = std::max(2.0, 2.0 * std::round(points * dpi / 72.0 / 2.0));
    font.setPointSizeF(pixels * 72.0 / dpi);
    return font;
}
