// SPDX-License-Identifier: MIT
// A plain text picture written to its file row by row as the picture is
// decoded: memory holds a few bands and a megabyte of text whatever the
// picture's size, and the disk is busy while the cells are chosen.
#pragma once

#include "cli/Options.h"
#include "cli/PictureRows.h"
#include "cli/Reporter.h"
#include "engine/GlyphChooser.h"

#include <QByteArray>

// A row of the plain text picture as the options write it, without its line
// end: code page 932 as converted, or UTF-8.
QByteArray TextRow(const QByteArray& row, const Options& o);

// Converts the picture into the ordinary file names.output names, replaced
// only once the text is whole: a damaged picture or a failed write keeps the
// old file as it was. Answers an exit code, the user told why on failure;
// kNotStreamed, with nothing written or said, when the picture or the output
// needs the other paths (a whole picture, standard output, a device, a text
// file that cannot be begun).
int WriteTextAsDecoded(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report);
