// SPDX-License-Identifier: MIT
// Times ReloadIfChanged on a finished picture of 1,000 full-width columns by
// 750 rows, against just reading and decoding the same file. Not a test: run
// it by hand, e.g. `bench_viewer_reload` (offscreen unless a display is set).
#include "common/CodePage932.h"
#include "viewer/Form1.h"
#include "viewer/TextPictureFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray FinishedPicture(int columns, int rows)
{
    // Kanji, kana and the full-width blank, as a converted picture uses them.
    const QByteArray cells = ToCp932(QStringLiteral("　亜あ■鬱黒ア日本語画像□"));
    QByteArray bytes;
    bytes.reserve(qsizetype(rows) * (columns * 2 + 2));
    unsigned seed = 1;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            seed = seed * 1103515245u + 12345u;
            const qsizetype k = qsizetype((seed >> 16) % unsigned(cells.size() / 2)) * 2;
            bytes.append(cells.mid(k, 2));
        }
        bytes.append("\r\n");
    }
    return bytes;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty() && qgetenv("DISPLAY").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.txt"));
    const QByteArray bytes = FinishedPicture(1000, 750);
    const auto write = [&path](const QByteArray& content) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    };
    if (!write(bytes))
        return 1;

    const int runs = 7;
    std::vector<double> baseline, reload, firstPaint, growth;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const auto picture = ReadTextPictureFile(path);
        baseline.push_back(t.nsecsElapsed() / 1e6);
        if (!picture)
            return 1;
    }
    for (int i = 0; i < runs; ++i) {
        Form1 window(path);
        window.show();
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        window.ReloadIfChanged();
        reload.push_back(t.nsecsElapsed() / 1e6);
        window.Text1->viewport()->repaint();
        QApplication::processEvents();
        firstPaint.push_back(t.nsecsElapsed() / 1e6);
        if (window.FileSize != bytes.size())
            return 1;
    }
    // The usual case: the window already shows the picture with one row less.
    for (int i = 0; i < runs; ++i) {
        Form1 window(path);
        if (!write(bytes.left(bytes.size() - 2002)))
            return 1;
        window.show();
        window.ReloadIfChanged();
        QApplication::processEvents();
        if (!write(bytes))
            return 1;
        QElapsedTimer t;
        t.start();
        window.ReloadIfChanged();
        window.Text1->viewport()->repaint();
        QApplication::processEvents();
        growth.push_back(t.nsecsElapsed() / 1e6);
        if (window.FileSize != bytes.size())
            return 1;
    }
    const double b = Median(baseline), r = Median(reload), p = Median(firstPaint), g = Median(growth);
    std::printf("file: %lld bytes, 1000 x 750 full-width cells\n", static_cast<long long>(bytes.size()));
    std::printf("read + decode (baseline):      %8.1f ms\n", b);
    std::printf("ReloadIfChanged:               %8.1f ms  (%.1f x baseline)\n", r, r / b);
    std::printf("ReloadIfChanged + first paint: %8.1f ms  (%.1f x baseline)\n", p, p / b);
    std::printf("one more row + paint:          %8.1f ms  (%.1f x baseline)\n", g, g / b);
    std::printf("medians of %d runs\n", runs);
    return 0;
}
