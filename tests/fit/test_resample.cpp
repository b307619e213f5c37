// The resampling kernel on raw pixels: detail kept below the target's
// Nyquist frequency, little aliasing above it, flat edges for any size, and
// partial edge pixels of a reduced decode left out.

#include "fit/Resample.h"
#include "fit/ResampleKernel.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace ostrovel;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A picture in memory, 4 bytes a pixel, as QImage's RGB32.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    Raster(int w, int h) : width(w), height(h), bytes(std::size_t(w) * h * 4, 0) {}
    std::uint8_t* at(int x, int y) { return bytes.data() + (std::size_t(y) * width + x) * 4; }
    SourcePixels source() const { return {bytes.data(), width, height, std::ptrdiff_t(width) * 4}; }
    TargetPixels target() { return {bytes.data(), width, height, std::ptrdiff_t(width) * 4}; }
    void set(int x, int y, int b, int g, int r, int a = 255)
    {
        std::uint8_t* p = at(x, y);
        p[0] = std::uint8_t(b), p[1] = std::uint8_t(g), p[2] = std::uint8_t(r), p[3] = std::uint8_t(a);
    }
};

double toLinear(int v)
{
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

int toSrgb(double v)
{
    const double s = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return int(std::lround(std::clamp(s, 0.0, 1.0) * 255));
}

// Grey stripes across x whose light is 0.4 + 0.3 sin(2 pi f x), f in cycles per source pixel.
Raster grating(int w, int h, double cyclesPerPixel)
{
    Raster r(w, h);
    for (int x = 0; x < w; ++x) {
        const int v = toSrgb(0.4 + 0.3 * std::sin(2 * kPi * cyclesPerPixel * (x + 0.5)));
        for (int y = 0; y < h; ++y)
            r.set(x, y, v, v, v);
    }
    return r;
}

// The amplitude of light at `cyclesPerPixel` along the middle row, by projection.
double amplitude(Raster& r, double cyclesPerPixel)
{
    double s = 0, c = 0, mean = 0;
    const int y = r.height / 2;
    for (int x = 0; x < r.width; ++x)
        mean += toLinear(r.at(x, y)[1]);
    mean /= r.width;
    for (int x = 0; x < r.width; ++x) {
        const double v = toLinear(r.at(x, y)[1]) - mean;
        s += v * std::sin(2 * kPi * cyclesPerPixel * (x + 0.5));
        c += v * std::cos(2 * kPi * cyclesPerPixel * (x + 0.5));
    }
    return 2 * std::hypot(s, c) / r.width;
}

Raster resampled(const Raster& from, int w, int h, SourceArea area)
{
    Raster to(w, h);
    if (!Resample(from.source(), area, to.target(), true))
        qFatal("Resample refused the sizes");
    return to;
}

SourceArea whole(const Raster& r)
{
    return {0, 0, double(r.width), double(r.height)};
}

// Graphics with hard edges, as logos, icons and scanned text are.
Raster graphic(const QString& kind, int w, int h)
{
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (kind == "four squares") {
                const bool right = 2 * x >= w, bottom = 2 * y >= h;
                const int c[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}}; // b, g, r
                const int* p = c[int(right) + 2 * int(bottom)];
                r.set(x, y, p[0], p[1], p[2]);
            } else if (kind == "red corner") { // a red quarter on grey
                const bool red = 2 * x < w && 2 * y < h;
                r.set(x, y, red ? 30 : 128, red ? 30 : 128, red ? 220 : 128);
            } else if (kind == "red/grey edge") {
                const bool red = 5 * x < 2 * w;
                r.set(x, y, red ? 30 : 128, red ? 30 : 128, red ? 220 : 128);
            } else { // 1-bit text: strokes in letter-sized cells, blank lines between
                const int cx = x % 6, cy = y % 18, cell = x / 6 + 7 * (y / 18);
                const bool ink = cy < 7 && cx < 5
                                 && (cx == 0 || cy == 6 || (cy == 0 && cell % 2) || (cx == cy && cell % 3 == 0));
                const int v = ink ? 0 : 230; // a 1-bit palette need not be black and white
                r.set(x, y, v, v, v);
            }
        }
    return r;
}

// Something like a photo: smooth light, fine texture, hard edges and noise
// over the whole range, dark corners included.
Raster photoLike(int w, int h)
{
    Raster r(w, h);
    std::mt19937 random(std::uint32_t(w * 7919 + h));
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int light = 255 * (x + y) / (w + h), stripe = (x / 3 + y / 5) % 2 ? 40 : 0;
            const auto v = [&](int base) { return std::clamp(base + noise(random), 0, 255); };
            r.set(x, y, v(light - stripe), v(255 - light), v(x < w / 3 ? 220 : light / 2));
        }
    return r;
}

