// SPDX-License-Identifier: MIT
#include "common/Outcome.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FileErrorText(const QFileDevice& file)
{
    const int error = errno; // as the failed call left it
    const QString qt = file.errorString();
    if (error != 0 && (qt.isEmpty() || qt == QStringLiteral("Unknown error")))
        return ErrnoText(error);
    return qt;
}

Outcome Outcome::FromErrno(const QString& path, int error)
{
    return Failed(path, ErrnoText(error), error);
}

Outcome Outcome::FromFile(const QString& path, const QFileDevice& file)
{
    const int error = errno; // as the failed call left it
    return Failed(path, FileErrorText(file), error);
}

QString Outcome::Message() const
{
    return path_.isEmpty() ? reason_ : path_ + QStringLiteral(": ") + reason_;
}
