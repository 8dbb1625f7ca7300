// SPDX-License-Identifier: MIT
#include "common/CodePage932.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace {

// One descriptor per direction and thread: opening one costs far more than a
// conversion, and an iconv_t must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr): iconv's failure value
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; returns the iconv error (0 when all went through).
    int Run(const char*& in, size_t& inLeft, char*& out, size_t& outLeft)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &out, &outLeft);
        return r == static_cast<size_t>(-1) ? errno : 0;
    }

private:
    iconv_t cd_;
};

Converter& ToAnsi()
{
    thread_local Converter c("CP932", "UTF-16LE");
    return c;
}

Converter& FromAnsi()
{
    thread_local Converter c("UTF-16LE", "CP932");
    return c;
}

bool IsAscii(const QString& text)
{
    for (QChar ch : text)
        if (ch.unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

QByteArray ToCp932(const QString& text)
{
    if (IsAscii(text))
        return text.toLatin1();
    QByteArray out(text.size() * 2 + 4, '\0');
    const char* in = reinterpret_cast<const char*>(text.utf16());
    size_t inLeft = static_cast<size_t>(text.size()) * 2;
    char* o = out.data();
    size_t oLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const int err = ToAnsi().Run(in, inLeft, o, oLeft);
        if (err == 0)
            break;
        if (err == E2BIG) // cannot happen: two bytes per UTF-16 unit always suffice
            throw std::runtime_error("code page 932 output overflow");
        // Unrepresentable or broken: one "?" per character, as the Windows converter does.
        // A pair is one character; a lone surrogate is one of its own, and
        // the unit after it must survive.
        char16_t unit[2] = {};
        std::memcpy(unit, in, inLeft >= 4 ? 4 : 2);
        const size_t skip = QChar::isHighSurrogate(unit[0]) && QChar::isLowSurrogate(unit[1]) ? 4 : 2;
        in += skip;
        inLeft -= skip;
        *o++ = '?';
        --oLeft;
    }
    out.resize(o - out.data());
    return out;
}

QString FromCp932(const QByteArray& bytes, Cp932Tail tail)
{
    QString out(bytes.size() + 1, Qt::Uninitialized);
    const char* in = bytes.constData();
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* o = reinterpret_cast<char*>(out.data());
    size_t oLeft = static_cast<size_t>(out.size()) * 2;
    while (inLeft > 0) {
        const int err = FromAnsi().Run(in, inLeft, o, oLeft);
        if (err == 0)
            break;
        if (err == E2BIG)
            throw std::runtime_error("code page 932 input overflow");
        if (err == EINVAL && tail == Cp932Tail::Drop)
            break; // a lead byte without its trail byte at the very end
        ++in;
        --inLeft;
        const char16_t replacement = 0xFFFD;
        std::memcpy(o, &replacement, 2);
        o += 2;
        oLeft -= 2;
    }
    out.resize((o - reinterpret_cast<char*>(out.data())) / 2);
    return out;
}

qsizetype Cp932Length(const QString& text)
{
    return IsAscii(text) ? text.size() : ToCp932(text).size();
}

QString CharFromCode(int32_t code)
{
    const char two[2] = {static_cast<char>((code >> 8) & 0xFF), static_cast<char>(code & 0xFF)};
    const char* in = two;
    size_t inLeft = 2;
    char16_t buf[4];
    char* o = reinterpret_cast<char*>(buf);
    size_t oLeft = sizeof buf;
    if (FromAnsi().Run(in, inLeft, o, oLeft) != 0)
        return {};
    // Both bytes must form one character: 0x80 0x40 would give two.
    const size_t units = (sizeof buf - oLeft) / 2;
    if (units != 1 || QChar::isSurrogate(buf[0]))
        return {};
    return QString(QChar(buf[0]));
}

char* PutCodeBytes(char* out, int32_t code)
{
    if (code > 255)
        *out++ = static_cast<char>((code / 256) & 0xFF);
    *out++ = static_cast<char>(code % 256);
    return out;
}

void AppendCodeBytes(QByteArray& out, int32_t code)
{
    char bytes[2];
    out.append(bytes, PutCodeBytes(bytes, code) - bytes);
}
