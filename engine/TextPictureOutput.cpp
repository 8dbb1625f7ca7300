// SPDX-License-Identifier: MIT
#include "engine/TextPictureOutput.h"

#include <QFile>
#include <QSaveFile>

Outcome CreateEmptyTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Outcome::FromFile(path, file);
    file.close();
    return Outcome::Done();
}

Outcome AppendRow(const QString& path, const QByteArray& row)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return Outcome::FromFile(path, file);
    const QByteArray line = row + QByteArrayLiteral("\r\n");
    if (file.write(line) != line.size() || !file.flush())
        return Outcome::FromFile(path, file);
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Outcome::FromFile(path, file);
    return Outcome::Done();
}

Outcome WriteTextPictureFile(const QString& path, const QByteArray& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return Outcome::FromFile(path, file);
    return Outcome::Done();
}
