// bench-psnr: compares written thumbnails with references made the slow way,
// from a full-resolution decode area-averaged to the same fitted rectangle on
// the same padded canvas.

#include "picture/Canvas.h"
#include "tests/support/ImageCompare.h"
#include "export/Export.h"
#include "export/Paths.h"
#include "picture/Picture.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>
#include <vector>

namespace {

constexpr double kTargetDb = 40.0;

/// A canvas that remembers where the fitting drew the picture.
class RecordingCanvas : public ostrovel::Canvas {
public:
    using Canvas::Canvas;
    bool PaintPicture(const ostrovel::StretchablePicture& pic, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height) override
    {
        drawn = QRect(x, y, width, height);
        return Canvas::PaintPicture(pic, x, y, width, height);
    }
    QRect drawn;
};

struct Result {
    double canvasDb = 0;  // over the whole thumbnail
    double pictureDb = 0; // over the fitted picture only, padding left out
    bool ok = false;
};

QImage readFull(const QString& file)
{
    QImageReader reader(file);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(2048);
    QImage image = reader.read();
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        image.convertToColorSpace(QColorSpace::SRgb);
        image.setColorSpace(QColorSpace());
    }
    return image;
}

Result compare(const QString& source, const QString& thumbnail, QSize size, ostrovel::Colour background)
{
    const QImage full = readFull(source);
    const QImage ours = QImage(thumbnail).convertToFormat(QImage::Format_RGB32);
    if (full.isNull() || ours.size() != size)
        return {};
    ostrovel::RasterPicture picture(full.size(), full);
    RecordingCanvas canvas(size, background);
    if (!ostrovel::StretchPicture(canvas, &picture, true, true, background))
        return {};
    const QImage reference = canvas.Image().convertToFormat(QImage::Format_RGB32);
    const QRect area = canvas.drawn.intersected(QRect(QPoint(0, 0), size));
    if (area.isEmpty())
        return {};
    return {ostrovel::test::psnr(ours, reference, reference.rect()), ostrovel::test::psnr(ours, reference, area), true};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Options {
    QString thumbnails;
    QSize size{158, 158};
    int threads = 2;
    QStringList sources;
};

bool parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--thumbs") && i + 1 < args.size())
            o.thumbnails = args[++i];
        else if (args[i] == QLatin1String("--threads") && i + 1 < args.size())
            o.threads = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(u'x');
            o.size = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
        } else if (args[i].startsWith(QLatin1String("--")))
            return false;
        else
            o.sources << args[i];
    }
    return !o.thumbnails.isEmpty() && !o.size.isEmpty() && !o.sources.isEmpty();
}

std::vector<Result> compareAll(const Options& o)
{
    std::vector<Result> results(std::size_t(o.sources.size()));
    std::atomic<qsizetype> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < o.threads; ++t)
        workers.emplace_back([&] {
            for (qsizetype i = next++; i < o.sources.size(); i = next++) {
                const QString name = QFileInfo(o.sources[i]).fileName();
                results[std::size_t(i)] =
                    compare(o.sources[i], ostrovel::ThumbnailPath(o.thumbnails, name), o.size, 0xFFFFFF);
            }
        });
    for (auto& w : workers)
        w.join();
    return results;
}

// Prints the files that miss the target and the summary; returns how many missed.
int report(const Options& o, const std::vector<Result>& results)
{
    std::vector<double> canvasDb, pictureDb;
    int missed = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const Result& r = results[i];
        if (r.ok) {
            canvasDb.push_back(r.canvasDb);
            pictureDb.push_back(r.pictureDb);
        }
        if (!r.ok || r.pictureDb < kTargetDb || r.canvasDb < kTargetDb) {
            ++missed;
            std::printf("below %.0f dB or unreadable: %s (%.2f / %.2f dB)\n", kTargetDb,
                        qPrintable(o.sources[qsizetype(i)]), r.canvasDb, r.pictureDb);
        }
    }
    if (canvasDb.empty())
        return missed;
    std::printf("files %zu canvas_min_db %.2f canvas_median_db %.2f picture_min_db %.2f picture_median_db %.2f "
                "below_target %d\n",
                results.size(), *std::min_element(canvasDb.begin(), canvasDb.end()), median(canvasDb),
                *std::min_element(pictureDb.begin(), pictureDb.end()), median(pictureDb), missed);
    return missed;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Options o;
    if (!parse(QCoreApplication::arguments(), o)) {
        std::fputs("Usage: bench-psnr --thumbs DIR [--size 158x158] [--threads 2] SOURCE...\n"
                   "Compares DIR/thumb_<name>.jpg with a reference from a full decode of each SOURCE.\n",
                   stderr);
        return 64;
    }
    return report(o, compareAll(o)) == 0 ? 0 : 1;
}
