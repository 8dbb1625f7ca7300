// SPDX-License-Identifier: MIT
#include "maker/MakerServices.h"

#include "maker/CommonDialog.h"
#include "ui/MessageBox.h"

#include <QProcess>

MakerServices MakerServices::Real()
{
    MakerServices s;
    s.message = ShowMessage;
    s.chooseFile = RunFileDialog;
    // No shell: blanks and Japanese characters in the path arrive whole.
    s.startViewer = [](const QString& program, const QString& argument) {
        return QProcess::startDetached(program, {argument});
    };
    return s;
}
