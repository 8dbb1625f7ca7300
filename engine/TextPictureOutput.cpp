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
        GatheredText text(file, path);
        for (const QByteArray& piece : pieces)
            if (!text.Add(piece))
                break;
        return text.Finish();
    });
}

namespace {

constexpr qsizetype kGathered = qsizetype(1) << 20;

} // namespace

bool GatheredText::Add(const QByteArray& piece)
{
    if (!failed_.IsDone())
        return false;
    if (gathered_.size() + piece.size() > kGathered && !Flush())
        return false;
    if (piece.size() >= kGathered)
        return Write(piece);
    if (gathered_.isEmpty())
        gathered_.reserve(kGathered);
    gathered_.append(piece);
    return true;
}

Outcome GatheredText::Finish()
{
    if (failed_.IsDone())
        (void)Flush();
    return failed_;
}

bool GatheredText::Flush()
{
    const bool whole = Write(gathered_);
    gathered_.resize(0); // the room stays for the next megabyte
    return whole;
}

bool GatheredText::Write(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return true;
    if (file_.write(bytes) != bytes.size() || !file_.flush()) {
        failed_ = Outcome::FromFile(path_, file_);
        return false;
    }
    // Fails harmlessly on what is no ordinary file.
    (void)::sync_file_range(file_.handle(), written_, bytes.size(), SYNC_FILE_RANGE_WRITE);
    written_ += bytes.size();
    return true;
}
