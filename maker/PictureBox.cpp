// SPDX-License-Identifier: MIT
#include "maker/PictureBox.h"

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

void PictureBox::Cls()
{
    image_.fill(Qt::white);
    update();
}

Outcome PictureBox::LoadPicture(const QString& path, LoadWatcher* watcher)
{
    QImage image;
    Outcome loaded = LoadImageOverWhite(path, image, kImageAllocationLimitMB, watcher);
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

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawImage(0, 0, image_);
}
