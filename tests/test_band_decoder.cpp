// SPDX-License-Identifier: MIT
// Decoding band by band: every band holds the bytes the whole-picture loader
// gives for its rows, damaged pictures are refused as that loader refuses
// them, and what cannot stream is left to it. Pictures are written here by
// libjpeg and libpng, so that every layout Qt's readers know is covered.
#include "engine/BandDecoder.h"
#include "engine/Conversion.h"
#include "engine/ConversionAhead.h"
#include "engine/PicturePreparation.h"
#include "engine/StreamingConversion.h"
#include "engine/ImageLoading.h"
#include "engine/LargeMemory.h"
#include "tests/TestSupport.h"

#include <QDir>

#include <cstdio>
#include <cstring>
#include <optional>

#include <jpeglib.h>
#include <png.h>

namespace {

// Detail everywhere: ramps, hard edges and noise, different in each channel,
// so that upsampling, rounding and every palette entry show.
int Sample(int x, int y, int channel, int bits)
{
    const quint32 noise = (quint32(x) * 73856093u) ^ (quint32(y) * 19349663u) ^ (quint32(channel + 1) * 83492791u);
    const int ramp = x * 5 + y * 3 + channel * 60;
    const int value = (x / 4 + y / 3) % 3 == 0 ? int(noise >> 8) : ramp;
    return value & ((1 << bits) - 1);
}

struct JpegKind {
    const char* name;
    QSize size;
    int components;     // 1 grey, 3 colour, 4 CMYK
    int h, v;           // the first component's sampling; the others' is 1 x 1
    bool progressive;   // else sequential
    bool separateScans; // sequential, one scan a component
    bool arithmetic;    // else Huffman
    bool rgb;           // colours stored as RGB rather than YCbCr
    int restart;        // MCU rows between restart markers, 0 for none
    bool streams;
};

// Sampling, scans and coding as kind asks, over libjpeg's defaults.
void SetJpegLayout(jpeg_compress_struct& info, const JpegKind& kind)
{
    info.image_width = JDIMENSION(kind.size.width());
    info.image_height = JDIMENSION(kind.size.height());
    info.input_components = kind.components;
    info.in_color_space = kind.components == 1 ? JCS_GRAYSCALE : kind.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    if (kind.rgb)
        jpeg_set_colorspace(&info, JCS_RGB);
    info.comp_info[0].h_samp_factor = kind.h;
    info.comp_info[0].v_samp_factor = kind.v;
    static const jpeg_scan_info kSeparate[3] = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}};
    if (kind.progressive)
        jpeg_simple_progression(&info);
    if (kind.separateScans) {
        info.scan_info = kSeparate;
        info.num_scans = 3;
    }
    info.arith_code = kind.arithmetic;
    info.restart_in_rows = kind.restart;
}

QByteArray WriteJpeg(const JpegKind& kind)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error); // a mistake here ends the test program with libjpeg's reason
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&info, &out, &length);
    SetJpegLayout(info, kind);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(kind.size.width()) * size_t(kind.components));
    for (int y = 0; y < kind.size.height(); ++y) {
        for (int x = 0; x < kind.size.width(); ++x)
            for (int c = 0; c < kind.components; ++c)
                row[size_t(x) * size_t(kind.components) + size_t(c)] = JSAMPLE(Sample(x, y, c, 8));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(length));
    std::free(out);
    return bytes;
}

struct PngKind {
    const char* name;
    QSize size;
    int type, depth;
    // tRNS: for a palette the number of its entries with an alpha, else the
    // grey or red sample of the transparent colour; -1 for none.
    int transparent;
    int colours; // palette entries; indices past them occur
    bool interlaced;
    bool streams;
};

