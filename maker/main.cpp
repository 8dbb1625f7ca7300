// SPDX-License-Identifier: MIT
// Pictoria, the maker: one window that creates the glyph database and turns
// pictures into text pictures.
#include "common/NativePath.h"
#include "maker/frmMain.h"
#include "ui/DisplayCheck.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QTimer>

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
    // "Open with Pictoria": the picture is converted as if it had been chosen
    // in the open dialog, once the event loop runs. Its name is kept byte for byte.
    if (argc > 1)
        QTimer::singleShot(0, &window, [&window, picture = PathFromNative(argv[1])] { window.OpenPicture(picture); });
    return app.exec();
}
