// SPDX-License-Identifier: MIT
#include "engine/ImageLoading.h"

#include <QImageReader>
#include <QPainter>

Outcome LoadImageOverWhite(const QString& path, QImage& out)
{
    QImageReader::setAllocationLimit(kImageAllocationLimitMB);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true); // IMG_0001.JPG, or a PNG named .jpg
    reader.setAutoTransform(true);           // a phone's portrait photo, stored sideways with its EXIF orientation
    QImage image = reader.read();
    if (image.isNull())
        return Outcome::Failed(path, reader.errorString());
    if (!image.hasAlphaChannel()) {
        out = image.convertToFormat(QImage::Format_RGB32);
        return Outcome::Done();
    }
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    out = flat;
    return Outcome::Done();
}
