// SPDX-License-Identifier: MIT
#include "cli/ConvertCommand.h"

#include "common/CodePage932.h"
#include "common/FileAccess.h"
#include "common/General.h"
#include "common/PrintableText.h"
#include "common/Throttle.h"
#include "engine/Conversion.h"
#include "engine/DatabaseLocation.h"
#include "engine/GlyphDatabase.h"
#include "engine/GlyphFont.h"
#include "engine/ImageLoading.h"
#include "engine/OverwriteGuard.h"
#include "engine/Settings.h"
#include "engine/TerminalGlyphs.h"
#include "engine/TextPictureImage.h"
#include "engine/TextPictureOutput.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QHash>

#include <cerrno>
#include <new>
#include <optional>

namespace {

constexpr const char* kName = "pictoria-convert";
constexpr unsigned kMaximumThreads = 256;

struct Options {
    QString output;
    bool hasOutput = false;
    int32_t cellSize = Settings::StartCellSize();
    ConversionSettings settings;
    bool utf8 = false;
    bool terminal = false; // only glyphs wide in every terminal
    bool png = false;      // the text picture drawn as an image
    bool pngChosen = false;
    double scale = 1.0;
    unsigned threads = 0; // every core
    QString database;
    bool quiet = false;
    QStringList images;
};

class Reporter {
public:
    explicit Reporter(const CommandIo& io) : io_(io) {}

    void Error(const QString& text) const
    {
        ClearLine();
        std::fprintf(io_.err, "%s: %s\n", kName, qPrintable(PrintableText(text)));
    }

    // A progress line redrawn in place, at most ten times a second.
    void Progress(const QString& label, double percent)
    {
        if (!showProgress || !io_.errIsTerminal || !pace_.Due())
            return;
        constexpr int kBar = 30;
        const int filled = std::clamp(int(percent / 100 * kBar), 0, kBar);
        std::fprintf(io_.err, "\r%5.1f%% [%s%s] %s\033[K", percent, QByteArray(filled, '#').constData(),
                     QByteArray(kBar - filled, ' ').constData(), qPrintable(PrintableText(label)));
        std::fflush(io_.err);
        lineOpen_ = true;
    }

    void Note(const QString& text) const
    {
        if (!showProgress)
            return;
        ClearLine();
        std::fprintf(io_.err, "%s\n", qPrintable(PrintableText(text)));
    }

    void ClearLine() const
    {
        if (lineOpen_) {
            std::fprintf(io_.err, "\r\033[K");
            lineOpen_ = false;
        }
    }

    bool showProgress = true;

private:
    const CommandIo& io_;
    Throttle pace_{std::chrono::milliseconds(100)};
    mutable bool lineOpen_ = false;
};

QString Number(double v)
{
    return QString::number(v);
}

// A numeric option of the settings table: its option, help and range check.
struct NumericOption {
    QCommandLineOption option;
    Settings::Range range;
    const char* purpose;

    NumericOption(const char* name, const char* valueName, const char* purpose, const Settings::Range& range)
        : option(QString::fromLatin1(name),
                 QStringLiteral("%1, %2 to %3 (default %4).")
                     .arg(QString::fromLatin1(purpose), Number(range.min), Number(range.max), Number(range.start)),
                 QString::fromLatin1(valueName)),
          range(range),
          purpose(purpose)
    {}

    // The value within the range, or nothing.
    std::optional<double> Read(const QString& text) const
    {
        bool ok = false;
        const double v = range.whole ? double(text.toInt(&ok)) : text.toDouble(&ok);
        if (!ok || !(v >= range.min && v <= range.max))
            return std::nullopt;
        return v;
    }

