// SPDX-License-Identifier: MIT
#include "engine/DatabaseLocation.h"

#include "engine/DatabaseFile.h"
#include "common/FileAccess.h"
#include "common/General.h"
#include "common/NativePath.h"

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kNoHome = QStringLiteral("there is no home directory to keep it in (HOME is not set and the password "
                                       "database has none for this user)");

// HOME, else the password database's entry: Qt's home path would be "/"
// without HOME, and the database would land in the root directory.
QString HomeDirectory()
{
    if (const QByteArray home = qgetenv("HOME"); home.startsWith('/'))
        return PathFromNative(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return PathFromNative(found->pw_dir);
    return {};
}

} // namespace

QString UserDatabaseDirectory()
{
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (xdg.startsWith('/'))
        return AddPathSeparator(PathFromNative(xdg)) + QStringLiteral("Pictoria");
    const QString home = HomeDirectory();
    return home.isEmpty() ? QString() : AddPathSeparator(home) + QStringLiteral(".local/share/Pictoria");
}

bool IsInstalledProgram(const QString& programDir)
{
    struct stat st {};
    return ::stat(NativePath(AddPathSeparator(programDir) + QStringLiteral(PICTORIA_INSTALL_MARKER)).constData(),
                  &st) == 0;
}

QString DatabaseLocation(const QString& programDir)
{
    QString beside = AddPathSeparator(programDir) + kDatabaseFileName;
    if (FileExists(beside))
        return beside;
    const QByteArray native = NativePath(programDir);
    struct stat st {};
    if (!IsInstalledProgram(programDir) && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        ::access(native.constData(), W_OK) == 0)
        return beside;
    const QString dir = UserDatabaseDirectory();
    return dir.isEmpty() ? QString() : AddPathSeparator(dir) + kDatabaseFileName;
}

Outcome PrepareDatabaseDirectory(const QString& databasePath)
{
    if (databasePath.isEmpty())
        return Outcome::Failed(FailureKind::NoHome, QString(), kNoHome);
    const QString absolute = AbsolutePath(databasePath);
    const QString dir = absolute.left(absolute.lastIndexOf(u'/'));
    if (struct stat st{}; ::stat(NativePath(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return Outcome::Done();
    // Made one level at a time, so that a plain file in the way is named as
    // such ("Not a directory") rather than as the EEXIST a whole mkpath leaves.
    QString part;
    for (const QString& name : dir.split(u'/', Qt::SkipEmptyParts)) {
        part += u'/' + name;
        const QByteArray native = NativePath(part);
        if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST)
            return Outcome::FromErrno(databasePath, errno);
        struct stat st {};
        if (::stat(native.constData(), &st) != 0)
            return Outcome::FromErrno(databasePath, errno);
        if (!S_ISDIR(st.st_mode))
            return Outcome::FromErrno(databasePath, ENOTDIR);
    }
    return Outcome::Done();
}
