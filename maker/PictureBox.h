// SPDX-License-Identifier: MIT
// A picture box: a pixel surface with a white background that shows the
// characters being measured (Picture1) or holds the loaded picture that is
// converted (Picture2).
#pragma once

#include "common/Outcome.h"
#include "engine/ImageLoading.h"

#include <QImage>
#include <QWidget>
#include <cstdint>

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // A blank white surface of this size.
    void SetSurfaceSize(QSize size);

    // Clears the surface to the background colour.
    void Cls();

    // Loads a picture file; the box takes its size. Transparent parts show as
    // if over white. On failure the box keeps what it held and the outcome says why.
    // watcher, if given, follows a load that goes band by band.
    Outcome LoadPicture(const QString& path, LoadWatcher* watcher = nullptr);
    void SetPicture(const QImage& image);

    // The pixels, 32-bit RGB, for fast reading.
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};
