// SPDX-License-Identifier: MIT
// Code page 932 (Shift-JIS, Microsoft's variant) through glibc iconv.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// What to do with an incomplete double-byte character at the end of the bytes.
enum class Cp932Tail { Replace, Drop };

// Unicode to code page 932. A character the code page lacks becomes "?".
QByteArray ToCp932(const QString& text);

// Code page 932 to Unicode. Invalid bytes become U+FFFD.
QString FromCp932(const QByteArray& bytes, Cp932Tail tail = Cp932Tail::Replace);

// Byte length of the code page 932 form (fast for ASCII).
qsizetype Cp932Length(const QString& text);

// The character of a two-byte code (lead byte in bits 15..8), or the empty
// string when the two bytes are not one valid double-byte character.
QString CharFromCode(int32_t code);

// Bytes of a character code: a code above 255 is two bytes, lead byte first.
void AppendCodeBytes(QByteArray& out, int32_t code);
// The same written at out, which has room for two; answers the end.
char* PutCodeBytes(char* out, int32_t code);
