// SPDX-License-Identifier: MIT
// Reads a picture whole the way a Qt program opens one (QImageReader, no
// allocation limit) and nothing more:
//   read_with_qt FILE
// It shows what merely holding the decoded picture costs a Qt program, the
// way every picture was read before the band decoder; bench_whole_runs
// prints it beside the bare decode.
#include <QImage>
#include <QImageReader>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_with_qt FILE\n");
        return 1;
    }
    QImageReader::setAllocationLimit(0);
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    const QImage image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "read_with_qt: %s: %s\n", argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    std::printf("%d x %d\n", image.width(), image.height());
    return 0;
}
