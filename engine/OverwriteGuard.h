// SPDX-License-Identifier: MIT
// A run never writes over anything it reads: not its own picture, not another
// picture of the same batch (a default output "a-text.png" beside a picture of
// that name, a link from an output to a picture), not the glyph database.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct OverwrittenInput {
    QString output;
    QString input;
    bool isDatabase = false; // input is the glyph database, not a picture
};

// The first output that names one of the pictures or the database, however
// either is spelled (FileIdentity); nothing when every output is safe. Checked
// before any work, so that a refused run writes nothing.
std::optional<OverwrittenInput> FindOverwrittenInput(const QStringList& outputs, const QStringList& pictures,
                                                     const QString& database);
