// SPDX-License-Identifier: MIT
#include "cli/Options.h"

#include "engine/TextPictureImage.h"

#include <QCommandLineParser>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr unsigned kMaximumThreads = 256;
// Wider than any picture the limit lets through at the smallest cell.
constexpr int kMostColumns = 100000;

// The columns of the terminal out is, or else COLUMNS; 0 when neither tells.
int TerminalColumns(FILE* out)
{
    winsize size{};
    if (::isatty(::fileno(out)) && ::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return qEnvironmentVariableIntValue("COLUMNS");
}

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
    std::optional<Options> Read(const Reporter& report, const CommandIo& io);
    // The picture's width in cells and inversion; a refusal or nothing.
    QString ReadPicture(Options& o, const CommandIo& io);
    bool ReadSettings(Options& o, const Reporter& report);
    // The output's form: encoding, terminal, format, scale and threads; a refusal or nothing.
    QString ReadForm(Options& o);

    QCommandLineParser parser_;
    QCommandLineOption output_{{"o", "output"},
                               "Text picture to write; - writes to standard output. Default: IMAGE with .txt "
                               "for its extension; standard output for a picture read from standard input.",
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
                               "text (default), png: the text picture drawn as an image, 16 x 16 pixels a "
                               "character, or html: a UTF-8 page. Chosen by the output's extension when not given.",
                               "FORMAT"};
    QCommandLineOption board_{"board", "Only characters exactly one em wide in IPAPGothic, so that the picture lines "
                                       "up where text is shown in a proportional Japanese font (boards, web pages)."};
    QCommandLineOption colour_{"color", "Each character in the mean colour of its cell: 24-bit colour escapes in text "
                                        "(implies --encoding utf-8), coloured runs in html."};
    NumericOption scale_{"scale", "S", "Scale of a png output",
                         Settings::Range{kMinimumImageScale, kMaximumImageScale, 1.0, false}};
    QCommandLineOption threads_{"threads",
                                "Threads to convert with (default: every core); the bytes do not depend on it.", "N"};
    QCommandLineOption database_{"database", "Glyph database to use (created when missing).", "PATH"};
    QCommandLineOption width_{"width",
                              "Scale the picture to N characters across, its shape kept (a box filter, the same "
                              "on every machine); the rule that turns cells into characters is unchanged.",
                              "N"};
    QCommandLineOption fit_{"fit", "Like --width, for the terminal's width: its columns when standard output is a "
                                   "terminal, else COLUMNS; two columns a character. Implies --terminal."};
    QCommandLineOption invert_{"invert", "Light characters for dark pixels, for light text on a dark background: "
                                         "each pixel's lightness R + G + B is taken as 765 - (R + G + B)."};
    QCommandLineOption quiet_{{"q", "quiet"}, "No progress on standard error."};
    QCommandLineOption help_{{"h", "help"}, "Show this help."};
    QCommandLineOption version_{"version", "Show the version."};
};

Parser::Parser()
{
    parser_.setApplicationDescription(
        QStringLiteral("Turns pictures into text pictures of full-width Japanese characters (Shift-JIS, CR LF)."));
    parser_.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QStringLiteral("Pictures to convert (any format Qt reads); - reads one from standard input."),
        QStringLiteral("IMAGE..."));
    parser_.addOptions({output_, cell_, brightness_.option, contrast_.option, variation_.option, encoding_, terminal_,
                        format_, colour_, board_, scale_.option, width_, fit_, invert_, threads_, database_, quiet_,
                        help_, version_});
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
            std::fprintf(io.out, "%s %s\n", kProgramName, PICTORIA_VERSION);
        exitCode = kExitDone;
        return std::nullopt;
    }
    std::optional<Options> o = Read(report, io);
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
    o.terminal = parser_.isSet(terminal_) || parser_.isSet(fit_); // --fit: for a terminal
    o.board = parser_.isSet(board_);
    o.utf8 = o.terminal || encoding == "utf-8" || encoding == "utf8";
    if (parser_.isSet(encoding_) && !o.utf8 && encoding != "sjis" && encoding != "shift-jis" && encoding != "cp932")
        return QStringLiteral("--encoding must be sjis or utf-8, not \"%1\"").arg(parser_.value(encoding_));
    if (parser_.isSet(format_)) {
        const QString format = parser_.value(format_).toLower();
        if (format != "png" && format != "text" && format != "html")
            return QStringLiteral("--format must be text, png or html, not \"%1\"").arg(parser_.value(format_));
        o.form = format == "png" ? OutputForm::Png : format == "html" ? OutputForm::Html : OutputForm::Text;
    }
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

QString Parser::ReadPicture(Options& o, const CommandIo& io)
{
    o.invert = parser_.isSet(invert_);
    o.colour = parser_.isSet(colour_);
    if (o.colour)
        o.utf8 = true; // escapes in code page 932 text would serve no terminal
    if (o.colour && o.form == OutputForm::Png)
        return QStringLiteral("--color is for text and html, not png");
    if (parser_.isSet(width_) && parser_.isSet(fit_))
        return QStringLiteral("--width and --fit cannot both be given");
    if (parser_.isSet(width_)) {
        bool ok = false;
        const int columns = parser_.value(width_).toInt(&ok);
        if (!ok || columns < 1 || columns > kMostColumns)
            return QStringLiteral("--width must be a whole number from 1 to %1, not \"%2\"")
                .arg(kMostColumns)
                .arg(parser_.value(width_));
        o.columns = columns;
    }
    if (parser_.isSet(fit_)) {
        const int terminal = TerminalColumns(io.out);
        if (terminal < 2)
            return QStringLiteral("--fit needs standard output to be a terminal, or COLUMNS set");
        o.columns = std::min(terminal / 2, kMostColumns);
    }
    return {};
}

std::optional<Options> Parser::Read(const Reporter& report, const CommandIo& io)
{
    Options o;
    if (!ReadSettings(o, report))
        return std::nullopt;
    if (parser_.isSet(output_))
        o.output = parser_.value(output_);
    o.database = parser_.value(database_);
    o.quiet = parser_.isSet(quiet_);
    o.images = parser_.positionalArguments();

    const QString refusal = [&]() -> QString {
        if (QString form = ReadForm(o); !form.isEmpty())
            return form;
        if (QString picture = ReadPicture(o, io); !picture.isEmpty())
            return picture;
        if (o.images.isEmpty())
            return QStringLiteral("no IMAGE given (see --help)");
        if (o.output && o.images.size() > 1)
            return QStringLiteral("-o/--output takes one IMAGE, not %1").arg(o.images.size());
        if (o.output && o.output->isEmpty())
            return QStringLiteral("-o/--output needs a path");
        return {};
    }();
    if (refusal.isEmpty())
        return o;
    report.Error(refusal);
    return std::nullopt;
}

} // namespace

std::optional<Options> ParseOptions(const QStringList& args, const Reporter& report, const CommandIo& io, int& exitCode)
{
    return Parser().Parse(args, report, io, exitCode);
}
