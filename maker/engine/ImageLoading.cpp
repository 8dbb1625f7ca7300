#include "ImageLoading.h"

#include <QImageReader>
#include <QPainter>

QImage LoadImageOverWhite(const QString& path, QString* error)
{
    QImageReader::setAllocationLimit(kImageAllocationLimitMB);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true); // IMG_0001.JPG, or a PNG named .jpg
    QImage image = reader.read();
    if (image.isNull()) {
        if (error)
            *error = reader.errorString();
        return {};
    }
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}
