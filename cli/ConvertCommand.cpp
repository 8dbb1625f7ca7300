#include "ConvertCommand.h"

#include "CodePage932.h"
#include "Conversion.h"
#include "DatabaseFile.h"
#include "DatabaseLocation.h"
#include "General.h"
#include "GlyphMeasure.h"
#include "ImageLoading.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace {

constexpr const char* kName = "pictoria-convert";

struct Options {
    QString output;
    bool hasOutput = false;
    int32_t cellSize = 8;
    ConversionSettings settings; // brightness 8, contrast 1, variation 5
    bool utf8 = false;
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
        std::fprintf(io_.err, "%s: %s\n", kName, qPrintable(text));
    }

    // A progress line redrawn in place, at most ten times a second.
    void Progress(const QString& label, double percent, bool force = false)
    {
        if (!showProgress || !io_.errIsTerminal)
            return;
        if (!force && clock_.isValid() && clock_.elapsed() < 100)
            return;
        clock_.start();
        constexpr int kBar = 30;
        const int filled = std::clamp(int(percent / 100 * kBar), 0, kBar);
        std::fprintf(io_.err, "\r%5.1f%% [%s%s] %s\033[K", percent, QByteArray(filled, '#').constData(),
                     QByteArray(kBar - filled, ' ').constData(), qPrintable(label));
        std::fflush(io_.err);
        lineOpen_ = true;
    }

    void Note(const QString& text) const
    {
        if (!showProgress)
            return;
        ClearLine();
        std::fprintf(io_.err, "%s\n", qPrintable(text));
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
    QElapsedTimer clock_;
    mutable bool lineOpen_ = false;
};

std::optional<double> Number(const QString& text, double lo, double hi)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= lo && v <= hi))
        return std::nullopt;
    return v;
}

// Parses the command line; on failure prints why and answers nullopt.
std::optional<Options> Parse(const QStringList& args, const Reporter& report, const CommandIo& io, int& exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Turns pictures into text pictures of full-width Japanese characters (Shift-JIS, CR LF)."));
    parser.addPositionalArgument(QStringLiteral("IMAGE"), QStringLiteral("Pictures to convert (any format Qt reads)."),
                                 QStringLiteral("IMAGE..."));
    const QCommandLineOption output({"o", "output"},
                                    "Text picture to write; - writes to standard output. Default: IMAGE with .txt "
                                    "for its extension.",
                                    "PATH");
    const QCommandLineOption cell("cell", "Pixels per character side: 4, 8, 16 or 32 (default 8).", "N");
    const QCommandLineOption brightness("brightness", "Brightness, 3 to 13 (default 8).", "B");
    const QCommandLineOption contrast("contrast", "Contrast, 0.5 to 1.5 (default 1).", "C");
    const QCommandLineOption variation("variation", "Random variation, 0 to 50 (default 5).", "V");
    const QCommandLineOption encoding("encoding", "sjis (default) or utf-8.", "NAME");
    const QCommandLineOption database("database", "Glyph database to use (created when missing).", "PATH");
    const QCommandLineOption quiet({"q", "quiet"}, "No progress on standard error.");
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    parser.addOptions({output, cell, brightness, contrast, variation, encoding, database, quiet, help, version});

    exitCode = kExitUsage;
    if (!parser.parse(args)) {
        report.Error(parser.errorText() + QStringLiteral(" (see --help)"));
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        std::fprintf(io.out, "%s", qPrintable(parser.helpText()));
        exitCode = kExitDone;
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        std::fprintf(io.out, "%s %s\n", kName, PICTORIA_VERSION);
        exitCode = kExitDone;
        return std::nullopt;
    }

    Options o;
    auto refuse = [&](const QString& text) {
        report.Error(text);
        return std::nullopt;
    };
    if (parser.isSet(cell)) {
        const QString v = parser.value(cell);
        if (v != "4" && v != "8" && v != "16" && v != "32")
            return refuse(QStringLiteral("--cell must be 4, 8, 16 or 32, not \"%1\"").arg(v));
        o.cellSize = v.toInt();
    }
    if (parser.isSet(brightness)) {
        const auto v = Number(parser.value(brightness), 3, 13);
        if (!v)
            return refuse(QStringLiteral("--brightness must be a number from 3 to 13, not \"%1\"").arg(parser.value(brightness)));
        o.settings.Brightness = float(*v);
    }
    if (parser.isSet(contrast)) {
        const auto v = Number(parser.value(contrast), 0.5, 1.5);
        if (!v)
            return refuse(QStringLiteral("--contrast must be a number from 0.5 to 1.5, not \"%1\"").arg(parser.value(contrast)));
        o.settings.Contrast = float(*v);
    }
    if (parser.isSet(variation)) {
        bool ok = false;
        const int v = parser.value(variation).toInt(&ok);
        if (!ok || v < 0 || v > 50)
            return refuse(QStringLiteral("--variation must be a whole number from 0 to 50, not \"%1\"").arg(parser.value(variation)));
        o.settings.Variation = v;
    }
    if (parser.isSet(encoding)) {
        const QString v = parser.value(encoding).toLower();
        if (v == "utf-8" || v == "utf8")
            o.utf8 = true;
        else if (v != "sjis" && v != "shift-jis" && v != "cp932")
            return refuse(QStringLiteral("--encoding must be sjis or utf-8, not \"%1\"").arg(parser.value(encoding)));
    }
    o.hasOutput = parser.isSet(output);
    o.output = parser.value(output);
    o.database = parser.value(database);
    o.quiet = parser.isSet(quiet);
    o.images = parser.positionalArguments();
    if (o.images.isEmpty())
        return refuse(QStringLiteral("no IMAGE given (see --help)"));
    if (o.hasOutput && o.images.size() > 1)
        return refuse(QStringLiteral("-o/--output takes one IMAGE, not %1").arg(o.images.size()));
    if (o.hasOutput && o.output.isEmpty())
        return refuse(QStringLiteral("-o/--output needs a path"));
    exitCode = kExitDone;
    return o;
}

