// SPDX-License-Identifier: MIT
#include "engine/LoadingSteps.h"

#include <climits>
#include <cstdint>

#include "common/FileAccess.h"
#include "common/NativePath.h"
#include "engine/LargeMemory.h"
#include "engine/PictureIntegrity.h"

#include <QColorSpace>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

// Qt converts and paints a large picture on its thread pool and waits for
// the pool's threads, for ever when none can be started (an address-space
// limit that leaves no room for a thread's stack). A band of at most 64 KB
// and 64 rows stays on the calling thread, and each pixel comes out as it
// does from the whole picture: no conversion or painting here looks beyond
// its own pixel.
int BandRows(qsizetype bytesPerLine)
{
    return int(std::clamp<qsizetype>((qsizetype(1) << 16) / bytesPerLine, 1, 64));
}

// Converts image to format band by band: in its own memory when the depth
// stays, else into a new picture with the old one's metadata. False when
// memory ran out; image is then unusable.
bool ConvertInBands(QImage& image, QImage::Format format)
{
    if (image.format() == format)
        return true;
    const bool inPlace = QImage::toPixelFormat(format).bitsPerPixel() == uint(image.depth());
    QImage fresh;
    if (!inPlace && (fresh = QImage(image.size(), format)).isNull())
        return false;
    QImage& out = inPlace ? image : fresh;
    const int step = BandRows(image.bytesPerLine());
    for (int first = 0; first < image.height(); first += step) {
        const int rows = std::min(step, image.height() - first);
        QImage band(image.constScanLine(first), image.width(), rows, image.bytesPerLine(), image.format());
        if (image.colorCount() > 0)
            band.setColorTable(image.colorTable());
        const QImage converted = band.convertToFormat(format);
        if (converted.isNull())
            return false;
        const qsizetype length = std::min(converted.bytesPerLine(), out.bytesPerLine());
        for (int row = 0; row < rows; ++row)
            std::memcpy(out.bits() + (first + row) * out.bytesPerLine(), converted.constScanLine(row), size_t(length));
    }
    if (inPlace)
        return image.reinterpretAsFormat(format);
    fresh.setDotsPerMeterX(image.dotsPerMeterX());
    fresh.setDotsPerMeterY(image.dotsPerMeterY());
    fresh.setOffset(image.offset());
    fresh.setDevicePixelRatio(image.devicePixelRatio());
    fresh.setColorSpace(image.colorSpace());
    for (const QString& key : image.textKeys())
        fresh.setText(key, image.text(key));
    image = std::move(fresh);
    return true;
}

// Transparent parts over white, in the picture's own memory: a copy of a
// large picture beside it would double the peak. Filling white behind the
// premultiplied picture gives the bytes that drawing it over white gives.
// False when memory ran out on the way.
bool ComposeOverWhite(QImage& image)
{
    if (image.depth() > 32) {
        // Drawn at its own precision, as before; rounding to 8 bits first
        // would change some bytes.
        QImage flat(image.size(), QImage::Format_RGB32);
        if (flat.isNull())
            return false;
        flat.fill(Qt::white);
        const int step = BandRows(flat.bytesPerLine());
        for (int first = 0; first < flat.height(); first += step) {
            const int rows = std::min(step, flat.height() - first);
            QImage band = Band(flat, first, rows);
            QPainter painter(&band);
            if (!painter.isActive())
                return false;
            painter.drawImage(QPoint(0, 0), image, QRect(0, first, image.width(), rows));
        }
        image = std::move(flat);
        return true;
    }
    if (!ConvertInBands(image, QImage::Format_ARGB32_Premultiplied))
        return false;
    const int step = BandRows(image.bytesPerLine());
    for (int first = 0; first < image.height(); first += step) {
        QImage band = Band(image, first, std::min(step, image.height() - first));
        QPainter painter(&band);
        if (!painter.isActive())
            return false;
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
        painter.fillRect(band.rect(), Qt::white);
    }
    image.reinterpretAsFormat(QImage::Format_RGB32); // every pixel is opaque now
    return true;
}

} // namespace

Outcome OpenPicture(const QString& path, QFile& file)
{
    // Any other trouble with the name (too long, a loop) gets the system's reason.
    if (struct stat st{}; ::lstat(NativePath(path).constData(), &st) != 0 && errno == ENOENT)
        return Outcome::Failed(path, QStringLiteral("File not found"), ENOENT);
    return OpenForReading(path, file);
}

QString MissingData(QFile& file, const QByteArray& format)
{
    const qint64 length = OpenedFileLength(file);
    if (length <= 0)
        return {};
    if (uchar* bytes = file.map(0, length)) {
        QString why = MissingPictureData(format, QByteArrayView(bytes, length));
        file.unmap(bytes);
        return why;
    }
    // A file that cannot be mapped is read, and the reader finds its place again.
    const qint64 at = file.pos();
    const QByteArray bytes = file.seek(0) ? file.readAll() : QByteArray();
    file.seek(at);
    return MissingPictureData(format, bytes);
}

Outcome DamagedPicture(const QString& path, const QString& why)
{
    return Outcome::Damaged(why == kPictureEndsEarly ? Damage::PictureEndsEarly : Damage::PictureCorrupt, path, why);
}

bool ToRgb32OverWhite(QImage& image, bool transparent)
{
    return transparent ? ComposeOverWhite(image) : ConvertInBands(image, QImage::Format_RGB32);
}

QImage PictureBuffer(QSize size)
{
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const size_t bytes = size_t(bytesPerLine) * size_t(std::max(size.height(), 0));
    if (size.isEmpty() || bytes < LargeMemory::kHugePage / 2 || size.width() > (INT_MAX / 4))
        return QImage(size, QImage::Format_RGB32);
    auto memory = std::make_unique<LargeMemory>(LargeMemory::InHugePages(bytes));
    if (!memory->Data())
        return QImage(size, QImage::Format_RGB32); // null as well when memory is short
    auto* data = static_cast<uchar*>(memory->Data());
    return QImage(
        data, size.width(), size.height(), bytesPerLine, QImage::Format_RGB32,
        [](void* info) { delete static_cast<LargeMemory*>(info); }, memory.release());
}

QImage Band(QImage& image, int first, int rows)
{
    return QImage(image.bits() + first * image.bytesPerLine(), image.width(), rows, image.bytesPerLine(),
                  image.format());
}
