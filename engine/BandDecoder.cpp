// SPDX-License-Identifier: MIT
#include "engine/BandDecoder.h"

#include "engine/ImageLoading.h"
#include "engine/LoadingSteps.h"
#include "engine/PictureIntegrity.h"

#include <QFile>
#include <QImageReader>
#include <QLoggingCategory>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>
#include <png.h>

// The decoders' state is torn down by their own destroy calls, never by
// unwinding: an error leaves libjpeg or libpng through longjmp, back to a
// setjmp in a frame that owns nothing a destructor would free.

namespace {

// The category Qt's JPEG reader writes libjpeg's messages under, so that a
// warning reads the same from either path.
Q_LOGGING_CATEGORY(lcJpeg, "qt.gui.imageio.jpeg")

constexpr size_t kInputBytes = size_t(64) * 1024;
// A progressive JPEG is decoded whole into coefficients before its first row.
constexpr qint64 kMostCoefficientBytes = qint64(64) * 1024 * 1024;

// Qt's reader's words for a picture its decoder gave up on.
QString Unreadable()
{
    return QStringLiteral("Unable to read image data");
}

// libjpeg-turbo writes 32-bit pixels in QImage's RGB32 byte order, opaque.
constexpr J_COLOR_SPACE kRgb32Order = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

} // namespace

// One format's decoder: the header read at Start, then rows in order.
class BandDecoder::Rows {
public:
    explicit Rows(const QString& path) : path_(path) {}
    virtual ~Rows() = default;
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    // Reads the header and readies the rows. Done with format left invalid
    // when the picture is left to the whole-picture path.
    virtual Outcome Start(DecoderMessages& messages) = 0;
    // The next rows, each into its pointer, laid out as format.
    virtual Outcome Read(std::vector<uchar*>& rows, DecoderMessages& messages) = 0;
    // Reads what follows the last row, as the whole-picture reader does.
    virtual Outcome Finish(DecoderMessages& messages) = 0;

    QSize size;
    QImage::Format format = QImage::Format_Invalid; // as Qt's reader decodes it
    QList<QRgb> colours;                            // of an indexed format
    bool transparent = false;                       // the decoded picture's hasAlphaChannel()

protected:
    QString path_;
};

namespace {

// ---- JPEG ----

struct JpegError : jpeg_error_mgr {
    std::jmp_buf jump;
    DecoderMessages* messages; // the watcher of the call in progress
};

struct JpegSource : jpeg_source_mgr {
    QFile* file;
    std::array<JOCTET, kInputBytes> bytes;
};

void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(static_cast<JpegError*>(info->err)->jump, 1);
}

// libjpeg's warnings of lost or corrupt data are the watcher's; the rest are
// passed on as Qt's reader passes them.
void JpegMessage(j_common_ptr info)
{
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    DecoderMessages* messages = static_cast<JpegError*>(info->err)->messages;
    if (!messages || !messages->Take(lcJpeg().categoryName(), QString::fromUtf8(text)))
        qCWarning(lcJpeg, "%s", text);
}

void JpegNothing(j_decompress_ptr)
{}

// The file's next bytes; at its end (or a read error) an end-of-image marker,
// as Qt's reader gives, which libjpeg reports if it comes inside a scan.
boolean JpegFill(j_decompress_ptr info)
{
    auto* source = static_cast<JpegSource*>(info->src);
    qint64 got = source->file->read(reinterpret_cast<char*>(source->bytes.data()), qint64(source->bytes.size()));
    if (got <= 0) {
        source->bytes[0] = 0xFF;
        source->bytes[1] = JPEG_EOI;
        got = 2;
    }
    source->next_input_byte = source->bytes.data();
    source->bytes_in_buffer = size_t(got);
    return TRUE;
}

void JpegSkip(j_decompress_ptr info, long count)
{
    auto* source = static_cast<JpegSource*>(info->src);
    if (count <= 0)
        return;
    if (size_t(count) <= source->bytes_in_buffer) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= size_t(count);
        return;
    }
    // Past the end, the next fill gives the end marker.
    source->file->seek(source->file->pos() + qint64(count) - qint64(source->bytes_in_buffer));
    source->bytes_in_buffer = 0;
}