// Loads the database, creating it first when it is missing.
bool LoadOrCreateDatabase(const QString& path, GlyphBucketArray& buckets, Reporter& report, int& failure)
{
    if (FileExists(path)) {
        const DatabaseReadResult r = ReadDatabase(path, buckets);
        if (r.status == DatabaseReadStatus::Loaded)
            return true;
        report.Error(r.status == DatabaseReadStatus::Damaged
                         ? QStringLiteral("%1: damaged glyph database (%2); remove it to have it created anew")
                               .arg(path, r.reason)
                         : QStringLiteral("%1: cannot read the glyph database (%2)").arg(path, r.reason));
        failure = kExitDatabase;
        return false;
    }
    if (QFileInfo(path).isDir() || (QFileInfo::exists(path) && !FileExists(path))) {
        report.Error(QStringLiteral("%1: cannot read the glyph database").arg(path));
        failure = kExitDatabase;
        return false;
    }

    const GlyphFont font(FindGlyphFontFile());
    if (!font.IsOpen()) {
        report.Error(QStringLiteral("cannot create the glyph database: the font %1 is missing (%2); install the package %3")
                         .arg(kGlyphFontFamily, font.Error(), kGlyphFontPackage));
        failure = kExitDatabase;
        return false;
    }
    report.Note(QStringLiteral("Creating the glyph database %1").arg(path));
    GlyphCanvas canvas(font);
    MeasureGlyphs(canvas, buckets, [&](double percent) {
        report.Progress(QStringLiteral("measuring the font"), percent);
        return true;
    });
    PrepareDatabaseDirectory(path);
    const DatabaseWriteResult written = WriteDatabase(path, buckets);
    report.ClearLine();
    if (!written.ok) {
        // The measured glyphs still serve this run.
        report.Error(QStringLiteral("cannot save the glyph database: %1").arg(written.error));
        failure = kExitDatabase;
    }
    return true;
}

QString DefaultOutput(const QString& image)
{
    const QFileInfo info(image);
    const QString base = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
    return AddPathSeparator(info.path()) + base + QStringLiteral(".txt");
}

// Converts one picture; answers an exit code.
int ConvertOne(const QString& image, const Options& o, const GlyphTable& table, Reporter& report, const CommandIo& io)
{
    QString why;
    const QImage picture = LoadImageOverWhite(image, &why);
    if (picture.isNull()) {
        report.Error(QStringLiteral("%1: cannot read the picture (%2)").arg(image, why));
        return kExitImage;
    }
    const QString output = o.hasOutput ? o.output : DefaultOutput(image);
    const bool toStdout = output == QStringLiteral("-");
    if (!toStdout && QFileInfo(output).absoluteFilePath() == QFileInfo(image).absoluteFilePath()) {
        report.Error(QStringLiteral("%1: the text picture would overwrite the picture itself").arg(output));
        return kExitOutput;
    }

    QByteArray text;
    ConversionHooks hooks;
    hooks.settings = [&] { return o.settings; };
    hooks.writeRow = [&](const QByteArray& row) {
        text += (o.utf8 ? FromCp932(row).toUtf8() : row) + QByteArrayLiteral("\r\n");
        return true;
    };
    const QString label = QFileInfo(image).fileName();
    hooks.afterCell = [&](double percent, int32_t) {
        report.Progress(label, percent);
        return true;
    };
    // Every picture starts the sequence afresh, as the window's first conversion does.
    Rnd rnd;
    ConvertCells(ImagePixels(picture), o.cellSize, table, rnd, hooks);
    report.ClearLine();

    if (toStdout) {
        if (std::fwrite(text.constData(), 1, size_t(text.size()), io.out) != size_t(text.size()) || std::fflush(io.out) != 0) {
            report.Error(QStringLiteral("standard output: write failed"));
            return kExitOutput;
        }
        return kExitDone;
    }
    // A failed write never leaves a half picture in place of an older one.
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        report.Error(QStringLiteral("%1: cannot write the text picture (%2)").arg(output, file.errorString()));
        return kExitOutput;
    }
    return kExitDone;
}

} // namespace

int RunConvertCommand(const QStringList& args, const QString& programDir, const CommandIo& io)
{
    Reporter report(io);
    int code = kExitDone;
    const std::optional<Options> options = Parse(args, report, io, code);
    if (!options)
        return code;
    report.showProgress = !options->quiet;

    const QString dbPath = options->database.isEmpty() ? DatabaseLocation(programDir) : options->database;
    GlyphBucketArray buckets;
    int failure = kExitDone;
    if (!LoadOrCreateDatabase(dbPath, buckets, report, failure))
        return failure;
    const GlyphTable table(buckets);

    for (const QString& image : options->images) {
        const int r = ConvertOne(image, *options, table, report, io);
        if (failure == kExitDone)
            failure = r;
    }
    return failure;
}
