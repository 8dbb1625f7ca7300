// SPDX-License-Identifier: MIT
#include "common/NativePath.h"

namespace {

// Length of the valid UTF-8 sequence at the start of s (0 when there is none)
// and its code point.
int ValidSequence(QByteArrayView s, char32_t& code)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    int length = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, min = 0x80, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, min = 0x800, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, min = 0x10000, code = lead & 0x07;
    else
        return 0;
    if (s.size() < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

QString PathFromNative(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    while (!bytes.isEmpty()) {
        char32_t code = 0;
        const int length = ValidSequence(bytes, code);
        if (length == 0) {
            path += QChar(KeptByteUnit(static_cast<unsigned char>(bytes[0])));
            bytes = bytes.sliced(1);
            continue;
        }
        if (code >= 0x10000) {
            path += QChar(QChar::highSurrogate(code));
            path += QChar(QChar::lowSurrogate(code));
        } else {
            path += QChar(char16_t(code));
        }
        bytes = bytes.sliced(length);
    }
    return path;
}

QByteArray NativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            AppendUtf8(bytes, QChar::surrogateToUcs4(unit, path[++i].unicode()));
        } else if (const int kept = KeptByte(unit); kept >= 0) {
            bytes += char(kept);
        } else {
            AppendUtf8(bytes, QChar::isSurrogate(unit) ? U'\uFFFD' : char32_t(unit));
        }
    }
    return bytes;
}
