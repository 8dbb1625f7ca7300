// SPDX-License-Identifier: MIT
// Memory running out while a picture is decoded, converted, composed, turned
// or drawn: each case runs in a child under an address-space limit. A suite
// of its own, so that no other test has left free memory behind (a thread's
// malloc arena reserves 64 MB that a child could fill without growing).
#include "engine/GlyphFont.h"
#include "engine/ImageLoading.h"
#include "engine/TextPictureImage.h"
#include "tests/TestSupport.h"

#include <QBuffer>

#include <functional>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

// Every picture in memory of its own, in this process and its children, and
// one arena: freed, a picture leaves no free memory behind that a child could
// fill without growing its address space.
const bool kOwnMappings = ::mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1 && ::mallopt(M_ARENA_MAX, 1) == 1;

// What work answers in a child process whose address space may grow by
// headroomMB beyond what it held when it was forked: "done", or the errno
// value and the reason. A child that crashes or hangs answers "died".
std::string UnderMemoryLimit(qint64 headroomMB, const std::function<Outcome()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        // The heap's free top given back first, so that it is not released
        // later to make room past the limit.
        ::malloc_trim(0);
        qint64 kilobytes = 0;
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmSize:"))
                    kilobytes = line.mid(7).trimmed().split(' ').front().toLongLong();
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t(kilobytes * 1024 + headroomMB * 1024 * 1024);
        if (kilobytes == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
            ::_exit(1);
        ::alarm(60);
        const Outcome outcome = work();
        const QByteArray answer = outcome.IsDone()
                                      ? QByteArray("done")
                                      : QByteArray::number(outcome.Errno()) + ' ' + outcome.Reason().toUtf8();
        (void)!::write(fds[1], answer.constData(), size_t(answer.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? answer.toStdString() : "died";
}

QString SavedPicture(const QString& path, const QImage& image)
{
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
}

// A JPEG whose EXIF orientation turns it a quarter: tests/data's header
// before the picture's own.
QString SidewaysJpeg(const QString& path, const QImage& image)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPG"));
    const QByteArray exif = ReadAll(TestData("exif-6.jpg"));
    const int length = 2 + (uchar(exif[4]) << 8 | uchar(exif[5])); // its APP1 segment
    EXPECT_TRUE(WriteAll(path, jpeg.left(2) + exif.mid(2, length) + jpeg.mid(2)));
    return path;
}

} // namespace

TEST(ImageLoading, MemoryRunningOutFailsAsSuch)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves its heap up front: no address-space limit makes an allocation fail";
#endif
    ASSERT_TRUE(kOwnMappings);
    QTemporaryDir dir;
    QImage grey(4096, 4096, QImage::Format_Grayscale8); // 16 MB, 64 MB as 32-bit RGB
    grey.fill(128);
    QImage translucent(4096, 4096, QImage::Format_Indexed8); // composed over white into a new 64 MB
    translucent.setColorTable({qRgba(200, 30, 30, 120)});
    translucent.fill(0);
    QImage deep(4096, 2048, QImage::Format_RGBA64); // 64 MB, flattened into a new 32 MB
    deep.fill(QColor(30, 60, 90, 100));
    QImage colour(4096, 2048, QImage::Format_RGB32); // 32 MB, turned into a new 32 MB
    colour.fill(QColor(30, 60, 90));
    const QString greyPng = SavedPicture(dir.filePath("grey.png"), grey);
    const QString translucentPng = SavedPicture(dir.filePath("translucent.png"), translucent);
    const QString deepPng = SavedPicture(dir.filePath("deep.png"), deep);
    const QString sideways = SidewaysJpeg(dir.filePath("sideways.jpg"), colour);
    grey = translucent = deep = colour = QImage();
    for (const QString& path : {greyPng, translucentPng, deepPng, sideways}) { // whole, and their readers loaded
        QImage image;
        ASSERT_TRUE(LoadImageOverWhite(path, image).IsDone()) << path.toStdString();
    }
    const auto load = [](const QString& path) {
        return [path] {
            QImage image;
            return LoadImageOverWhite(path, image);
        };
    };
    const QString font = FindGlyphFontFile(); // fontconfig is not started in the child
    const auto draw = [&font](int columns, int rows, double scale) {
        return [=] {
            const QList<QByteArray> text(rows, QByteArray("\x88\x9f").repeated(columns)); // 亜
            QImage image;
            return DrawTextPicture(text, font, scale, image);
        };
    };
    const char* const picture4096 = "12 not enough memory for a 4096 × 4096 picture";
    const std::tuple<const char*, qint64, std::function<Outcome()>, std::string> cases[] = {
        {"no room to decode", 8, load(greyPng), picture4096},
        {"decoded, no room to convert", 40, load(greyPng), picture4096},
        {"room for both", 160, load(greyPng), "done"},
        {"no room to compose", 40, load(translucentPng), picture4096},
        // Flattened a band at a time, it needs little more than the flat picture.
        {"room to flatten in bands", 90, load(deepPng), "done"},
        {"no room for the flat picture", 24, load(deepPng), "12 not enough memory for a 4096 × 2048 picture"},
        {"no room to turn", 48, load(sideways), "12 not enough memory for a 2048 × 4096 picture"},
        {"a quarter-size drawing, never drawn whole", 100, draw(1024, 512, 0.25), "done"},
        {"a drawing too large for memory", 100, draw(1024, 512, 1), "12 not enough memory for a 16384 × 8192 picture"},
        {"a drawing over the limit, refused before allocating", 100, draw(1024, 2049, 1),
         "0 16384 × 32784 pixels need 2,049 MB; the limit is 2,048 MB"},
    };
    for (const auto& [what, headroomMB, work, answer] : cases)
        EXPECT_EQ(UnderMemoryLimit(headroomMB, work), answer) << what;
}
