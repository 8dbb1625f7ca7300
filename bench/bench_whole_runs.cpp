// SPDX-License-Identifier: MIT
// Whole runs of pictoria-convert, each against decoding its picture alone:
//   bench_whole_runs [--repeat N] [--keep DIR] [--only NAME] [--convert PATH]
// Every case is a separate process, timed from start to exit, its peak
// resident memory taken from wait4. For scale, a Qt program reading the
// same picture whole is measured as well, where Qt can hold it. The pictures (the 4000 x 3000 photo,
// scaled by 3 and tiled up to 30000 x 30000) and a glyph database are made
// once and kept in DIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

// Needs size_t and FILE declared first.
#include <jpeglib.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The photographs shared beside the repository (../shared/images).
const char* const kPhoto = PICTORIA_BENCH_PHOTO;
constexpr int kScale = 3;
constexpr int kQuality = 90;
constexpr double kMebibyte = 1024.0 * 1024.0;

const char* const kUsage =
    "usage: bench_whole_runs [--repeat N] [--keep DIR] [--only NAME] [--convert PATH]\n"
    "  --repeat N      measured runs of every case (default 5)\n"
    "  --keep DIR      where the pictures and the glyph database are kept (default /tmp/pictoria-bench)\n"
    "  --only NAME     one picture: 4000x3000, 12000x9000 or 30000x30000\n"
    "  --convert PATH  the converter (default: pictoria-convert beside this program, or one directory up)\n";

[[noreturn]] void Fail(const std::string& why)
{
    std::fprintf(stderr, "bench_whole_runs: %s\n", why.c_str());
    std::exit(1);
}

struct Options {
    int repeat = 5;
    fs::path work = "/tmp/pictoria-bench";
    std::string only;
    fs::path convert;
};

Options ParseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 == argc)
            Fail(option + " needs a value, or is unknown\n" + kUsage);
        const std::string value = argv[++i];
        if (option == "--repeat")
            o.repeat = std::atoi(value.c_str());
        else if (option == "--keep")
            o.work = value;
        else if (option == "--only")
            o.only = value;
        else if (option == "--convert")
            o.convert = fs::absolute(value);
        else
            Fail("unknown option " + option + "\n" + kUsage);
    }
    if (o.repeat < 1)
        Fail("--repeat must be a whole number from 1 up");
    o.work = fs::absolute(o.work);
    return o;
}

// The program name in dir or its parent: the build tree puts every program at
// its root, an installation or a copy may keep the benchmarks one level down.
fs::path FindProgram(const char* name)
{
    const fs::path dir = fs::read_symlink("/proc/self/exe").parent_path();
    for (const fs::path& candidate : {dir / name, dir.parent_path() / name})
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    Fail(std::string("cannot find ") + name + " in " + dir.string() + " or its parent");
}

// ---- Making the pictures -------------------------------------------------

struct Photo {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// libjpeg's own error handler reports and exits, ending the child process
// that makes the pictures.
Photo ReadPhoto(const fs::path& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        Fail("cannot open " + path.string() + ": " + std::strerror(errno));
    jpeg_decompress_struct decoder{};
    jpeg_error_mgr errors{};
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    decoder.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decoder);
    Photo photo{int(decoder.output_width), int(decoder.output_height), {}};
    photo.rgb.resize(size_t(photo.width) * size_t(photo.height) * 3);
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = photo.rgb.data() + size_t(decoder.output_scanline) * size_t(photo.width) * 3;
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    std::fclose(file);
    return photo;
}

// An output pixel's two source pixels along one axis, and the second's weight in 256ths.
struct Tap {
    int first;
    int second;
    int weight;
};

// The taps of length output pixels: the source of source pixels enlarged
// kScale times (bilinear, pixel centres aligned), mirrored at its ends to go
// on past them, so that a tiled picture has no seams.
std::vector<Tap> Taps(int source, int length)
{
    const int scaled = source * kScale;
    std::vector<Tap> taps(size_t(length), Tap{});
    for (int i = 0; i < length; ++i) {
        int at = i % (2 * scaled);
        if (at >= scaled)
            at = 2 * scaled - 1 - at;
        const double u = std::clamp((at + 0.5) / kScale - 0.5, 0.0, double(source - 1));
        const int first = int(u);
        taps[size_t(i)] = {first, std::min(first + 1, source - 1), int(std::lround((u - first) * 256))};
    }
    return taps;
}

