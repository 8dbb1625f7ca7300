// SPDX-License-Identifier: MIT
// The readers under test take paths: each input goes to one scratch file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <unistd.h>

inline QString FuzzFile(const uint8_t* data, size_t size, const char* name)
{
    static const QString path =
        QStringLiteral("/tmp/pictoria-fuzz-%1-%2").arg(::getpid()).arg(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        abort();
    return path;
}
