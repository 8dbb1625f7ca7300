// SPDX-License-Identifier: MIT
#include "engine/OverwriteGuard.h"

#include "common/FileAccess.h"

#include <QHash>

std::optional<OverwrittenInput> FindOverwrittenInput(const QStringList& outputs, const QStringList& pictures,
                                                     const QString& database)
{
    // One identity per name, so a batch of thousands costs a look at each file.
    QHash<QString, qsizetype> inputs; // identity -> index in pictures, -1 for the database
    if (!database.isEmpty())
        inputs.insert(FileIdentity(database), -1);
    for (qsizetype i = 0; i < pictures.size(); ++i)
        inputs.insert(FileIdentity(pictures[i]), i);
    for (const QString& output : outputs) {
        const auto found = inputs.constFind(FileIdentity(output));
        if (found == inputs.constEnd())
            continue;
        if (*found < 0)
            return OverwrittenInput{output, database, true};
        return OverwrittenInput{output, pictures[*found], false};
    }
    return std::nullopt;
}
