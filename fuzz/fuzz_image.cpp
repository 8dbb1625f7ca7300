// SPDX-License-Identifier: MIT
// Picture loading: any file either loads whole as 32-bit RGB of the size its
// header claims, ready for the cell sampler, or is refused with a reason and
// the caller's image untouched. The loader runs with a small picture limit;
// libFuzzer's -malloc_limit_mb above it turns any allocation the limit does
// not govern (a decompression bomb) into a finding.
#include "engine/ImageLoading.h"
#include "fuzz/FuzzFile.h"

#include <QGuiApplication>
#include <QImageReader>

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
    // Never a null or partial picture: the whole first frame, turned as its
    // orientation says.
    if (image.isNull() || image.format() != QImage::Format_RGB32 ||
        qint64(image.width()) * image.height() * 4 > qint64(kFuzzLimitMB) << 20)
        abort();
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    if (QSize claimed = reader.size(); claimed.isValid()) {
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            claimed.transpose();
        if (image.size() != claimed)
            abort();
    }
    return 0;
}
