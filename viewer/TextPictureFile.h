// SPDX-License-Identifier: MIT
// Reading the text picture files the maker writes: code page 932 text with
// CR LF line ends, read again and again while the maker is still appending rows.
// The command line can write them in UTF-8, and other tools with LF alone.
// No window classes in here, so the rules can be tested on their own.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <optional>

// The largest picture the maker accepts gives a text picture under 100 MB.
// A longer file is none of ours; reading it would cost seconds and several
// times its size in memory, so the viewer refuses it.
inline constexpr qint64 kLargestTextPictureBytes = qint64(128) << 20;

// The text box spends about half a kilobyte on every line whatever its
// length, so a file of short lines costs many times its size. A picture this
// many rows high would be a million pixels tall; more lines are refused.
inline constexpr qsizetype kMostTextPictureLines = qsizetype(1) << 18;

// The text box lays out a whole paragraph to show any part of it, so a longer
// line is shown as several paragraphs of this many characters. Rows of a
// picture 32,768 pixels wide in the smallest cells still fit in one.
inline constexpr qsizetype kWidestShownLine = 8192;

struct TextPicture {
    // Every line followed by CR LF: the text the picture box holds.
    QString text;
    // The same lines for QPlainTextEdit, joined by LF, which it makes
    // paragraph breaks; a lone LF inside a line is shown as U+240A (the symbol
    // for line feed) so the line stays one paragraph, and a line wider than
    // kWidestShownLine becomes several. Held in pieces of about a megabyte, so
    // a document can take them over one at a time.
    QStringList display;
    // Number of bytes read.
    qint64 size = 0;
    // More than kMostTextPictureLines lines: text and display stay empty.
    bool tooManyLines = false;
};

// How a file's bytes are decoded. Only the whole file tells: UTF-8 when it is
// valid UTF-8 with at least one multi-byte sequence (a byte-order mark is
// one), else code page 932, the maker's own. Pure ASCII is the same in both
// and stays with code page 932, whose line ends it has always had.
enum class TextEncoding { Cp932, Utf8 };

// Tells the encoding of bytes handed over in any number of pieces.
class TextEncodingCheck {
public:
    void Add(QByteArrayView bytes);
    TextEncoding Encoding() const;

private:
    int missing_ = 0;           // continuation bytes the current sequence still needs
    unsigned char low_ = 0x80;  // the range the next continuation byte must be in,
    unsigned char high_ = 0xBF; // narrower after a few leads (no overlong forms or surrogates)
    bool multiByte_ = false;
    bool invalid_ = false;
};

TextEncoding EncodingOf(QByteArrayView bytes);

// The decoded lines. In code page 932 a line ends at CR or at the pair CR LF,
// and a lone LF is no line end but stays inside its line; in UTF-8 LF ends a
// line too, and a byte-order mark opening the file is no text. A last line
// without an end counts too.
QStringList SplitTextPicture(const QByteArray& bytes);

// Each line followed by CR LF; no lines give the empty text.
QString JoinWithCrLf(const QStringList& lines);

// Makes a TextPicture of bytes handed over in any number of pieces, as the
// file is read, so that the file's bytes are never held whole. The result is
// the same however the bytes are cut. The encoding is the whole file's, so it
// is found by a pass of its own before.
class TextPictureBuilder {
public:
    explicit TextPictureBuilder(TextEncoding encoding) : encoding_(encoding) {}
    void Add(QByteArrayView bytes);
    TextPicture Finish();

    qint64 Size() const { return picture_.size; }
    bool TooManyLines() const { return picture_.tooManyLines; }

private:
    void AddLines(QByteArrayView bytes);
    QByteArrayView AfterByteOrderMark(QByteArrayView bytes);
    void AddToLine(QByteArrayView bytes, bool lineEnds);
    void AppendDecoded(const QString& chars);
    void StartLine();
    void EndLine();

    const TextEncoding encoding_;
    // Keeps a multi-byte sequence cut between pieces; a mark it would skip is
    // dealt with before, as only the file's first one is no text.
    QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom};
    int markBytes_ = 0;     // bytes of a UTF-8 byte-order mark seen at the file's start
    bool pastMark_ = false; // the file's start is known to hold a mark or none
    TextPicture picture_;
    QString piece_;            // the display piece being filled
    QByteArray pending_;       // the line's code page 932 bytes that may still begin a character
    qsizetype lines_ = 0;      // lines ended so far
    qsizetype column_ = 0;     // characters in the current display paragraph
    bool lineStarted_ = false; // bytes of a line not yet ended were seen
    bool afterCr_ = false;     // the last byte was a CR, which an LF may complete
    bool breakDue_ = false;    // a line has ended and another may follow
};

TextPicture MakeTextPicture(const QByteArray& bytes);

// Reads the whole file, opened the way every input is: without blocking, and
// only if it is a regular file; once for its encoding, then for its text.
// Nothing when it cannot be opened, a read fails, it grows past
// kLargestTextPictureBytes or shrinks between the two reads, so a file that
// vanishes meanwhile never gives half a picture.
std::optional<TextPicture> ReadTextPictureFile(const QString& path);

// Length of a regular file, or nothing for missing files, directories, FIFOs
// and devices, opened the same way.
std::optional<qint64> RegularFileLength(const QString& path);