// How far any channel of `out` leaves the range of the source pixels around
// the point it shows: those within one output pixel's width (at least one
// source pixel) along each axis, inside the picture.
int worstOvershoot(Raster& in, Raster& out)
{
    const double sx = double(in.width) / out.width, sy = double(in.height) / out.height;
    const auto around = [](double centre, double radius, int size) {
        int from = size, to = -1;
        for (int j = 0; j < size; ++j)
            if (std::abs(j + 0.5 - centre) < radius)
                from = std::min(from, j), to = std::max(to, j);
        if (from > to)
            from = to = std::clamp(int(centre), 0, size - 1);
        return std::pair{from, to};
    };
    int worst = 0;
    for (int y = 0; y < out.height; ++y) {
        const auto [y0, y1] = around((y + 0.5) * sy, std::max(sy, 1.0), in.height);
        for (int x = 0; x < out.width; ++x) {
            const auto [x0, x1] = around((x + 0.5) * sx, std::max(sx, 1.0), in.width);
            for (int c = 0; c < 3; ++c) {
                int low = 255, high = 0;
                for (int j = y0; j <= y1; ++j)
                    for (int i = x0; i <= x1; ++i)
                        low = std::min(low, int(in.at(i, j)[c])), high = std::max(high, int(in.at(i, j)[c]));
                const int v = out.at(x, y)[c];
                worst = std::max({worst, low - v, v - high});
            }
        }
    }
    return worst;
}

// The largest step back, in levels, along any row or column of `out` in any
// channel, against the way that line goes overall.
int worstReversal(Raster& out)
{
    int worst = 0;
    const auto line = [&](int count, const std::function<int(int)>& value) {
        const bool rising = value(count - 1) >= value(0);
        int extreme = value(0);
        for (int i = 1; i < count; ++i) {
            const int v = value(i);
            extreme = rising ? std::max(extreme, v) : std::min(extreme, v);
            worst = std::max(worst, std::abs(extreme - v));
        }
    };
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < out.height; ++y)
            line(out.width, [&](int x) { return int(out.at(x, y)[c]); });
        for (int x = 0; x < out.width; ++x)
            line(out.height, [&](int y) { return int(out.at(x, y)[c]); });
    }
    return worst;
}

} // namespace

Q_DECLARE_METATYPE(ostrovel::SourceArea)

class TestResample : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keepsDetailBelowNyquist_data();
    void keepsDetailBelowNyquist();
    void suppressesAliases_data();
    void suppressesAliases();
    void flatEdges_data();
    void flatEdges();
    void leavesOutPartialPadding_data();
    void leavesOutPartialPadding();
    void refusesBadAreas();
    void noRingingAtEdges_data();
    void noRingingAtEdges();
    void fastPathMatchesGeneral_data();
    void fastPathMatchesGeneral();
};

void TestResample::keepsDetailBelowNyquist_data()
{
    QTest::addColumn<int>("sourceWidth");
    QTest::addColumn<int>("targetWidth");
    QTest::addColumn<double>("targetCycles"); // per target pixel; Nyquist is 0.5
    // An area average keeps 0.86 at 0.3 cycles, two in a row (the earlier
    // scheme: a 1/8 decode, then averaging) about 0.65.
    QTest::newRow("factor 2") << 632 << 316 << 0.3;
    QTest::newRow("factor 2.9") << 459 << 158 << 0.3;
    QTest::newRow("factor 8.3") << 1311 << 158 << 0.3;
    QTest::newRow("factor 1.4") << 225 << 158 << 0.3;
}

void TestResample::keepsDetailBelowNyquist()
{
    QFETCH(int, sourceWidth);
    QFETCH(int, targetWidth);
    QFETCH(double, targetCycles);
    const double scale = double(sourceWidth) / targetWidth;
    const Raster source = grating(sourceWidth, 9, targetCycles / scale);
    Raster out = resampled(source, targetWidth, 5, whole(source));
    const double kept = amplitude(out, targetCycles) / 0.3;
    qInfo("detail kept: %.3f", kept);
    QVERIFY2(kept >= 0.93, qPrintable(QString::number(kept)));
}

void TestResample::suppressesAliases_data()
{
    QTest::addColumn<int>("sourceWidth");
    QTest::addColumn<double>("sourceCycles"); // per target pixel, above Nyquist
    // 1-px lines and near-Nyquist gratings of a large reduction; a bilinear
    // stretch leaves about 0.3 to 0.9 of them as false stripes.
    QTest::newRow("1-px lines, factor 7.9") << 1248 << 0.5 * 1248 / 158;
    QTest::newRow("1.6 x Nyquist") << 1264 << 0.8;
    QTest::newRow("2.6 x Nyquist") << 1264 << 1.3;
    QTest::newRow("1.5 x Nyquist, factor 3") << 474 << 0.75;
}

