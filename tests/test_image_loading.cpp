// SPDX-License-Identifier: MIT
// Pictures in and drawings out: decoding, damaged pictures, and the text
// picture drawn as an image.
#include "engine/GlyphFont.h"
#include "engine/GlyphMeasure.h"
#include "engine/ImageLoading.h"
#include "engine/PicturePreparation.h"
#include "engine/TextPictureImage.h"
#include "tests/TestSupport.h"

#include <QPainter>

namespace {

// The mean difference of two pictures of one size, 0 to 1.
double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return sum / (255.0 * a.width() * a.height());
}

} // namespace

TEST(ImageLoading, FormatsTransparencyOrientationAndContentOverName)
{
    const std::tuple<const char*, QSize, QPoint, int> pictures[] = {
        // the grey level at the probe, within 40
        {"grey-16x16.bmp", {16, 16}, {3, 3}, 128},
        {"palette-32x16.gif", {32, 16}, {20, 5}, 255},
        {"ramp-96x64.png", {96, 64}, {10, 20}, qGray(20, 60, 200)},
        {"grey8-8x8.png", {8, 8}, {0, 0}, 64},
        {"transparent-10x6.png", {10, 6}, {0, 0}, 255}, // transparent reads as white
        {"png-named.jpg", {10, 6}, {1, 1}, 0},          // the content decides
        {"exif-6.jpg", {8, 16}, {4, 1}, 0}, // stored 16 x 8 with a dark band on the left; EXIF orientation 6
    };
    for (const auto& [file, size, probe, grey] : pictures) {
        QImage image;
        ASSERT_TRUE(LoadImageOverWhite(TestData(file), image).IsDone()) << file;
        EXPECT_EQ(std::tuple(image.size(), image.format()), std::tuple(size, QImage::Format_RGB32)) << file;
        EXPECT_LE(std::abs(qGray(image.pixel(probe)) - grey), 40) << file;
    }
    QImage kept(1, 1, QImage::Format_RGB32);
    const Outcome bad = LoadImageOverWhite(TestData("not-a-picture.jpg"), kept);
    EXPECT_TRUE(bad.IsFailed() && bad.Path().endsWith("not-a-picture.jpg") && kept.size() == QSize(1, 1))
        << "a failed load names the file and leaves the image as it was";

    // Composing in place must give the bytes drawing over white always gave;
    // a picture taller than a band is composed band by band.
    QTemporaryDir dir;
    QImage argb(256, 300, QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < 256; ++x)
            argb.setPixel(x, y, qRgba(y * 4 % 256, 255 - y * 3 % 256, (x * 7 + y) & 255, x));
    QImage palette(256, 300, QImage::Format_Indexed8);
    palette.setColorTable({qRgba(255, 0, 0, 0), qRgba(0, 90, 0, 100), qRgba(10, 20, 200, 255)});
    for (int y = 0; y < palette.height(); ++y)
        for (int x = 0; x < 256; ++x)
            palette.setPixel(x, y, uint(x + y) % 3);
    for (const QImage& source : {argb, argb.convertToFormat(QImage::Format_RGBA64), palette}) {
        ASSERT_TRUE(source.save(dir.filePath("alpha.png")));
        QImage want(source.size(), QImage::Format_RGB32), got;
        want.fill(Qt::white);
        QPainter(&want).drawImage(0, 0, QImage(dir.filePath("alpha.png")));
        ASSERT_TRUE(LoadImageOverWhite(dir.filePath("alpha.png"), got).IsDone());
        EXPECT_EQ(got, want) << source.format();
    }
}

TEST(ImageLoading, DamagedPicturesAreRefusedWholeOnesRead)
{
    const char* const kCut = "the data ends before the last row";
    // The picture and why it is refused; "" when it reads as palette-32x16.gif does.
    const std::pair<const char*, const char*> pictures[] = {
        {"cut-exif-6.jpg", kCut},
        {"short-scan.jpg", "corrupt JPEG data: premature end of data segment"}, // an end marker inside the scan
        {"bad-huffman.jpg", "corrupt JPEG data: bad Huffman code"},
        {"cut-palette-32x16.gif", kCut},
        {"corrupt-lzw.gif", "the GIF data is corrupt"},
        {"palette-32x16-no-trailer.gif", ""}, // every pixel is there
        {"cut-grey-16x16.bmp", kCut},
        {"rle4-32x16.bmp", ""},
        {"cut-rle4-32x16.bmp", kCut},
        {"rle8-32x16.bmp", ""},
        {"cut-rle8-32x16.bmp", kCut},
        {"palette-32x16.xbm", ""},
        {"cut-palette-32x16.xbm", kCut},
        {"cut-transparent-10x6.png", kCut},
        {"huge-text-chunk.png", kCut}, // 220 bytes claiming a 700 MB text chunk, which libpng would allocate
    };
    QImage whole;
    ASSERT_TRUE(LoadImageOverWhite(TestData("palette-32x16.gif"), whole).IsDone());
    for (const auto& [file, reason] : pictures) {
        QImage image(1, 1, QImage::Format_RGB32);
        const Outcome loaded = LoadImageOverWhite(TestData(file), image);
        if (*reason == 0)
            EXPECT_TRUE(loaded.IsDone() && image == whole) << file << ": " << loaded.Message().toStdString();
        else
            EXPECT_EQ(std::tuple(loaded.IsFailed(), loaded.Reason(), loaded.Errno(), image.size()),
                      std::tuple(true, QString::fromUtf8(reason), 0, QSize(1, 1)))
                << file;
    }
}

