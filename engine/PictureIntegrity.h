// SPDX-License-Identifier: MIT
// Telling a whole picture from a damaged one. Qt's GIF, BMP and XBM readers
// return what they have of a picture cut short, and its JPEG reader fills
// what is missing or corrupt with noise, reporting it only as a warning on
// standard error; a damaged download would convert like a real picture.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The reason of a picture cut short; any other is of corrupt data.
inline const QString kPictureEndsEarly = QStringLiteral("the data ends before the last row");

// Why the data of a picture in format (Qt's name: "jpeg", "gif", "bmp",
// "xbm", "png") cannot hold its whole first frame, in words, or the empty string
// when it can. Other formats are left to their decoders, which refuse what
// they cannot read.
QString MissingPictureData(const QByteArray& format, QByteArrayView data);

// While it lives, Qt's messages from the calling thread are watched: the
// decoders' words for lost or corrupt pixel data and Qt's report of a failed
// picture allocation are recorded instead of printed; everything else is
// passed on as before. Other threads' messages are never touched.
class DecoderMessages {
public:
    DecoderMessages();
    ~DecoderMessages();
    DecoderMessages(const DecoderMessages&) = delete;
    DecoderMessages& operator=(const DecoderMessages&) = delete;

    // The first report of lost or corrupt pixel data ("corrupt JPEG data: bad
    // Huffman code"), or the empty string.
    const QString& Corruption() const { return corruption_; }
    // Whether Qt gave a null image for want of memory.
    bool OutOfMemory() const { return outOfMemory_; }

    // Records a message meant for this watcher; false to pass it on.
    bool Take(const char* category, const QString& text);

private:
    DecoderMessages* outer_;
    QString corruption_;
    bool outOfMemory_ = false;
};
