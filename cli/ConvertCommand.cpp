// SPDX-License-Identifier: MIT
#include "cli/ConvertCommand.h"

#include "cli/Options.h"
#include "cli/PictureRows.h"
#include "cli/Reporter.h"
#include "cli/TextFileStream.h"
#include "common/CodePage932.h"
#include "common/FileAccess.h"
#include "engine/Conversion.h"
#include "engine/DatabaseLocation.h"
#include "engine/GlyphDatabase.h"
#include "engine/GlyphFont.h"
#include "engine/ImageLoading.h"
#include "engine/OverwriteGuard.h"
#include "engine/PicturePreparation.h"
#include "engine/BoardGlyphs.h"
#include "engine/CellColours.h"
#include "engine/TextPictureMarkup.h"
#include "engine/TerminalGlyphs.h"
#include "engine/TextPictureImage.h"
#include "engine/TextPictureOutput.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QHash>

#include <cerrno>
#include <new>
#include <optional>

namespace {

// Creates the missing database at path; false (with failure set) when there
// is nothing to convert with.
bool CreateDatabaseFile(const QString& path, GlyphBucketArray& buckets, Reporter& report, int& failure)
{
    report.Note(QStringLiteral("Creating the glyph database %1").arg(path));
    const Outcome created = CreateGlyphDatabase(path, QString(), buckets, [&](DatabaseStep step, double percent) {
        if (step == DatabaseStep::Measuring)
            report.Progress(QStringLiteral("measuring the font"), percent);
        return true;
    });
    report.ClearLine();
    if (created.IsDone())
        return true;
    failure = ExitCodeFor(Subject::Database, created);
    if (created.Kind() == FailureKind::NoFont)
        report.Error(
            QStringLiteral("cannot create the glyph database: the font %1 is missing (%2); install the package %3")
                .arg(kGlyphFontFamily, created.Message(), kGlyphFontPackage));
    else
        report.Error(QStringLiteral("cannot save the glyph database: %1").arg(created.Message()));
    return GlyphsMeasured(created); // measured glyphs still serve this run
}

// Loads the database, creating it first when it is missing.
bool LoadOrCreateDatabase(const QString& path, GlyphBucketArray& buckets, Reporter& report, int& failure)
{
    // Anything under the name is read (and refused with its reason when it
    // is no database), never replaced by a new one.
    if (LookForDatabase(path) != DatabasePresence::Missing) {
        const Outcome loaded = LoadGlyphDatabase(path, buckets);
        if (loaded.IsDone())
            return true;
        report.Error(loaded.Kind() == FailureKind::Damaged
                         ? QStringLiteral("%1: damaged glyph database (%2); remove it to have it created anew")
                               .arg(path, loaded.Reason())
                         : QStringLiteral("%1: cannot read the glyph database (%2)").arg(path, loaded.Reason()));
        failure = ExitCodeFor(Subject::Database, loaded);
        return false;
    }
    return CreateDatabaseFile(path, buckets, report, failure);
}

// The picture's name with its extension replaced, beside it: the name's own
// bytes are kept, whatever their encoding.
QString DefaultOutput(const QString& image, const Options& o)
{
    if (image == kStandardInput)
        return kStandardInput; // a picture from a pipe goes on down the pipe
    const qsizetype nameStart = image.lastIndexOf(u'/') + 1;
    const qsizetype dot = image.lastIndexOf(u'.');
    const QString base = dot > nameStart ? image.left(dot) : image;
    return (nameStart == 0 ? QStringLiteral("./") : QString()) + base +
           (o.form == OutputForm::Png    ? QStringLiteral("-text.png")
            : o.form == OutputForm::Html ? QStringLiteral(".html")
                                         : QStringLiteral(".txt"));
}

QString FileName(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// What output gets: as --format says, else by its extension.
OutputForm FormOf(const QString& output, const Options& o)
{
    if (o.form)
        return *o.form;
    if (output.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        return OutputForm::Png;
    if (output.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) ||
        output.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive))
        return OutputForm::Html;
    return OutputForm::Text;
}

// The file's bytes: the rows as text (Shift-JIS or UTF-8, CR LF; coloured
// when colours are given), a page, or drawn as a PNG.
Outcome Encode(const QList<QByteArray>& rows, OutputForm form, const Options& o, const std::vector<QRgb>* colours,
               const QString& title, QByteArrayList& pieces)
{
    if (form == OutputForm::Text && !colours) {
        // Rows and line ends as they are, not joined: a large picture's text
        // is not held twice.
        const QByteArray lineEnd = QByteArrayLiteral("\r\n");
        for (const QByteArray& row : rows)
            pieces << TextRow(row, o) << lineEnd;
        return Outcome::Done();
    }
    QByteArray& bytes = pieces.emplace_back();
    if (form == OutputForm::Html) {
        bytes = HtmlPage(rows, title, colours, o.board);
        return Outcome::Done();
    }
    if (form == OutputForm::Text && colours) {
        bytes = ColouredText(rows, colours);
        return Outcome::Done();
    }
    QImage drawn;
    if (Outcome font = DrawTextPicture(rows, QString(), o.scale, drawn); !font.IsDone())
        return font;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!drawn.save(&buffer, "PNG"))
        return Outcome::Failed(QString(), QStringLiteral("the picture could not be encoded as PNG"));
    return Outcome::Done();
}

