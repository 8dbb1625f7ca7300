// SPDX-License-Identifier: MIT
// File names on Linux are bytes, not text. A name from an old archive may be
// Shift-JIS or Latin-1; decoding it as UTF-8 with replacement characters would
// lose it, and two such names could then lead to one file. Paths are held as
// QString with every byte that is not part of valid UTF-8 kept as the lone
// surrogate U+DC80 + (byte - 0x80), so that the exact bytes come back.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The path of the given bytes: valid UTF-8 decoded, other bytes kept.
QString PathFromNative(QByteArrayView bytes);

// The exact bytes of a path made by PathFromNative (UTF-8 for any other text).
QByteArray NativePath(const QString& path);

// A kept byte as a UTF-16 unit, and back: -1 for a unit that is no kept byte.
constexpr char16_t KeptByteUnit(unsigned char byte)
{
    return char16_t(0xDC00 + byte);
}
constexpr int KeptByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF ? int(unit - 0xDC00) : -1;
}
