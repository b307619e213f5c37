// bench-decode-floor: the least work any JPEG thumbnailer has to do, decoding
// each file at a reduced DCT scale with libjpeg and nothing else, on N threads.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jpeglib.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int threads = 1;
    int denominator = 8; ///< 0: chosen per file for the fit box, as the export chooses
    int fitWidth = 0;
    int fitHeight = 0;
    int repeat = 1;
    std::vector<std::string> files;
};

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// The deepest DCT scale that leaves a factor of 2 for the final reduction
// into the box, the rule of the export's decode.
int denominatorFor(unsigned width, unsigned height, int boxWidth, int boxHeight)
{
    const double scale = std::min(double(boxWidth) / width, double(boxHeight) / height);
    const double drawnWidth = std::max(1.0, std::round(width * scale));
    const double drawnHeight = std::max(1.0, std::round(height * scale));
    for (int d : {8, 4, 2})
        if (double(width) / d >= 2 * drawnWidth && double(height) / d >= 2 * drawnHeight)
            return d;
    return 1;
}

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void quiet(j_common_ptr) {}

// Decodes one open file into `pixels`; false on a libjpeg error. Only plain
// C objects live between setjmp and longjmp.
bool decodeStream(std::FILE* f, const Options& o, std::vector<JSAMPLE>& pixels)
{
    jpeg_decompress_struct info{};
    ErrorManager err{};
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.output_message = quiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = unsigned(o.denominator > 0 ? o.denominator
                                                  : denominatorFor(info.image_width, info.image_height,
                                                                   o.fitWidth, o.fitHeight));
    info.out_color_space = JCS_EXT_BGRX; // the layout a 32-bit QImage wants
    jpeg_start_decompress(&info);
    const std::size_t stride = std::size_t(info.output_width) * 4;
    if (pixels.size() < stride * info.output_height)
        pixels.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool decodeFile(const std::string& path, const Options& o, std::vector<JSAMPLE>& pixels)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const bool ok = decodeStream(f, o, pixels);
    std::fclose(f);
    return ok;
}

struct PassTime {
    double wallMs;
    double cpuMs; // all threads
};

// One pass over all files.
PassTime runPass(const Options& o, std::atomic<int>& failures)
{
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < o.threads; ++t)
        workers.emplace_back([&] {
            std::vector<JSAMPLE> pixels;
            for (std::size_t i = next++; i < o.files.size(); i = next++)
                if (!decodeFile(o.files[i], o, pixels))
                    ++failures;
        });
    for (auto& w : workers)
        w.join();
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {wall, double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC};
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc)
            o.threads = std::atoi(argv[++i]);
        else if (a == "--denominator" && i + 1 < argc)
            o.denominator = std::atoi(argv[++i]);
        else if (a == "--fit" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &o.fitWidth, &o.fitHeight) != 2)
                return false;
            o.denominator = 0;
        } else if (a == "--repeat" && i + 1 < argc)
            o.repeat = std::atoi(argv[++i]);
        else if (a.rfind("--", 0) == 0)
            return false;
        else
            o.files.push_back(a);
    }
    const bool denominatorOk = o.denominator == 1 || o.denominator == 2 || o.denominator == 4 || o.denominator == 8
                               || (o.denominator == 0 && o.fitWidth > 0 && o.fitHeight > 0);
    return o.threads >= 1 && o.repeat >= 1 && denominatorOk && !o.files.empty();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs("Usage: bench-decode-floor [--threads N] [--denominator 8 | --fit 158x158] [--repeat R] FILE...\n"
                   "Prints each pass's wall and CPU time and the median wall time, in milliseconds.\n",
                   stderr);
        return 64;
    }
    std::atomic<int> failures{0};
    std::vector<double> passes;
    for (int r = 0; r < o.repeat; ++r) {
        const PassTime t = runPass(o, failures);
        passes.push_back(t.wallMs);
        std::printf("pass_ms %.3f cpu_ms %.3f\n", t.wallMs, t.cpuMs);
    }
    std::printf("files %zu threads %d median_ms %.3f\n", o.files.size(), o.threads, median(passes));
    if (failures > 0)
        std::fprintf(stderr, "bench-decode-floor: %d decodes failed\n", failures.load());
    return failures > 0 ? 1 : 0;
}
