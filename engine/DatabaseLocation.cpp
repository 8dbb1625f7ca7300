#include "engine/DatabaseLocation.h"

#include "engine/DatabaseFile.h"
#include "common/General.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

QString UserDatabaseDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // Relative values are invalid by the XDG rules and ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return AddPathSeparator(base) + QStringLiteral("Pictoria");
}

QString DatabaseLocation(const QString& programDir)
{
    const QString beside = AddPathSeparator(programDir) + kDatabaseFileName;
    if (FileExists(beside))
        return beside;
    const QByteArray native = QFile::encodeName(programDir);
    if (QFileInfo(programDir).isDir() && ::access(native.constData(), W_OK) == 0)
        return beside;
    return AddPathSeparator(UserDatabaseDirectory()) + kDatabaseFileName;
}

Outcome PrepareDatabaseDirectory(const QString& databasePath)
{
    const QString dir = QFileInfo(databasePath).absolutePath();
    if (QFileInfo(dir).isDir())
        return Outcome::Done();
    errno = 0;
    if (QDir().mkpath(dir))
        return Outcome::Done();
    return Outcome::FromErrno(databasePath, errno != 0 ? errno : ENOTDIR);
}
