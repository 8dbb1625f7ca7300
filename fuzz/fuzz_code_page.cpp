// SPDX-License-Identifier: MIT
// The code page layer both ways: bytes decode without fault, text of any
// UTF-16 (lone surrogates too) encodes, and widths agree with the encoding.
// The same bytes as a text picture give lines without CR whose joined form
// is what the viewer keeps.
#include "common/CodePage932.h"
#include "common/General.h"
#include "viewer/TextPictureFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString decoded = FromCp932(bytes);
    (void)FromCp932(bytes, Cp932Tail::Drop);
    // What decodes without replacement encodes back to the same bytes.
    if (!decoded.contains(QChar(0xFFFD)) && FromCp932(ToCp932(decoded)) != decoded)
        abort();
    const QStringList lines = SplitTextPicture(bytes);
    const TextPicture picture = MakeTextPicture(bytes);
    if (picture.size != qint64(size) || picture.text != JoinWithCrLf(lines) || lines.join(QString()).contains(u'\r'))
        abort();

    const QString text(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    const QByteArray encoded = ToCp932(text);
    if (AnsiLen(text) != encoded.size() || encoded.size() > 2 * text.size())
        abort();
    const int32_t width = size ? data[0] % 40 : 0;
    if (AnsiLen(PadToWidth(text, width, size % 2)) != width)
        abort();
    (void)AnsiMid(text, size ? data[size - 1] % 16 : 1, width);
    if (size >= 2)
        (void)CharFromCode(data[0] << 8 | data[1]);
    return 0;
}