void ScaledRow(const Photo& photo, const Tap& y, const std::vector<Tap>& xs, std::vector<uint8_t>& row)
{
    const uint8_t* top = photo.rgb.data() + size_t(y.first) * size_t(photo.width) * 3;
    const uint8_t* bottom = photo.rgb.data() + size_t(y.second) * size_t(photo.width) * 3;
    for (size_t i = 0; i < xs.size(); ++i) {
        const size_t a = size_t(xs[i].first) * 3, b = size_t(xs[i].second) * 3;
        const int wx = xs[i].weight;
        for (size_t c = 0; c < 3; ++c) {
            const int upper = top[a + c] * (256 - wx) + top[b + c] * wx;
            const int lower = bottom[a + c] * (256 - wx) + bottom[b + c] * wx;
            row[i * 3 + c] = uint8_t((upper * (256 - y.weight) + lower * y.weight + 32768) >> 16);
        }
    }
}

// Baseline JPEG, 4:2:0 (libjpeg's defaults), written a row at a time so that
// only the photo and one row are ever held.
void WriteScaled(const Photo& photo, int width, int height, const fs::path& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        Fail("cannot create " + path.string() + ": " + std::strerror(errno));
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, file);
    encoder.image_width = JDIMENSION(width);
    encoder.image_height = JDIMENSION(height);
    encoder.input_components = 3;
    encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, kQuality, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    const std::vector<Tap> xs = Taps(photo.width, width);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (const Tap& y : Taps(photo.height, height)) {
        ScaledRow(photo, y, xs, row);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    if (std::fclose(file) != 0)
        Fail("cannot write " + path.string() + ": " + std::strerror(errno));
}

struct Picture {
    std::string name;
    int width;
    int height;
    fs::path path;
};

