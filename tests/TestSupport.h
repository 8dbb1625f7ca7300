// Small helpers shared by the suites.
#pragma once

#include "engine/GlyphBuckets.h"

#include <QByteArray>
#include <QFile>
#include <QString>
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
