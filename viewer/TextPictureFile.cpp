// SPDX-License-Identifier: MIT
#include "viewer/TextPictureFile.h"

#include "common/CodePage932.h"

#include <QFile>

#include <cstring>
#include <sys/stat.h>

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

QString DisplayText(const QStringList& lines)
{
    QStringList shown = lines;
    for (QString& line : shown)
        line.replace(u'\n', QChar(0x240A));
    return shown.join(u'\n');
}

TextPicture MakeTextPicture(const QByteArray& bytes)
{
    const QStringList lines = SplitTextPicture(bytes);
    return TextPicture{JoinWithCrLf(lines), DisplayText(lines), bytes.size()};
}

std::optional<TextPicture> ReadTextPictureFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return MakeTextPicture(bytes);
}

std::optional<qint64> RegularFileLength(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<qint64>(st.st_size);
}
