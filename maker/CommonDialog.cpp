// SPDX-License-Identifier: MIT
#include "maker/CommonDialog.h"

#include <QFileDialog>

namespace {

// "*.jpg" becomes "*.[jJ][pP][gG]", so IMG_0001.JPG is listed too.
QString AnyCase(const QString& pattern)
{
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += u'[' + c.toLower() + c.toUpper() + u']';
        else
            out += c;
    }
    return out;
}

} // namespace

QStringList CommonDialog::NameFilters(const QString& filter)
{
    QStringList filters;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << AnyCase(p.trimmed());
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

int32_t CommonDialog::ShowOpen()
{
    return Show(false);
}

int32_t CommonDialog::ShowSave()
{
    return Show(true);
}

int32_t CommonDialog::Show(bool save)
{
    const std::optional<QString> answer = chooser_(parent_, *this, save);
    if (!answer)
        return CancelError ? kCancelError : 0;
    FileName = *answer;
    return 0;
}

std::optional<QString> RunFileDialog(QWidget* parent, const CommonDialog& d, bool save)
{
    QFileDialog dialog(parent, d.DialogTitle);
    // Qt's own dialog: the same behaviour, case-insensitive filters included, on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(CommonDialog::NameFilters(d.Filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !(d.Flags & CommonDialog::kFileMustExist) ? QFileDialog::AnyFile
                                                                         : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(d.Flags & CommonDialog::kOverwritePrompt));
    if (!d.FileName.isEmpty())
        dialog.selectFile(d.FileName);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        return dialog.selectedFiles().constFirst();
    return std::nullopt;
}
