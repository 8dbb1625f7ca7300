// SPDX-License-Identifier: MIT
#include "maker/MakerServices.h"

#include "common/NativePath.h"
#include "maker/CommonDialog.h"
#include "ui/MessageBox.h"
#include "ui/WindowPlacement.h"

#include <QProcess>

#include <cerrno>
#include <unistd.h>

MakerServices MakerServices::Real()
{
    MakerServices s;
    s.message = ShowMessage;
    s.chooseFile = RunFileDialog;
    // No shell: blanks and Japanese characters in the path arrive whole. The
    // geometry goes in the environment; the command line is the path alone.
    s.startViewer = [](const QString& program, const QString& argument, const QString& makerGeometry) {
        QProcess process;
        process.setProgram(program);
        process.setArguments({argument});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kMakerGeometryVariable), makerGeometry);
        process.setProcessEnvironment(environment);
        if (process.startDetached())
            return Outcome::Done();
        // QProcess words the failing call; the system's reason, in errno, is
        // what the window can put in its own words.
        const int error = ::access(NativePath(program).constData(), X_OK) != 0 ? errno : 0;
        return Outcome::Failed(program, process.errorString(), error);
    };
    return s;
}
