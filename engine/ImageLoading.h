// SPDX-License-Identifier: MIT
// Decoding picture files for the conversion.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <QSize>
#include <QString>

// Largest picture that is decoded or drawn, in megabytes of pixels. Qt's own
// default (128 MB) refuses an ordinary 8000 x 6000 photograph.
constexpr int kImageAllocationLimitMB = 2048;

// Follows a load that decodes its picture a band of rows at a time (a JPEG
// or PNG the band decoder takes), to put the rows to use before the load ends.
class LoadWatcher {
public:
    virtual ~LoadWatcher() = default;
    // Rows [0, rows) of picture hold their final pixels. Until rows reaches
    // the picture's height, picture is a view of memory still being written
    // below those rows, valid until the next call; the last call gives the
    // loaded picture itself, which may be kept.
    virtual void RowsLoaded(const QImage& picture, int rows) = 0;
    // The load failed: the picture's memory goes once this returns.
    virtual void LoadFailed() = 0;
};

// Reads the first frame of the picture into image as 32-bit RGB, transparent
// parts composed over white. Only a regular file is read (a FIFO or device is
// refused at once), and a picture larger than the limit is refused before it
// is decoded, naming its size. A picture whose data ends early or is corrupt
// is refused with the reason in words, and one that memory cannot hold with
// NotEnoughMemory. On failure image is left as it was. A smaller limit serves
// the fuzzer, whose own memory limit then finds any allocation past it.
// watcher, if given, is told of the rows as they are decoded.
Outcome LoadImageOverWhite(const QString& path, QImage& image, int limitMB = kImageAllocationLimitMB,
                           LoadWatcher* watcher = nullptr);

// Done when width x height pixels of 32-bit RGB stay within the limit;
// otherwise the failure naming the size, the memory it needs and the limit.
Outcome WithinAllocationLimit(const QString& path, qint64 width, qint64 height, int limitMB = kImageAllocationLimitMB);

// The failure of a picture or drawing of size that memory could not hold
// (errno ENOMEM), so that callers can tell it from a damaged picture.
Outcome NotEnoughMemory(const QString& path, QSize size);
