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

#include <memory>
#include <vector>

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

// Reads and converts one picture into rows; answers an exit code, the user
// told why on failure.
int ReadPictureRows(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report,
                    const CommandIo& io, PictureRows& out);
