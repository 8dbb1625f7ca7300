// SPDX-License-Identifier: MIT
// The parallel converter against the sequential loop on one picture, in one run:
//   bench_fast_engine IMAGE [CELLSIZE] [DATABASE] [RUNS]
// Every run's bytes and final random state are checked against the loop's.
// Decoding the picture alone is the floor a whole conversion cannot go below.
#include "engine/Conversion.h"
#include "engine/DatabaseFile.h"
#include "engine/FastConversion.h"
#include "engine/GlyphMeasure.h"
#include "engine/ImageLoading.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

double ProcessSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Median elapsed seconds of the runs; cpu gets the median processor seconds
// of all threads, which tell the work apart from waiting on a busy machine.
template <class Run>
double Median(int runs, const Run& run, double* cpu = nullptr)
{
    std::vector<double> times, cpuTimes;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        const double cpuStart = ProcessSeconds();
        t.start();
        run();
        times.push_back(double(t.nsecsElapsed()) / 1e9);
        cpuTimes.push_back(ProcessSeconds() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpuTimes.begin(), cpuTimes.end());
    if (cpu)
        *cpu = cpuTimes[cpuTimes.size() / 2];
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fast_engine IMAGE [CELLSIZE] [DATABASE] [RUNS]\n");
        return 1;
    }
    const QString imagePath = QString::fromLocal8Bit(argv[1]);
    const int32_t cellSize = argc > 2 ? std::atoi(argv[2]) : 4;
    const int runs = argc > 4 ? std::max(std::atoi(argv[4]), 1) : 5;
    GlyphBucketArray buckets;
    if (argc > 3 && argv[3][0]) {
        if (!ReadDatabase(QString::fromLocal8Bit(argv[3]), buckets).IsDone()) {
            std::fprintf(stderr, "cannot read the database\n");
            return 1;
        }
    } else {
        GlyphFont font(FindGlyphFontFile());
        GlyphCanvas canvas(font);
        MeasureGlyphs(canvas, buckets);
    }
    const GlyphTable table(buckets);

    QImage image;
    bool loaded = true;
    const double decoding = Median(runs, [&] { loaded = LoadImageOverWhite(imagePath, image).IsDone() && loaded; });
    if (!loaded) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }

    const ConversionSettings settings;
    std::vector<QByteArray> expected;
    Rnd reference;
    double sequentialCpu = 0;
    const double sequential = Median(
        std::max(runs / 2, 1),
        [&] {
            expected.clear();
            reference = Rnd();
            ConversionHooks hooks;
            hooks.settings = [&] { return settings; };
            hooks.writeRow = [&](const QByteArray& row) {
                expected.push_back(row);
                return true;
            };
            ConvertCells(ImagePixels(image), cellSize, table, reference, hooks);
        },
        &sequentialCpu);

    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    const GridExtent grid = ComputeGridExtent(image.width(), image.height(), cellSize);
    const long cells = long(std::max(grid.Columns(cellSize), 0)) * std::max(grid.Rows(cellSize), 0);
    std::printf("picture %dx%d, cell size %d, %ld cells, %u cores, %d runs each (medians)\n", image.width(),
                image.height(), cellSize, cells, cores, runs);
    std::printf("%-33s elapsed   processor (ratios of elapsed times)\n", "");
    std::printf("decoding the picture (floor)      %.4f s\n", decoding);
    std::printf("sequential loop (ConvertCells)    %.4f s  %.4f s\n", sequential, sequentialCpu);

    bool same = true;
    auto measure = [&](const char* name, const FastOptions& options) {
        double cpu = 0;
        const double time = Median(
            runs,
            [&] {
                Rnd rnd;
                const std::vector<QByteArray> rows =
                    ConvertBand(image, cellSize, 0, grid.Rows(cellSize), settings, table, rnd, options);
                same = same && rows == expected && rnd.State() == reference.State();
            },
            &cpu);
        std::printf("%-33s %.4f s  %.4f s  %5.2f x faster, %4.2f x decoding\n", name, time, cpu, sequential / time,
                    time / decoding);
    };
    measure("fast, 1 thread, scalar", {1, false});
    measure("fast, 1 thread, SIMD", {1, true});
    measure("fast, all cores, scalar", {0, false});
    measure("fast, all cores, SIMD", {0, true});
    std::printf("bytes and random state equal to the loop's: %s\n", same ? "yes" : "NO");
    return same ? 0 : 3;
}