void AppendPng(png_structp png, png_bytep data, size_t length)
{
    static_cast<QByteArray*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

// One row of samples packed as the PNG's depth packs them; colour pixels
// whose red is the transparent sample get its green and blue too.
std::vector<png_byte> PngRow(const PngKind& kind, int channels, int y)
{
    std::vector<png_byte> row(size_t((kind.size.width() * channels * kind.depth + 7) / 8));
    for (int x = 0, bit = 0; x < kind.size.width(); ++x) {
        for (int c = 0; c < channels; ++c, bit += kind.depth) {
            int value = Sample(x, y, c, kind.depth);
            if (kind.type != PNG_COLOR_TYPE_PALETTE && kind.transparent >= 0 && x % 3 == 0)
                value = kind.transparent + c; // the transparent colour, wherever x divides by 3
            const size_t at = size_t(bit) / 8;
            if (kind.depth == 16) {
                row[at] = png_byte(value >> 8);
                row[at + 1] = png_byte(value);
            } else {
                row[at] |= png_byte(value << (8 - kind.depth - bit % 8));
            }
        }
    }
    return row;
}

void SetPngTransparency(png_structp png, png_infop info, const PngKind& kind)
{
    static png_byte alphas[256];
    for (int i = 0; i < 256; ++i)
        alphas[i] = png_byte(i * 97 % 256);
    png_color_16 colour{};
    colour.gray = colour.red = png_uint_16(kind.transparent);
    colour.green = png_uint_16(kind.transparent + 1);
    colour.blue = png_uint_16(kind.transparent + 2);
    if (kind.transparent >= 0)
        png_set_tRNS(png, info, alphas, kind.type == PNG_COLOR_TYPE_PALETTE ? kind.transparent : 0, &colour);
}

QByteArray WritePng(const PngKind& kind)
{
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, AppendPng, nullptr);
    png_set_check_for_invalid_index(png, 0); // indices past the palette are meant
    png_set_IHDR(png, info, png_uint_32(kind.size.width()), png_uint_32(kind.size.height()), kind.depth, kind.type,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(size_t(kind.colours));
    for (int i = 0; i < kind.colours; ++i)
        palette[size_t(i)] = {png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * i)};
    if (kind.type == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette.data(), kind.colours);
    SetPngTransparency(png, info, kind);
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < kind.size.height(); ++y)
            png_write_row(png, PngRow(kind, channels, y).data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// Decodes path band by band into picture: Done, the first failure, or Done
// with declined set when the decoder leaves the picture to the whole path.
Outcome DecodeInBands(const QString& path, int bandRows, QImage& picture, bool& declined)
{
    Outcome why = Outcome::Done();
    const std::unique_ptr<BandDecoder> decoder = BandDecoder::Open(path, why);
    declined = !decoder && why.IsDone();
    if (!decoder)
        return why;
    picture = QImage(decoder->Size(), QImage::Format_RGB32);
    QImage band(decoder->Size().width(), bandRows, QImage::Format_RGB32);
    for (int first = 0; first < picture.height(); first += bandRows) {
        const int rows = std::min(bandRows, picture.height() - first);
        band.fill(0x5a); // what a row left undecoded would show
        if (Outcome read = decoder->ReadRows(band, rows); !read.IsDone())
            return read;
        for (int row = 0; row < rows; ++row)
            std::memcpy(picture.scanLine(first + row), band.constScanLine(row), size_t(picture.bytesPerLine()));
    }
    return Outcome::Done();
}

bool SameBytes(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0)
            return false;
    return true;
}

auto Summary(const Outcome& outcome)
{
    return std::tuple(outcome.IsDone(), outcome.Kind(), outcome.DamageKind(), outcome.Reason().toStdString());
}

// Band by band in bands of 1 and 7 rows and in one band, path gives what
// LoadImageOverWhite gives: its bytes or its refusal. streams, when given,
// says whether the decoder must take the picture or leave it.
void ExpectAsWhole(const QString& path, const std::string& name, std::optional<bool> streams = std::nullopt)
{
    QImage whole;
    const Outcome loaded = LoadImageOverWhite(path, whole);
    for (const int bandRows : {1, 7, std::max(1, whole.height())}) {
        QImage picture;
        bool declined = false;
        const Outcome read = DecodeInBands(path, bandRows, picture, declined);
        if (streams) {
            EXPECT_EQ(!declined, *streams) << name;
        }
        if (declined)
            return;
        EXPECT_EQ(Summary(read), Summary(loaded)) << name << ", bands of " << bandRows;
        if (read.IsDone() && loaded.IsDone()) {
            EXPECT_TRUE(SameBytes(picture, whole)) << name << ", bands of " << bandRows;
        }
    }
}

