#include "TextPictureOutput.h"

#include <QFile>

namespace {

bool Fail(const QFile& file, QString* error)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    return false;
}

} // namespace

bool CreateEmptyTextFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Fail(file, error);
    file.close();
    return true;
}

bool AppendRow(const QString& path, const QByteArray& row, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return Fail(file, error);
    const QByteArray line = row + QByteArrayLiteral("\r\n");
    if (file.write(line) != line.size() || !file.flush())
        return Fail(file, error);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Fail(file, error);
    return true;
}
