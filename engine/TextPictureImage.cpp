// SPDX-License-Identifier: MIT
#include "engine/TextPictureImage.h"

#include "common/CodePage932.h"
#include "engine/GlyphFont.h"

#include <algorithm>
#include <cmath>

Outcome DrawTextPicture(const QList<QByteArray>& rows, const QString& fontFile, double scale, QImage& image)
{
    const GlyphFont font(fontFile.isEmpty() ? FindGlyphFontFile() : fontFile);
    if (!font.IsOpen())
        return font.Status();
    QList<QString> lines;
    qsizetype columns = 0;
    for (const QByteArray& row : rows) {
        lines << FromCp932(row);
        columns = std::max(columns, lines.back().size());
    }
    QImage drawn(std::max<int>(1, int(columns) * kGlyphPixelSize),
                 std::max<int>(1, int(lines.size()) * kGlyphPixelSize), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    for (qsizetype r = 0; r < lines.size(); ++r)
        for (qsizetype c = 0; c < lines[r].size(); ++c)
            font.Draw(drawn, int(c) * kGlyphPixelSize, int(r) * kGlyphPixelSize, lines[r].mid(c, 1));
    if (scale == 1.0) {
        image = drawn;
    } else {
        const QSize size(std::max(1, int(std::lround(drawn.width() * scale))),
                         std::max(1, int(std::lround(drawn.height() * scale))));
        image = drawn.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return Outcome::Done();
}
