// SPDX-License-Identifier: MIT
// The steps of loading a picture that the whole-picture loader
// (ImageLoading.h) and the band decoder (BandDecoder.h) share, so that both
// open, check and convert a picture alike and give the same bytes.
#pragma once

#include "common/Outcome.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

// Opens path for reading as a picture: Qt's words for a missing file, as
// users have always seen them; anything else as OpenForReading says.
Outcome OpenPicture(const QString& path, QFile& file);

// Why the data of the opened file cannot hold its picture in format (Qt's
// name), or the empty string. The file is memory-mapped for the check and
// unmapped at once, so its pages do not stay in the process.
QString MissingData(QFile& file, const QByteArray& format);

// The refusal of a picture whose data MissingData found wanting.
Outcome DamagedPicture(const QString& path, const QString& why);

// Converts image to 32-bit RGB, its transparent parts composed over white
// when transparent (the decoded picture's hasAlphaChannel()). Every pixel
// comes out as from the whole picture: no step looks beyond its own pixel,
// so a band of rows converts as those rows of the picture do. False when
// memory ran out; image is then unusable.
bool ToRgb32OverWhite(QImage& image, bool transparent);

// A 32-bit RGB picture of size, its pixels not yet set; null when memory
// cannot hold it. A large one lies in huge pages where the kernel offers them
// for the asking (transparent huge pages, "madvise"): filling it then takes
// one page fault every 2 MB instead of every 4 KB, which on a virtual machine
// is most of the time a large picture takes to load.
QImage PictureBuffer(QSize size);

// Rows first to first + rows of image, as an image sharing its memory.
QImage Band(QImage& image, int first, int rows);