// Puts the finished text picture where output says; answers an exit code.
// Writes pieces to a stream; false (errno set) when it failed.
bool WritePieces(const QByteArrayList& pieces, FILE* out)
{
    for (const QByteArray& piece : pieces)
        if (std::fwrite(piece.constData(), 1, size_t(piece.size()), out) != size_t(piece.size()))
            return false;
    return std::fflush(out) == 0;
}

int WriteOut(const QString& output, const QByteArrayList& text, Reporter& report, const CommandIo& io)
{
    if (output == QStringLiteral("-")) {
        if (!WritePieces(text, io.out)) {
            const int error = errno;
            report.Error(error != 0 ? QStringLiteral("standard output: write failed (%1)").arg(ErrnoText(error))
                                    : QStringLiteral("standard output: write failed"));
            return ExitCodeFor(Subject::Output, Outcome::Failed(QStringLiteral("standard output"), QString(), error));
        }
        return kExitDone;
    }
    const Outcome written = WriteTextPictureFile(output, text);
    if (!written.IsDone()) {
        report.Error(QStringLiteral("%1: cannot write the text picture (%2)").arg(output, written.Reason()));
        return ExitCodeFor(Subject::Output, written);
    }
    return kExitDone;
}

// Converts one picture; answers an exit code.
int ConvertOne(const QString& image, const QString& output, const Options& o, const GlyphTable& table, Reporter& report,
               const CommandIo& io)
{
    const bool piped = image == kStandardInput;
    const QString name = piped ? QStringLiteral("standard input") : image;
    const QString label = piped ? name : FileName(image);
    const OutputForm form = FormOf(output, o);
    if (const int streamed = WriteTextAsDecoded({image, name, label, output, form}, o, table, report);
        streamed != kNotStreamed)
        return streamed;
    // Kept until the text is written: the pieces of the text may be views of its rows.
    PictureRows picture;
    QByteArrayList text;
    try {
        if (const int read = ReadPictureRows({image, name, label, output, form}, o, table, report, io, picture);
            read != kExitDone)
            return read;
        if (const Outcome encoded = Encode(picture.rows, form, o, o.colour ? &picture.colours : nullptr, label, text);
            !encoded.IsDone()) {
            report.Error(QStringLiteral("%1: cannot draw the text picture (%2)").arg(output, encoded.Reason()));
            return ExitCodeFor(Subject::Output, encoded);
        }
    } catch (const std::bad_alloc&) {
        report.ClearLine();
        const Outcome failed = Outcome::Failed(
            FailureKind::NoMemory, output, QStringLiteral("not enough memory for the text picture of %1").arg(image));
        report.Error(failed.Message());
        return ExitCodeFor(Subject::Output, failed);
    }
    return WriteOut(output, text, report, io);
}