QString Saved(const QTemporaryDir& dir, const char* name, const QByteArray& bytes)
{
    QString path = dir.filePath(QString::fromUtf8(name));
    EXPECT_TRUE(WriteAll(path, bytes));
    return path;
}

} // namespace

TEST(BandDecoder, JpegRowsAreTheWholeLoadersBytes)
{
    const JpegKind kinds[] = {
        {"4:2:0", {37, 23}, 3, 2, 2, false, false, false, false, 0, true},
        {"4:2:2", {61, 17}, 3, 2, 1, false, false, false, false, 0, true},
        {"4:4:4", {33, 40}, 3, 1, 1, false, false, false, false, 0, true},
        {"4:4:0", {29, 31}, 3, 1, 2, false, false, false, false, 0, true},
        {"4:1:1", {45, 13}, 3, 4, 1, false, false, false, false, 0, true},
        {"grey", {23, 37}, 1, 1, 1, false, false, false, false, 0, true},
        {"one pixel", {1, 1}, 3, 2, 2, false, false, false, false, 0, true},
        {"one column", {1, 50}, 3, 2, 2, false, false, false, false, 0, true},
        {"stored as RGB", {40, 21}, 3, 1, 1, false, false, false, true, 0, true},
        {"restart markers", {70, 45}, 3, 2, 2, false, false, false, false, 1, true},
        {"arithmetic", {51, 30}, 3, 2, 2, false, false, true, false, 0, true},
        {"a scan a colour", {47, 35}, 3, 2, 2, false, true, false, false, 0, true},
        {"progressive 4:2:0", {70, 51}, 3, 2, 2, true, false, false, false, 0, true},
        {"progressive 4:4:4", {19, 66}, 3, 1, 1, true, false, false, false, 0, true},
        {"progressive grey", {41, 9}, 1, 1, 1, true, false, false, false, 0, true},
        {"CMYK", {30, 20}, 4, 1, 1, false, false, false, false, 0, false},
    };
    QTemporaryDir dir;
    for (const JpegKind& kind : kinds)
        ExpectAsWhole(Saved(dir, "picture.jpg", WriteJpeg(kind)), kind.name, kind.streams);
}