TEST(PicturePreparation, ScaledByTheMeanOfThePixelsUnderEachAndInverted)
{
    QImage picture(4, 2, QImage::Format_RGB32); // two 2 x 2 blocks
    const QRgb pixels[2][4] = {{qRgb(0, 0, 0), qRgb(10, 20, 31), qRgb(200, 200, 200), qRgb(201, 201, 201)},
                               {qRgb(1, 2, 3), qRgb(5, 6, 7), qRgb(255, 0, 255), qRgb(0, 255, 0)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            picture.setPixel(x, y, pixels[y][x]);
    QImage halved = picture;
    ASSERT_TRUE(ScaleToColumns(halved, 2, 1).IsDone());
    // Means rounded half up: (0+10+1+5)/4 = 4, (0+20+2+6)/4 = 7, (31+3+7)/4 = 10.25.
    EXPECT_EQ(std::tuple(halved.size(), halved.pixel(0, 0), halved.pixel(1, 0)),
              std::tuple(QSize(2, 1), qRgb(4, 7, 10), qRgb(164, 164, 164)));
    QImage doubled = picture;
    ASSERT_TRUE(ScaleToColumns(doubled, 2, 4).IsDone()); // 8 x 4: every pixel repeated
    EXPECT_EQ(doubled, picture.scaled(8, 4));
    QImage tall(3, 101, QImage::Format_RGB32);
    tall.fill(Qt::gray);
    ASSERT_TRUE(ScaleToColumns(tall, 1, 4).IsDone()); // 101 x 4 / 3 = 134.7
    EXPECT_EQ(tall.size(), QSize(4, 135));

    InvertLightness(picture);
    EXPECT_EQ(std::pair(picture.pixel(1, 0), picture.pixel(2, 1)), std::pair(qRgb(245, 235, 224), qRgb(0, 255, 0)));
}

TEST(TextPictureImage, EachCharacterAsItWasMeasured)
{
    QImage image;
    ASSERT_TRUE(
        DrawTextPicture({QByteArray("\x88\x9f\x81\x40"), QByteArray("\x81\x40")}, QString(), 1.0, image).IsDone());
    EXPECT_EQ(image.size(), QSize(2 * 16, 2 * 16));
    const GlyphFont font(FindGlyphFontFile());
    GlyphCanvas canvas(font);
    const QImage blank = canvas.Image().copy(0, 0, 16, 16);
    canvas.PrintAt(0, 0, QStringLiteral("亜"));
    EXPECT_NE(canvas.Image().copy(0, 0, 16, 16), blank);
    // 亜, then the ideographic space.
    EXPECT_EQ(std::pair(image.copy(0, 0, 16, 16), image.copy(16, 16, 16, 16)),
              std::pair(canvas.Image().copy(0, 0, 16, 16), blank));
    EXPECT_TRUE(DrawTextPicture({}, "/no/such/font.ttf", 1.0, image).IsFailed());
}

TEST(TextPictureImage, SameBytesAtScaleOneAndTheWholeDrawingsLookScaled)
{
    // ￣ inks the row above its cell: cut off at the top, drawn over the row
    // above further down. drawn-rows.png is the drawing made whole at scale 1.
    QList<QByteArray> rows;
    for (const char16_t* row : {u"￣￣亜鬱￣　霧", u"亜￣鬱￣　驫", u"￣鑿", u"　　￣￣■"})
        rows << ToCp932(QString::fromUtf16(row));
    const QImage before = QImage(TestData("drawn-rows.png")).convertToFormat(QImage::Format_RGB32);
    QImage image;
    ASSERT_TRUE(DrawTextPicture(rows, QString(), 1.0, image).IsDone());
    EXPECT_EQ(image, before);
    // Drawn at the scale directly, a cell's neighbours blend by the darker
    // pixel instead of by smoothing the whole; at fractional pixels a cell,
    // cells land on whole pixels.
    const std::pair<double, double> scales[] = {{0.25, 0.01}, {0.5, 0.01}, {2, 0.01}, {1.3, 0.05}};
    for (const auto& [scale, difference] : scales) {
        ASSERT_TRUE(DrawTextPicture(rows, QString(), scale, image).IsDone());
        const QImage whole =
            before.scaled(int(std::lround(before.width() * scale)), int(std::lround(before.height() * scale)),
                          Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ASSERT_EQ(image.size(), whole.size()) << scale;
        EXPECT_LE(MeanDifference(image, whole), difference) << scale;
    }
}
