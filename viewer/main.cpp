// Lumenpane, the viewer: started by the maker with the path of the text
// picture it is writing, and shows that picture as it grows.
#include "Form1.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[])
{
    // Taken before QApplication removes the arguments it knows (such as
    // "-style"), which could also be the words of a path.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr
        && std::getenv("QT_QPA_PLATFORM") == nullptr) {
        std::fprintf(stderr, "Lumenpane: no display found (DISPLAY is not set); "
                             "the window needs a graphical session.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(kViewerTitle);
    Form1 window(arguments.join(u' '));
    if (!window.Form_Load())
        return 0;
    return app.exec();
}