// The memory libjpeg takes for a whole picture's coefficients, which it does
// for a progressive JPEG or one whose colours come in separate scans.
qint64 CoefficientBytes(const jpeg_decompress_struct& info)
{
    qint64 total = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const auto roundUp = [](qint64 n, qint64 step) { return (n + step - 1) / step * step; };
        total += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * qint64(DCTSIZE2 * sizeof(JCOEF));
    }
    return total;
}

// Decodes as Qt's JPEG reader does: libjpeg's defaults (accurate integer
// transform, fancy upsampling), colour as 32-bit RGB and grey as 8-bit grey.
class JpegRows final : public BandDecoder::Rows {
public:
    JpegRows(const QString& path, QFile& file);
    ~JpegRows() override;
    Outcome Start(DecoderMessages& messages) override;
    Outcome Read(std::vector<uchar*>& rows, DecoderMessages& messages) override;
    Outcome Finish(DecoderMessages& messages) override;

private:
    // Runs call, which may leave through error_exit: true when it returned.
    template <class Call>
    bool Guarded(DecoderMessages& messages, const Call& call);
    Outcome Failure();
    bool Streams();

    jpeg_decompress_struct info_{}; // zeroed: destroying it before it was created does nothing
    JpegError error_{};
    JpegSource source_{};
};

JpegRows::JpegRows(const QString& path, QFile& file) : Rows(path)
{
    info_.err = jpeg_std_error(&error_);
    error_.error_exit = JpegErrorExit;
    error_.output_message = JpegMessage;
    source_.file = &file;
    source_.init_source = JpegNothing;
    source_.fill_input_buffer = JpegFill;
    source_.skip_input_data = JpegSkip;
    source_.resync_to_restart = jpeg_resync_to_restart;
    source_.term_source = JpegNothing;
}

JpegRows::~JpegRows()
{
    jpeg_destroy_decompress(&info_);
}

template <class Call>
bool JpegRows::Guarded(DecoderMessages& messages, const Call& call)
{
    error_.messages = &messages;
    if (setjmp(error_.jump) != 0) {
        error_.messages = nullptr;
        return false;
    }
    call();
    error_.messages = nullptr;
    return true;
}

// libjpeg's reason goes where Qt's reader sends it; the refusal is in Qt's words.
Outcome JpegRows::Failure()
{
    if (error_.msg_code == JERR_OUT_OF_MEMORY)
        return NotEnoughMemory(path_, size.isValid() ? size : QSize());
    (*error_.output_message)(reinterpret_cast<j_common_ptr>(&info_));
    return Outcome::Failed(path_, Unreadable());
}

// Whether rows come out as Qt's reader gives them, in little memory; the
// output colour space is chosen on the way.
bool JpegRows::Streams()
{
    if (info_.out_color_space == JCS_RGB && info_.num_components == 3)
        info_.out_color_space = kRgb32Order;
    else if (info_.out_color_space != JCS_GRAYSCALE)
        return false; // CMYK, or colours libjpeg does not convert
    const bool whole = info_.progressive_mode || info_.comps_in_scan < info_.num_components;
    return !whole || CoefficientBytes(info_) <= kMostCoefficientBytes;
}

Outcome JpegRows::Start(DecoderMessages& messages)
{
    if (!Guarded(messages, [this] { jpeg_create_decompress(&info_); }))
        return Failure();
    info_.src = &source_;
    int header = 0;
    if (!Guarded(messages, [&] { header = jpeg_read_header(&info_, TRUE); }))
        return Failure();
    if (header != JPEG_HEADER_OK || !Streams())
        return Outcome::Done();
    if (!Guarded(messages, [this] { jpeg_start_decompress(&info_); }))
        return Failure();
    size = QSize(int(info_.output_width), int(info_.output_height));
    format = info_.out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
    return Outcome::Done();
}

