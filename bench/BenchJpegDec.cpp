// Times the decoder on 12-megapixel photo-like files: the batch export's hot
// path. Not a test: run by hand, e.g.
//   bench-jpegdec /tmp/jpegdec-bench 15
// It writes its sample files into that folder (for comparing with djpeg) and
// prints the median of the runs for each case.

#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegExtent.h"
#include "picture/Limits.h"
#include "common/ReadableFile.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/TestPictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace ostrovel;

namespace {

// Sensor-like noise on top of the smooth picture, so the file is as large as
// a camera's at the same quality (a few MB).
QImage cameraLike(int width, int height)
{
    QImage image = test::photoLike(width, height);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int n = int(state >> 27) - 16;
            const auto add = [n](int c) { return std::clamp(c + n, 0, 255); };
            line[x] = qRgb(add(qRed(line[x])), add(qGreen(line[x])), add(qBlue(line[x])));
        }
    }
    return image;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Timing {
    double wallMs = -1; // median wall-clock time
    double cpuMs = -1;  // median CPU time of the thread: steadier on a busy machine
};

template <typename Decode>
Timing median(int runs, Decode decode)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMs();
        if (!decode())
            return {};
        cpu.push_back(threadCpuMs() - cpuStart);
        wall.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath() + "/jpegdec-bench";
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 11;
    QDir().mkpath(folder);
    const QImage photo = cameraLike(4000, 3000);
    const QString baseline = folder + "/baseline_420_q90.jpg", progressive = folder + "/progressive_420_q90.jpg",
                  progressive444 = folder + "/progressive_444_q90.jpg";
    write(baseline, test::jpeg(photo, 90));
    write(progressive, test::libjpegJpeg(photo, {.quality = 90, .progressive = true}));
    write(progressive444, test::libjpegJpeg(photo, {.quality = 90, .lumaH = 1, .lumaV = 1, .progressive = true}));
    for (const QString& path : {baseline, progressive, progressive444}) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        std::printf("%s (%lld bytes)\n", qPrintable(path), qlonglong(bytes.size()));
        for (int d : {8, 4, 1}) {
            const auto chooser = [d](QSize) { return d; };
            const Timing fromFile = median(runs, [&] {
                QString reason;
                const FileHandle handle = OpenPictureFile(path, reason); // as the loader reads it
                const QByteArray read = jpegdec::ReadJpegExtent(handle.fd(), kMaxJpegFileBytes, reason);
                return bool(DecodeJpeg(read, {.chooseDenominator = chooser}));
            });
            const Timing fromMemory = median(runs, [&] { return bool(DecodeJpeg(bytes, {.chooseDenominator = chooser})); });
            const Timing allScans = median(runs, [&] {
                return bool(DecodeJpeg(bytes, {.chooseDenominator = chooser, .skipUnusedScans = false}));
            });
            std::printf("  1/%d  wall/cpu ms: file %.1f/%.1f, memory %.1f/%.1f, memory reading every scan %.1f/%.1f\n", d,
                        fromFile.wallMs, fromFile.cpuMs, fromMemory.wallMs, fromMemory.cpuMs, allScans.wallMs,
                        allScans.cpuMs);
        }
    }
    return 0;
}
