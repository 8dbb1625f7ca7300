// SPDX-License-Identifier: MIT
// Times a whole conversion run in the main window (offscreen, with its status
// line, event processing and row-by-row appends) against the command line's
// whole conversion of the same picture, in the same process and run:
//   bench_window_conversion IMAGE [CELLSIZE] [RUNS]
// Both load the picture, convert it with the fast engine and write the file.
#include "cli/ConvertCommand.h"
#include "engine/DatabaseFile.h"
#include "engine/GlyphDatabase.h"
#include "maker/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> times)
{
    const auto middle = times.begin() + std::ptrdiff_t(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    return *middle;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return std::fprintf(stderr, "usage: bench_window_conversion IMAGE [CELLSIZE] [RUNS]\n"), 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString image = QString::fromLocal8Bit(argv[1]);
    const QString cell = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("4");
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

    QTemporaryDir dir;
    GlyphBucketArray buckets;
    if (!CreateGlyphDatabase(dir.filePath("Standard.cdb"), QString(), buckets).IsDone())
        return 1;

    MakerServices services = MakerServices::Real();
    services.chooseFile = [&](QWidget*, const CommonDialog&, bool save) -> std::optional<QString> {
        return save ? dir.filePath("window.txt") : image;
    };
    services.startViewer = [](const QString&, const QString&, const QString&) { return Outcome::Done(); };
    services.message = [](QWidget*, const QString&, const QString&, QMessageBox::Icon) {};
    frmMain w(dir.path(), services);
    w.Form_Load();
    w.Combo1->setCurrentIndex(cell == "4" ? 0 : cell == "8" ? 1 : cell == "16" ? 2 : 3);
    int ticks = 0; // a timer that runs during the conversion: the window stays live
    QTimer live;
    QObject::connect(&live, &QTimer::timeout, [&] { ++ticks; });
    live.start(10);

    std::vector<double> cli, window;
    QElapsedTimer t;
    for (int i = 0; i < runs; ++i) {
        t.start();
        FILE* null = std::fopen("/dev/null", "w");
        RunConvertCommand({"pictoria-convert", image, "--cell", cell, "-q", "--database", dir.filePath("Standard.cdb"),
                           "-o", dir.filePath("cli.txt")},
                          dir.path(), CommandIo{null, null, false});
        std::fclose(null);
        cli.push_back(t.nsecsElapsed() / 1e9);
        t.start();
        w.Command1->click();
        window.push_back(t.nsecsElapsed() / 1e9);
    }
    std::printf("command line, whole conversion   %.3f s (median of %d)\n", Median(cli), runs);
    std::printf("window, whole conversion run     %.3f s  (%.2f x the command line)\n", Median(window),
                Median(window) / Median(cli));
    std::printf("10 ms timer ticks during the runs %d\n", ticks);
    return 0;
}
