#include "CommonDialog.h"

#include <QFileDialog>

namespace {

CommonDialog::AnswerHook& Hook()
{
    static CommonDialog::AnswerHook hook;
    return hook;
}

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

void CommonDialog::SetAnswerHook(AnswerHook hook)
{
    Hook() = std::move(hook);
}

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
    std::optional<QString> answer;
    if (Hook()) {
        answer = Hook()(*this, save);
    } else {
        QFileDialog dialog(parent_, DialogTitle);
        // Qt's own dialog: the same behaviour, case-insensitive filters included, on every desktop.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(NameFilters(Filter));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save || !(Flags & kFileMustExist) ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(Flags & kOverwritePrompt));
        if (!FileName.isEmpty())
            dialog.selectFile(FileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            answer = dialog.selectedFiles().constFirst();
    }
    if (!answer)
        return CancelError ? kCancelError : 0;
    FileName = *answer;
    return 0;
}
