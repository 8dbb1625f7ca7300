// SPDX-License-Identifier: MIT
#include "engine/ImageLoading.h"

#include "common/FileAccess.h"
#include "common/NativePath.h"
#include "engine/PictureIntegrity.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr qint64 kMegabyte = qint64(1024) * 1024;

QString Megabytes(qint64 bytes)
{
    return QLocale(QLocale::English).toString((bytes + kMegabyte / 2) / kMegabyte);
}

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

// Rows first to first + rows of image, as an image sharing its memory.
QImage Band(QImage& image, int first, int rows)
{
    return QImage(image.bits() + first * image.bytesPerLine(), image.width(), rows, image.bytesPerLine(),
                  image.format());
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

// Whether a picture of size could be held now, as the decoder's format and
// as 32-bit RGB: after a decoder failed, this tells a picture too large for
// the memory left from a damaged one.
bool Fits(QSize size, int decoded)
{
    const bool known = decoded > QImage::Format_Invalid && decoded < QImage::NImageFormats;
    return !QImage(size, QImage::Format_RGB32).isNull() && (!known || !QImage(size, QImage::Format(decoded)).isNull());
}

// Why the data of the opened file cannot hold its picture, or the empty string.
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

// Why reader gave no picture. Qt's reader fails without a word when it
// cannot allocate the picture, and turns a picture sideways only after
// reading it; size and format are what the reader said before reading.
Outcome FailedRead(const QString& path, QImageReader& reader, bool read, const DecoderMessages& messages, QSize size,
                   int format)
{
    QSize shown = size; // as it would have been shown, turned by its EXIF orientation
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        shown.transpose();
    if (messages.OutOfMemory() || read || (size.isValid() && !Fits(size, format)))
        return NotEnoughMemory(path, shown);
    return Outcome::Failed(path, reader.errorString());
}

} // namespace

Outcome LoadImageOverWhite(const QString& path, QImage& out, int limitMB)
{
    // Qt's words for a missing picture, as users have always seen them; any
    // other trouble with the name (too long, a loop) gets the system's reason.
    if (struct stat st{}; ::lstat(NativePath(path).constData(), &st) != 0 && errno == ENOENT)
        return Outcome::Failed(path, QStringLiteral("File not found"), ENOENT);
    QFile file;
    if (Outcome opened = OpenForReading(path, file); !opened.IsDone())
        return opened;

    QImageReader::setAllocationLimit(limitMB);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true); // IMG_0001.JPG, or a PNG named .jpg
    reader.setAutoTransform(true);           // a phone's portrait photo, stored sideways with its EXIF orientation
    // Every step that allocates a picture is checked: Qt answers a failed
    // allocation with a null image (a warning at most), and a null or partly
    // converted picture must never pass for the picture itself.
    const DecoderMessages messages;
    // Measured before decoding, so the refusal names the size and the limit.
    const QSize size = reader.size();
    const int format = reader.imageFormat(); // now: a failed read forgets it; a number: Qt may leave it unset
    if (size.isValid())
        if (Outcome within = WithinAllocationLimit(path, size.width(), size.height(), limitMB); !within.IsDone())
            return within;
    if (const QString damage = MissingData(file, reader.format()); !damage.isEmpty())
        return DamagedPicture(path, damage);

    QImage image;
    const bool read = reader.read(&image);
    if (!messages.Corruption().isEmpty())
        return Outcome::Damaged(Damage::PictureCorrupt, path, messages.Corruption());
    if (!read || image.isNull())
        return FailedRead(path, reader, read, messages, size, format);
    const QSize decoded = image.size();
    const bool converted =
        image.hasAlphaChannel() ? ComposeOverWhite(image) : ConvertInBands(image, QImage::Format_RGB32);
    if (!converted || messages.OutOfMemory() || image.isNull() || image.size() != decoded ||
        image.format() != QImage::Format_RGB32)
        return NotEnoughMemory(path, decoded);
    out = std::move(image);
    return Outcome::Done();
}

Outcome NotEnoughMemory(const QString& path, QSize size)
{
    const QString what = size.isValid() ? QStringLiteral("a %1 × %2 picture").arg(size.width()).arg(size.height())
                                        : QStringLiteral("the picture");
    return Outcome::Failed(FailureKind::NoMemory, path, QStringLiteral("not enough memory for ") + what,
                           {size.isValid() ? size.width() : 0, size.isValid() ? size.height() : 0});
}

Outcome WithinAllocationLimit(const QString& path, qint64 width, qint64 height, int limitMB)
{
    const qint64 need = width * height * 4;
    if (need <= limitMB * kMegabyte)
        return Outcome::Done();
    return Outcome::Failed(FailureKind::TooLarge, path,
                           QStringLiteral("%1 × %2 pixels need %3 MB; the limit is %4 MB")
                               .arg(width)
                               .arg(height)
                               .arg(Megabytes(need), Megabytes(limitMB * kMegabyte)),
                           {width, height, (need + kMegabyte / 2) / kMegabyte, limitMB});
}
