// SPDX-License-Identifier: MIT
// pictoria-convert's options: what the command line asks for, read and
// checked against the settings table, or refused with the reason.
#pragma once

#include "cli/Reporter.h"
#include "engine/Conversion.h"
#include "engine/Settings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

enum class OutputForm { Text, Png, Html };

// An IMAGE of "-" is read from standard input.
inline const QString kStandardInput = QStringLiteral("-");

struct Options {
    std::optional<QString> output; // -o; "-" is standard output
    int32_t cellSize = Settings::StartCellSize();
    std::optional<int32_t> columns; // --width, or --fit's: the picture scaled to this many cells across
    bool invert = false;            // light for dark, for a dark background
    bool colour = false;            // each character in its cell's mean colour
    ConversionSettings settings;
    bool utf8 = false;
    bool terminal = false;          // only glyphs wide in every terminal
    bool board = false;             // only glyphs one em wide in the proportional font
    std::optional<OutputForm> form; // --format; nothing: the output's extension decides
    double scale = 1.0;
    unsigned threads = 0; // every core
    QString database;
    bool quiet = false;
    QStringList images;
};

// The options of args (the program's name first), or nothing when the
// command is done (--help, --version) or refused; exitCode tells which.
std::optional<Options> ParseOptions(const QStringList& args, const Reporter& report, const CommandIo& io,
                                    int& exitCode);
