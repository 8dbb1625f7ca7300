// SPDX-License-Identifier: MIT
#include "cli/TextFileStream.h"

#include "cli/ExitCodes.h"
#include "common/CodePage932.h"
#include "common/FileAccess.h"
#include "engine/BandDecoder.h"
#include "engine/TextPictureOutput.h"

#include <new>

QByteArray TextRow(const QByteArray& row, const Options& o)
{
    return o.utf8 ? FromCp932(row).toUtf8() : row;
}

namespace {

// Converts into file, each row with its line end; picture gets the
// conversion's outcome. A damaged picture leaves the old file whole.
Outcome ConvertInto(QFileDevice& file, BandDecoder& decoder, const PictureNames& names, const Options& o,
                    const GlyphTable& table, Reporter& report, Outcome& picture)
{
    GatheredText text(file, names.output);
    try {
        const QByteArray lineEnd = QByteArrayLiteral("\r\n");
        picture = ConvertStream(decoder, names, o, table, report, [&](const QByteArray& row) {
            // After a failed write the rows are still converted, and dropped.
            (void)(text.Add(TextRow(row, o)) && text.Add(lineEnd));
        });
    } catch (const std::bad_alloc&) {
        report.ClearLine();
        return Outcome::Failed(FailureKind::NoMemory, names.output,
                               QStringLiteral("not enough memory for the text picture of %1").arg(names.image));
    }
    return picture.IsDone() ? text.Finish() : picture;
}

} // namespace

int WriteTextAsDecoded(const PictureNames& names, const Options& o, const GlyphTable& table, Reporter& report)
{
    if (names.form != OutputForm::Text || names.output == QStringLiteral("-") || !MayStream(names, o) ||
        WritesInPlace(names.output))
        return kNotStreamed;
    int failed = kExitDone;
    const std::unique_ptr<BandDecoder> decoder = OpenStream(names, report, failed);
    if (!decoder)
        return failed;
    bool begun = false;
    Outcome picture = Outcome::Done();
    const Outcome written = WriteWholeFile(names.output, [&](QFileDevice& file) {
        begun = true;
        return ConvertInto(file, *decoder, names, o, table, report, picture);
    });
    if (!picture.IsDone())
        return PictureFailure(names.name, picture, report);
    // The text file could not be begun: the whole-picture path meets the same
    // failure where it always has, after the picture's own.
    if (!begun)
        return kNotStreamed;
    if (!written.IsDone()) {
        report.Error(
            written.Kind() == FailureKind::NoMemory
                ? written.Message()
                : QStringLiteral("%1: cannot write the text picture (%2)").arg(names.output, written.Reason()));
        return ExitCodeFor(Subject::Output, written);
    }
    return kExitDone;
}
