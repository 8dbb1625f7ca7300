// Decoding picture files for the conversion.
#pragma once

#include <QImage>
#include <QString>

// Largest picture that is decoded, in megabytes of decoded pixels. Qt's own
// default (128 MB) refuses an ordinary 8000 x 6000 photograph.
constexpr int kImageAllocationLimitMB = 2048;

// The first frame of the picture as 32-bit RGB, transparent parts composed
// over white; a null image when the file cannot be decoded.
QImage LoadImageOverWhite(const QString& path, QString* error = nullptr);
