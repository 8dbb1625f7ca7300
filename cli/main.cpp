// SPDX-License-Identifier: MIT
#include "cli/ConvertCommand.h"
#include "common/NativePath.h"

#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CommandIo io;
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    // The arguments' own bytes: Qt's decoding would turn a name that is not
    // UTF-8 into replacement characters and lose the file it names.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << PathFromNative(argv[i]);
    return RunConvertCommand(args, QCoreApplication::applicationDirPath(), io);
}
