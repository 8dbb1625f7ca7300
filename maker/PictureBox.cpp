// SPDX-License-Identifier: MIT
#include "maker/PictureBox.h"

#include "engine/ImageLoading.h"
#include "engine/PixelColour.h"

#include <QFontMetricsF>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    image_ = QImage(1, 1, QImage::Format_RGB32);
    image_.fill(Qt::white);
}

void PictureBox::SetSurfaceSize(QSize size)
{
    image_ = QImage(size, QImage::Format_RGB32);
    image_.fill(Qt::white);
    update();
}

int32_t PictureBox::Point(int32_t x, int32_t y) const
{
    return PixelAt(image_, x, y);
}

void PictureBox::Cls()
{
    image_.fill(Qt::white);
    CurrentX = 0;
    CurrentY = 0;
    update();
}

Outcome PictureBox::LoadPicture(const QString& path)
{
    QImage image;
    const Outcome loaded = LoadImageOverWhite(path, image);
    if (loaded.IsDone())
        SetPicture(image);
    return loaded;
}

void PictureBox::SetPicture(const QImage& image)
{
    image_ = image.convertToFormat(QImage::Format_RGB32);
    resize(image_.size());
    update();
}

double PictureBox::TextWidth(const QString& text) const
{
    return QFontMetricsF(font()).horizontalAdvance(text);
}

void PictureBox::Print(const QString& text)
{
    QPainter p(&image_);
    p.setFont(font());
    p.setPen(Qt::black);
    p.drawText(QPointF(CurrentX, CurrentY + QFontMetricsF(font()).ascent()), text);
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawImage(0, 0, image_);
}
