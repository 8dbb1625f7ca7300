// SPDX-License-Identifier: MIT
// Decoding picture files for the conversion.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <QString>

// Largest picture that is decoded, in megabytes of decoded pixels. Qt's own
// default (128 MB) refuses an ordinary 8000 x 6000 photograph.
constexpr int kImageAllocationLimitMB = 2048;

// Reads the first frame of the picture into image as 32-bit RGB, transparent
// parts composed over white. Only a regular file is read (a FIFO or device is
// refused at once), and a picture larger than the limit is refused before it
// is decoded, naming its size. On failure image is left as it was.
Outcome LoadImageOverWhite(const QString& path, QImage& image);
