// SPDX-License-Identifier: MIT
#include "common/PrintableText.h"

#include "common/NativePath.h"

QString PrintableText(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        const int kept = KeptByte(unit);
        const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
        if (kept >= 0 || control)
            shown += QStringLiteral("\\x%1").arg(kept >= 0 ? kept : int(unit), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
