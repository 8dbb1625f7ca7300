// SPDX-License-Identifier: MIT
// Decoding a JPEG or PNG picture a band of rows at a time, so that a picture
// too large to hold whole (30000 x 30000 pixels take 3.4 GB as 32-bit RGB)
// still converts in little memory. Every band holds exactly the bytes
// LoadImageOverWhite (ImageLoading.h) gives for the same rows; a picture
// this decoder cannot give so exactly is left to that whole-picture path.
#pragma once

#include "common/Outcome.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

class QFile;

class BandDecoder {
public:
    // Opens path for decoding row by row. Only a regular file is read, and
    // its content decides its format. Answers nullptr with why Done when the
    // picture needs the whole-picture path: neither JPEG nor PNG, turned by
    // its EXIF orientation, a CMYK JPEG, a progressive JPEG whose
    // coefficients would take more than 64 MB, an interlaced PNG, a 16-bit
    // RGB PNG with a transparent colour, or a header Qt's reader cannot read. Answers nullptr with why failed when the
    // file cannot be opened or its data is damaged, in the words and kinds LoadImageOverWhite uses. No limit on the
    // picture's size applies beyond the decoders' own (65500 pixels a side for JPEG, a million for PNG).
    static std::unique_ptr<BandDecoder> Open(const QString& path, Outcome& why);
    ~BandDecoder();
    BandDecoder(const BandDecoder&) = delete;
    BandDecoder& operator=(const BandDecoder&) = delete;

    QSize Size() const { return size_; }
    // Rows decoded so far; the next band starts there.
    int RowsRead() const { return next_; }

    // Decodes the next `rows` rows into the first rows of band, which must be
    // Format_RGB32, Size().width() wide and at least rows high. Damaged data
    // (what libjpeg warns of as corrupt, what libpng refuses) fails this band
    // and every later one; it may show only at the last band, when what
    // follows the last row is read, so nothing is final before that band
    // returned Done.
    Outcome ReadRows(QImage& band, int rows);

    class Rows; // one format's decoder

private:
    BandDecoder(const QString& path, std::unique_ptr<QFile> file, std::unique_ptr<Rows> rows);
    QImage Decoded(QImage& band, int rows);
    Outcome Decode(QImage& band, int rows);

    QString path_;
    QSize size_;
    std::unique_ptr<QFile> file_;
    std::unique_ptr<Rows> rows_;
    QImage work_; // rows of a format other than 32-bit RGB, before conversion
    int next_ = 0;
    Outcome failure_ = Outcome::Done();
};
