#include "frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr
        && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fprintf(stderr, "Pictoria: no display found (DISPLAY is not set); "
                             "the window needs a graphical session.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictoria"));
    frmMain window;
    window.Form_Load();
    if (window.Closed())
        return 0;
    return app.exec();
}
