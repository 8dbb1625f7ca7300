// SPDX-License-Identifier: MIT
// A picture box: a pixel surface with a white background that can hold a
// loaded picture, print text at CurrentX/CurrentY and report a pixel's colour
// as 0x00BBGGRR.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <QWidget>
#include <cstdint>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // A blank white surface of this size.
    void SetSurfaceSize(QSize size);

    int32_t ScaleWidth() const { return image_.width(); }
    int32_t ScaleHeight() const { return image_.height(); }

    // Colour of pixel (x, y) as 0x00BBGGRR; -1 outside the surface.
    int32_t Point(int32_t x, int32_t y) const;

    // Clears the surface to the background colour.
    void Cls();

    // Loads a picture file; the box takes its size. Transparent parts show as
    // if over white. On failure the box keeps what it held and the outcome says why.
    Outcome LoadPicture(const QString& path);
    void SetPicture(const QImage& image);

    // Text in the box's font.
    double TextWidth(const QString& text) const;
    void Print(const QString& text);
    int32_t CurrentX = 0;
    int32_t CurrentY = 0;

    // The pixels, 32-bit RGB, for fast reading.
    const QImage& Image() const { return image_; }
    QImage& MutableImage() { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};
