// SPDX-License-Identifier: MIT
#include "engine/ImageLoading.h"

#include "common/FileAccess.h"
#include "common/NativePath.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QPainter>

#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

QString Megabytes(qint64 bytes)
{
    return QLocale(QLocale::English).toString((bytes + kMegabyte / 2) / kMegabyte);
}

// Transparent parts over white, in the picture's own memory: a copy of a
// large picture beside it would double the peak. Filling white behind the
// premultiplied picture gives the bytes that drawing it over white gives.
void ComposeOverWhite(QImage& image)
{
    if (image.depth() > 32) {
        // Drawn at its own precision, as before; rounding to 8 bits first
        // would change some bytes.
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = std::move(flat);
        return;
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    painter.fillRect(image.rect(), Qt::white);
    painter.end();
    image.reinterpretAsFormat(QImage::Format_RGB32); // every pixel is opaque now
}

} // namespace

Outcome LoadImageOverWhite(const QString& path, QImage& out)
{
    // Qt's words for a missing picture, as users have always seen them; any
    // other trouble with the name (too long, a loop) gets the system's reason.
    if (struct stat st {}; ::lstat(NativePath(path).constData(), &st) != 0 && errno == ENOENT)
        return Outcome::Failed(path, QStringLiteral("File not found"), ENOENT);
    QFile file;
    if (const Outcome opened = OpenForReading(path, file); !opened.IsDone())
        return opened;

    QImageReader::setAllocationLimit(kImageAllocationLimitMB);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true); // IMG_0001.JPG, or a PNG named .jpg
    reader.setAutoTransform(true);           // a phone's portrait photo, stored sideways with its EXIF orientation
    // Measured before decoding, so the refusal names the size and the limit.
    if (const QSize size = reader.size(); size.isValid()) {
        const qint64 need = qint64(size.width()) * size.height() * 4;
        if (need > kImageAllocationLimitMB * kMegabyte)
            return Outcome::Failed(path, QStringLiteral("%1 × %2 pixels need %3 MB; the limit is %4 MB")
                                             .arg(size.width())
                                             .arg(size.height())
                                             .arg(Megabytes(need), Megabytes(kImageAllocationLimitMB * kMegabyte)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return Outcome::Failed(path, reader.errorString());
    if (image.hasAlphaChannel())
        ComposeOverWhite(image);
    else
        image.convertTo(QImage::Format_RGB32); // in place where Qt can
    out = std::move(image);
    return Outcome::Done();
}
