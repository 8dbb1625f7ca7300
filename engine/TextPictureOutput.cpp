// SPDX-License-Identifier: MIT
#include "engine/TextPictureOutput.h"

#include "common/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Outcome Fail(const QString& path, int fd)
{
    const int error = errno;
    ::close(fd);
    return Outcome::FromErrno(path, error);
}

} // namespace

Outcome CreateEmptyTextFile(const QString& path)
{
    const int fd = OpenForWriting(path, O_CREAT);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    // Only an ordinary file is emptied; a device or FIFO has nothing to cut.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0))
        return Fail(path, fd);
    if (::close(fd) != 0)
        return Outcome::FromErrno(path, errno);
    return Outcome::Done();
}

Outcome AppendRow(const QString& path, const QByteArray& row)
{
    // No O_CREAT: a file removed meanwhile is reported, not begun again halfway.
    const int fd = OpenForWriting(path, O_APPEND);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Fail(path, fd);
    const QByteArray line = row + QByteArrayLiteral("\r\n");
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // Whole rows only: half a row would shift every row after it.
            if (S_ISREG(st.st_mode))
                (void)!::ftruncate(fd, st.st_size); // nothing better to do if even this fails
            ::close(fd);
            return Outcome::FromErrno(path, error);
        }
        done += n;
    }
    if (::close(fd) != 0)
        return Outcome::FromErrno(path, errno);
    return Outcome::Done();
}

Outcome WriteTextPictureFile(const QString& path, const QByteArray& text)
{
    return WriteTextPictureFile(path, QByteArrayList{text});
}

Outcome WriteTextPictureFile(const QString& path, const QByteArrayList& pieces)
{
    return WriteWholeFile(path, [&](QFileDevice& file) {
        // Small pieces (a row and its line end each) gathered into large
        // writes: a 12000 x 9000 picture's 4,500 writes took longer than
        // copying its 13 MB once.
        constexpr qsizetype kGathered = qsizetype(1) << 20;
        QByteArray gathered;
        auto flush = [&] {
            const bool whole = gathered.isEmpty() || file.write(gathered) == gathered.size();
            gathered.clear();
            return whole;
        };
        for (const QByteArray& piece : pieces) {
            if (gathered.size() + piece.size() > kGathered && !flush())
                return Outcome::FromFile(path, file);
            if (piece.size() >= kGathered) {
                if (file.write(piece) != piece.size())
                    return Outcome::FromFile(path, file);
                continue;
            }
            if (gathered.isEmpty())
                gathered.reserve(kGathered);
            gathered.append(piece);
        }
        return flush() ? Outcome::Done() : Outcome::FromFile(path, file);
    });
}
