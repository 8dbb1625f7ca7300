#include "JapaneseFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont JapaneseFont(const QString& family, Pitch pitch, double points, int weight)
{
    const QString fallback = pitch == Pitch::Fixed ? QStringLiteral("IPAGothic")
                                                   : QStringLiteral("IPAPGothic");
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
