// SPDX-License-Identifier: MIT
#include "common/General.h"

#include "common/CodePage932.h"
#include "common/NativePath.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    // O_NONBLOCK keeps a FIFO from stalling the caller; the file is closed at once.
    const QByteArray native = NativePath(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool readable = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return readable;
}

QString AddPathSeparator(const QString& path)
{
    if (path.endsWith(u'/') || path.endsWith(u'\\'))
        return path;
    return path + u'/';
}

int32_t AnsiLen(const QString& text)
{
    return static_cast<int32_t>(Cp932Length(text));
}

QString AnsiMid(const QString& text, int32_t start, int32_t length)
{
    const QByteArray bytes = ToCp932(text);
    if (start < 1 || length <= 0 || start > bytes.size())
        return {};
    return FromCp932(bytes.mid(start - 1, length), Cp932Tail::Drop);
}

QString PadToWidth(const QString& text, int32_t width, bool alignRight)
{
    QString t = text;
    if (AnsiLen(t) > width)
        t = AnsiMid(t, 1, width);
    // Only U+0020 is a blank here; the cut above comes first on purpose.
    qsizetype first = 0;
    qsizetype last = t.size();
    while (first < last && t.at(first) == u' ')
        ++first;
    while (last > first && t.at(last - 1) == u' ')
        --last;
    t = t.mid(first, last - first);
    const QString pad(std::max<int32_t>(0, width - AnsiLen(t)), u' ');
    return alignRight ? pad + t : t + pad;
}
