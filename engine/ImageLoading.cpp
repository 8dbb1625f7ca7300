// SPDX-License-Identifier: MIT
#include "engine/ImageLoading.h"

#include "engine/BandDecoder.h"

#include "engine/LargeMemory.h"
#include "engine/LoadingSteps.h"
#include "engine/PictureIntegrity.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLocale>

#include <system_error>
#include <thread>

namespace {

constexpr qint64 kMegabyte = qint64(1024) * 1024;

QString Megabytes(qint64 bytes)
{
    return QLocale(QLocale::English).toString((bytes + kMegabyte / 2) / kMegabyte);
}

// Whether a picture of size could be held now, as the decoder's format and
// as 32-bit RGB: after a decoder failed, this tells a picture too large for
// the memory left from a damaged one.
bool Fits(QSize size, int decoded)
{
    const bool known = decoded > QImage::Format_Invalid && decoded < QImage::NImageFormats;
    return !QImage(size, QImage::Format_RGB32).isNull() && (!known || !QImage(size, QImage::Format(decoded)).isNull());
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

namespace {

// Fresh memory is cleared page by page as it is first written, which on a
// virtual machine costs about as much as decoding: another core clears the
// pages of a large picture ahead of the decoder. No thread when none can be
// had (memory short): the decoder clears its own pages.
std::jthread ClearAhead(const QImage& image)
{
    constexpr qsizetype kClearAhead = qsizetype(64) << 20;
    if (image.sizeInBytes() < kClearAhead)
        return {};
    try {
        return std::jthread(
            [pixels = image.constBits(), bytes = size_t(image.sizeInBytes())](const std::stop_token& stop) {
                constexpr size_t kStep = size_t(8) << 20;
                for (size_t at = 0; at < bytes && !stop.stop_requested(); at += kStep)
                    if (!PreparePages(pixels + at, std::min(kStep, bytes - at)))
                        return;
            });
    } catch (const std::system_error&) {
        return {};
    }
}

// The whole picture decoded band by band where the band decoder takes it:
// the bytes Qt's reader gives, several times sooner. Nothing when the
// picture is left to Qt's reader.
std::optional<Outcome> LoadInBands(const QString& path, QImage& out, int limitMB, LoadWatcher* watcher)
{
    Outcome opened = Outcome::Done();
    const std::unique_ptr<BandDecoder> decoder = BandDecoder::Open(path, opened);
    if (!decoder)
        return opened.IsDone() ? std::nullopt : std::optional(opened);
    const QSize size = decoder->Size();
    if (Outcome within = WithinAllocationLimit(path, size.width(), size.height(), limitMB); !within.IsDone())
        return within;
    QImage image = PictureBuffer(size);
    if (image.isNull())
        return NotEnoughMemory(path, size);
    const std::jthread clearing = ClearAhead(image); // stopped and joined before image goes
    constexpr int kBandRows = 64;                    // the decoder's own buffers stay small
    // A view, not a copy: a second owner would make every band written copy the picture.
    const QImage view(image.constBits(), size.width(), size.height(), image.bytesPerLine(), image.format());
    for (int first = 0; first < size.height(); first += kBandRows) {
        const int rows = std::min(kBandRows, size.height() - first);
        QImage band = Band(image, first, rows);
        if (Outcome read = decoder->ReadRows(band, rows); !read.IsDone()) {
            if (watcher)
                watcher->LoadFailed();
            return read;
        }
        if (watcher && first + rows < size.height())
            watcher->RowsLoaded(view, first + rows);
    }
    if (watcher)
        watcher->RowsLoaded(image, size.height());
    out = std::move(image);
    return Outcome::Done();
}

} // namespace

Outcome LoadImageOverWhite(const QString& path, QImage& out, int limitMB, LoadWatcher* watcher)
{
    if (std::optional<Outcome> banded = LoadInBands(path, out, limitMB, watcher))
        return *banded;
    QFile file;
    if (Outcome opened = OpenPicture(path, file); !opened.IsDone())
        return opened;

    QImageReader::setAllocationLimit(limitMB);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true); // IMG_0001.JPG, or a PNG named .jpg
    reader.setAutoTransform(true);           // a phone's portrait photo, stored sideways with its EXIF orientation
    // Every step that allocates a picture is checked: Qt answers a failed
    // allocation with a null image (a warning at most), and a null or partly
    // converted picture must never pass for the picture itself.
    const DecoderMessages messages;
    // Damage first: reading the header makes libpng take the memory each
    // chunk before the pixels claims.
    if (const QString damage = MissingData(file, reader.format()); !damage.isEmpty())
        return DamagedPicture(path, damage);
    // Measured before decoding, so the refusal names the size and the limit.
    const QSize size = reader.size();
    const int format = reader.imageFormat(); // now: a failed read forgets it; a number: Qt may leave it unset
    if (size.isValid())
        if (Outcome within = WithinAllocationLimit(path, size.width(), size.height(), limitMB); !within.IsDone())
            return within;

    QImage image;
    const bool read = reader.read(&image);
    if (!messages.Corruption().isEmpty())
        return Outcome::Damaged(Damage::PictureCorrupt, path, messages.Corruption());
    if (!read || image.isNull())
        return FailedRead(path, reader, read, messages, size, format);
    const QSize decoded = image.size();
    const bool converted = ToRgb32OverWhite(image, image.hasAlphaChannel());
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
