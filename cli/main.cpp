// SPDX-License-Identifier: MIT
#include "cli/ConvertCommand.h"

#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CommandIo io;
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return RunConvertCommand(QCoreApplication::arguments(), QCoreApplication::applicationDirPath(), io);
}
