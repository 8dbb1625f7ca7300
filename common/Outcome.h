// SPDX-License-Identifier: MIT
// The result of everything that can fail on a file: done, stopped on request,
// or failed with the path concerned, the kind of failure and its reason in
// English. The kind lets each front end word a failure in its own language.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

class QFileDevice;

enum class FailureKind : uint8_t {
    None,       // done or stopped
    System,     // a system call failed: Errno() says why
    NotRegular, // a directory, FIFO or device where a file was wanted: Values()[0] is 1 for a directory
    Damaged,    // the content is not what it must be: DamageKind() says how
    TooLarge,   // over a limit of ours: Values() are width, height, megabytes needed and the limit in megabytes
    NoMemory,   // memory could not hold a picture: Values() are its width and height (0 when unknown)
    NoFont,     // the font to measure with cannot be opened
    NoHome,     // there is no home directory to keep the glyph database in
    Unreadable, // no finer kind is known: the reason holds a library's own words
};

// How a file's content is damaged. Values() carry the numbers the reason names.
enum class Damage : uint8_t {
    None,
    DatabaseEmpty,
    DatabaseTooLong,       // Values(): its length, the longest database
    DatabaseGrew,          // it grew past the longest database while read
    DatabaseEndsEarly,     // it ends before its last separator
    DatabaseGlyphFirst,    // a glyph before the first separator
    DatabaseNotDoubleByte, // Values(): the slot, the code
    DatabaseRepeatedCode,  // Values(): the slot, the code
    PictureEndsEarly,      // the data ends before the last row
    PictureCorrupt,        // the picture's data is corrupt
};

class [[nodiscard]] Outcome {
public:
    static Outcome Done() { return Outcome(State::Done, {}, {}, 0); }
    static Outcome Stopped() { return Outcome(State::Stopped, {}, {}, 0); }
    // error is the errno value behind the failure, 0 when there is none.
    // The kind follows from error: System for any errno value (NoMemory for
    // ENOMEM), Unreadable without one.
    static Outcome Failed(const QString& path, const QString& reason, int error = 0);
    // A failure of a kind an errno value cannot tell.
    static Outcome Failed(FailureKind kind, const QString& path, const QString& reason,
                          std::array<qint64, 4> values = {});
    static Outcome Damaged(Damage damage, const QString& path, const QString& reason,
                           std::array<qint64, 4> values = {});
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
    FailureKind Kind() const { return kind_; }
    Damage DamageKind() const { return damage_; }
    const std::array<qint64, 4>& Values() const { return values_; }
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
    FailureKind kind_ = FailureKind::None;
    Damage damage_ = Damage::None;
    std::array<qint64, 4> values_{};
};

// The text of errno value error, as the C library gives it.
QString ErrnoText(int error);

// Qt's text for a failed file operation, or the C library's for errno where
// Qt has nothing better than "Unknown error".
QString FileErrorText(const QFileDevice& file);