TEST(BandDecoder, PngRowsAreTheWholeLoadersBytes)
{
    constexpr int kGrey = PNG_COLOR_TYPE_GRAY, kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA,
                  kPalette = PNG_COLOR_TYPE_PALETTE, kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA;
    const PngKind kinds[] = {
        {"grey 1-bit", {37, 11}, kGrey, 1, -1, 0, false, true},
        {"grey 1-bit, black transparent", {9, 14}, kGrey, 1, 0, 0, false, true},
        {"grey 2-bit", {13, 7}, kGrey, 2, -1, 0, false, true},
        {"grey 4-bit, one transparent", {29, 9}, kGrey, 4, 5, 0, false, true},
        {"grey 8-bit", {31, 17}, kGrey, 8, -1, 0, false, true},
        {"grey 8-bit, one transparent", {17, 31}, kGrey, 8, 200, 0, false, true},
        {"grey 16-bit", {19, 13}, kGrey, 16, -1, 0, false, true},
        {"grey 16-bit, one transparent", {21, 8}, kGrey, 16, 4000, 0, false, true},
        {"grey and alpha 8-bit", {23, 19}, kGreyAlpha, 8, -1, 0, false, true},
        {"grey and alpha 16-bit", {15, 27}, kGreyAlpha, 16, -1, 0, false, true},
        {"palette 1-bit", {35, 5}, kPalette, 1, -1, 2, false, true},
        {"palette 1-bit, one colour", {11, 6}, kPalette, 1, -1, 1, false, true},
        {"palette 2-bit, transparent", {7, 12}, kPalette, 2, 2, 3, false, true},
        {"palette 4-bit", {27, 10}, kPalette, 4, -1, 16, false, true},
        {"palette 8-bit, short", {64, 33}, kPalette, 8, -1, 200, false, true},
        {"palette 8-bit, transparent", {50, 21}, kPalette, 8, 130, 256, false, true},
        {"RGB 8-bit", {41, 23}, kRgb, 8, -1, 0, false, true},
        {"RGB 8-bit, one transparent", {33, 16}, kRgb, 8, 7, 0, false, true},
        {"RGB 16-bit", {17, 22}, kRgb, 16, -1, 0, false, true},
        {"RGBA 8-bit", {39, 29}, kRgba, 8, -1, 0, false, true},
        {"RGBA 16-bit", {25, 18}, kRgba, 16, -1, 0, false, true},
        {"one pixel", {1, 1}, kRgba, 8, -1, 0, false, true},
        // Qt reads 16-bit RGB with a transparent colour into pixels wider
        // than libpng's rows; interlaced rows need the whole picture.
        {"RGB 16-bit, one transparent", {12, 12}, kRgb, 16, 300, 0, false, false},
        {"interlaced", {20, 20}, kRgba, 8, -1, 0, true, false},
    };
    QTemporaryDir dir;
    for (const PngKind& kind : kinds)
        ExpectAsWhole(Saved(dir, "picture.png", WritePng(kind)), kind.name, kind.streams);
}

TEST(BandDecoder, TestPicturesAgreeWithTheWholeLoaderAndDamagedOnesAreRefused)
{
    const QDir data(QStringLiteral(PICTORIA_TEST_DATA));
    int streamed = 0;
    for (const QString& name : data.entryList(QDir::Files)) {
        ExpectAsWhole(data.filePath(name), name.toStdString());
        Outcome why = Outcome::Done();
        streamed += BandDecoder::Open(data.filePath(name), why) != nullptr;
    }
    EXPECT_GE(streamed, 5);

    // The JPEGs here are turned by their EXIF orientation, which the band
    // decoder leaves to the whole path; set upright, they stream, and their
    // damage is the band decoder's to find.
    QTemporaryDir dir;
    const QByteArray turned("\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00", 10);
    const QByteArray upright("\x12\x01\x03\x00\x01\x00\x00\x00\x01\x00", 10);
    const std::pair<const char*, const char*> jpegs[] = {
        {"exif-6.jpg", ""},
        {"cut-exif-6.jpg", "the data ends before the last row"},
        {"short-scan.jpg", "corrupt JPEG data: premature end of data segment"},
        {"bad-huffman.jpg", "corrupt JPEG data: bad Huffman code"},
    };
    for (const auto& [file, reason] : jpegs) {
        QByteArray bytes = ReadAll(TestData(file));
        ASSERT_TRUE(bytes.contains(turned)) << file;
        const QString path = Saved(dir, file, bytes.replace(turned, upright));
        ExpectAsWhole(path, file, true);
        QImage picture;
        bool declined = false;
        EXPECT_EQ(DecodeInBands(path, 3, picture, declined).Reason().toStdString(), reason) << file;
    }
}