Outcome JpegRows::Read(std::vector<uchar*>& rows, DecoderMessages& messages)
{
    size_t done = 0;
    const auto read = [&] {
        while (done < rows.size()) {
            const JDIMENSION got = jpeg_read_scanlines(&info_, rows.data() + done, JDIMENSION(rows.size() - done));
            if (got == 0)
                return; // only a suspending source stops early; this one never does
            done += got;
        }
    };
    if (!Guarded(messages, read))
        return Failure();
    return done == rows.size() ? Outcome::Done() : Outcome::Failed(path_, Unreadable());
}

Outcome JpegRows::Finish(DecoderMessages& messages)
{
    return Guarded(messages, [this] { jpeg_finish_decompress(&info_); }) ? Outcome::Done() : Failure();
}

// ---- PNG ----

// The file read in large pieces.
class Input {
public:
    explicit Input(QFile& file) : file_(file), bytes_(kInputBytes) {}
    // Copies length bytes to data; false when the file ends first or cannot be read.
    bool Take(uchar* data, size_t length)
    {
        while (length > 0) {
            if (at_ == held_) {
                const qint64 got = file_.read(reinterpret_cast<char*>(bytes_.data()), qint64(bytes_.size()));
                if (got <= 0)
                    return false;
                at_ = 0;
                held_ = size_t(got);
            }
            const size_t n = std::min(length, held_ - at_);
            std::memcpy(data, bytes_.data() + at_, n);
            data += n;
            length -= n;
            at_ += n;
        }
        return true;
    }

private:
    QFile& file_;
    std::vector<uchar> bytes_;
    size_t at_ = 0;
    size_t held_ = 0;
};

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0, interlace = 0;
    bool trns = false;
};

// The format Qt's PNG reader decodes to, or Format_Invalid for what is left
// to it: interlaced rows need the whole picture, and Qt reads 16-bit RGB with
// a transparent colour into pixels wider than libpng's.
QImage::Format PngFormat(png_structp png, png_infop info, const PngHeader& h)
{
    const bool opaque = !(h.type & PNG_COLOR_MASK_ALPHA) && !h.trns;
    if (h.interlace != PNG_INTERLACE_NONE)
        return QImage::Format_Invalid;
    if (h.type == PNG_COLOR_TYPE_GRAY) {
        if (h.depth == 1)
            return QImage::Format_Mono;
        if (h.depth == 16)
            return h.trns ? QImage::Format_RGBA64 : QImage::Format_Grayscale16;
        return h.depth == 8 && !h.trns ? QImage::Format_Grayscale8 : QImage::Format_Indexed8;
    }
    if (h.type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        if (!png_get_PLTE(png, info, &palette, &count) || count > 256)
            return QImage::Format_Invalid;
        return h.depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
    }
    if (h.depth == 16)
        return h.type == PNG_COLOR_TYPE_RGB && h.trns ? QImage::Format_Invalid
               : opaque                               ? QImage::Format_RGBX64
                                                      : QImage::Format_RGBA64;
    return opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32;
}

constexpr bool kLittleEndian = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;

// libpng's transformations for format, set in the order Qt's reader sets
// them. Only libpng is called here: an error leaves through longjmp.
void PngGreyTransforms(png_structp png, png_infop info, const PngHeader& h, QImage::Format format)
{
    if (format == QImage::Format_Mono) {
        png_set_invert_mono(png);
        png_read_update_info(png, info);
    } else if (format == QImage::Format_Grayscale16) {
        png_read_update_info(png, info);
        if (kLittleEndian)
            png_set_swap(png);
    } else if (h.depth == 16) {
        png_set_expand(png); // a transparent grey: 16-bit RGBA
        png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        if (kLittleEndian)
            png_set_swap(png);
    } else if (format == QImage::Format_Grayscale8) {
        png_set_expand(png);
        png_read_update_info(png, info);
    } else {
        if (h.depth < 8)
            png_set_packing(png);
        png_read_update_info(png, info);
    }
}

