// SPDX-License-Identifier: MIT
// Picture loading: any file either loads as 32-bit RGB within the limit,
// ready for the cell sampler, or is refused with a reason and the caller's
// image untouched. The loader runs with a small picture limit;
// libFuzzer's -malloc_limit_mb above it turns any allocation the limit does
// not govern (a decompression bomb) into a finding.
#include "engine/ImageLoading.h"
#include "fuzz/FuzzFile.h"

#include <QGuiApplication>

namespace {
// 4 million pixels: a run stays fast, and the limit's refusal is reached.
constexpr int kFuzzLimitMB = 16;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // image plugins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzFile(data, size, "image");
    QImage image(1, 1, QImage::Format_Mono);
    const Outcome loaded = LoadImageOverWhite(path, image, kFuzzLimitMB);
    if (!loaded.IsDone()) {
        if (loaded.Reason().isEmpty() || image.size() != QSize(1, 1) || image.format() != QImage::Format_Mono)
            abort();
        return 0;
    }
    // Never a null picture, nor one past the limit. (Its size is not held
    // against the header's: Qt's GIF reader gives the screen's size for a
    // frame that lies outside it.)
    if (image.isNull() || image.format() != QImage::Format_RGB32 ||
        qint64(image.width()) * image.height() * 4 > qint64(kFuzzLimitMB) << 20)
        abort();
    return 0;
}
