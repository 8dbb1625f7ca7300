// The open-file and save-file dialogs, set up by properties and shown on
// demand. A cancel with CancelError set reports the error number kCancelError.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;

class CommonDialog {
public:
    static constexpr int32_t kCancelError = 32755;
    // Flags of the dialogs, by their classic values.
    static constexpr int32_t kOverwritePrompt = 0x2;
    static constexpr int32_t kPathMustExist = 0x800;
    static constexpr int32_t kFileMustExist = 0x1000;
    static constexpr int32_t kExplorer = 0x80000;

    explicit CommonDialog(QWidget* parent = nullptr) : parent_(parent) {}

    bool CancelError = false;
    QString DialogTitle;
    // "description |pattern;pattern" entries, separated by "|".
    QString Filter;
    int32_t Flags = 0;
    QString FileName;

    // Show the dialog; the answer is 0, or kCancelError after a cancel when
    // CancelError is set. FileName holds the chosen file.
    int32_t ShowOpen();
    int32_t ShowSave();

    // The filter as Qt dialog name filters; patterns match whatever their case.
    static QStringList NameFilters(const QString& filter);

    // Tests answer the dialogs through this hook: a file name, or nothing for cancel.
    using AnswerHook = std::function<std::optional<QString>(const CommonDialog& dialog, bool save)>;
    static void SetAnswerHook(AnswerHook hook);

private:
    int32_t Show(bool save);
    QWidget* parent_;
};
