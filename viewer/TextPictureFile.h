// SPDX-License-Identifier: MIT
// Reading the text picture files the maker writes: code page 932 text with
// CR LF line ends, read again and again while the maker is still appending rows.
// No window classes in here, so the rules can be tested on their own.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

struct TextPicture {
    // Every line followed by CR LF: the text the picture box holds.
    QString text;
    // The same lines for QPlainTextEdit, one paragraph per line (see DisplayText).
    QString display;
    // Number of bytes read.
    qint64 size = 0;
};

// The decoded lines. A line ends at CR or at the pair CR LF; a lone LF is no
// line end and stays inside its line; a last line without an end counts too.
QStringList SplitTextPicture(const QByteArray& bytes);

// Each line followed by CR LF; no lines give the empty text.
QString JoinWithCrLf(const QStringList& lines);

// The lines joined by LF, which QPlainTextEdit makes paragraph breaks. A lone
// LF inside a line would become a break too, so it is shown as U+240A (the
// symbol for line feed) and the line stays one paragraph.
QString DisplayText(const QStringList& lines);

TextPicture MakeTextPicture(const QByteArray& bytes);

// Reads the whole file. Nothing when it cannot be opened or a read fails, so a
// file that vanishes meanwhile never gives half a picture.
std::optional<TextPicture> ReadTextPictureFile(const QString& path);

// Length of a regular file, or nothing for missing files, directories, FIFOs
// and devices (opening a FIFO for a real read would block the window).
std::optional<qint64> RegularFileLength(const QString& path);
