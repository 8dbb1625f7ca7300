// SPDX-License-Identifier: MIT
// Pictoria, the maker: one window that creates the glyph database and turns
// pictures into text pictures.
#include "maker/frmMain.h"
#include "ui/DisplayCheck.h"
#include "ui/Translations.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (!HasDisplay("Pictoria"))
        return 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    InstallJapaneseQtTranslations(app);
    frmMain window;
    window.Form_Load();
    if (window.Closed())
        return 0;
    return app.exec();
}
