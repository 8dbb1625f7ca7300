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
    QString qt = file.errorString();
    if (error != 0 && (qt.isEmpty() || qt == QStringLiteral("Unknown error")))
        return ErrnoText(error);
    return qt;
}

Outcome Outcome::Failed(const QString& path, const QString& reason, int error)
{
    Outcome failed(State::Failed, path, reason, error);
    failed.kind_ = error == ENOMEM ? FailureKind::NoMemory : error != 0 ? FailureKind::System : FailureKind::Unreadable;
    return failed;
}

Outcome Outcome::Failed(FailureKind kind, const QString& path, const QString& reason, std::array<qint64, 4> values)
{
    Outcome failed(State::Failed, path, reason, kind == FailureKind::NoMemory ? ENOMEM : 0);
    failed.kind_ = kind;
    failed.values_ = values;
    return failed;
}

Outcome Outcome::Damaged(Damage damage, const QString& path, const QString& reason, std::array<qint64, 4> values)
{
    Outcome failed = Failed(FailureKind::Damaged, path, reason, values);
    failed.damage_ = damage;
    return failed;
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
