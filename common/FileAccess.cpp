// SPDX-License-Identifier: MIT
#include "common/FileAccess.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opening never waits: a FIFO without its other end would hang the caller.
// Once open, the descriptor blocks again so that reads and writes are whole.
int OpenNow(const QByteArray& native, int flags, mode_t mode = 0)
{
    const int fd = ::open(native.constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Outcome CloseFailed(const QString& path, int fd)
{
    const int error = errno;
    ::close(fd);
    return Outcome::FromErrno(path, error);
}

// True when path must be written in place. What /dev and /proc name is never
// renamed over, even when it leads to a regular file: /dev/stdout may be the
// file a shell redirection opened, and a new file under that name would
// leave the shell's descriptor on the old one.
bool WriteInPlace(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false; // missing, or the atomic path names the real reason
    if (!S_ISREG(st.st_mode))
        return true;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return absolute.startsWith(QStringLiteral("/dev/")) || absolute.startsWith(QStringLiteral("/proc/"));
}

Outcome WriteInPlaceNow(const QString& path, const WholeFileWriter& write)
{
    const int fd = OpenNow(QFile::encodeName(path), O_WRONLY);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        const Outcome failed = Outcome::FromFile(path, file);
        ::close(fd);
        return failed;
    }
    const Outcome written = write(file);
    if (!written.IsDone())
        return written;
    if (!file.flush())
        return Outcome::FromFile(path, file);
    // A regular file reached through /dev or /proc ends where the text ends.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, file.pos()) != 0)
        return Outcome::FromErrno(path, errno);
    return Outcome::Done();
}

} // namespace

Outcome OpenForReading(const QString& path, QFile& file)
{
    const int fd = OpenNow(QFile::encodeName(path), O_RDONLY);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return CloseFailed(path, fd);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Outcome::Failed(path, S_ISDIR(st.st_mode) ? QStringLiteral("is a directory")
                                                         : QStringLiteral("is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const Outcome failed = Outcome::FromFile(path, file);
        ::close(fd);
        return failed;
    }
    return Outcome::Done();
}

qint64 OpenedFileLength(const QFile& file)
{
    struct stat st {};
    return ::fstat(file.handle(), &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
}

int OpenForWriting(const QString& path, int flags)
{
    return OpenNow(QFile::encodeName(path), O_WRONLY | flags, 0666);
}

Outcome WriteWholeFile(const QString& path, const WholeFileWriter& write)
{
    if (WriteInPlace(path))
        return WriteInPlaceNow(path, write);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::FromFile(path, file);
    const Outcome written = write(file);
    if (!written.IsDone()) {
        file.cancelWriting(); // the old file stays as it was
        return written;
    }
    // QSaveFile's commit overlooks a failure to write out its buffer (a full
    // disk) and renames the short file over the old one; flushed first, the
    // failure is seen and the old file kept.
    if (!file.flush()) {
        const Outcome failed = Outcome::FromFile(path, file);
        file.cancelWriting();
        return failed;
    }
    if (!file.commit())
        return Outcome::FromFile(path, file);
    return Outcome::Done();
}

bool SameFile(const QString& a, const QString& b)
{
    struct stat sa {
    }, sb{};
    const bool bothExist =
        ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0;
    if (bothExist)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return ResolvedPath(a) == ResolvedPath(b);
}

QString ResolvedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : QDir(dir).filePath(info.fileName());
}
