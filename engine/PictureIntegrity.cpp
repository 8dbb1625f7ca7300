// SPDX-License-Identifier: MIT
#include "engine/PictureIntegrity.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {

// Reading a file's bytes in order; reading past the end only sets ended.
class Bytes {
public:
    explicit Bytes(QByteArrayView data, qint64 at = 0) : data_(data), at_(at) {}
    bool Ended() const { return ended_; }
    qint64 At() const { return at_; }
    qint64 Left() const { return std::max<qint64>(0, data_.size() - at_); }
    int Byte()
    {
        if (at_ >= data_.size()) {
            ended_ = true;
            return 0;
        }
        return uchar(data_[at_++]);
    }
    // Reads on past the next byte b; at the end, when none is left.
    void SkipPast(uchar b)
    {
        const auto* from = reinterpret_cast<const uchar*>(data_.data()) + at_;
        const auto* found = static_cast<const uchar*>(std::memchr(from, b, size_t(Left())));
        if (!found) {
            at_ = data_.size();
            ended_ = true;
            return;
        }
        at_ += found - from + 1;
    }
    void Skip(qint64 n)
    {
        if (n > Left())
            ended_ = true;
        at_ = std::min<qint64>(at_ + n, data_.size());
    }
    int Le16() { return Byte() | Byte() << 8; }
    int Be16() { return Byte() << 8 | Byte(); }
    quint32 Le32() { return quint32(Le16()) | quint32(Le16()) << 16; }
    quint32 Be32() { return quint32(Be16()) << 16 | quint32(Be16()); }

private:
    QByteArrayView data_;
    qint64 at_;
    bool ended_ = false;
};

// The next JPEG marker: stray bytes before it and fill bytes skipped, as the
// decoder skips them.
int NextMarker(Bytes& in)
{
    in.SkipPast(0xFF); // a whole scan's data: a byte at a time took 4 ms for 5 MB
    int marker = in.Byte();
    while (!in.Ended() && marker == 0xFF)
        marker = in.Byte();
    return marker;
}

// The marker after a scan's entropy-coded data, which runs on past stuffed
// zeros and restart markers.
int MarkerAfterScan(Bytes& in)
{
    for (;;) {
        const int marker = NextMarker(in);
        if (in.Ended() || (marker != 0 && (marker < 0xD0 || marker > 0xD7)))
            return marker;
    }
}

// JPEG: the markers in order, each scan's data skipped to the marker after
// it, up to the end-of-image marker. A file cut anywhere in its picture has
// none; what lies after it (a second picture, padding) is not read.
QString JpegMissing(QByteArrayView data)
{
    Bytes in(data);
    if (in.Byte() != 0xFF || in.Byte() != 0xD8)
        return {};
    for (int marker = NextMarker(in);;) {
        if (in.Ended())
            return kPictureEndsEarly;
        if (marker == 0xD9)
            return {};
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // markers without a length
            marker = NextMarker(in);
            continue;
        }
        const int length = in.Be16();
        if (length < 2)
            return {}; // the decoder refuses a bogus length by itself
        in.Skip(length - 2);
        marker = marker == 0xDA ? MarkerAfterScan(in) : NextMarker(in);
    }
}

