// bench-gen-photos: writes photo-like test JPEGs (smooth gradients, texture,
// sensor noise and hard edges), byte for byte the same for the same seed.

#include "tests/support/PhotoScene.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <jpeglib.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    std::string out;
    std::string prefix = "p";
    int count = 1;
    int width = 4000;
    int height = 3000;
    int quality = 90;
    int sampling = 420;
    bool progressive = false;
    bool portraits = false;
    std::uint64_t seed = 1;
    int threads = 1;
};

/// One file's layout: stored size and the EXIF orientation it carries (1: none).
struct FileKind {
    int width;
    int height;
    int orientation;
};

// Every tenth file from the 4th is turned by its EXIF tag, every tenth from
// the 8th is stored upright as a portrait: both kinds occur in camera folders.
FileKind kindOf(const Options& o, int index)
{
    if (o.portraits && index % 10 == 3)
        return {o.width, o.height, 6};
    if (o.portraits && index % 10 == 7)
        return {o.height, o.width, 1};
    return {o.width, o.height, 1};
}

// A minimal big-endian EXIF block holding only the orientation tag.
std::vector<JOCTET> exifOrientation(int orientation)
{
    std::vector<JOCTET> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                             0x01, 0x12, 0, 3, 0, 0, 0, 1};
    const std::vector<JOCTET> tail = {0, JOCTET(orientation), 0, 0, 0, 0, 0, 0};
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

void setSampling(jpeg_compress_struct& c, int sampling)
{
    c.comp_info[0].h_samp_factor = sampling == 444 ? 1 : 2;
    c.comp_info[0].v_samp_factor = sampling == 420 ? 2 : 1;
    for (int i = 1; i < 3; ++i)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
}

// libjpeg exits the process on an error here; fine for a generator.
bool writeJpeg(const Options& o, const FileKind& kind, std::uint64_t seed, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(kind.width);
    c.image_height = JDIMENSION(kind.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    setSampling(c, o.sampling);
    if (o.progressive)
        jpeg_simple_progression(&c);
    c.write_JFIF_header = kind.orientation == 1; // cameras write EXIF instead
    jpeg_start_compress(&c, TRUE);
    if (kind.orientation != 1) {
        const auto exif = exifOrientation(kind.orientation);
        jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    }
    const bench::PhotoScene scene(kind.width, kind.height, seed);
    std::vector<JSAMPLE> row(std::size_t(kind.width) * 3);
    for (int y = 0; y < kind.height; ++y) {
        scene.renderRow(y, row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

std::string fileName(const Options& o, int index)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s%04d.jpg", o.prefix.c_str(), index);
    return (std::filesystem::path(o.out) / name).string();
}

// Writes through a temporary name so an interrupted run leaves no half file.
bool makeFile(const Options& o, int index)
{
    const std::string path = fileName(o, index);
    if (std::filesystem::exists(path))
        return true; // same seed, same bytes: keep it
    const std::string temp = path + ".part";
    const std::uint64_t seed = o.seed * 1000003u + std::uint64_t(index);
    if (!writeJpeg(o, kindOf(o, index), seed, temp))
        return false;
    std::filesystem::rename(temp, path);
    return true;
}

bool parseSize(const char* text, int& w, int& h)
{
    return std::sscanf(text, "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--progressive")
            o.progressive = true;
        else if (a == "--portraits")
            o.portraits = true;
        else if (!hasValue)
            return false;
        else if (a == "--out")
            o.out = argv[++i];
        else if (a == "--prefix")
            o.prefix = argv[++i];
        else if (a == "--count")
            o.count = std::atoi(argv[++i]);
        else if (a == "--size") {
            if (!parseSize(argv[++i], o.width, o.height))
                return false;
        } else if (a == "--quality")
            o.quality = std::atoi(argv[++i]);
        else if (a == "--sampling")
            o.sampling = std::atoi(argv[++i]);
        else if (a == "--seed")
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--threads")
            o.threads = std::max(1, std::atoi(argv[++i]));
        else
            return false;
    }
    return !o.out.empty() && o.count >= 0 && (o.sampling == 420 || o.sampling == 422 || o.sampling == 444);
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs("Usage: bench-gen-photos --out DIR [--prefix p] [--count N] [--size 4000x3000]\n"
                   "  [--quality 90] [--sampling 420|422|444] [--progressive] [--portraits]\n"
                   "  [--seed S] [--threads T]\n",
                   stderr);
        return 64;
    }
    std::filesystem::create_directories(o.out);
    std::atomic<int> next{0};
    std::atomic<bool> ok{true};
    std::vector<std::thread> workers;
    for (int t = 0; t < o.threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < o.count; i = next++)
                if (!makeFile(o, i))
                    ok = false;
        });
    for (auto& w : workers)
        w.join();
    return ok ? 0 : 1;
}
