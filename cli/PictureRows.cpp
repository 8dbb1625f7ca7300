// SPDX-License-Identifier: MIT
#include "cli/PictureRows.h"

#include "cli/ExitCodes.h"
#include "engine/BandDecoder.h"
#include "engine/CellSampler.h"
#include "engine/CellColours.h"
#include "engine/Conversion.h"
#include "engine/ImageLoading.h"
#include "engine/LargeMemory.h"
#include "engine/PicturePreparation.h"
#include "engine/StreamingConversion.h"
#include "engine/TextPictureImage.h"

#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The rows of one picture's text picture, code page 932, without line ends.
QList<QByteArray> ConvertToRows(const QImage& picture, const QString& label, const Options& o, const GlyphTable& table,
                                Reporter& report)
{
    QList<QByteArray> rows;
    ConversionHooks hooks;
    hooks.settings = [&] { return o.settings; };
    hooks.writeRow = [&](const QByteArray& row) {
        rows << row;
        return true;
    };
    hooks.afterCell = [&](double percent, int32_t) {
        report.Progress(label, percent);
        return true;
    };
    // Every picture starts the sequence afresh, as the window's first conversion does.
    Rnd rnd;
    // Large bands: the command line need not stay live between them.
    constexpr int64_t kCommandLineBand = int64_t(1) << 16;
    (void)ConvertGrid(picture, o.cellSize, table, rnd, hooks, FastOptions{o.threads},
                      kCommandLineBand); // never stopped
    report.ClearLine();
    return rows;
}

// The picture at the options' width.
Outcome Prepare(QImage& picture, const Options& o)
{
    if (o.columns)
        return ScaleToColumns(picture, *o.columns, o.cellSize);
    return Outcome::Done();
}

// The picture on standard input, whatever its format: kept in a private
// temporary file while the loader reads it as it reads any file.
Outcome LoadStandardInput(FILE* in, QImage& picture)
{
    QTemporaryFile kept;
    if (!kept.open())
        return Outcome::FromFile(kept.fileTemplate(), kept);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (size_t n; (n = std::fread(chunk.data(), 1, size_t(chunk.size()), in)) > 0;)
        if (kept.write(chunk.constData(), qint64(n)) != qint64(n))
            return Outcome::FromFile(kept.fileName(), kept);
    if (std::ferror(in))
        return Outcome::FromErrno(QString(), errno);
    if (!kept.flush())
        return Outcome::FromFile(kept.fileName(), kept);
    return LoadImageOverWhite(kept.fileName(), picture);
}

// The picture of image (name in messages) at the options' width; answers an
// exit code.
int LoadPicture(const QString& image, const QString& name, const Options& o, QImage& picture, Reporter& report,
                const CommandIo& io)
{
    const Outcome loaded =
        image == kStandardInput ? LoadStandardInput(io.in, picture) : LoadImageOverWhite(image, picture);
    if (!loaded.IsDone()) {
        report.Error(loaded.Kind() == FailureKind::NoMemory
                         ? QStringLiteral("%1: %2").arg(name, loaded.Reason())
                         : QStringLiteral("%1: cannot read the picture (%2)").arg(name, loaded.Reason()));
        return ExitCodeFor(Subject::Picture, loaded);
    }
    if (const Outcome prepared = Prepare(picture, o); !prepared.IsDone()) {
        report.Error(QStringLiteral("%1: %2").arg(name, prepared.Reason()));
        return ExitCodeFor(Subject::Picture, prepared);
    }
    return kExitDone;
}

// Room for the rows of the text picture of a picture of size, two bytes a
// cell at most: a large one in huge pages. Null when memory is short.
std::shared_ptr<void> RowArea(QSize size, int32_t cellSize)
{
    const GridExtent grid = ComputeGridExtent(size.width(), size.height(), cellSize);
    const size_t bytes = size_t(std::max(grid.Rows(cellSize), 0)) * size_t(std::max(grid.Columns(cellSize), 0)) * 2;
    if (bytes < LargeMemory::kHugePage / 2)
        return std::shared_ptr<char[]>(new (std::nothrow) char[std::max<size_t>(bytes, 1)]);
    auto memory = std::make_shared<LargeMemory>(LargeMemory::InHugePages(bytes));
    return memory->Data() ? std::shared_ptr<void>(memory, memory->Data()) : nullptr;
}