TEST(BandDecoder, DamagedDataIsRefusedAsTheWholeLoaderRefusesIt)
{
    QTemporaryDir dir;
    const QByteArray jpeg = WriteJpeg({"", {64, 48}, 3, 2, 2, false, false, false, false, 0, true});
    const QByteArray progressive = WriteJpeg({"", {64, 48}, 3, 2, 2, true, false, false, false, 0, true});
    const QByteArray png = WritePng({"", {64, 48}, PNG_COLOR_TYPE_RGB, 8, -1, 0, false, true});
    const qsizetype scan = jpeg.indexOf("\xff\xda") + 20, lastScan = progressive.lastIndexOf("\xff\xda") + 20;
    const qsizetype data = png.indexOf("IDAT") + 30;
    const auto changed = [](QByteArray bytes, qsizetype at, const QByteArray& with) {
        return bytes.replace(at, with.size(), with);
    };
    const std::pair<const char*, QByteArray> damaged[] = {
        {"cut JPEG", jpeg.left(jpeg.size() * 2 / 3)},
        {"JPEG with an end marker in its scan", changed(jpeg, scan + 200, QByteArray("\xff\xd9"))},
        {"JPEG with a code no table has", changed(jpeg, scan + 100, QByteArray("\xff\x00").repeated(8))},
        {"progressive JPEG with an end marker in a scan", changed(progressive, lastScan + 30, "\xff\xd9")},
        {"cut PNG", png.left(png.size() * 2 / 3)},
        {"PNG whose pixel data fails its checksum", changed(png, data, QByteArray(4, '\x33'))},
        {"PNG without its end chunk", png.left(png.size() - 12)},
    };
    for (const auto& [name, bytes] : damaged) {
        const QString path = Saved(dir, "damaged.picture", bytes);
        ExpectAsWhole(path, name, true);
        QImage picture;
        bool declined = false;
        EXPECT_TRUE(DecodeInBands(path, 5, picture, declined).IsFailed()) << name;
    }
}

