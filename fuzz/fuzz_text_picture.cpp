// SPDX-License-Identifier: MIT
// The viewer's reading of text pictures: every byte string gives lines
// whose joined form splits back into the same lines.
#include "viewer/TextPictureFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const TextPicture picture = MakeTextPicture(bytes);
    const QStringList lines = SplitTextPicture(bytes);
    if (picture.size != qint64(size) || picture.text != JoinWithCrLf(lines))
        abort();
    for (const QString& line : lines)
        if (line.contains(u'\r'))
            abort();
    return 0;
}
