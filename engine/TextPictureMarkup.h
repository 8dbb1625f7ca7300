// SPDX-License-Identifier: MIT
// A text picture as UTF-8 for other places than a Shift-JIS file: text with
// 24-bit colour escapes for terminals and pagers, and an HTML page. The
// characters are always those of the rule; only colour is added.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>

#include <vector>

// The rows (code page 932, no line ends) as UTF-8 text, each line ended by CR
// LF. With colours (one for every character, row by row), each run of one
// colour starts with an SGR 38;2;R;G;B escape and every line ends with a
// reset before its CR LF; removing the escapes gives the text without colour.
QByteArray ColouredText(const QList<QByteArray>& rows, const std::vector<QRgb>* colours);

// A UTF-8 HTML page: the rows in a <pre>, escaped, in a font stack that draws
// the glyphs as they were measured (IPAGothic first, or the proportional
// Japanese fonts for board), with square cells and rows that touch. With
// colours, neighbours of one colour share a <span style="color:#rrggbb">.
QByteArray HtmlPage(const QList<QByteArray>& rows, const QString& title, const std::vector<QRgb>* colours,
                    bool proportional);
