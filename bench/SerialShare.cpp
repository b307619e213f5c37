// How much of the export is serial: the CPU time of the calling thread (the
// in-order writer: it lands every file) against the whole process's CPU time,
// with the wall time and throughput for a given number of worker threads.
// Usage: bench-serial-share --threads N [--reps R] FOLDER TARGET
// Prints one tab-separated line: threads files wall_s files_per_s calling_cpu_s process_cpu_s serial_share
// (the medians of R runs; each run writes into a fresh TARGET).

#include "export/Export.h"
#include "export/PictureFiles.h"

#include <QDir>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace ostrovel;

namespace {

double seconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Sample {
    double wall, calling, process;
};

Sample runOnce(const QString& folder, const QString& target, int threads)
{
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    ExportRequest request;
    for (const QString& name : MatchingPictureFiles(folder))
        request.sources << ExportSource{QDir(folder).filePath(name), name};
    request.targetFolder = QDir(target).absolutePath();
    request.threads = threads;
    Canvas canvas(kInitialCanvasSize, InitialCanvasColour());
    const double wall0 = seconds(CLOCK_MONOTONIC), calling0 = seconds(CLOCK_THREAD_CPUTIME_ID),
                 process0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
    RunExport(request, canvas);
    return {seconds(CLOCK_MONOTONIC) - wall0, seconds(CLOCK_THREAD_CPUTIME_ID) - calling0,
            seconds(CLOCK_PROCESS_CPUTIME_ID) - process0};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int threads = 1, reps = 3;
    while (args.size() > 2) {
        const QString option = args.takeFirst(), value = args.takeFirst();
        (option == "--threads" ? threads : reps) = value.toInt();
    }
    if (args.size() != 2 || threads < 1 || reps < 1) {
        std::fputs("Usage: bench-serial-share --threads N [--reps R] FOLDER TARGET\n", stderr);
        return 64;
    }
    std::vector<double> wall, calling, process;
    for (int i = 0; i < reps; ++i) {
        const Sample s = runOnce(args[0], args[1], threads);
        wall.push_back(s.wall);
        calling.push_back(s.calling);
        process.push_back(s.process);
    }
    const auto files = MatchingPictureFiles(args[0]).size();
    const double w = median(wall), c = median(calling), p = median(process);
    std::printf("%d\t%lld\t%.3f\t%.2f\t%.3f\t%.3f\t%.4f\n", threads, static_cast<long long>(files), w, double(files) / w, c,
                p, c / p);
    return 0;
}