// The rows of the picture converted as it is decoded; kNotStreamed when the
// picture needs the whole-picture path.
int StreamRows(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report, PictureRows& out)
{
    int failed = kExitDone;
    const std::unique_ptr<BandDecoder> decoder = OpenStream(names, report, failed);
    if (!decoder)
        return failed;
    out.area = RowArea(decoder->Size(), o.cellSize);
    if (!out.area)
        return PictureFailure(names.name, NotEnoughMemory(names.image, decoder->Size()), report);
    auto* next = static_cast<char*>(out.area.get());
    const Outcome converted = ConvertStream(*decoder, names, o, table, report, [&](const QByteArray& row) {
        std::memcpy(next, row.constData(), size_t(row.size()));
        out.rows << QByteArray::fromRawData(next, row.size());
        next += row.size();
    });
    if (!converted.IsDone())
        return PictureFailure(names.name, converted, report);
    return kExitDone;
}

// The rows of the picture loaded whole; answers an exit code.
int WholeRows(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report,
              const CommandIo& io, PictureRows& out)
{
    QImage picture;
    if (const int failed = LoadPicture(names.image, names.name, o, picture, report, io); failed != kExitDone)
        return failed;
    // A drawing over the limit is refused before the conversion, not after it.
    if (names.form == OutputForm::Png)
        if (const Outcome fits = TextPictureImageFits(picture.size(), o.cellSize, o.scale); !fits.IsDone()) {
            report.Error(QStringLiteral("%1: cannot draw the text picture (%2)").arg(names.output, fits.Reason()));
            return ExitCodeFor(Subject::Output, fits);
        }
    // The colours are the picture's own; only the choice of characters sees it inverted.
    if (o.colour)
        out.colours = CellColours(picture, o.cellSize);
    if (o.invert)
        InvertLightness(picture);
    out.rows = ConvertToRows(picture, names.label, o, table, report);
    return kExitDone;
}

} // namespace

int PictureFailure(const QString& name, const Outcome& failed, Reporter& report)
{
    report.Error(failed.Kind() == FailureKind::NoMemory
                     ? QStringLiteral("%1: %2").arg(name, failed.Reason())
                     : QStringLiteral("%1: cannot read the picture (%2)").arg(name, failed.Reason()));
    return ExitCodeFor(Subject::Picture, failed);
}

bool MayStream(const PictureNames& names, const Options& o)
{
    return names.image != kStandardInput && !o.columns && !o.colour && names.form != OutputForm::Png;
}

std::unique_ptr<BandDecoder> OpenStream(const PictureNames& names, Reporter& report, int& failed)
{
    Outcome opened = Outcome::Done();
    std::unique_ptr<BandDecoder> decoder = BandDecoder::Open(names.image, opened);
    failed = decoder ? kExitDone : opened.IsDone() ? kNotStreamed : PictureFailure(names.name, opened, report);
    return decoder;
}

Outcome ConvertStream(BandDecoder& decoder, const PictureNames& names, const Options& o, const GlyphTable& table,
                      Reporter& report, const std::function<void(const QByteArray& row)>& row)
{
    StreamHooks hooks;
    if (o.invert)
        hooks.prepareBand = [](QImage& band) { InvertLightness(band); };
    hooks.writeRow = [&](const QByteArray& converted, double percent) {
        row(converted);
        report.Progress(names.label, percent);
    };
    // Every picture starts the sequence afresh, as the window's first conversion does.
    Rnd rnd;
    Outcome converted = ConvertAsDecoded(decoder, o.cellSize, table, o.settings, rnd, hooks, FastOptions{o.threads});
    report.ClearLine();
    return converted;
}

int ReadPictureRows(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report,
                    const CommandIo& io, PictureRows& out)
{
    if (MayStream(names, o))
        if (const int streamed = StreamRows(names, o, table, report, out); streamed != kNotStreamed)
            return streamed;
    return WholeRows(names, o, table, report, io, out);
}
