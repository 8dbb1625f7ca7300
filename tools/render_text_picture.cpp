// SPDX-License-Identifier: MIT
// Renders a text picture (code page 932) to a PNG as a fixed-pitch Japanese
// font shows it, with square character cells: for the README and for looking
// at results.
//   render-text-picture INPUT.txt OUTPUT.png [PIXELS_PER_CHARACTER]
#include "common/CodePage932.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: render-text-picture INPUT.txt OUTPUT.png [PIXELS_PER_CHARACTER]\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int cell = argc > 3 ? std::atoi(argv[3]) : 12;

    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(in.errorString()));
        return 2;
    }
    QList<QByteArray> lines = in.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    int columns = 0;
    QStringList texts;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        columns = std::max(columns, int(line.size()));
        texts << FromCp932(line);
    }

    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(cell);
    font.setStyleStrategy(QFont::PreferAntialias);
    QImage image(std::max(1, columns * cell / 2), std::max(1, int(texts.size()) * cell), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    for (int i = 0; i < texts.size(); ++i)
        p.drawText(QRect(0, i * cell, image.width(), cell), Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
    p.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 4;
    }
    return 0;
}
