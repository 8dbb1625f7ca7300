// SPDX-License-Identifier: MIT
// Reading one picture and turning it into the rows of its text picture:
// converted while it is decoded where nothing needs the whole picture, else
// loaded whole, brought to the options' width and converted.
#pragma once

#include "cli/Options.h"
#include "cli/Reporter.h"
#include "engine/GlyphChooser.h"

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class BandDecoder;

struct PictureRows {
    QList<QByteArray> rows;    // code page 932, without line ends
    std::vector<QRgb> colours; // each cell's mean colour, with --color
    // Where the rows lie when they are views of one area, not arrays of
    // their own (thousands of small arrays would each fault in fresh
    // pages): kept while the rows are used.
    std::shared_ptr<void> area;
};

struct PictureNames {
    QString image;  // as given: a path, or - for standard input
    QString name;   // in messages
    QString label;  // on the progress line
    QString output; // where the text picture goes
    OutputForm form;
};

// Whether the picture may be converted while it is decoded: nothing asked
// needs the whole of it (scaling, the cells' colours, a drawing of its size).
bool MayStream(const PictureNames& names, const Options& o);

// What a path answers for a picture that needs the whole-picture path.
constexpr int kNotStreamed = -1;

// The decoder that reads the picture band by band, or null with failed set:
// kNotStreamed when its kind needs the whole-picture path, else an exit
// code, the user told why.
std::unique_ptr<BandDecoder> OpenStream(const PictureNames& names, Reporter& report, int& failed);

// Converts what decoder reads with the options, handing each finished row
// (code page 932, without its line end) to row, with progress shown. Rows
// handed on before a failure are not final.
Outcome ConvertStream(BandDecoder& decoder, const PictureNames& names, const Options& o, const GlyphTable& table,
                      Reporter& report, const std::function<void(const QByteArray& row)>& row);

// Tells the user why the picture could not be read; answers an exit code.
int PictureFailure(const QString& name, const Outcome& failed, Reporter& report);

// Reads and converts one picture into rows; answers an exit code, the user
// told why on failure.
int ReadPictureRows(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report,
                    const CommandIo& io, PictureRows& out);
