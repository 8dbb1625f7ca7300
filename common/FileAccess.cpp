// SPDX-License-Identifier: MIT
#include "common/FileAccess.h"

#include "common/General.h"
#include "common/NativePath.h"

#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

Outcome WriteInPlaceNow(const QString& path, const WholeFileWriter& write)
{
    const int fd = OpenNow(NativePath(path), O_WRONLY);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        Outcome failed = Outcome::FromFile(path, file);
        ::close(fd);
        return failed;
    }
    Outcome written = write(file);
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

QString AbsoluteNative(const QByteArray& native)
{
    if (native.startsWith('/'))
        return PathFromNative(native);
    char cwd[PATH_MAX];
    return PathFromNative(::getcwd(cwd, sizeof cwd) ? QByteArray(cwd) : QByteArray("/")) + u'/' +
           PathFromNative(native);
}

// The file a chain of symbolic links leads to: writing through a link
// replaces what it points at and keeps the link.
QByteArray LinkTarget(QByteArray native)
{
    for (int depth = 0; depth < 40; ++depth) {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(native.constData(), buffer, sizeof buffer);
        if (length < 0)
            break; // not a link, or missing
        QByteArray target(buffer, length);
        if (!target.startsWith('/'))
            target = native.left(native.lastIndexOf('/') + 1) + target;
        native = target;
    }
    return native;
}

// Writes under a temporary name beside the file and renames it over the file
// once complete, so that a failure or a stop keeps the old content whole. The
// file's permissions stay; a file the user may not write is not replaced.
// NOLINTNEXTLINE(readability-function-size): one sequence of system calls, each undone on failure
Outcome ReplaceWhole(const QString& path, const WholeFileWriter& write)
{
    const QByteArray target = LinkTarget(NativePath(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && ::access(target.constData(), W_OK) != 0)
        return Outcome::FromErrno(path, errno);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd = OpenNow(temporary, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST)
            return Outcome::FromErrno(path, errno);
    }
    if (fd < 0)
        return Outcome::FromErrno(path, EEXIST);
    const auto abandon = [&](const Outcome& failure) {
        ::close(fd);
        ::unlink(temporary.constData());
        return failure;
    };
    if (exists && ::fchmod(fd, old.st_mode & 07777) != 0)
        return abandon(Outcome::FromErrno(path, errno));
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return abandon(Outcome::FromFile(path, file));
    const Outcome written = write(file);
    if (!written.IsDone())
        return abandon(written);
    // Flushed and synced before the rename: a full disk must fail here and
    // keep the old file, not put a short one in its place.
    if (!file.flush())
        return abandon(Outcome::FromFile(path, file));
    file.close();
    if (::fsync(fd) != 0)
        return abandon(Outcome::FromErrno(path, errno));
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return Outcome::FromErrno(path, error);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return Outcome::FromErrno(path, error);
    }
    return Outcome::Done();
}

QString Canonical(const QString& path)
{
    char* resolved = ::realpath(NativePath(path).constData(), nullptr);
    if (!resolved)
        return {};
    QString canonical = PathFromNative(resolved);
    std::free(resolved);
    return canonical;
}

} // namespace

QString AbsolutePath(const QString& path)
{
    return AbsoluteNative(NativePath(path));
}

Outcome OpenForReading(const QString& path, QFile& file)
{
    const int fd = OpenNow(NativePath(path), O_RDONLY);
    if (fd < 0)
        return Outcome::FromErrno(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return CloseFailed(path, fd);
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        const bool directory = S_ISDIR(st.st_mode);
        return Outcome::Failed(FailureKind::NotRegular, path,
                               directory ? QStringLiteral("is a directory") : QStringLiteral("is not a regular file"),
                               {directory ? 1 : 0});
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        Outcome failed = Outcome::FromFile(path, file);
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
    return OpenNow(NativePath(path), O_WRONLY | flags, 0666);
}

// What /dev and /proc name is never renamed over, even when it leads to a
// regular file: /dev/stdout may be the file a shell redirection opened, and a
// new file under that name would leave the shell's descriptor on the old one.
bool WritesInPlace(const QString& path)
{
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0)
        return false; // missing, or the atomic path names the real reason
    if (!S_ISREG(st.st_mode))
        return true;
    const QString absolute = QDir::cleanPath(AbsolutePath(path));
    return absolute.startsWith(QStringLiteral("/dev/")) || absolute.startsWith(QStringLiteral("/proc/"));
}

Outcome WriteWholeFile(const QString& path, const WholeFileWriter& write)
{
    return WritesInPlace(path) ? WriteInPlaceNow(path, write) : ReplaceWhole(path, write);
}

QString FileIdentity(const QString& path)
{
    // "missing/../a.png" names a.png once ".." is taken as written.
    for (const QString& name : {path, ResolvedPath(path)}) {
        struct stat st {};
        if (::stat(NativePath(name).constData(), &st) == 0)
            return QStringLiteral("inode %1:%2").arg(st.st_dev).arg(st.st_ino);
    }
    return QStringLiteral("path ") + ResolvedPath(path);
}

bool SameFile(const QString& a, const QString& b)
{
    return FileIdentity(a) == FileIdentity(b);
}

QString ResolvedPath(const QString& path)
{
    const QString absolute = AbsolutePath(path);
    if (QString canonical = Canonical(absolute); !canonical.isEmpty())
        return canonical;
    const qsizetype slash = absolute.lastIndexOf(u'/');
    const QString dir = Canonical(slash > 0 ? absolute.left(slash) : QStringLiteral("/"));
    if (dir.isEmpty())
        return QDir::cleanPath(absolute);
    return AddPathSeparator(dir) + absolute.mid(slash + 1);
}
