// bench-preview: times the preview of one picture file, the rendering a click
// on the file list runs, on the window's canvas with the default settings.

#include "export/Render.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Sample {
    double wallMs = -1; ///< negative when the file did not load
    double cpuMs = 0;   ///< the whole process's, so helper threads count too
};

Sample timeOne(ostrovel::Canvas& canvas, const QString& file)
{
    const std::clock_t cpuStart = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const auto outcome = ostrovel::RenderThumbnail(canvas, ostrovel::ThumbnailSettings{}, file);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpu = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
    return {outcome.loaded ? ms : -1.0, cpu};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int at = args.indexOf(QStringLiteral("--repeat"));
    const int repeat = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 10;
    const QString file = args.size() > 1 ? args.last() : QString();
    if (repeat < 1 || file.isEmpty() || file.startsWith(u'-')) {
        std::fputs("Usage: bench-preview [--repeat R] FILE\n"
                   "Prints each rendering's wall and CPU time and the median wall time, in milliseconds\n"
                   "(after one warm-up rendering).\n",
                   stderr);
        return 64;
    }
    // The window's canvas as it opens; the first rendering loads the decoder plugin.
    ostrovel::Canvas canvas(QSize(799, 611), 0xFFFFFF);
    if (timeOne(canvas, file).wallMs < 0) {
        std::fprintf(stderr, "bench-preview: cannot read %s\n", qPrintable(file));
        return 1;
    }
    std::vector<double> samples;
    for (int r = 0; r < repeat; ++r) {
        const Sample s = timeOne(canvas, file);
        samples.push_back(s.wallMs);
        std::printf("sample_ms %.3f cpu_ms %.3f\n", s.wallMs, s.cpuMs);
    }
    std::printf("canvas %dx%d median_ms %.3f\n", canvas.size().width(), canvas.size().height(), median(samples));
    return 0;
}
