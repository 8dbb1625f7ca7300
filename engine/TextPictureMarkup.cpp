// SPDX-License-Identifier: MIT
#include "engine/TextPictureMarkup.h"

#include "common/CodePage932.h"

#include <QColor>

#include <optional>

namespace {

// Calls run(text, colour) for each stretch of one colour in a line whose
// first character is colours[at], and moves at past the line; without
// colours the whole line is one stretch.
template <typename Run>
void ForEachRun(const QString& line, const std::vector<QRgb>* colours, size_t& at, Run run)
{
    if (!colours || at + size_t(line.size()) > colours->size()) {
        if (!line.isEmpty())
            run(QStringView(line), std::optional<QRgb>());
        return;
    }
    const std::vector<QRgb>& c = *colours;
    qsizetype start = 0;
    for (qsizetype i = 1; i <= line.size(); ++i)
        if (i == line.size() || c[at + size_t(i)] != c[at + size_t(start)]) {
            run(QStringView(line).sliced(start, i - start), std::optional<QRgb>(c[at + size_t(start)]));
            start = i;
        }
    at += size_t(line.size());
}

QByteArray Escaped(QStringView text)
{
    return text.toString().toHtmlEscaped().toUtf8();
}

} // namespace

QByteArray ColouredText(const QList<QByteArray>& rows, const std::vector<QRgb>* colours)
{
    QByteArray out;
    size_t at = 0;
    for (const QByteArray& row : rows) {
        const QString line = FromCp932(row);
        ForEachRun(line, colours, at, [&](QStringView text, std::optional<QRgb> colour) {
            if (colour)
                out += QStringLiteral("\x1b[38;2;%1;%2;%3m")
                           .arg(qRed(*colour))
                           .arg(qGreen(*colour))
                           .arg(qBlue(*colour))
                           .toLatin1();
            out += text.toUtf8();
        });
        if (colours)
            out += "\x1b[0m";
        out += "\r\n";
    }
    return out;
}

QByteArray HtmlPage(const QList<QByteArray>& rows, const QString& title, const std::vector<QRgb>* colours,
                    bool proportional)
{
    // The glyphs were measured in IPAGothic, whose full-width characters are
    // one em wide: a line height of one em makes the cells square and the rows
    // touch.
    const char* fonts =
        proportional
            ? "\"IPAPGothic\", \"IPA Pゴシック\", \"MS PGothic\", \"ＭＳ Ｐゴシック\", sans-serif"
            : "\"IPAGothic\", \"IPAゴシック\", \"MS Gothic\", \"ＭＳ ゴシック\", \"Noto Sans Mono CJK JP\", monospace";
    QByteArray out =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + Escaped(title) +
        "</title>\n<style>\npre { font-family: " + fonts +
        "; font-size: 16px; line-height: 1; letter-spacing: 0; margin: 0; }\n</style>\n</head>\n<body>\n<pre>";
    size_t at = 0;
    for (const QByteArray& row : rows) {
        const QString line = FromCp932(row);
        ForEachRun(line, colours, at, [&](QStringView text, std::optional<QRgb> colour) {
            if (!colour) {
                out += Escaped(text);
                return;
            }
            out += "<span style=\"color:" + QColor(*colour).name().toLatin1() + "\">" + Escaped(text) + "</span>";
        });
        out += "\n";
    }
    out += "</pre>\n</body>\n</html>\n";
    return out;
}