// The output of each picture, or nothing (the user told why) when the run
// must not start: two pictures into one file would leave only the last, and
// an output over a picture or the database would destroy it.
std::optional<QStringList> PlanOutputs(const Options& o, const QString& dbPath, Reporter& report)
{
    if (o.images.count(kStandardInput) > 1) {
        report.Error(QStringLiteral("- (standard input) can be given once"));
        return std::nullopt;
    }
    QStringList outputs;
    QStringList files;                 // the outputs that are files, not standard output
    QHash<QString, QString> pictureOf; // output's identity -> picture
    for (const QString& image : o.images) {
        outputs << (o.output ? *o.output : DefaultOutput(image, o));
        if (outputs.last() == QStringLiteral("-"))
            continue;
        files << outputs.last();
        const QString key = FileIdentity(outputs.last());
        if (pictureOf.contains(key)) {
            report.Error(QStringLiteral("%1 and %2 would both be written to %3")
                             .arg(pictureOf.value(key), image, outputs.last()));
            return std::nullopt;
        }
        pictureOf.insert(key, image);
    }
    QStringList pictures = o.images;
    pictures.removeAll(kStandardInput); // no file of the user's
    const std::optional<OverwrittenInput> over = FindOverwrittenInput(files, pictures, dbPath);
    if (!over)
        return outputs;
    const QString from = pictureOf.value(FileIdentity(over->output));
    if (over->isDatabase)
        report.Error(QStringLiteral("%1: the text picture would overwrite the glyph database %2")
                         .arg(over->output, over->input));
    else if (from == over->input)
        report.Error(QStringLiteral("%1: the text picture would overwrite the picture itself").arg(over->output));
    else
        report.Error(QStringLiteral("%1: the text picture of %2 would overwrite the picture %3")
                         .arg(over->output, from, over->input));
    return std::nullopt;
}

} // namespace

int RunConvertCommand(const QStringList& args, const QString& programDir, const CommandIo& io)
{
    Reporter report(io);
    int code = kExitDone;
    const std::optional<Options> options = ParseOptions(args, report, io, code);
    if (!options)
        return code;
    report.showProgress = !options->quiet;

    const QString dbPath = options->database.isEmpty() ? DatabaseLocation(programDir) : options->database;
    const std::optional<QStringList> outputs = PlanOutputs(*options, dbPath, report);
    if (!outputs)
        return kExitUsage;

    GlyphBucketArray buckets;
    int failure = kExitDone;
    if (!LoadOrCreateDatabase(dbPath, buckets, report, failure))
        return failure;
    // A terminal draws many of the glyphs one column wide, a proportional font
    // many narrower or wider than one em; only the others serve.
    if (options->terminal)
        buckets = TerminalGlyphsOnly(buckets);
    if (options->board) {
        GlyphBucketArray board;
        if (const Outcome opened = BoardGlyphsOnly(buckets, QString(), board); !opened.IsDone()) {
            report.Error(QStringLiteral("--board: cannot open the font %1 (%2); install the package %3")
                             .arg(kBoardFontFamily, opened.Message(), kGlyphFontPackage));
            return ExitCodeFor(Subject::Database, opened);
        }
        buckets = std::move(board);
    }
    const GlyphTable table(buckets);

    for (qsizetype i = 0; i < options->images.size(); ++i) {
        const int r = ConvertOne(options->images[i], (*outputs)[i], *options, table, report, io);
        if (failure == kExitDone)
            failure = r;
    }
    return failure;
}
