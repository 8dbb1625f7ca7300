// SPDX-License-Identifier: MIT
// Lumenpane, the viewer: started by the maker with the path of the text
// picture it is writing, and shows that picture as it grows.
#include "ui/DisplayCheck.h"
#include "ui/Translations.h"
#include "viewer/Form1.h"

#include <QApplication>
#include <QFile>
#include <QStringList>

int main(int argc, char* argv[])
{
    // The arguments are the path of the picture, words and all; Qt must not
    // take any of them for its own options (such as "-style").
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    int qtArgc = 1;

    if (!HasDisplay("Lumenpane"))
        return 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(kViewerTitle);
    InstallJapaneseQtTranslations(app);
    Form1 window(arguments.join(u' '));
    if (!window.Form_Load())
        return 0;
    return app.exec();
}