    QString Refusal(const QString& text) const
    {
        return QStringLiteral("--%1 must be a %2 from %3 to %4, not \"%5\"")
            .arg(option.names().constFirst(), range.whole ? QStringLiteral("whole number") : QStringLiteral("number"),
                 Number(range.min), Number(range.max), text);
    }
};

QString CellSizeList()
{
    QStringList sizes;
    for (const Settings::CellSizeItem& c : Settings::kCellSizes)
        sizes << QString::number(c.size);
    return sizes.mid(0, sizes.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + sizes.last();
}

std::optional<int32_t> ReadCellSize(const QString& text)
{
    for (const Settings::CellSizeItem& c : Settings::kCellSizes)
        if (text == QString::number(c.size))
            return c.size;
    return std::nullopt;
}

class Parser {
public:
    Parser();
    // The options, or nothing when the command is done (help, version) or
    // refused; exitCode tells which.
    std::optional<Options> Parse(const QStringList& args, const Reporter& report, const CommandIo& io, int& exitCode);

private:
    std::optional<Options> Read(const Reporter& report);
    bool ReadSettings(Options& o, const Reporter& report);
    // The output's form: encoding, terminal, format, scale and threads; a refusal or nothing.
    QString ReadForm(Options& o);

    QCommandLineParser parser_;
    QCommandLineOption output_{{"o", "output"},
                               "Text picture to write; - writes to standard output. Default: IMAGE with .txt "
                               "for its extension.",
                               "PATH"};
    QCommandLineOption cell_{"cell",
                             QStringLiteral("Pixels per character side: %1 (default %2).")
                                 .arg(CellSizeList(), QString::number(Settings::StartCellSize())),
                             "N"};
    NumericOption brightness_{"brightness", "B", "Brightness", Settings::kBrightness};
    NumericOption contrast_{"contrast", "C", "Contrast", Settings::kContrast};
    NumericOption variation_{"variation", "V", "Random variation", Settings::kVariation};
    QCommandLineOption encoding_{"encoding", "sjis (default) or utf-8.", "NAME"};
    QCommandLineOption terminal_{"terminal",
                                 "Only characters every terminal draws two columns wide, so that the lines end in "
                                 "one column (for looking at the picture in a terminal); implies --encoding utf-8."};
    QCommandLineOption format_{"format",
                               "text (default) or png: the text picture drawn as an image, 16 x 16 pixels a "
                               "character. Chosen by the output's extension when not given.",
                               "FORMAT"};
    NumericOption scale_{"scale", "S", "Scale of a png output",
                         Settings::Range{kMinimumImageScale, kMaximumImageScale, 1.0, false}};
    QCommandLineOption threads_{"threads",
                                "Threads to convert with (default: every core); the bytes do not depend on it.", "N"};
    QCommandLineOption database_{"database", "Glyph database to use (created when missing).", "PATH"};
    QCommandLineOption quiet_{{"q", "quiet"}, "No progress on standard error."};
    QCommandLineOption help_{{"h", "help"}, "Show this help."};
    QCommandLineOption version_{"version", "Show the version."};
};

Parser::Parser()
{
    parser_.setApplicationDescription(
        QStringLiteral("Turns pictures into text pictures of full-width Japanese characters (Shift-JIS, CR LF)."));
    parser_.addPositionalArgument(QStringLiteral("IMAGE"), QStringLiteral("Pictures to convert (any format Qt reads)."),
                                  QStringLiteral("IMAGE..."));
    parser_.addOptions({output_, cell_, brightness_.option, contrast_.option, variation_.option, encoding_, terminal_,
                        format_, scale_.option, threads_, database_, quiet_, help_, version_});
}

std::optional<Options> Parser::Parse(const QStringList& args, const Reporter& report, const CommandIo& io,
                                     int& exitCode)
{
    exitCode = kExitUsage;
    if (!parser_.parse(args)) {
        report.Error(parser_.errorText() + QStringLiteral(" (see --help)"));
        return std::nullopt;
    }
    if (parser_.isSet(help_) || parser_.isSet(version_)) {
        if (parser_.isSet(help_))
            std::fprintf(io.out, "%s", qPrintable(parser_.helpText()));
        else
            std::fprintf(io.out, "%s %s\n", kName, PICTORIA_VERSION);
        exitCode = kExitDone;
        return std::nullopt;
    }
    std::optional<Options> o = Read(report);
    if (o)
        exitCode = kExitDone;
    return o;
}

bool Parser::ReadSettings(Options& o, const Reporter& report)
{
    if (parser_.isSet(cell_)) {
        const std::optional<int32_t> size = ReadCellSize(parser_.value(cell_));
        if (!size) {
            report.Error(QStringLiteral("--cell must be %1, not \"%2\"").arg(CellSizeList(), parser_.value(cell_)));
            return false;
        }
        o.cellSize = *size;
    }
    for (const NumericOption* n : {&brightness_, &contrast_, &variation_}) {
        if (!parser_.isSet(n->option))
            continue;
        const QString text = parser_.value(n->option);
        const std::optional<double> v = n->Read(text);
        if (!v) {
            report.Error(n->Refusal(text));
            return false;
        }
        if (n == &brightness_)
            o.settings.Brightness = float(*v);
        else if (n == &contrast_)
            o.settings.Contrast = float(*v);
        else
            o.settings.Variation = int32_t(*v);
    }
    return true;
}

QString Parser::ReadForm(Options& o)
{
    const QString encoding = parser_.value(encoding_).toLower();
    o.terminal = parser_.isSet(terminal_);
    o.utf8 = o.terminal || encoding == "utf-8" || encoding == "utf8";
    if (parser_.isSet(encoding_) && !o.utf8 && encoding != "sjis" && encoding != "shift-jis" && encoding != "cp932")
        return QStringLiteral("--encoding must be sjis or utf-8, not \"%1\"").arg(parser_.value(encoding_));
    const QString format = parser_.value(format_).toLower();
    o.pngChosen = parser_.isSet(format_);
    o.png = format == "png";
    if (o.pngChosen && !o.png && format != "text")
        return QStringLiteral("--format must be text or png, not \"%1\"").arg(parser_.value(format_));
    if (parser_.isSet(threads_)) {
        bool ok = false;
        o.threads = parser_.value(threads_).toUInt(&ok);
        if (!ok || o.threads < 1 || o.threads > kMaximumThreads)
            return QStringLiteral("--threads must be a whole number from 1 to %1, not \"%2\"")
                .arg(kMaximumThreads)
                .arg(parser_.value(threads_));
    }
    if (parser_.isSet(scale_.option)) {
        const std::optional<double> scale = scale_.Read(parser_.value(scale_.option));
        if (!scale)
            return scale_.Refusal(parser_.value(scale_.option));
        o.scale = *scale;
    }
    return {};
}

std::optional<Options> Parser::Read(const Reporter& report)
{
    Options o;
    if (!ReadSettings(o, report))
        return std::nullopt;
    o.hasOutput = parser_.isSet(output_);
    o.output = parser_.value(output_);
    o.database = parser_.value(database_);
    o.quiet = parser_.isSet(quiet_);
    o.images = parser_.positionalArguments();

    const QString refusal = [&]() -> QString {
        if (QString form = ReadForm(o); !form.isEmpty())
            return form;
        if (o.images.isEmpty())
            return QStringLiteral("no IMAGE given (see --help)");
        if (o.hasOutput && o.images.size() > 1)
            return QStringLiteral("-o/--output takes one IMAGE, not %1").arg(o.images.size());
        if (o.hasOutput && o.output.isEmpty())
            return QStringLiteral("-o/--output needs a path");
        return {};
    }();
    if (refusal.isEmpty())
        return o;
    report.Error(refusal);
    return std::nullopt;
}

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
    const qsizetype nameStart = image.lastIndexOf(u'/') + 1;
    const qsizetype dot = image.lastIndexOf(u'.');
    const QString base = dot > nameStart ? image.left(dot) : image;
    return (nameStart == 0 ? QStringLiteral("./") : QString()) + base +
           (o.pngChosen && o.png ? QStringLiteral("-text.png") : QStringLiteral(".txt"));
}

QString FileName(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// Whether output gets the picture drawn as an image: as --format says, else by its extension.
bool WritesImage(const QString& output, const Options& o)
{
    return o.pngChosen ? o.png : output.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
}

// The file's bytes: the rows as text (Shift-JIS or UTF-8, CR LF), or drawn as a PNG.
Outcome Encode(const QList<QByteArray>& rows, bool image, const Options& o, QByteArray& bytes)
{
    if (!image) {
        for (const QByteArray& row : rows)
            bytes += (o.utf8 ? FromCp932(row).toUtf8() : row) + QByteArrayLiteral("\r\n");
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

// Puts the finished text picture where output says; answers an exit code.
int WriteOut(const QString& output, const QByteArray& text, Reporter& report, const CommandIo& io)
{
    if (output == QStringLiteral("-")) {
        if (std::fwrite(text.constData(), 1, size_t(text.size()), io.out) != size_t(text.size()) ||
            std::fflush(io.out) != 0) {
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
    QImage picture;
    const Outcome loaded = LoadImageOverWhite(image, picture);
    if (!loaded.IsDone()) {
        report.Error(loaded.Kind() == FailureKind::NoMemory
                         ? loaded.Message()
                         : QStringLiteral("%1: cannot read the picture (%2)").arg(image, loaded.Reason()));
        return ExitCodeFor(Subject::Picture, loaded);
    }
    // A drawing over the limit is refused before the conversion, not after it.
    if (WritesImage(output, o))
        if (const Outcome fits = TextPictureImageFits(picture.size(), o.cellSize, o.scale); !fits.IsDone()) {
            report.Error(QStringLiteral("%1: cannot draw the text picture (%2)").arg(output, fits.Reason()));
            return ExitCodeFor(Subject::Output, fits);
        }
    QByteArray text;
    try {
        const QList<QByteArray> rows = ConvertToRows(picture, FileName(image), o, table, report);
        picture = QImage(); // the drawing may need the room
        if (const Outcome encoded = Encode(rows, WritesImage(output, o), o, text); !encoded.IsDone()) {
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
    QStringList outputs;
    QStringList files;                 // the outputs that are files, not standard output
    QHash<QString, QString> pictureOf; // output's identity -> picture
    for (const QString& image : o.images) {
        outputs << (o.hasOutput ? o.output : DefaultOutput(image, o));
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
    const std::optional<OverwrittenInput> over = FindOverwrittenInput(files, o.images, dbPath);
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
    const std::optional<Options> options = Parser().Parse(args, report, io, code);
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
    // A terminal draws many of the glyphs one column wide; only the others serve.
    const GlyphTable table(options->terminal ? TerminalGlyphsOnly(buckets) : buckets);

    for (qsizetype i = 0; i < options->images.size(); ++i) {
        const int r = ConvertOne(options->images[i], (*outputs)[i], *options, table, report, io);
        if (failure == kExitDone)
            failure = r;
    }
    return failure;
}
