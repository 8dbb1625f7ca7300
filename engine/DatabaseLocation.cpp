// SPDX-License-Identifier: MIT
#include "engine/DatabaseLocation.h"

#include "engine/DatabaseFile.h"
#include "common/General.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

QString UserDatabaseDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return AddPathSeparator(base) + QStringLiteral("Pictoria");
}

bool IsInstalledProgram(const QString& programDir)
{
    return QFileInfo::exists(AddPathSeparator(programDir) + QStringLiteral(PICTORIA_INSTALL_MARKER));
}

QString DatabaseLocation(const QString& programDir)
{
    const QString beside = AddPathSeparator(programDir) + kDatabaseFileName;
    if (FileExists(beside))
        return beside;
    const QByteArray native = QFile::encodeName(programDir);
    if (!IsInstalledProgram(programDir) && QFileInfo(programDir).isDir() && ::access(native.constData(), W_OK) == 0)
        return beside;
    return AddPathSeparator(UserDatabaseDirectory()) + kDatabaseFileName;
}

Outcome PrepareDatabaseDirectory(const QString& databasePath)
{
    const QString dir = QFileInfo(databasePath).absolutePath();
    if (QFileInfo(dir).isDir())
        return Outcome::Done();
    // Made one level at a time, so that a plain file in the way is named as
    // such ("Not a directory") rather than as the EEXIST a whole mkpath leaves.
    QString part;
    for (const QString& name : dir.split(u'/', Qt::SkipEmptyParts)) {
        part += u'/' + name;
        const QByteArray native = QFile::encodeName(part);
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
