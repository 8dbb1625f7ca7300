#include "DatabaseLocation.h"

#include "DatabaseFile.h"
#include "General.h"

#include <QDir>
#include <QFileInfo>

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

bool PrepareDatabaseDirectory(const QString& databasePath)
{
    const QString dir = QFileInfo(databasePath).absolutePath();
    return QFileInfo(dir).isDir() || QDir().mkpath(dir);
}