// GIF: the first frame as Qt's reader takes it (its block structure and LZW
// codes), counting the pixels its codes give. Qt returns the frame as soon as
// its data stops, however few pixels that was.
// NOLINTNEXTLINE(readability-function-size): one LZW walk, state shared by every code
QString GifMissing(QByteArrayView data)
{
    Bytes in(data);
    in.Skip(6 + 4);
    const int screenFlags = in.Byte();
    in.Skip(2);
    if (screenFlags & 0x80)
        in.Skip(qint64(3) * (2 << (screenFlags & 7)));
    for (;;) {
        const int introducer = in.Byte();
        if (in.Ended())
            return {}; // no frame at all: Qt refuses it by itself
        if (introducer == '!') {
            const int label = in.Byte();
            if (label == 0xF9 || label == 0xFF) // Qt reads their first block whatever its size
                in.Skip(in.Byte());
            for (int size = in.Byte(); size != 0 && !in.Ended(); size = in.Byte())
                in.Skip(size);
            if (in.Ended())
                return {};
            continue;
        }
        if (introducer != ',')
            return {}; // the trailer or garbage before any frame: Qt refuses it
        break;
    }
    in.Skip(4);
    const qint64 width = in.Le16(), height = in.Le16();
    const int frameFlags = in.Byte();
    if (frameFlags & 0x80)
        in.Skip(qint64(3) * (2 << (frameFlags & 7)));
    const int minimum = in.Byte();
    if (in.Ended())
        return kPictureEndsEarly;
    constexpr int kMaxBits = 12;
    if (minimum > kMaxBits)
        return QStringLiteral("the GIF data is corrupt");

    // The string behind each code, by its prefix: what Qt's decoder walks.
    std::array<int16_t, 1 << kMaxBits> prefix{};
    const int clear = 1 << minimum, end = clear + 1;
    int codeSize = minimum + 1, nextCode = clear + 2, codeLimit = 2 * clear;
    bool first = true, ended = false;
    int old = 0;
    quint32 bits = 0;
    int held = 0;
    const qint64 need = width * height;
    qint64 pixels = 0;
    for (int size = in.Byte(); size != 0 && !in.Ended(); size = in.Byte()) {
        for (int i = 0; i < size; ++i) {
            const int byte = in.Byte();
            if (in.Ended() || ended)
                continue;
            bits |= quint32(byte) << held;
            held += 8;
            while (held >= codeSize && !ended) {
                int code = int(bits & ((1u << codeSize) - 1));
                bits >>= codeSize;
                held -= codeSize;
                if (code == clear) {
                    codeSize = minimum + 1;
                    nextCode = clear + 2;
                    codeLimit = 2 * clear;
                    first = true;
                } else if (code == end) {
                    ended = true;
                } else if (first) {
                    old = code;
                    first = false;
                    ++pixels;
                } else {
                    const int incode = code;
                    qint64 length = 1;
                    if (code >= nextCode) { // the string of the previous code and its first pixel
                        ++length;
                        code = old;
                    }
                    for (; code >= clear + 2; code = prefix[code], ++length)
                        if (code >= nextCode || code == prefix[code] || length >= 2 << kMaxBits)
                            return pixels >= need ? QString() : QStringLiteral("the GIF data is corrupt");
                    if (nextCode < (1 << kMaxBits)) {
                        prefix[nextCode++] = int16_t(old);
                        if (nextCode >= codeLimit && codeLimit < (1 << kMaxBits)) {
                            codeLimit *= 2;
                            ++codeSize;
                        }
                    }
                    old = incode;
                    pixels += length;
                }
            }
        }
    }
    return pixels >= need ? QString() : kPictureEndsEarly;
}

// BMP: the rows Qt's reader reads (a short read leaves the rest of the
// picture as whatever memory held), or its walk through a run-length stream.
// NOLINTNEXTLINE(readability-function-size): the header and the run-length walk read in file order
QString BmpMissing(QByteArrayView data)
{
    Bytes in(data);
    in.Skip(10);
    const qint64 offset = in.Le32();
    const quint32 headerSize = in.Le32();
    qint64 width, height;
    int bitCount, compression = 0;
    quint32 colours = 0;
    const bool windows = headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124;
    if (windows) {
        width = qint32(in.Le32());
        height = qint32(in.Le32());
        in.Skip(2);
        bitCount = in.Le16();
        compression = int(in.Le32());
        in.Skip(12);
        colours = in.Le32();
    } else {
        width = int16_t(in.Le16());
        height = int16_t(in.Le16());
        in.Skip(2);
        bitCount = in.Le16();
    }
    if (in.Ended() || width <= 0 || height == 0)
        return {}; // Qt refuses these headers by itself
    height = std::abs(height);
    constexpr int kRle8 = 1, kRle4 = 2, kBitFields = 3;
    qint64 start = 14 + headerSize;
    if (headerSize < 108 && compression == kBitFields)
        start += 12; // the three masks
    if (bitCount <= 8)
        start += qint64(colours ? colours : 1u << bitCount) * (headerSize == 12 ? 3 : 4);
    start = std::max(start, offset);
    if (compression != kRle8 && compression != kRle4) {
        const qint64 row = (width * bitCount + 31) / 32 * 4;
        qint64 pixels = 0; // a header may claim more than any file holds
        if (__builtin_mul_overflow(row, height, &pixels) || __builtin_add_overflow(start, pixels, &pixels))
            return kPictureEndsEarly;
        return pixels <= data.size() ? QString() : kPictureEndsEarly;
    }

    // Qt's walk, position by position: runs stop at the end of the bottom
    // row in memory, and a row ends only at an end-of-line code. A stream
    // that stops once the top row is full (no end-of-bitmap code) is whole.
    Bytes rle(data, start);
    const qint64 stride = (width + 3) / 4 * 4;
    const qint64 last = (height - 1) * stride + width;
    qint64 x = 0, y = 0, at = (height - 1) * stride;
    while (y < height) {
        const int count = rle.Byte();
        if (rle.Ended())
            return y == height - 1 && x >= width ? QString() : kPictureEndsEarly;
        qint64 advance = 0;
        if (count != 0) { // a run of one value (RLE8) or of two alternating ones (RLE4)
            rle.Byte();
            advance = std::min<qint64>(count, last - at);
        } else if (const int code = rle.Byte(); code == 0) {
            x = 0;
            ++y;
            at = (height - y - 1) * stride;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            x = std::min<qint64>(x + rle.Byte(), width - 1);
            y = std::min<qint64>(y + rle.Byte(), height - 1);
            at = (height - y - 1) * stride + x;
        } else { // pixels given one by one, padded to whole 16-bit words
            advance = std::min<qint64>(code, last - at);
            const qint64 bytes = compression == kRle8 ? advance : (advance + 1) / 2;
            rle.Skip(bytes + (bytes & 1));
        }
        if (rle.Ended())
            return kPictureEndsEarly;
        x += advance;
        at += advance;
    }
    return {};
}