TEST(BandDecoder, LeavesToTheWholePathOrRefusesWhatItCannotStream)
{
    QTemporaryDir dir;
    // Progressive, its coefficients take 3 x 425 x 425 blocks of 128 bytes,
    // 69 MB; sequential, the same picture streams in a few rows of memory.
    for (const bool progressive : {true, false}) {
        const QString path =
            Saved(dir, "large.jpg", WriteJpeg({"", {3400, 3400}, 3, 1, 1, progressive, false, false, false, 0, true}));
        Outcome why = Outcome::Done();
        EXPECT_EQ(BandDecoder::Open(path, why) == nullptr, progressive);
        EXPECT_TRUE(why.IsDone());
    }
    QImage bmp(8, 8, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    ASSERT_TRUE(bmp.save(dir.filePath("bmp-named.jpg"), "BMP"));
    // The reason and kind of each path's failure, as LoadImageOverWhite words them.
    const std::tuple<QString, bool, FailureKind, const char*> files[] = {
        {dir.filePath("bmp-named.jpg"), true, FailureKind::None, ""},
        {dir.filePath("missing.jpg"), false, FailureKind::System, "File not found"},
        {dir.path(), false, FailureKind::NotRegular, "is a directory"},
        {MakeFifo(dir.filePath("fifo.png")), false, FailureKind::NotRegular, "is not a regular file"},
    };
    for (const auto& [path, declined, kind, reason] : files) {
        Outcome why = Outcome::Done();
        EXPECT_EQ(BandDecoder::Open(path, why), nullptr) << path.toStdString();
        EXPECT_EQ(std::tuple(why.IsDone(), why.Kind(), why.Reason().toStdString()),
                  std::tuple(declined, kind, std::string(reason)))
            << path.toStdString();
    }
}

TEST(BandDecoder, BandsMustFitTheRowsLeft)
{
    QTemporaryDir dir;
    const QString path = Saved(dir, "p.png", WritePng({"", {10, 4}, PNG_COLOR_TYPE_RGB, 8, -1, 0, false, true}));
    Outcome why = Outcome::Done();
    const std::unique_ptr<BandDecoder> decoder = BandDecoder::Open(path, why);
    ASSERT_TRUE(decoder);
    QImage band(10, 3, QImage::Format_RGB32), narrow(9, 3, QImage::Format_RGB32);
    EXPECT_TRUE(decoder->ReadRows(narrow, 1).IsFailed());
    EXPECT_TRUE(decoder->ReadRows(band, 4).IsFailed()) << "taller than the band";
    EXPECT_TRUE(decoder->ReadRows(band, 3).IsDone());
    EXPECT_TRUE(decoder->ReadRows(band, 2).IsFailed()) << "past the last row";
    EXPECT_TRUE(decoder->ReadRows(band, 1).IsDone());
    EXPECT_EQ(decoder->RowsRead(), 4);
}

namespace {

// Every bucket filled, more glyphs in the lighter ones, values spread over 0 to 16.
GlyphBucketArray SpreadBuckets()
{
    GlyphBucketArray buckets;
    for (int level = 0; level < kBucketCount; ++level)
        for (int i = 0; i < 3 + level * 5; ++i)
            buckets[size_t(level)].push_back(std::make_shared<clsChr>(
                clsChr{float((level * 7 + i * 3) % 17), float((level * 5 + i * 11) % 17), float((i * 13) % 17),
                       float((level + i) % 17), 0x889F + level * 40 + i}));
    return buckets;
}

} // namespace

// Converted while it is decoded, band after band, a picture gives the rows
// and leaves the generator where the whole picture's conversion does, with
// bands of one cell row, of a few, and of the default size, inverted or not.
TEST(StreamingConversion, GivesTheWholePicturesRows)
{
    const GlyphBucketArray buckets = SpreadBuckets();
    const GlyphTable table(buckets);
    QTemporaryDir dir;
    const QString pictures[] = {
        Saved(dir, "a.jpg", WriteJpeg({"4:2:0", {203, 77}, 3, 2, 2, false, false, false, false, 0, true})),
        Saved(dir, "b.png", WritePng({"RGBA", {97, 130}, PNG_COLOR_TYPE_RGB_ALPHA, 8, -1, 0, false, true})),
    };
    for (const QString& path : pictures)
        for (const int32_t cellSize : {4, 8})
            for (const int bandRows : {cellSize, 3 * cellSize, 0})
                for (const bool invert : {false, true}) {
                    SCOPED_TRACE(testing::Message() << path.toStdString() << " cell " << cellSize << " band "
                                                    << bandRows << (invert ? " inverted" : ""));
                    QImage whole;
                    ASSERT_TRUE(LoadImageOverWhite(path, whole).IsDone());
                    if (invert)
                        InvertLightness(whole);
                    std::vector<QByteArray> expected, streamed;
                    ConversionHooks hooks;
                    hooks.settings = [] { return ConversionSettings{}; };
                    hooks.writeRow = [&](const QByteArray& row) { return expected.push_back(row), true; };
                    Rnd wholeRnd(0x123456), streamRnd(0x123456);
                    ConvertGrid(whole, cellSize, table, wholeRnd, hooks);

                    Outcome why = Outcome::Done();
                    const std::unique_ptr<BandDecoder> decoder = BandDecoder::Open(path, why);
                    ASSERT_TRUE(decoder);
                    StreamHooks stream;
                    if (invert)
                        stream.prepareBand = [](QImage& band) { InvertLightness(band); };
                    stream.writeRow = [&](const QByteArray& row, double) { streamed.push_back(row); };
                    ASSERT_TRUE(
                        ConvertAsDecoded(*decoder, cellSize, table, {}, streamRnd, stream, {}, bandRows).IsDone());
                    EXPECT_EQ(std::pair(streamed, streamRnd.State()), std::pair(expected, wholeRnd.State()));
                }
}

// Cells converted while the picture loads give the run exactly the bytes and
// the generator's end it would reach alone, taken or not: the same run, one
// whose settings change part way (at a band's first cell or inside one),
// another cell size, other settings, another start and another picture.
TEST(ConversionAhead, TakenCellsGiveTheRunsOwnBytes)
{
    const GlyphBucketArray buckets = SpreadBuckets();
    const GlyphTable table(buckets);
    QTemporaryDir dir;
    const QString pictures[] = {
        Saved(dir, "a.jpg", WriteJpeg({"4:2:0", {203, 301}, 3, 2, 2, false, false, false, false, 0, true})),
        Saved(dir, "b.png", WritePng({"RGBA", {97, 130}, PNG_COLOR_TYPE_RGB_ALPHA, 8, -1, 0, false, true})),
        Saved(dir, "narrow.png", WritePng({"RGB", {3, 130}, PNG_COLOR_TYPE_RGB, 8, -1, 0, false, true})),
    };
    const ConversionSettings ahead{0.5f, 1.25f, 30}, other{-0.5f, 1.0f, 30};
    constexpr uint32_t kStart = 0x123456;
    struct Run {
        const char* name;
        int32_t cellSize;
        uint32_t start;
        int64_t changeAt; // cells after which the settings become other; -1 never
        bool samePicture;
        int64_t cellsPerBand;
        int rowsTold; // the load's rows told to the conversion ahead; -1: the load tells them
        bool taken;
    };
    const Run runs[] = {
        {"as converted ahead", 4, kStart, -1, true, kCellsPerBand, -1, true},
        {"in bands of one row", 4, kStart, -1, true, 37, -1, true},
        {"converted ahead in part", 4, kStart, -1, true, kCellsPerBand, 41, true},
        {"in part, in bands of two rows", 4, kStart, -1, true, 100, 41, true},
        {"settings changed inside a band", 4, kStart, 100, true, 64, -1, true},
        {"settings changed at a band's start", 4, kStart, 128, true, 64, -1, true},
        {"another cell size", 8, kStart, -1, true, kCellsPerBand, -1, false},
        {"another start", 4, kStart + 1, -1, true, kCellsPerBand, -1, false},
        {"another picture", 4, kStart, -1, false, kCellsPerBand, -1, false},
    };
    for (const QString& path : pictures)
        for (const Run& run : runs) {
            SCOPED_TRACE(testing::Message() << path.toStdString() << ": " << run.name);
            ConversionAhead converter(buckets, 4, ahead, kStart);
            QImage loaded;
            ASSERT_TRUE(
                LoadImageOverWhite(path, loaded, kImageAllocationLimitMB, run.rowsTold < 0 ? &converter : nullptr)
                    .IsDone());
            if (run.rowsTold >= 0)
                converter.RowsLoaded(loaded, run.rowsTold);
            const QImage picture = run.samePicture ? loaded : loaded.mirrored(true, false);
            auto convert = [&](auto&& how) {
                std::vector<QByteArray> rows;
                int64_t cells = 0;
                ConversionHooks hooks;
                hooks.settings = [&] { return run.changeAt >= 0 && cells >= run.changeAt ? other : ahead; };
                hooks.writeRow = [&](const QByteArray& row) { return rows.push_back(row), true; };
                hooks.afterCell = [&](double, int32_t) { return ++cells, true; };
                Rnd rnd(run.start);
                how(rnd, hooks);
                return std::pair(rows, rnd.State());
            };
            const auto alone = convert([&](Rnd& rnd, const ConversionHooks& hooks) {
                ConvertGrid(picture, run.cellSize, table, rnd, hooks, {}, run.cellsPerBand);
            });
            // Whether the run could take the first cells, asked before it runs.
            int32_t code = 0;
            uint32_t start = 0, end = 0;
            const bool taken = converter.Take(picture, run.cellSize, 0, 1, ahead, run.start, &code, &start, end) == 1;
            const auto withAhead = convert([&](Rnd& rnd, const ConversionHooks& hooks) {
                ConvertGrid(picture, run.cellSize, converter, rnd, hooks, {}, run.cellsPerBand);
            });
            EXPECT_EQ(taken, run.taken && picture.width() >= run.cellSize);
            EXPECT_EQ(withAhead, alone);
        }
}

namespace {

// What a load told its watcher: the final rows of each call, then whether it failed.
struct RecordedLoad final : LoadWatcher {
    void RowsLoaded(const QImage& picture, int rows) override
    {
        told.push_back(picture.copy(0, 0, picture.width(), rows));
        full = rows == picture.height() ? picture : QImage();
    }
    void LoadFailed() override { failed = true; }
    std::vector<QImage> told;
    QImage full;
    bool failed = false;
};

} // namespace

// A band-by-band load tells of rows only once they are final, more each
// time, and ends with the picture itself or with its failure.
TEST(LoadWatcher, ToldOfFinalRowsThenTheEnd)
{
    QTemporaryDir dir;
    QByteArray jpeg = WriteJpeg({"", {64, 200}, 3, 2, 2, false, false, false, false, 0, true});
    const QString whole = Saved(dir, "whole.jpg", jpeg);
    const QString damaged = Saved(dir, "damaged.jpg", jpeg.replace(jpeg.size() * 3 / 4, 2, "\xff\xd9"));
    RecordedLoad load, failing;
    QImage picture, kept(1, 1, QImage::Format_RGB32);
    ASSERT_TRUE(LoadImageOverWhite(whole, picture, kImageAllocationLimitMB, &load).IsDone());
    ASSERT_GE(load.told.size(), 3U);
    for (size_t i = 0; i < load.told.size(); ++i)
        EXPECT_EQ(load.told[i], picture.copy(0, 0, 64, load.told[i].height())) << "call " << i;
    EXPECT_EQ(load.told.back().height(), 200);
    EXPECT_EQ(load.full.constBits(), picture.constBits()) << "the picture itself, no copy";
    EXPECT_FALSE(load.failed);

    EXPECT_TRUE(LoadImageOverWhite(damaged, kept, kImageAllocationLimitMB, &failing).IsFailed());
    EXPECT_TRUE(failing.failed);
    EXPECT_GE(failing.told.size(), 1U) << "rows before the damage were told";
    EXPECT_TRUE(failing.full.isNull());
}

// A load that fails part way leaves nothing to take, and the conversion ahead
// has stopped reading the picture's memory before it goes (the sanitizers
// would see it read afterwards).
TEST(ConversionAhead, FailedLoadLeavesNothing)
{
    GlyphBucketArray buckets;
    buckets[0].push_back(std::make_shared<clsChr>(clsChr{1, 2, 3, 4, 0x889F}));
    QTemporaryDir dir;
    QByteArray jpeg = WriteJpeg({"", {640, 960}, 3, 2, 2, false, false, false, false, 0, true});
    const QString path = Saved(dir, "damaged.jpg", jpeg.replace(jpeg.size() * 3 / 4, 2, "\xff\xd9"));
    ConversionAhead converter(buckets, 4, {}, 1);
    QImage picture(640, 960, QImage::Format_RGB32);
    EXPECT_TRUE(LoadImageOverWhite(path, picture, kImageAllocationLimitMB, &converter).IsFailed());
    int32_t code = 0;
    uint32_t start = 0, end = 0;
    EXPECT_EQ(converter.Take(picture, 4, 0, 1, {}, 1, &code, &start, end), 0);
}

// A picture large enough that another thread makes its pages ready while it
// decodes: the same bytes as band by band alone. Pages made ready keep what
// was written in them, and a page only partly in the range is left alone.
TEST(ImageLoading, PagesMadeReadyAheadKeepTheirBytes)
{
    QTemporaryDir dir;
    const QString path =
        Saved(dir, "large.jpg", WriteJpeg({"", {4100, 4100}, 3, 2, 2, false, false, false, false, 0, true}));
    QImage whole, banded;
    bool declined = false;
    ASSERT_TRUE(LoadImageOverWhite(path, whole).IsDone());
    ASSERT_TRUE(DecodeInBands(path, 4100, banded, declined).IsDone());
    EXPECT_TRUE(SameBytes(whole, banded));

    LargeMemory memory(3 * 4096);
    auto* bytes = static_cast<unsigned char*>(memory.Data());
    ASSERT_NE(bytes, nullptr);
    for (size_t i = 0; i < 3 * 4096; i += 512)
        bytes[i] = static_cast<unsigned char>(i / 512 + 1);
    EXPECT_TRUE(PreparePages(bytes + 100, 2 * 4096));
    for (size_t i = 0; i < 3 * 4096; i += 512)
        EXPECT_EQ(bytes[i], static_cast<unsigned char>(i / 512 + 1)) << "byte " << i;
}
