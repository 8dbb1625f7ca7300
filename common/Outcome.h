// SPDX-License-Identifier: MIT
// The result of everything that can fail on a file: done, stopped on request,
// or failed with the path concerned and the operating system's reason.
#pragma once

#include <QString>

class QFileDevice;

class [[nodiscard]] Outcome {
public:
    static Outcome Done() { return Outcome(State::Done, {}, {}, 0); }
    static Outcome Stopped() { return Outcome(State::Stopped, {}, {}, 0); }
    // error is the errno value behind the failure, 0 when there is none.
    static Outcome Failed(const QString& path, const QString& reason, int error = 0)
    {
        return Outcome(State::Failed, path, reason, error);
    }
    // A failed system call on path: the reason is strerror(error).
    static Outcome FromErrno(const QString& path, int error);
    // A failed QFile, QSaveFile or QImageReader operation on path.
    static Outcome FromFile(const QString& path, const QFileDevice& file);

    bool IsDone() const { return state_ == State::Done; }
    bool IsStopped() const { return state_ == State::Stopped; }
    bool IsFailed() const { return state_ == State::Failed; }

    const QString& Path() const { return path_; }
    const QString& Reason() const { return reason_; }
    // The errno value of a failure (ENOMEM for a picture too large for memory), or 0.
    int Errno() const { return error_; }
    // "path: reason", or the reason alone when no path is concerned.
    QString Message() const;

private:
    enum class State { Done, Stopped, Failed };
    Outcome(State state, const QString& path, const QString& reason, int error)
        : state_(state), path_(path), reason_(reason), error_(error)
    {}

    State state_;
    QString path_;
    QString reason_;
    int error_;
};

// The text of errno value error, as the C library gives it.
QString ErrnoText(int error);

// Qt's text for a failed file operation, or the C library's for errno where
// Qt has nothing better than "Unknown error".
QString FileErrorText(const QFileDevice& file);