void PngTransforms(png_structp png, png_infop info, const PngHeader& h, QImage::Format format)
{
    png_set_interlace_handling(png);
    if (h.type == PNG_COLOR_TYPE_GRAY)
        return PngGreyTransforms(png, info, h, format);
    if (h.type == PNG_COLOR_TYPE_PALETTE) {
        if (h.depth != 1)
            png_set_packing(png);
        png_read_update_info(png, info);
        if (kLittleEndian)
            png_set_bgr(png);
        return;
    }
    if (h.depth == 16) {
        if (format == QImage::Format_RGBX64)
            png_set_filler(png, 0xffff, PNG_FILLER_AFTER);
        if (!(h.type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        if (kLittleEndian)
            png_set_swap(png);
        return;
    }
    png_set_expand(png);
    if (h.type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (format == QImage::Format_RGB32)
        png_set_filler(png, 0xff, kLittleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
    if (!kLittleEndian)
        png_set_swap_alpha(png);
    if (kLittleEndian)
        png_set_bgr(png);
    png_read_update_info(png, info);
}

// The colour table of an indexed format, made by the calls Qt's reader
// makes, so that it and whether it counts as transparent come out the same.
QImage PngColourTable(png_structp png, png_infop info, const PngHeader& h, QImage::Format format)
{
    QImage table(1, 1, format);
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p grey = nullptr;
    const bool trns = png_get_tRNS(png, info, &alpha, &alphas, &grey);
    if (h.type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        table.setColorCount(format == QImage::Format_Mono ? 2 : count);
        for (int i = 0; i < count; ++i)
            table.setColor(i, qRgba(palette[i].red, palette[i].green, palette[i].blue,
                                    trns && alpha && i < alphas ? alpha[i] : 0xff));
    } else if (format == QImage::Format_Mono) {
        table.setColorCount(2);
        table.setColor(1, qRgb(0, 0, 0));
        table.setColor(0, qRgb(255, 255, 255));
        if (trns && grey && grey->gray <= 1)
            table.setColor(1 - grey->gray, grey->gray ? qRgba(255, 255, 255, 0) : qRgba(0, 0, 0, 0));
    } else if (format == QImage::Format_Indexed8) {
        const int count = h.depth < 8 ? 1 << h.depth : 256;
        table.setColorCount(count);
        for (int i = 0; i < count; ++i) {
            const int c = i * 255 / (count - 1);
            table.setColor(i, qRgba(c, c, c, 0xff));
        }
        if (trns && grey && grey->gray < count)
            table.setColor(grey->gray, 0);
    }
    return table;
}

// The bytes of one row of format, as libpng must write them.
size_t RowBytes(QImage::Format format, png_uint_32 width)
{
    return (size_t(width) * QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
}

void PngError(png_structp png, png_const_charp message)
{
    auto* reason = static_cast<char*>(png_get_error_ptr(png));
    qstrncpy(reason, message, 256);
    png_longjmp(png, 1);
}

// Qt's reader logs libpng's warnings only when asked to; they never refuse a picture.
void PngWarning(png_structp, png_const_charp)
{}

class PngRows final : public BandDecoder::Rows {
public:
    PngRows(const QString& path, QFile& file) : Rows(path), input_(file) {}
    ~PngRows() override { png_destroy_read_struct(&png_, &info_, &end_); }
    Outcome Start(DecoderMessages& messages) override;
    Outcome Read(std::vector<uchar*>& rows, DecoderMessages& messages) override;
    Outcome Finish(DecoderMessages& messages) override;

private:
    static void ReadData(png_structp png, png_bytep data, size_t length);
    template <class Call>
    bool Guarded(const Call& call);
    Outcome Failure();
    void Layout();

    Input input_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    png_infop end_ = nullptr;
    PngHeader header_;
    std::array<char, 256> reason_{};
};

void PngRows::ReadData(png_structp png, png_bytep data, size_t length)
{
    if (!static_cast<PngRows*>(png_get_io_ptr(png))->input_.Take(data, length))
        png_error(png, "Read Error");
}

template <class Call>
bool PngRows::Guarded(const Call& call)
{
    if (setjmp(png_jmpbuf(png_)) != 0)
        return false;
    call();
    return true;
}

// libpng's reason goes to the log as Qt's reader prints it; the refusal is in Qt's words.
Outcome PngRows::Failure()
{
    const QString reason = QString::fromUtf8(reason_.data());
    if (reason.contains(QLatin1String("out of memory"), Qt::CaseInsensitive))
        return NotEnoughMemory(path_, size.isValid() ? size : QSize());
    qWarning("libpng error: %s", reason_.data());
    return Outcome::Failed(path_, Unreadable());
}

// The format and colours of the rows, from the header read.
void PngRows::Layout()
{
    PngHeader& h = header_;
    png_get_IHDR(png_, info_, &h.width, &h.height, &h.depth, &h.type, &h.interlace, nullptr, nullptr);
    h.trns = png_get_valid(png_, info_, PNG_INFO_tRNS) != 0;
    size = QSize(int(h.width), int(h.height));
    format = PngFormat(png_, info_, h);
}

Outcome PngRows::Start(DecoderMessages&)
{
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, reason_.data(), PngError, PngWarning);
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
    end_ = png_ ? png_create_info_struct(png_) : nullptr;
    if (!info_ || !end_)
        return NotEnoughMemory(path_, {});
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // As Qt's reader: the whole zlib window, which some writers' streams need.
    png_set_option(png_, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    png_set_read_fn(png_, this, ReadData);
    if (!Guarded([this] { png_read_info(png_, info_); }))
        return Failure();
    Layout();
    if (format == QImage::Format_Invalid)
        return Outcome::Done();
    if (!Guarded([this] { PngTransforms(png_, info_, header_, format); }))
        return Failure();
    if (png_get_rowbytes(png_, info_) != RowBytes(format, header_.width)) {
        format = QImage::Format_Invalid; // not the layout Qt's reader gets
        return Outcome::Done();
    }
    const QImage table = PngColourTable(png_, info_, header_, format);
    colours = table.colorTable();
    transparent = table.hasAlphaChannel();
    return Outcome::Done();
}

Outcome PngRows::Read(std::vector<uchar*>& rows, DecoderMessages&)
{
    if (!Guarded([&] {
            for (uchar* row : rows)
                png_read_row(png_, row, nullptr);
        }))
        return Failure();
    // Qt's reader shows an index past the palette as its first colour.
    if (header_.type == PNG_COLOR_TYPE_PALETTE && format == QImage::Format_Indexed8)
        for (uchar* row : rows)
            std::replace_if(
                row, row + size.width(), [this](uchar index) { return index >= colours.size(); }, uchar(0));
    return Outcome::Done();
}

Outcome PngRows::Finish(DecoderMessages&)
{
    return Guarded([this] { png_read_end(png_, end_); }) ? Outcome::Done() : Failure();
}

// What Qt's reader says of the picture before decoding it.
struct QtHeader {
    QByteArray format;
    QSize size;
    int decoded = QImage::Format_Invalid; // a number: Qt may leave it unset when the header is bad
    bool upright = false;
};

QtHeader ReadQtHeader(QFile& file)
{
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    QtHeader header;
    header.format = reader.format();
    if (header.format != "jpeg" && header.format != "png")
        return header;
    header.size = reader.size();
    header.decoded = reader.imageFormat();
    header.upright = reader.transformation() == QImageIOHandler::TransformationNone;
    return header;
}

} // namespace

BandDecoder::BandDecoder(const QString& path, std::unique_ptr<QFile> file, std::unique_ptr<Rows> rows)
    : path_(path), size_(rows->size), file_(std::move(file)), rows_(std::move(rows))
{}

BandDecoder::~BandDecoder() = default;

std::unique_ptr<BandDecoder> BandDecoder::Open(const QString& path, Outcome& why)
{
    auto file = std::make_unique<QFile>();
    if (why = OpenPicture(path, *file); !why.IsDone())
        return nullptr;
    DecoderMessages messages;
    // Damage first: reading the header makes libpng take the memory each
    // chunk before the pixels claims.
    const QByteArray format = QImageReader::imageFormat(file.get());
    if (format != "jpeg" && format != "png")
        return nullptr;
    if (const QString damage = MissingData(*file, format); !damage.isEmpty()) {
        why = DamagedPicture(path, damage);
        return nullptr;
    }
    if (!file->seek(0)) {
        why = Outcome::FromFile(path, *file);
        return nullptr;
    }
    const QtHeader qt = ReadQtHeader(*file);
    if (qt.decoded <= QImage::Format_Invalid || qt.decoded >= QImage::NImageFormats || !qt.size.isValid() ||
        !qt.upright)
        return nullptr;
    if (!file->seek(0)) {
        why = Outcome::FromFile(path, *file);
        return nullptr;
    }
    std::unique_ptr<Rows> rows;
    if (qt.format == "jpeg")
        rows = std::make_unique<JpegRows>(path, *file);
    else
        rows = std::make_unique<PngRows>(path, *file);
    why = rows->Start(messages);
    if (!messages.Corruption().isEmpty())
        why = Outcome::Damaged(Damage::PictureCorrupt, path, messages.Corruption());
    // Only what Qt's reader would decode to the same format is taken.
    if (!why.IsDone() || int(rows->format) != qt.decoded || rows->size != qt.size)
        return nullptr;
    return std::unique_ptr<BandDecoder>(new BandDecoder(path, std::move(file), std::move(rows)));
}

// Where the rows are decoded: the band itself when they are 32-bit, else
// the work rows, with the picture's colour table.
QImage BandDecoder::Decoded(QImage& band, int rows)
{
    const QImage::Format format = rows_->format;
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32)
        return QImage(band.bits(), band.width(), rows, band.bytesPerLine(), format);
    if (work_.height() < rows && (work_ = QImage(size_.width(), rows, format)).isNull())
        return {};
    QImage decoded(work_.bits(), work_.width(), rows, work_.bytesPerLine(), format);
    if (!rows_->colours.isEmpty())
        decoded.setColorTable(rows_->colours);
    return decoded;
}

// Decodes rows into band and converts them as LoadImageOverWhite converts
// the whole picture.
Outcome BandDecoder::Decode(QImage& band, int rows)
{
    DecoderMessages messages;
    QImage decoded = Decoded(band, rows);
    if (decoded.isNull())
        return NotEnoughMemory(path_, size_);
    std::vector<uchar*> pointers(size_t(rows), nullptr);
    for (int row = 0; row < rows; ++row)
        pointers[size_t(row)] = decoded.scanLine(row);
    Outcome read = rows_->Read(pointers, messages);
    if (read.IsDone() && next_ + rows == size_.height())
        read = rows_->Finish(messages);
    if (!messages.Corruption().isEmpty())
        return Outcome::Damaged(Damage::PictureCorrupt, path_, messages.Corruption());
    if (!read.IsDone())
        return read;
    if (!ToRgb32OverWhite(decoded, rows_->transparent) || messages.OutOfMemory() ||
        decoded.format() != QImage::Format_RGB32 || decoded.size() != QSize(size_.width(), rows))
        return NotEnoughMemory(path_, size_);
    if (decoded.constBits() != band.constBits())
        for (int row = 0; row < rows; ++row)
            std::memcpy(band.scanLine(row), decoded.constScanLine(row), size_t(size_.width()) * 4);
    return Outcome::Done();
}

Outcome BandDecoder::ReadRows(QImage& band, int rows)
{
    if (!failure_.IsDone())
        return failure_;
    if (rows < 1 || rows > size_.height() - next_ || band.format() != QImage::Format_RGB32 ||
        band.width() != size_.width() || band.height() < rows)
        return Outcome::Failed(path_, QStringLiteral("no band of %1 rows follows row %2 of %3 in a %4 pixel wide image")
                                          .arg(rows)
                                          .arg(next_)
                                          .arg(size_.height())
                                          .arg(band.width()));
    failure_ = Decode(band, rows);
    if (!failure_.IsDone() || (next_ += rows) == size_.height())
        rows_.reset(); // the decoder's memory goes at once
    return failure_;
}
