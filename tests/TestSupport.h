// SPDX-License-Identifier: MIT
// Small helpers shared by the suites.
#pragma once

#include "common/CodePage932.h"
#include "engine/GlyphBuckets.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

inline std::shared_ptr<clsChr> MakeGlyph(int32_t code, float tl, float tr, float bl, float br)
{
    auto g = std::make_shared<clsChr>();
    g->AsciiNo = code;
    g->TL = tl;
    g->TR = tr;
    g->BL = bl;
    g->BR = br;
    return g;
}

inline std::shared_ptr<clsChr> MakeGlyph(int32_t code, float level)
{
    return MakeGlyph(code, level, level, level, level);
}

// The nth valid double-byte code from 0x889F on: a database may hold no other.
inline int32_t GlyphCode(int n)
{
    static const std::vector<int32_t> codes = [] {
        std::vector<int32_t> all;
        for (int32_t c = 0x889F; c <= 0x9FFF; ++c)
            if (!CharFromCode(c).isEmpty())
                all.push_back(c);
        return all;
    }();
    return codes.at(size_t(n));
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
