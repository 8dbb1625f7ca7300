// SPDX-License-Identifier: MIT
#include "viewer/TextPictureFile.h"

#include "common/CodePage932.h"
#include "common/FileAccess.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Display pieces are handed on at this many characters.
constexpr qsizetype kDisplayPieceChars = qsizetype(1) << 20;
// Bytes read at a time.
constexpr qint64 kReadChunkBytes = qint64(1) << 20;

// A byte that may begin a double-byte character.
bool MayLead(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Where the line that starts at data ends: at the first CR, or in UTF-8 at the
// first CR or LF; end when it has none.
const char* LineEnd(const char* data, const char* end, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        return std::find_if(data, end, IsLineEnd);
    const void* cr = std::memchr(data, '\r', static_cast<size_t>(end - data));
    return cr ? static_cast<const char*>(cr) : end;
}

} // namespace

void TextEncodingCheck::Add(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end && !invalid_) {
        if (missing_ > 0) {
            if (*p < low_ || *p > high_) {
                invalid_ = true;
                return;
            }
            ++p;
            low_ = 0x80;
            high_ = 0xBF;
            --missing_;
            continue;
        }
        // Files run to 128 MiB: runs of ASCII are passed eight bytes at a time.
        uint64_t eight;
        while (end - p >= 8 && (std::memcpy(&eight, p, 8), (eight & 0x8080808080808080u) == 0))
            p += 8;
        if (p == end)
            return;
        const unsigned char lead = *p++;
        if (lead < 0x80)
            continue;
        multiByte_ = true;
        if (lead >= 0xC2 && lead <= 0xDF) {
            missing_ = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            missing_ = 2;
            low_ = lead == 0xE0 ? 0xA0 : 0x80;
            high_ = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            missing_ = 3;
            low_ = lead == 0xF0 ? 0x90 : 0x80;
            high_ = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            invalid_ = true;
        }
    }
}

TextEncoding TextEncodingCheck::Encoding() const
{
    // A sequence cut by the file's end is invalid too.
    return multiByte_ && !invalid_ && missing_ == 0 ? TextEncoding::Utf8 : TextEncoding::Cp932;
}

TextEncoding EncodingOf(QByteArrayView bytes)
{
    TextEncodingCheck check;
    check.Add(bytes);
    return check.Encoding();
}

QStringList SplitTextPicture(const QByteArray& bytes)
{
    QStringList lines;
    if (EncodingOf(bytes) == TextEncoding::Utf8) {
        // Line ends are ASCII and never inside a multi-byte sequence: the text
        // is decoded whole and then cut.
        const QByteArrayView text =
            QByteArrayView(bytes).startsWith(kByteOrderMark) ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
        const QString chars = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(text);
        for (qsizetype start = 0; start < chars.size();) {
            const auto end =
                std::find_if(chars.begin() + start, chars.end(), [](QChar c) { return c == u'\r' || c == u'\n'; });
            lines.append(QStringView(chars.begin() + start, end).toString());
            start = end - chars.begin() + 1;
            if (end != chars.end() && *end == u'\r' && start < chars.size() && chars[start] == u'\n')
                ++start;
        }
        return lines;
    }
    const char* data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    // Splitting the bytes before decoding is safe: CR and LF are never the
    // second byte of a double-byte character. Each line is decoded on its own,
    // so a broken character cannot swallow a line end.
    while (start < n) {
        const void* cr = std::memchr(data + start, '\r', static_cast<size_t>(n - start));
        const qsizetype end = cr ? static_cast<const char*>(cr) - data : n;
        lines.append(FromCp932(QByteArray::fromRawData(data + start, end - start)));
        start = end + 1;
        if (cr && start < n && data[start] == '\n')
            ++start;
    }
    return lines;
}

