// SPDX-License-Identifier: MIT
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

    // Shows the dialog for its owner: the chosen file, or nothing for cancel.
    using Chooser = std::function<std::optional<QString>(QWidget* parent, const CommonDialog& dialog, bool save)>;

    CommonDialog(QWidget* parent, Chooser chooser) : parent_(parent), chooser_(std::move(chooser)) {}

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

private:
    int32_t Show(bool save);
    QWidget* parent_;
    Chooser chooser_;
};

// Qt's own file dialog, set up from dialog's properties.
std::optional<QString> RunFileDialog(QWidget* parent, const CommonDialog& dialog, bool save);
