// SPDX-License-Identifier: MIT
// Times a whole conversion run in the main window (offscreen, with its
// per-cell status line and event processing) against the conversion loop
// alone, measured in the same run:
//   bench_window_conversion IMAGE [CELLSIZE]
#include "engine/Conversion.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphMeasure.h"
#include "engine/ImageLoading.h"
#include "maker/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window_conversion IMAGE [CELLSIZE]\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString image = QString::fromLocal8Bit(argv[1]);
    const int cellSize = argc > 2 ? std::atoi(argv[2]) : 4;

    QTemporaryDir dir;
    GlyphBucketArray buckets;
    {
        GlyphFont font(FindGlyphFontFile());
        GlyphCanvas canvas(font);
        MeasureGlyphs(canvas, buckets);
        if (!WriteDatabase(dir.filePath("Standard.cdb"), buckets).IsDone())
            return 1;
    }

    // The loop alone.
    QImage picture;
    if (!LoadImageOverWhite(image, picture).IsDone())
        return 2;
    const ImagePixels pixels(picture);
    const GlyphTable table(buckets);
    Rnd rnd;
    ConversionHooks hooks;
    hooks.writeRow = [](const QByteArray&) { return true; };
    QElapsedTimer t;
    t.start();
    (void)ConvertCells(pixels, cellSize, table, rnd, hooks);
    const double loop = t.nsecsElapsed() / 1e9;

    // The window's run, dialogs answered and the viewer not started.
    MakerServices services = MakerServices::Real();
    services.chooseFile = [&](QWidget*, const CommonDialog&, bool save) -> std::optional<QString> {
        return save ? dir.filePath("out.txt") : image;
    };
    services.startViewer = [](const QString&, const QString&, const QString&) { return true; };
    services.message = [](QWidget*, const QString&, const QString&, QMessageBox::Icon) {};
    frmMain w(dir.path(), services);
    w.Form_Load();
    w.Combo1->setCurrentIndex(cellSize == 4 ? 0 : cellSize == 8 ? 1 : cellSize == 16 ? 2 : 3);
    int ticks = 0; // a timer that runs during the conversion: the window stays live
    QTimer live;
    QObject::connect(&live, &QTimer::timeout, [&] { ++ticks; });
    live.start(10);
    t.restart();
    w.Command1->click();
    const double window = t.nsecsElapsed() / 1e9;

    std::printf("conversion loop alone          %.3f s\n", loop);
    std::printf("whole run in the window        %.3f s  (%.2f x the loop alone)\n", window, window / loop);
    std::printf("10 ms timer ticks during run   %d\n", ticks);
    return 0;
}
