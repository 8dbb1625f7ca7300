// SPDX-License-Identifier: MIT
// Picture loading: any file either loads as 32-bit RGB, ready for the cell
// sampler, or is refused with a reason.
#include "engine/ImageLoading.h"
#include "fuzz/FuzzFile.h"

#include <QGuiApplication>
#include <QImageReader>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzFile(data, size, "image");
    // Large claims are refused by the loader's own limit; here they would only
    // make each run slow.
    if (const QSize s = QImageReader(path).size(); s.isValid() && qint64(s.width()) * s.height() > 1 << 20)
        return 0;
    QImage image;
    const Outcome loaded = LoadImageOverWhite(path, image);
    if (loaded.IsDone() ? image.format() != QImage::Format_RGB32 : loaded.Reason().isEmpty())
        abort();
    return 0;
}