// Made in a child process, which libjpeg's error handler may end and which
// takes the photo's memory with it. A picture appears under its name only
// when whole.
void MakePicture(const Picture& picture)
{
    if (fs::exists(picture.path))
        return;
    std::printf("making %s (kept for later runs)\n", picture.path.c_str());
    std::fflush(stdout);
    const fs::path part = picture.path.string() + ".part";
    const pid_t pid = ::fork();
    if (pid < 0)
        Fail(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        WriteScaled(ReadPhoto(kPhoto), picture.width, picture.height, part);
        std::_Exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            Fail(std::string("waitpid: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail("cannot make " + picture.path.string());
    fs::rename(part, picture.path);
}

// ---- Running the programs ------------------------------------------------

struct Sample {
    double seconds = 0;
    double mebibytes = 0;
    int status = 0;           // as wait4 gives it
    std::uintmax_t bytes = 0; // of the output, when there is one
};

// One whole process: its standard output discarded, its standard error kept
// in errors for the report.
Sample Run(const std::vector<std::string>& args, const fs::path& errors)
{
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        Fail("cannot start " + args[0] + ": " + std::strerror(spawned));
    Sample sample;
    rusage usage{};
    while (::wait4(pid, &sample.status, 0, &usage) < 0)
        if (errno != EINTR)
            Fail(std::string("wait4: ") + std::strerror(errno));
    sample.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sample.mebibytes = double(usage.ru_maxrss) * 1024.0 / kMebibyte; // Linux gives KiB
    return sample;
}

bool Succeeded(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FirstLine(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The database the converter makes at its first use, made here so that no
// measured run includes making it.
void MakeDatabase(const fs::path& convert, const fs::path& database, const fs::path& work)
{
    if (fs::exists(database))
        return;
    std::printf("making %s (kept for later runs)\n", database.c_str());
    std::fflush(stdout);
    const fs::path output = work / "database-probe.txt", errors = work / "database-probe.err";
    const Sample made = Run({convert, "-q", "--cell", "32", "--database", database, kPhoto, "-o", output}, errors);
    fs::remove(output);
    if (!Succeeded(made.status) || !fs::exists(database))
        Fail("cannot make the glyph database " + database.string() + ": " + FirstLine(errors));
}

// ---- The cases -------------------------------------------------------------

struct Target {
    double ratio;     // most times the floor's median; 0: none
    double mebibytes; // most peak memory; 0: none
};

struct Plan {
    const char* name;
    int width;
    int height;
    int cell;
    Target target;
};

constexpr Plan kPlans[] = {
    {"4000x3000", 4000, 3000, 4, {1.3, 0}},
    {"12000x9000", 12000, 9000, 4, {1.5, 150}},
    {"30000x30000", 30000, 30000, 8, {0, 300}},
};

struct Case {
    std::string label;
    std::vector<std::string> argv;
    fs::path output; // removed before and after every run; empty for the floor
    fs::path errors;
    std::uintmax_t expectedBytes = 0;
    long long cells = 0;
    Target target{0, 0};
    size_t floor = 0; // the case of the same picture's floor
    std::vector<Sample> samples;
};

Picture PictureOf(const Plan& plan, const fs::path& work)
{
    const bool photo = plan.width == 4000 && plan.height == 3000;
    return {plan.name, plan.width, plan.height, photo ? fs::path(kPhoto) : work / (std::string(plan.name) + ".jpg")};
}

// The floor's case and the converter's for plan's picture.
void AddCases(const Plan& plan, const Picture& picture, const Options& o, std::vector<Case>& cases)
{
    Case floor;
    floor.label = "decode " + picture.name;
    floor.argv = {FindProgram("decode_floor"), picture.path};
    floor.errors = o.work / ("floor-" + picture.name + ".err");
    floor.floor = cases.size();
    cases.push_back(floor);

    // Qt holds no picture of 2 GiB or more.
    if (int64_t(plan.width) * plan.height * 4 < (int64_t(1) << 31)) {
        Case reading;
        reading.label = "read with Qt " + picture.name;
        reading.argv = {FindProgram("read_with_qt"), picture.path};
        reading.errors = o.work / ("qt-" + picture.name + ".err");
        reading.floor = floor.floor;
        cases.push_back(reading);
    }

    const std::string cell = std::to_string(plan.cell);
    Case convert;
    convert.label = "convert " + picture.name + " --cell " + cell;
    convert.output = o.work / ("out-" + picture.name + ".txt");
    convert.argv = {o.convert,    "-q", "--cell",      cell, "--database", o.work / "glyphs.cdb",
                    picture.path, "-o", convert.output};
    convert.errors = o.work / ("convert-" + picture.name + ".err");
    const long long columns = plan.width / plan.cell, rows = plan.height / plan.cell;
    convert.cells = columns * rows;
    // Two bytes a full-width character, CR LF a line.
    convert.expectedBytes = std::uintmax_t(rows * (columns * 2 + 2));
    convert.target = plan.target;
    convert.floor = floor.floor;
    cases.push_back(convert);
}

Sample RunCase(const Case& c)
{
    if (!c.output.empty())
        fs::remove(c.output);
    Sample sample = Run(c.argv, c.errors);
    if (!c.output.empty()) {
        std::error_code missing;
        sample.bytes = fs::file_size(c.output, missing);
        if (missing)
            sample.bytes = 0;
        fs::remove(c.output);
    }
    return sample;
}

// One unmeasured round first: the pictures, programs and database are then in
// the page cache for every measured run. The rounds alternate the cases, so
// that anything drifting on the machine falls on all of them alike.
void Measure(std::vector<Case>& cases, int repeat)
{
    std::fprintf(stderr, "warming up");
    for (const Case& c : cases)
        RunCase(c);
    for (int round = 1; round <= repeat; ++round) {
        std::fprintf(stderr, ", round %d/%d", round, repeat);
        for (Case& c : cases)
            c.samples.push_back(RunCase(c));
    }
    std::fprintf(stderr, "\n");
}

// ---- The report ------------------------------------------------------------

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Summary {
    double median = 0, least = 0, most = 0, mebibytes = 0;
    std::string failure; // why the runs do not count; empty when they do
};

std::string Failure(const Case& c)
{
    for (const Sample& s : c.samples) {
        if (WIFSIGNALED(s.status))
            return "killed (signal " + std::to_string(WTERMSIG(s.status)) + ")";
        if (!Succeeded(s.status))
            return "refused (exit " + std::to_string(WEXITSTATUS(s.status)) + ")";
        if (!c.output.empty() && s.bytes != c.expectedBytes)
            return "wrong output (" + std::to_string(s.bytes) + " bytes)";
    }
    return {};
}

Summary Summarise(const Case& c)
{
    Summary s;
    std::vector<double> seconds, mebibytes;
    for (const Sample& sample : c.samples) {
        seconds.push_back(sample.seconds);
        mebibytes.push_back(sample.mebibytes);
    }
    s.median = Median(seconds);
    s.least = *std::min_element(seconds.begin(), seconds.end());
    s.most = *std::max_element(seconds.begin(), seconds.end());
    s.mebibytes = Median(mebibytes);
    s.failure = Failure(c);
    return s;
}

std::string Grouped(long long n)
{
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(size_t(at), ",");
    return digits;
}

std::string TargetText(const Target& t)
{
    char text[64] = "-";
    if (t.ratio > 0 && t.mebibytes > 0)
        std::snprintf(text, sizeof text, "<= %.1fx, <= %.0f MiB", t.ratio, t.mebibytes);
    else if (t.ratio > 0)
        std::snprintf(text, sizeof text, "<= %.1fx", t.ratio);
    else if (t.mebibytes > 0)
        std::snprintf(text, sizeof text, "<= %.0f MiB", t.mebibytes);
    return text;
}

bool Met(const Target& t, const Summary& s, double ratio)
{
    return s.failure.empty() && (t.ratio == 0 || ratio <= t.ratio) && (t.mebibytes == 0 || s.mebibytes <= t.mebibytes);
}

// The line without the padding of empty columns at its end.
void PrintLine(const char* line)
{
    std::string text = line;
    text.erase(text.find_last_not_of(' ') + 1);
    std::puts(text.c_str());
}

void PrintRow(const Case& c, const Summary& s, const Summary& floor)
{
    const std::string cells = c.cells ? Grouped(c.cells) : "-";
    const bool hasTarget = c.target.ratio > 0 || c.target.mebibytes > 0;
    const std::string verdict = !hasTarget ? "" : Met(c.target, s, s.median / floor.median) ? "met" : "missed";
    char line[512];
    if (!s.failure.empty())
        std::snprintf(line, sizeof line, "%-30s %11s  %-45s  %-22s %s", c.label.c_str(), cells.c_str(),
                      s.failure.c_str(), TargetText(c.target).c_str(), verdict.c_str());
    else
        std::snprintf(line, sizeof line, "%-30s %11s %8.3f %8.3f %8.3f %9.1f %9.2f  %-22s %s", c.label.c_str(),
                      cells.c_str(), s.median, s.least, s.most, s.mebibytes, s.median / floor.median,
                      TargetText(c.target).c_str(), verdict.c_str());
    PrintLine(line);
}

void PrintTable(const std::vector<Case>& cases, int repeat)
{
    std::printf("\nmedians of %d runs a case, each a whole process; x floor: the median over the median of decoding "
                "the same picture alone\n",
                repeat);
    char header[256];
    std::snprintf(header, sizeof header, "%-30s %11s %8s %8s %8s %9s %9s  %-22s", "case", "cells", "median s", "min s",
                  "max s", "peak MiB", "x floor", "target");
    PrintLine(header);
    std::vector<std::string> notes;
    for (const Case& c : cases) {
        const Summary s = Summarise(c);
        PrintRow(c, s, Summarise(cases[c.floor]));
        if (!s.failure.empty())
            notes.push_back(c.label + ": " + FirstLine(c.errors));
    }
    for (const std::string& note : notes)
        std::printf("  %s\n", note.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const Clock::time_point start = Clock::now();
    Options o = ParseOptions(argc, argv);
    if (o.convert.empty())
        o.convert = FindProgram("pictoria-convert");
    if (!fs::exists(kPhoto))
        Fail(std::string("the photo ") + kPhoto + " is missing; every picture the bench uses is made from it");
    fs::create_directories(o.work);

    std::vector<Case> cases;
    for (const Plan& plan : kPlans) {
        if (!o.only.empty() && o.only != plan.name)
            continue;
        const Picture picture = PictureOf(plan, o.work);
        MakePicture(picture);
        AddCases(plan, picture, o, cases);
    }
    if (cases.empty())
        Fail("--only must be 4000x3000, 12000x9000 or 30000x30000, not \"" + o.only + "\"");
    MakeDatabase(o.convert, o.work / "glyphs.cdb", o.work);
    const double preparing = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf("converter %s, pictures and database in %s, %u cores\n", o.convert.c_str(), o.work.c_str(),
                std::thread::hardware_concurrency());
    Measure(cases, o.repeat);
    PrintTable(cases, o.repeat);
    std::printf("bench: %.1f s in all, %.1f s of it making pictures and the database\n",
                std::chrono::duration<double>(Clock::now() - start).count(), preparing);
    return 0;
}
