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
#include <utility>

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

// The new content's file beside the one it replaces. Unnamed where the file
// system allows, so that a run killed while it writes leaves nothing behind:
// it gets its temporary name only when complete. Else named from the start,
// and removed on failure.
class Replacement {
public:
    Replacement(const QString& path, QByteArray target) : path_(path), target_(std::move(target)) {}
    ~Replacement()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.isEmpty())
            ::unlink(name_.constData());
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    int Descriptor() const { return fd_; }

    Outcome Open()
    {
        const qsizetype slash = target_.lastIndexOf('/');
        const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : target_.left(slash);
        // Naming it later takes /proc; a file system without unnamed files
        // (or an old kernel) refuses, and the named file says why if it fails too.
        if (::access("/proc/self/fd", X_OK) == 0 && (fd_ = OpenNow(dir, O_WRONLY | O_TMPFILE, 0666)) >= 0)
            return Outcome::Done();
        return Name([this](const QByteArray& name) {
            fd_ = OpenNow(name, O_WRONLY | O_CREAT | O_EXCL, 0666);
            return fd_ >= 0;
        });
    }

    // Closes the complete file and puts it in the place of the old one.
    Outcome Commit()
    {
        if (name_.isEmpty()) {
            const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
            if (Outcome named = Name([&](const QByteArray& name) {
                    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0;
                });
                !named.IsDone())
                return named;
        }
        const int fd = std::exchange(fd_, -1);
        if (::close(fd) != 0 || ::rename(name_.constData(), target_.constData()) != 0)
            return Outcome::FromErrno(path_, errno);
        name_.clear();
        return Outcome::Done();
    }

private:
    // Gives the file a free name beside the target with make, which answers
    // false with errno set when it failed.
    template <class Make>
    Outcome Name(const Make& make)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = target_ + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            if (make(name)) {
                name_ = name;
                return Outcome::Done();
            }
            if (errno != EEXIST)
                return Outcome::FromErrno(path_, errno);
        }
        return Outcome::FromErrno(path_, EEXIST);
    }

    QString path_;
    QByteArray target_;
    int fd_ = -1;
    QByteArray name_; // empty while unnamed or once renamed
};

// Writes the new content beside the file and puts it in the file's place
// once complete, so that a failure or a stop keeps the old content whole.
// The file's permissions stay; a file the user may not write is not replaced.
Outcome ReplaceWhole(const QString& path, const WholeFileWriter& write)
{
    const QByteArray target = LinkTarget(NativePath(path));
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists && ::access(target.constData(), W_OK) != 0)
        return Outcome::FromErrno(path, errno);
    Replacement replacement(path, target);
    if (Outcome opened = replacement.Open(); !opened.IsDone())
        return opened;
    if (exists && ::fchmod(replacement.Descriptor(), old.st_mode & 07777) != 0)
        return Outcome::FromErrno(path, errno);
    QFile file;
    if (!file.open(replacement.Descriptor(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return Outcome::FromFile(path, file);
    if (Outcome written = write(file); !written.IsDone())
        return written;
    // Flushed and synced before the rename: a full disk must fail here and
    // keep the old file, not put a short one in its place.
    if (!file.flush())
        return Outcome::FromFile(path, file);
    file.close();
    if (::fsync(replacement.Descriptor()) != 0)
        return Outcome::FromErrno(path, errno);
    return replacement.Commit();
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
