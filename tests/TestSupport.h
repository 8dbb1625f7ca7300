// SPDX-License-Identifier: MIT
// Small helpers shared by the suites.
#pragma once

#include "common/CodePage932.h"
#include "engine/GlyphBuckets.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

inline std::shared_ptr<clsChr> MakeGlyph(int32_t code, float tl, float tr, float bl, float br)
{
    return std::make_shared<clsChr>(clsChr{tl, tr, bl, br, code});
}

inline std::shared_ptr<clsChr> MakeGlyph(int32_t code, float level)
{
    return MakeGlyph(code, level, level, level, level);
}

// Two glyphs a bucket, codes 0x889F upwards, and the ideographic space in bucket 15.
inline GlyphBucketArray SmallDatabase()
{
    GlyphBucketArray buckets;
    for (int b = 0; b < kBucketCount; ++b)
        buckets[b] = {MakeGlyph(0x889F + b * 2, b + 0.3f, b + 0.6f, b + 0.2f, b + 0.5f),
                      MakeGlyph(0x88A0 + b * 2, b + 0.5f, b + 0.1f, b + 0.7f, b + 0.4f)};
    buckets[15].push_back(MakeGlyph(0x8140, 15.96f));
    return buckets;
}

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A file of tests/data; a test whose data is missing fails, it never passes quietly.
inline QString TestData(const char* name)
{
    const QString path = QStringLiteral(PICTORIA_TEST_DATA "/") + QString::fromUtf8(name);
    EXPECT_TRUE(QFileInfo(path).isFile()) << "test data missing: " << path.toStdString();
    return path;
}

inline QString MakeFifo(const QString& path)
{
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
}

// While it lives, no file may grow beyond `bytes`: writes past that fail
// part-way with the system's own reason, as on a full disk.
class FileSizeLimit {
public:
    static constexpr const char* kReason = "File too large";
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limited{bytes, old_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit() { Lift(); }
    void Lift() { ::setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
};
