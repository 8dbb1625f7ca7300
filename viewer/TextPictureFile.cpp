// SPDX-License-Identifier: MIT
#include "viewer/TextPictureFile.h"

#include "common/CodePage932.h"
#include "common/FileAccess.h"

#include <QFile>

#include <algorithm>
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

} // namespace

QStringList SplitTextPicture(const QByteArray& bytes)
{
    QStringList lines;
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
    const char* data = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    if (afterCr_ && n > 0) {
        afterCr_ = false;
        if (data[0] == '\n')
            start = 1;
    }
    while (start < n && !picture_.tooManyLines) {
        const void* cr = std::memchr(data + start, '\r', static_cast<size_t>(n - start));
        const qsizetype end = cr ? static_cast<const char*>(cr) - data : n;
        AddToLine(QByteArrayView(data + start, end - start), cr != nullptr);
        start = end + 1;
        if (cr && start == n)
            afterCr_ = true;
        else if (cr && data[start] == '\n')
            ++start;
    }
}

void TextPictureBuilder::AddToLine(QByteArrayView bytes, bool lineEnds)
{
    lineStarted_ = lineStarted_ || !bytes.isEmpty();
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
    TextPictureBuilder builder;
    builder.Add(bytes);
    return builder.Finish();
}

std::optional<TextPicture> ReadTextPictureFile(const QString& path)
{
    QFile file;
    if (!OpenForReading(path, file).IsDone())
        return std::nullopt;
    TextPictureBuilder builder;
    QByteArray chunk(kReadChunkBytes, Qt::Uninitialized);
    while (!builder.TooManyLines()) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0 || builder.Size() + n > kLargestTextPictureBytes)
            return std::nullopt;
        if (n == 0)
            break;
        builder.Add(QByteArrayView(chunk.constData(), n));
    }
    return builder.Finish();
}

std::optional<qint64> RegularFileLength(const QString& path)
{
    QFile file;
    if (!OpenForReading(path, file).IsDone())
        return std::nullopt;
    return OpenedFileLength(file);
}