// XBM: one "0x.." byte for every eight pixels of every row.
QString XbmMissing(QByteArrayView data)
{
    qsizetype at = data.indexOf('#');
    qint64 size[2] = {0, 0};
    for (qint64& value : size) {
        const qsizetype line = data.indexOf('\n', at);
        if (at < 0 || line < 0)
            return {};
        const QByteArrayView text = data.sliced(at, line - at).trimmed();
        value = text.sliced(text.lastIndexOf(' ') + 1).toLongLong();
        at = line + 1;
    }
    qint64 found = 0;
    const qint64 need = (size[0] + 7) / 8 * size[1];
    for (qsizetype hex = data.indexOf("0x", at); hex >= 0 && found < need; hex = data.indexOf("0x", hex + 2))
        ++found;
    return found >= need ? QString() : kPictureEndsEarly;
}

// PNG: chunk by chunk to the end chunk. libpng takes the memory a chunk
// claims before reading it, so a few hundred bytes claiming a text chunk of
// 700 MB would cost that much; a chunk running past the end of the file is
// data that ends early. A file that stops between chunks is left to libpng.
QString PngMissing(QByteArrayView data)
{
    Bytes in(data, 8);
    while (in.Left() > 0) {
        const quint32 length = in.Be32();
        const quint32 type = in.Be32();
        if (in.Ended())
            return kPictureEndsEarly;
        if (length > 0x7FFFFFFFu) // no chunk is longer
            return QStringLiteral("the PNG data is corrupt");
        if (qint64(length) + 4 > in.Left()) // its data and checksum
            return kPictureEndsEarly;
        if (type == 0x49454E44u) // IEND
            return {};
        in.Skip(qint64(length) + 4);
    }
    return {};
}

// libjpeg's warnings that mean pixels were lost or decoded from corrupt data;
// the others ("3 extraneous bytes before marker 0xd9", an unknown JFIF
// revision, a bad ICC profile) leave the picture as the file meant it.
bool JpegCorruption(const QString& text)
{
    static const char* const kLost[] = {"Corrupt JPEG data: premature end of data segment",
                                        "Corrupt JPEG data: bad Huffman code", "Corrupt JPEG data: bad arithmetic code",
                                        "Corrupt JPEG data: found marker", "Premature end of JPEG file"};
    return std::any_of(std::begin(kLost), std::end(kLost),
                       [&](const char* lost) { return text.startsWith(QLatin1String(lost)); });
}

// One handler for the whole process while any thread watches; each thread
// finds its own watcher.
thread_local DecoderMessages* tWatcher = nullptr;
std::mutex gHandlerLock;
int gWatchers = 0;
QtMessageHandler gPrevious = nullptr;

void Watch(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (tWatcher && tWatcher->Take(context.category, text))
        return;
    QtMessageHandler previous;
    {
        const std::lock_guard lock(gHandlerLock);
        previous = gPrevious;
    }
    if (previous)
        previous(type, context, text);
}

} // namespace

QString MissingPictureData(const QByteArray& format, QByteArrayView data)
{
    if (format == "jpeg")
        return JpegMissing(data);
    if (format == "gif")
        return GifMissing(data);
    if (format == "bmp")
        return BmpMissing(data);
    if (format == "xbm")
        return XbmMissing(data);
    if (format == "png")
        return PngMissing(data);
    return {};
}

DecoderMessages::DecoderMessages() : outer_(tWatcher)
{
    const std::lock_guard lock(gHandlerLock);
    if (gWatchers++ == 0)
        gPrevious = qInstallMessageHandler(Watch);
    tWatcher = this;
}

DecoderMessages::~DecoderMessages()
{
    tWatcher = outer_;
    const std::lock_guard lock(gHandlerLock);
    if (--gWatchers == 0)
        qInstallMessageHandler(gPrevious);
}

bool DecoderMessages::Take(const char* category, const QString& text)
{
    if (text.contains(QLatin1String("out of memory"))) {
        outOfMemory_ = true;
        return true;
    }
    if (category && qstrcmp(category, "qt.gui.imageio.jpeg") == 0 && JpegCorruption(text)) {
        if (corruption_.isEmpty())
            corruption_ = text.left(1).toLower() + text.mid(1);
        return true;
    }
    return false;
}