void TestResample::suppressesAliases()
{
    QFETCH(int, sourceWidth);
    QFETCH(double, sourceCycles);
    const int targetWidth = 158;
    const double scale = double(sourceWidth) / targetWidth;
    const Raster source = grating(sourceWidth, 9, sourceCycles / scale);
    Raster out = resampled(source, targetWidth, 5, whole(source));
    // Where the grating folds to below Nyquist.
    double alias = std::fmod(sourceCycles, 1.0);
    alias = std::min(alias, 1.0 - alias);
    const double left = amplitude(out, alias) / 0.3;
    qInfo("alias at %.2f cycles: %.3f", alias, left);
    QVERIFY2(left <= 0.05, qPrintable(QString::number(left)));
}

void TestResample::flatEdges_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("target");
    QTest::newRow("reduce 8/16/32-odd") << QSize(1001, 777) << QSize(158, 123);
    QTest::newRow("reduce by 2.03") << QSize(321, 239) << QSize(158, 118);
    QTest::newRow("reduce by 1.4") << QSize(227, 149) << QSize(158, 104);
    QTest::newRow("enlarge 7 x 5") << QSize(7, 5) << QSize(158, 113);
    QTest::newRow("enlarge by 1.3") << QSize(121, 95) << QSize(158, 124);
    QTest::newRow("one pixel") << QSize(1, 1) << QSize(17, 9);
}

// A flat picture stays flat, up to its last row and column.
void TestResample::flatEdges()
{
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    Raster in(source.width(), source.height());
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            in.set(x, y, 40, 184, 141);
    Raster out = resampled(in, target.width(), target.height(), whole(in));
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const std::uint8_t* p = out.at(x, y);
            if (std::abs(p[0] - 40) > 1 || std::abs(p[1] - 184) > 1 || std::abs(p[2] - 141) > 1 || p[3] != 255)
                QFAIL(qPrintable(QString("pixel %1,%2 is %3 %4 %5").arg(x).arg(y).arg(p[2]).arg(p[1]).arg(p[0])));
        }
}

void TestResample::leavesOutPartialPadding_data()
{
    QTest::addColumn<int>("width");  // decoded pixels
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("coveredWidth"); // what the picture covers of them
    QTest::addColumn<double>("coveredHeight");
    QTest::addColumn<int>("targetWidth");
    QTest::addColumn<int>("targetHeight");
    // 4128 x 2322 at 1/8: the last row holds 2 of 8 rows.
    QTest::newRow("2322 rows at 1/8") << 516 << 291 << 516.0 << 290.25 << 158 << 89;
    QTest::newRow("half a column at 1/4") << 327 << 200 << 326.5 << 200.0 << 158 << 97;
    QTest::newRow("both at 1/8") << 131 << 99 << 130.125 << 98.375 << 41 << 31;
}

// The part of a partial pixel outside the area is padding (here black): it
// must not darken the last row or column.
void TestResample::leavesOutPartialPadding()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, coveredWidth);
    QFETCH(double, coveredHeight);
    QFETCH(int, targetWidth);
    QFETCH(int, targetHeight);
    Raster in(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool padding = x + 0.5 > coveredWidth || y + 0.5 > coveredHeight;
            in.set(x, y, padding ? 0 : 40, padding ? 0 : 184, padding ? 0 : 141);
        }
    Raster out = resampled(in, targetWidth, targetHeight, {0, 0, coveredWidth, coveredHeight});
    for (const auto& [x, y] : {std::pair{targetWidth - 1, targetHeight - 1}, std::pair{targetWidth - 1, 0},
                               std::pair{0, targetHeight - 1}, std::pair{targetWidth / 2, targetHeight - 1}}) {
        const std::uint8_t* p = out.at(x, y);
        QVERIFY2(std::abs(p[2] - 141) <= 1 && std::abs(p[1] - 184) <= 1,
                 qPrintable(QString("pixel %1,%2: red %3 green %4").arg(x).arg(y).arg(p[2]).arg(p[1])));
    }
}

void TestResample::refusesBadAreas()
{
    Raster in(10, 10), out(4, 4);
    QVERIFY(!Resample(in.source(), {0, 0, 10.5, 10}, out.target(), true));
    QVERIFY(!Resample(in.source(), {-1, 0, 5, 5}, out.target(), true));
    QVERIFY(!Resample(in.source(), {0, 0, 0, 10}, out.target(), true));
    QVERIFY(Resample(in.source(), {0.5, 0.5, 9.5, 9.5}, out.target(), true));
}

