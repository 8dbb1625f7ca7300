// SPDX-License-Identifier: MIT
#include "engine/TextPictureImage.h"

#include "common/CodePage932.h"
#include "engine/CellSampler.h"
#include "engine/GlyphFont.h"
#include "engine/ImageLoading.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The drawing of columns x rows cells at scale 1, then at the scale asked for.
struct Extent {
    qint64 width1, height1, width, height;
};

Extent DrawingExtent(qint64 columns, qint64 rows, double scale)
{
    const qint64 width1 = std::max<qint64>(1, columns * kGlyphPixelSize);
    const qint64 height1 = std::max<qint64>(1, rows * kGlyphPixelSize);
    if (scale == 1.0)
        return {width1, height1, width1, height1};
    return {width1, height1, std::max<qint64>(1, std::llround(double(width1) * scale)),
            std::max<qint64>(1, std::llround(double(height1) * scale))};
}

// One character as every cell of it lands on the drawing, drawn and scaled
// once: its non-white pixels, and where they go relative to the cell.
struct Stamp {
    QImage ink;  // null: the character leaves its cell white
    QPoint tile; // the drawn tile's corner from the cell's, at scale 1
    QPoint trim; // the ink's corner within the scaled tile
};

int FloorToCell(int v)
{
    return (v >= 0 ? v / kGlyphPixelSize : -((-v + kGlyphPixelSize - 1) / kGlyphPixelSize)) * kGlyphPixelSize;
}

// The character drawn at 16 pixels in a tile of whole cells with a cell of
// white around its ink (so that smoothing sees it as in the whole drawing),
// scaled by sx x sy and trimmed to its non-white pixels. False when memory ran out.
bool MakeStamp(const GlyphFont& font, const QString& character, double sx, double sy, Stamp& stamp)
{
    const QRect ink = font.InkRect(character);
    if (ink.isEmpty())
        return true;
    // Whole cells from the cell's corner: at whole pixels a cell, the tile
    // lands on whole pixels as the cell does.
    const QPoint corner(FloorToCell(ink.left()) - kGlyphPixelSize, FloorToCell(ink.top()) - kGlyphPixelSize);
    const QPoint end(FloorToCell(ink.right()) + 2 * kGlyphPixelSize, FloorToCell(ink.bottom()) + 2 * kGlyphPixelSize);
    QImage tile(end.x() - corner.x(), end.y() - corner.y(), QImage::Format_RGB32);
    if (tile.isNull())
        return false;
    tile.fill(Qt::white);
    font.Draw(tile, -corner.x(), -corner.y(), character);
    if (sx != 1.0 || sy != 1.0) {
        tile = tile.scaled(std::max(1, int(std::lround(tile.width() * sx))),
                           std::max(1, int(std::lround(tile.height() * sy))), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
        if (tile.isNull())
            return false;
    }
    QRect inked;
    for (int y = 0; y < tile.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(tile.constScanLine(y));
        for (int x = 0; x < tile.width(); ++x)
            if (line[x] != 0xFFFFFFFF)
                inked |= QRect(x, y, 1, 1);
    }
    if (inked.isEmpty())
        return true;
    stamp.ink = tile.copy(inked);
    stamp.tile = corner;
    stamp.trim = inked.topLeft();
    return !stamp.ink.isNull();
}

// The stamp's pixels onto the drawing with (x, y) its corner, each the darker
// of the two. Both hold greys only, where the darker is the smaller value.
void Press(uchar* bits, qsizetype stride, const QRect& drawing, const QImage& ink, int x, int y)
{
    const QRect area = QRect(x, y, ink.width(), ink.height()) & drawing;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        const auto* from = reinterpret_cast<const QRgb*>(ink.constScanLine(row - y)) + (area.left() - x);
        auto* to = reinterpret_cast<QRgb*>(bits + row * stride) + area.left();
        for (int i = 0; i < area.width(); ++i)
            to[i] = std::min(to[i], from[i]);
    }
}

// Each character is drawn, scaled and trimmed once, then pressed into every
// cell that holds it. At scale 1 the ink of a character is exactly what
// drawing it into the cell gives, wherever it overflows the cell. False when
// memory ran out.
bool PressAll(const GlyphFont& font, const QList<QString>& lines, const Extent& extent, QImage& drawn)
{
    const double sx = double(extent.width) / double(extent.width1);
    const double sy = double(extent.height) / double(extent.height1);
    std::vector<int> known(0x10000, -1);
    std::vector<Stamp> stamps;
    uchar* bits = drawn.bits();
    const qsizetype stride = drawn.bytesPerLine();
    for (qsizetype r = 0; r < lines.size(); ++r) {
        for (qsizetype c = 0; c < lines[r].size(); ++c) {
            const char16_t unit = lines[r][c].unicode();
            if (known[unit] < 0) {
                known[unit] = int(stamps.size());
                stamps.emplace_back();
                if (!MakeStamp(font, lines[r].mid(c, 1), sx, sy, stamps.back()))
                    return false;
            }
            const Stamp& stamp = stamps[known[unit]];
            if (stamp.ink.isNull())
                continue;
            const double left = double(c * kGlyphPixelSize + stamp.tile.x()) * sx;
            const double top = double(r * kGlyphPixelSize + stamp.tile.y()) * sy;
            Press(bits, stride, drawn.rect(), stamp.ink, int(std::lround(left)) + stamp.trim.x(),
                  int(std::lround(top)) + stamp.trim.y());
        }
    }
    return true;
}

} // namespace

Outcome TextPictureImageFits(qint64 columns, qint64 rows, double scale)
{
    const Extent extent = DrawingExtent(columns, rows, scale);
    return WithinAllocationLimit(QString(), extent.width, extent.height);
}

Outcome TextPictureImageFits(QSize picture, int32_t cellSize, double scale)
{
    const GridExtent grid = ComputeGridExtent(picture.width(), picture.height(), cellSize);
    return TextPictureImageFits(std::max(grid.Columns(cellSize), 0), std::max(grid.Rows(cellSize), 0), scale);
}

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
    // The size is settled, and refused over the limit, before anything is
    // allocated; only the drawing at the scale asked for is ever made.
    if (Outcome fits = TextPictureImageFits(columns, lines.size(), scale); !fits.IsDone())
        return fits;
    const Extent extent = DrawingExtent(columns, lines.size(), scale);
    const QSize size(int(extent.width), int(extent.height));
    QImage drawn(size, QImage::Format_RGB32);
    if (drawn.isNull())
        return NotEnoughMemory(QString(), size);
    drawn.fill(Qt::white);

    if (!PressAll(font, lines, extent, drawn))
        return NotEnoughMemory(QString(), size);
    image = std::move(drawn);
    return Outcome::Done();
}