QString JoinWithCrLf(const QStringList& lines)
{
    return lines.isEmpty() ? QString() : lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

void TextPictureBuilder::Add(QByteArrayView bytes)
{
    if (picture_.tooManyLines)
        return;
    picture_.size += bytes.size();
    if (encoding_ == TextEncoding::Utf8 && !pastMark_)
        bytes = AfterByteOrderMark(bytes);
    AddLines(bytes);
}

QByteArrayView TextPictureBuilder::AfterByteOrderMark(QByteArrayView bytes)
{
    // The mark's bytes are held back until it is whole or broken off; being
    // the mark's own, they need no buffer. (A file that ends inside it is
    // no UTF-8.)
    while (!bytes.isEmpty() && markBytes_ < 3 && bytes.front() == kByteOrderMark[markBytes_]) {
        ++markBytes_;
        bytes = bytes.sliced(1);
    }
    if (markBytes_ < 3 && bytes.isEmpty())
        return bytes; // may still become the mark
    pastMark_ = true;
    if (markBytes_ < 3) // only the start of another character
        AddLines(QByteArrayView(kByteOrderMark, markBytes_));
    return bytes;
}

void TextPictureBuilder::AddLines(QByteArrayView bytes)
{
    const char* data = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    if (afterCr_ && n > 0) {
        afterCr_ = false;
        if (data[0] == '\n')
            start = 1;
    }
    while (start < n && !picture_.tooManyLines) {
        const qsizetype end = LineEnd(data + start, data + n, encoding_) - data;
        const bool lineEnds = end < n;
        AddToLine(QByteArrayView(data + start, end - start), lineEnds);
        start = end + 1;
        if (lineEnds && data[end] == '\r') {
            if (start == n)
                afterCr_ = true;
            else if (data[start] == '\n')
                ++start;
        }
    }
}

void TextPictureBuilder::AddToLine(QByteArrayView bytes, bool lineEnds)
{
    lineStarted_ = lineStarted_ || !bytes.isEmpty();
    if (encoding_ == TextEncoding::Utf8) {
        // No line end is inside a sequence, and utf8_ holds one cut between pieces.
        AppendDecoded(utf8_(bytes));
        if (lineEnds)
            EndLine();
        return;
    }
    // A line is decoded a stretch at a time. After a byte that cannot begin a
    // double-byte character the decoder is always at a character's start, so
    // stretches cut there decode as the whole line would; the bytes after the
    // last such byte wait for the rest of the line.
    qsizetype cut = bytes.size();
    if (!lineEnds) {
        while (cut > 0 && MayLead(bytes[cut - 1]))
            --cut;
    }
    if (cut > 0 || (lineEnds && !pending_.isEmpty())) {
        if (pending_.isEmpty()) {
            AppendDecoded(FromCp932(QByteArray::fromRawData(bytes.data(), cut)));
        } else {
            pending_.append(bytes.first(cut));
            AppendDecoded(FromCp932(pending_));
            pending_.clear();
        }
    }
    pending_.append(bytes.sliced(cut));
    if (lineEnds)
        EndLine();
}

void TextPictureBuilder::AppendDecoded(const QString& chars)
{
    if (chars.isEmpty())
        return;
    StartLine();
    picture_.text += chars;
    for (qsizetype at = 0; at < chars.size();) {
        if (column_ == kWidestShownLine) {
            piece_ += u'\n';
            column_ = 0;
        }
        const qsizetype take = std::min(chars.size() - at, kWidestShownLine - column_);
        const qsizetype from = piece_.size();
        piece_ += QStringView(chars).sliced(at, take);
        std::replace(piece_.begin() + from, piece_.end(), QChar(u'\n'), QChar(0x240A));
        column_ += take;
        at += take;
        if (piece_.size() >= kDisplayPieceChars)
            picture_.display.append(std::exchange(piece_, QString()));
    }
}

void TextPictureBuilder::StartLine()
{
    // Lines are joined by LF: the break before a line is added once it is
    // known to come, so the last line gets none.
    if (breakDue_)
        piece_ += u'\n';
    breakDue_ = false;
}

void TextPictureBuilder::EndLine()
{
    StartLine();
    if (++lines_ > kMostTextPictureLines) {
        picture_ = TextPicture{{}, {}, picture_.size, true};
        piece_.clear();
        pending_.clear();
        return;
    }
    picture_.text += QStringLiteral("\r\n");
    lineStarted_ = false;
    breakDue_ = true;
    column_ = 0;
}

TextPicture TextPictureBuilder::Finish()
{
    if (lineStarted_ && !picture_.tooManyLines)
        AddToLine({}, true);
    if (!piece_.isEmpty())
        picture_.display.append(std::exchange(piece_, QString()));
    return std::exchange(picture_, TextPicture{});
}

TextPicture MakeTextPicture(const QByteArray& bytes)
{
    TextPictureBuilder builder(EncodingOf(bytes));
    builder.Add(bytes);
    return builder.Finish();
}

std::optional<TextPicture> ReadTextPictureFile(const QString& path)
{
    QFile file;
    if (!OpenForReading(path, file).IsDone())
        return std::nullopt;
    QByteArray chunk(kReadChunkBytes, Qt::Uninitialized);
    TextEncodingCheck check;
    qint64 length = 0;
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0 || length + n > kLargestTextPictureBytes)
            return std::nullopt;
        if (n == 0)
            break;
        check.Add(QByteArrayView(chunk.constData(), n));
        length += n;
    }
    if (!file.seek(0))
        return std::nullopt;
    // Only the bytes whose encoding was found: the maker may have added more.
    TextPictureBuilder builder(check.Encoding());
    while (builder.Size() < length && !builder.TooManyLines()) {
        const qint64 n = file.read(chunk.data(), std::min<qint64>(chunk.size(), length - builder.Size()));
        if (n <= 0)
            return std::nullopt;
        builder.Add(QByteArrayView(chunk.constData(), n));
    }
    TextPicture picture = builder.Finish();
    // A file of too many lines counts with its whole length, so that it is
    // refused once, not again at every look.
    if (picture.tooManyLines)
        picture.size = length;
    return picture;
}

std::optional<qint64> RegularFileLength(const QString& path)
{
    QFile file;
    if (!OpenForReading(path, file).IsDone())
        return std::nullopt;
    return OpenedFileLength(file);
}