void TestResample::noRingingAtEdges_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("linear");
    // Unclamped Lanczos-3 overshoots these enlargements by 10 to 70 levels;
    // reductions keep the plain kernel, whose overshoot is a photo's detail.
    QTest::newRow("four squares x15.8") << "four squares" << QSize(10, 10) << QSize(158, 158) << true;
    QTest::newRow("four squares x2.3, sRGB") << "four squares" << QSize(70, 50) << QSize(158, 113) << false;
    QTest::newRow("red/grey edge x4.9") << "red/grey edge" << QSize(32, 32) << QSize(158, 158) << true;
    QTest::newRow("1-bit text x3.9") << "1-bit text" << QSize(41, 25) << QSize(158, 96) << false;
    QTest::newRow("red corner x15.8") << "red corner" << QSize(10, 10) << QSize(158, 158) << true;
    QTest::newRow("red corner x4.9, sRGB") << "red corner" << QSize(32, 32) << QSize(158, 158) << false;
}

// No enlarged output leaves the range of the source pixels around it by more
// than rounding: no ripples on flat areas, no light or dark line along an edge.
void TestResample::noRingingAtEdges()
{
    QFETCH(QString, kind);
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    QFETCH(bool, linear);
    Raster in = graphic(kind, source.width(), source.height());
    Raster out(target.width(), target.height());
    QVERIFY(Resample(in.source(), whole(in), out.target(), true, linear ? Light::Linear : Light::Srgb));
    const int worst = worstOvershoot(in, out);
    QVERIFY2(worst <= 3, qPrintable(QString("%1 levels beyond the local range").arg(worst)));
    // Nor does keeping to that range swell corners into blobs: where every
    // line of the source only rises or only falls, the enlargement's lines
    // turn back by no more than the kernel's own slight overshoot (up to 7
    // levels; the clamped sinc turned back by 12 to 25 at the corner).
    if (kind == "red corner" || kind == "red/grey edge") {
        const int back = worstReversal(out);
        QVERIFY2(back <= 8, qPrintable(QString("a line turns back by %1 levels").arg(back)));
    }
}

void TestResample::fastPathMatchesGeneral_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<SourceArea>("area"); // empty: the whole source
    QTest::addColumn<QSize>("target");
    QTest::addColumn<bool>("linear");
    QTest::newRow("factor 4") << QSize(640, 480) << SourceArea{} << QSize(158, 119) << true;
    QTest::newRow("factor 2, odd sizes") << QSize(401, 301) << SourceArea{} << QSize(200, 150) << true;
    QTest::newRow("factor 1.39") << QSize(333, 250) << SourceArea{} << QSize(240, 180) << true;
    QTest::newRow("almost 1") << QSize(100, 80) << SourceArea{} << QSize(99, 79) << true;
    QTest::newRow("across only") << QSize(257, 64) << SourceArea{} << QSize(17, 64) << true;
    QTest::newRow("down only") << QSize(64, 300) << SourceArea{} << QSize(64, 31) << true;
    QTest::newRow("partial pixels") << QSize(251, 188) << SourceArea{0, 0, 250.5, 187.25} << QSize(120, 90) << true;
    QTest::newRow("inner area") << QSize(300, 200) << SourceArea{17.5, 9, 200, 150} << QSize(97, 73) << true;
    QTest::newRow("sRGB, factor 3") << QSize(474, 300) << SourceArea{} << QSize(158, 100) << false;
}

// Opaque reductions take a faster path (the pass down first, rows of three
// channels, wider vectors); it must come within a level of the general one.
void TestResample::fastPathMatchesGeneral()
{
    QFETCH(QSize, source);
    QFETCH(SourceArea, area);
    QFETCH(QSize, target);
    QFETCH(bool, linear);
    const Raster in = photoLike(source.width(), source.height());
    if (area.width == 0)
        area = whole(in);
    const Light light = linear ? Light::Linear : Light::Srgb;
    Raster fast(target.width(), target.height()), general(target.width(), target.height());
    QVERIFY(resample::resampleBy(resample::Path::Fastest, in.source(), area, fast.target(), true, light));
    QVERIFY(resample::resampleBy(resample::Path::General, in.source(), area, general.target(), true, light));
    int worst = 0;
    for (std::size_t i = 0; i < fast.bytes.size(); ++i)
        worst = std::max(worst, std::abs(int(fast.bytes[i]) - int(general.bytes[i])));
    QVERIFY2(worst <= 1, qPrintable(QString("%1 levels apart").arg(worst)));
}

QTEST_GUILESS_MAIN(TestResample)
#include "test_resample.moc"
