// Metafiles read through the helper process: natural sizes, rendered pixels,
// files that must be refused, a helper that never answers, parallel calls.

#include "tests/support/LittleEndian.h"
#include "tests/support/TestPictures.h"
#include "picture/wmf/WmfClient.h"
#include "tests/support/WmfWriter.h"
#include "tests/support/TestFiles.h"
#include "export/Render.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <sys/stat.h>
#include <vector>

using namespace ostrovel::wmf;
using wmftest::WmfWriter;

namespace {

enum : int { PsSolid = 0, PsNull = 5, BsSolid = 0, BsNull = 1, BsHatched = 2, HsHorizontal = 0 };
enum : std::int16_t { Transparent = 1, Winding = 2, Anisotropic = 8 };

const QColor kRed(255, 0, 0);
const QColor kGreen(0, 160, 0);
const QColor kBlue(0, 0, 255);
const QColor kNothing(0, 0, 0, 0);

// Where to look, as a fraction of the image's width and height, and what
// must be there; kNothing means fully transparent.
struct Expect {
    QPointF at;
    QColor colour;
};

// A 2 x 1 inch metafile at 1440 units per inch whose window is its box.
WmfWriter twoByOneInch()
{
    WmfWriter w;
    w.placeable(QRect(0, 0, 2880, 1440), 1440).window(QRect(0, 0, 2880, 1440));
    return w;
}

// Fills with `colour` and draws no outline (objects 0 and 1).
WmfWriter& solid(WmfWriter& w, QColor colour)
{
    return w.brush(BsSolid, colour).select(0).pen(PsNull, 0, Qt::black).select(1);
}

QByteArray leftHalfRed()
{
    WmfWriter w = twoByOneInch();
    return solid(w, kRed).rectangle(QRect(0, 0, 1440, 1440)).bytes();
}

QByteArray overlappingSquares(bool winding)
{
    WmfWriter w = twoByOneInch();
    if (winding)
        w.record(wmftest::SetPolyFillMode, {Winding});
    const QList<QPoint> a{{0, 0}, {1920, 0}, {1920, 1440}, {0, 1440}};
    const QList<QPoint> b{{960, 0}, {2880, 0}, {2880, 1440}, {960, 1440}};
    return solid(w, kRed).polyPolygon({a, b}).bytes();
}

QByteArray pngBytes()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool looksLike(QRgb premultiplied, const QColor& expected, int tolerance)
{
    if (expected.alpha() == 0)
        return qAlpha(premultiplied) == 0;
    const QRgb p = qUnpremultiply(premultiplied);
    return qAlpha(p) >= 255 - tolerance && std::abs(qRed(p) - expected.red()) <= tolerance
        && std::abs(qGreen(p) - expected.green()) <= tolerance && std::abs(qBlue(p) - expected.blue()) <= tolerance;
}

// Pixels inside `area` (fractions of the image) whose alpha is 0, and
// those that are opaque.
std::pair<int, int> transparentAndOpaque(const QImage& image, QRectF area)
{
    int clear = 0;
    int opaque = 0;
    const QRect pixels(int(area.left() * image.width()), int(area.top() * image.height()),
        int(area.width() * image.width()), int(area.height() * image.height()));
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            clear += alpha == 0;
            opaque += alpha == 255;
        }
    }
    return {clear, opaque};
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestWmf : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void naturalSize_data();
    void naturalSize();
    void plainMetafileSizedByItsDrawing_data();
    void plainMetafileSizedByItsDrawing();
    void pixels_data();
    void pixels();
    void hatchGapsFollowBackgroundMode();
    void textSitsOnItsAnchor_data();
    void textSitsOnItsAnchor();
    void refused_data();
    void refused();
    void renderSizeLimits_data();
    void renderSizeLimits();
    void timeLimitCountsHelpersOwnTime_data();
    void timeLimitCountsHelpersOwnTime();
    void stoppedHelperEndsAtOnce();
    void reasons_data();
    void reasons();
    void callsFromSeveralThreads();

private:
    QString write(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QString::number(++m_files) + QStringLiteral(".wmf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestWmf::naturalSize_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("2 x 1 inch at 1440 per inch") << leftHalfRed() << 5080 << 2540;
    QTest::newRow("box off the origin") << WmfWriter().placeable(QRect(-100, -50, 200, 100), 100).bytes() << 5080
                                        << 2540;
    QTest::newRow("no records but the end") << WmfWriter().placeable(QRect(0, 0, 1000, 500), 1000).bytes() << 2540
                                            << 1270;
    // 2540 / 7 = 362.86 and 3 * 2540 / 7 = 1088.57
    QTest::newRow("rounded to nearest") << WmfWriter().placeable(QRect(0, 0, 1, 3), 7).bytes() << 363 << 1089;
    // 2540 / 8 = 317.5
    QTest::newRow("halves away from zero") << WmfWriter().placeable(QRect(0, 0, 1, 1), 8).bytes() << 318 << 318;
    QTest::newRow("box given right to left") << WmfWriter().placeable(QRect(1440, 1440, -1440, -720), 1440).bytes()
                                             << 2540 << 1270;
    QTest::newRow("widest box at 1 unit per inch")
        << WmfWriter().placeable(QRect(-32768, -32768, 65535, 65535), 1).bytes() << 166458900 << 166458900;
}

void TestWmf::naturalSize()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    const std::optional<WmfSize> size = ProbeWmf(write(bytes));
    QVERIFY(size.has_value());
    QCOMPARE(size->widthHimetric, width);
    QCOMPARE(size->heightHimetric, height);
}

void TestWmf::plainMetafileSizedByItsDrawing_data()
{
    // Without a placeable header the drawn extents count, in libwmf's
    // points: 720 x 360 units of the default mapping are 10 x 5 inches.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    WmfWriter text;
    QTest::newRow("default mapping") << solid(text, kRed).rectangle(QRect(100, 50, 720, 360)).bytes() << 25400
                                     << 12700;
    // libwmf draws this into a 1024 x 1024 point square; the window's 2:1
    // must come back.
    WmfWriter scaled;
    scaled.record(wmftest::SetMapMode, {Anisotropic}).window(QRect(0, 0, 2000, 1000));
    QTest::newRow("anisotropic window") << solid(scaled, kRed).rectangle(QRect(0, 0, 2000, 1000)).bytes() << 36124
                                        << 18062;
}

void TestWmf::plainMetafileSizedByItsDrawing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    const QString path = write(bytes);
    const std::optional<WmfSize> size = ProbeWmf(path);
    QVERIFY(size.has_value());
    // give or take the outline libwmf allows for
    QVERIFY2(std::abs(size->widthHimetric - width) <= 100, qPrintable(QString::number(size->widthHimetric)));
    QVERIFY2(std::abs(size->heightHimetric - height) <= 100, qPrintable(QString::number(size->heightHimetric)));
    const QImage image = RenderWmf(path, QSize(40, 20));
    QVERIFY(looksLike(image.pixel(20, 10), kRed, 8));
    QVERIFY(looksLike(image.pixel(1, 1), kRed, 8)); // the drawing fills its own frame
}

void TestWmf::pixels_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<Expect>>("expected");

    const QList<Expect> leftHalf{{{0.02, 0.5}, kRed}, {{0.49, 0.5}, kRed}, {{0.51, 0.5}, kNothing},
        {{0.98, 0.02}, kNothing}, {{0.25, 0.01}, kRed}, {{0.25, 0.99}, kRed}};
    QTest::newRow("left half red") << leftHalfRed() << QSize(100, 50) << leftHalf;
    QTest::newRow("stretched narrow and tall") << leftHalfRed() << QSize(60, 90) << leftHalf;
    QTest::newRow("stretched wide") << leftHalfRed() << QSize(301, 17) << leftHalf;
    {
        // The records' window wins over the header's box.
        WmfWriter w;
        w.placeable(QRect(0, 0, 2000, 1000), 1000).window(QRect(1000, 0, 2000, 1000));
        QTest::newRow("window from the records")
            << solid(w, kRed).rectangle(QRect(1000, 0, 1000, 1000)).bytes() << QSize(100, 50) << leftHalf;
    }
    {
        WmfWriter w;
        w.placeable(QRect(1000, 500, 2000, 1000), 1000);
        QTest::newRow("header box without window records")
            << solid(w, kRed).rectangle(QRect(1000, 500, 1000, 1000)).bytes() << QSize(100, 50) << leftHalf;
    }
    {
        WmfWriter w = twoByOneInch();
        QTest::newRow("ellipse") << solid(w, kBlue).ellipse(QRect(0, 0, 2880, 1440)).bytes() << QSize(80, 40)
                                 << QList<Expect>{{{0.5, 0.5}, kBlue}, {{0.02, 0.05}, kNothing},
                                        {{0.98, 0.95}, kNothing}, {{0.1, 0.5}, kBlue}};
    }
    {
        WmfWriter w = twoByOneInch();
        w.brush(BsNull, Qt::black).select(0).pen(PsSolid, 144, kGreen).select(1).rectangle(QRect(0, 0, 2880, 1440));
        QTest::newRow("outline only") << w.bytes() << QSize(100, 50)
                                      << QList<Expect>{{{0.5, 0.5}, kNothing}, {{0.5, 0.01}, kGreen},
                                             {{0.01, 0.5}, kGreen}, {{0.99, 0.5}, kGreen}};
    }
    QTest::newRow("alternate fill leaves the overlap out")
        << overlappingSquares(false) << QSize(90, 30)
        << QList<Expect>{{{0.15, 0.5}, kRed}, {{0.5, 0.5}, kNothing}, {{0.85, 0.5}, kRed}};
    QTest::newRow("winding fill covers the overlap")
        << overlappingSquares(true) << QSize(90, 30)
        << QList<Expect>{{{0.15, 0.5}, kRed}, {{0.5, 0.5}, kRed}, {{0.85, 0.5}, kRed}};
    {
        // From three o'clock counter-clockwise to twelve o'clock.
        WmfWriter w = twoByOneInch();
        solid(w, kRed).record(wmftest::Pie, {0, 1440, 720, 2880, 1440, 2880, 0, 0});
        QTest::newRow("pie, counter-clockwise")
            << w.bytes() << QSize(100, 50)
            << QList<Expect>{{{0.75, 0.25}, kRed}, {{0.25, 0.25}, kNothing}, {{0.25, 0.75}, kNothing},
                   {{0.75, 0.75}, kNothing}};
    }
    {
        WmfWriter w = twoByOneInch();
        w.clip(QRect(0, 0, 1440, 1440));
        QTest::newRow("clip rectangle") << solid(w, kRed).rectangle(QRect(0, 0, 2880, 1440)).bytes()
                                        << QSize(100, 50) << leftHalf;
    }
    {
        // A window one unit wide stretches the glyphs thousands of pixels
        // across while they stay a pixel high. ExtTextOut: y, x, 5
        // characters, opaque and clipped to a rectangle, the text, and
        // character spacings of thousands of units.
        WmfWriter w;
        w.placeable(QRect(0, 0, 3787, 267), 25970).record(wmftest::SetWindowExt, {1440, 1});
        w.rawRecord(wmftest::ExtTextOut, QByteArray::fromHex("9001dc0505000600784d696e6728666f") + "r ISO1"
                                             + QByteArray::fromHex("30363634290064006e00"));
        QTest::newRow("text stretched thousands of pixels across")
            << w.bytes() << QSize(40, 3) << QList<Expect>{};
    }
    {
        WmfWriter w = twoByOneInch();
        QTest::newRow("bitmap, rows stored bottom up")
            << w.bitmap(QRect(0, 0, 2880, 1440), ostrovel::test::quadrants(2, 2)).bytes() << QSize(100, 50)
            << QList<Expect>{{{0.05, 0.1}, QColor(255, 0, 0)}, {{0.95, 0.1}, QColor(0, 255, 0)},
                   {{0.05, 0.9}, QColor(0, 0, 255)}, {{0.95, 0.9}, QColor(255, 255, 0)}};
    }
}

void TestWmf::pixels()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(QList<Expect>, expected);
    const QImage image = RenderWmf(write(bytes), size);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
    for (const Expect& e : expected) {
        const QPoint p(int(e.at.x() * size.width()), int(e.at.y() * size.height()));
        const QRgb actual = image.pixel(p);
        QVERIFY2(looksLike(actual, e.colour, 8),
            qPrintable(QStringLiteral("at %1,%2: %3, expected %4")
                           .arg(p.x())
                           .arg(p.y())
                           .arg(actual, 8, 16, QLatin1Char('0'))
                           .arg(e.colour.name(QColor::HexArgb))));
    }
}

void TestWmf::hatchGapsFollowBackgroundMode()
{
    const QRectF inside(0.1, 0.1, 0.8, 0.8);
    for (const bool transparent : {true, false}) {
        WmfWriter w = twoByOneInch();
        if (transparent)
            w.record(wmftest::SetBkMode, {Transparent});
        w.brush(BsHatched, Qt::black, HsHorizontal).select(0).pen(PsNull, 0, Qt::black).select(1);
        const QImage image = RenderWmf(write(w.rectangle(QRect(0, 0, 2880, 1440)).bytes()), QSize(100, 50));
        QVERIFY(!image.isNull());
        const auto [clear, opaque] = transparentAndOpaque(image, inside);
        QVERIFY2(opaque > 0, "no hatch lines");
        if (transparent)
            QVERIFY2(clear > opaque, "gaps of a hatch must stay transparent");
        else
            QCOMPARE(clear, 0); // the background colour fills the gaps
    }
}

void TestWmf::textSitsOnItsAnchor_data()
{
    // 720 units are 50 pixels of the 100 pixel high image; the letters H
    // rest on the baseline and have no descent.
    QTest::addColumn<int>("align");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("lowestRowMin");
    QTest::addColumn<int>("lowestRowMax");
    QTest::newRow("top: baseline an ascent below") << 0 << 100 << 48 << 54;
    QTest::newRow("baseline") << 24 << 1000 << 67 << 70;
    QTest::newRow("bottom: baseline a descent above") << 8 << 1300 << 75 << 82;
}

void TestWmf::textSitsOnItsAnchor()
{
    QFETCH(int, align);
    QFETCH(int, y);
    QFETCH(int, lowestRowMin);
    QFETCH(int, lowestRowMax);
    WmfWriter w = twoByOneInch();
    w.record(wmftest::SetBkMode, {Transparent});
    w.record(wmftest::SetTextColor, {0x00FF, 0}); // red
    w.record(wmftest::SetTextAlign, {std::int16_t(align)});
    w.font(-720, 700, "Arial").select(0).textOut(QPoint(100, y), "HH");
    const QImage image = RenderWmf(write(w.bytes()), QSize(200, 100));
    QVERIFY(!image.isNull());
    int red = 0;
    int lowest = -1;
    for (int row = 0; row < image.height(); ++row) {
        for (int x = 0; x < image.width(); ++x) {
            red += looksLike(image.pixel(x, row), kRed, 8);
            if (qAlpha(image.pixel(x, row)) > 128)
                lowest = row;
        }
    }
    QVERIFY2(red > 100, "glyphs in the text colour");
    QVERIFY2(lowest >= lowestRowMin && lowest <= lowestRowMax, qPrintable(QString::number(lowest)));
    QVERIFY(looksLike(image.pixel(image.width() - 1, 0), kNothing, 0));
}

void TestWmf::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = leftHalfRed();
    constexpr qsizetype kMetaHeader = 22;          // after the placeable header
    constexpr qsizetype kFirstRecord = kMetaHeader + 18;

    QTest::newRow("empty file") << QByteArray();
    QByteArray garbage(4096, '\0');
    QRandomGenerator random(42);
    for (char& c : garbage)
        c = char(random.bounded(256));
    QTest::newRow("random bytes") << garbage;
    QTest::newRow("a PNG picture") << pngBytes();
    QTest::newRow("placeable header only") << good.left(kMetaHeader);
    QTest::newRow("cut inside a record") << good.left(good.size() - 10);
    QTest::newRow("no end record") << good.chopped(6);
    QByteArray longRecord = good;
    ostrovel::test::setLe32(longRecord, kFirstRecord, 0x10000000);
    QTest::newRow("record claims more than the file") << longRecord;
    QByteArray largestRecord = good;
    ostrovel::test::setLe32(largestRecord, kMetaHeader + 12, 0x7FFFFFFF);
    QTest::newRow("largest record claims more than the file") << largestRecord;
    QByteArray headerSize = good;
    ostrovel::test::setLe32(headerSize, kMetaHeader, 1 | (10u << 16));
    QTest::newRow("header size not 9 words") << headerSize;
    QTest::newRow("zero units per inch") << WmfWriter().placeable(QRect(0, 0, 100, 100), 0).bytes();
    QTest::newRow("box without width") << WmfWriter().placeable(QRect(50, 0, 0, 100), 1440).bytes();
    QTest::newRow("plain metafile drawing nothing") << WmfWriter().bytes();
    {
        // A plain metafile whose drawing spans about 10^10 HIMETRIC.
        WmfWriter w;
        w.record(wmftest::SetMapMode, {Anisotropic});
        w.record(wmftest::SetWindowExt, {1, 1});
        w.record(wmftest::SetViewportExt, {32767, 32767});
        QTest::newRow("absurd extents") << solid(w, kRed).rectangle(QRect(0, 0, 32767, 32767)).bytes();
    }
    {
        WmfWriter w = twoByOneInch();
        QTest::newRow("object beyond the declared slots") << solid(w, kRed).bytes(1);
    }
}

void TestWmf::refused()
{
    QFETCH(QByteArray, bytes);
    const QString path = write(bytes);
    QVERIFY(!ProbeWmf(path).has_value());
    QVERIFY(RenderWmf(path, QSize(100, 50)).isNull());
}

void TestWmf::renderSizeLimits_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("one pixel") << QSize(1, 1) << true;
    QTest::newRow("widest side") << QSize(16384, 2) << true;
    QTest::newRow("no width") << QSize(0, 50) << false;
    QTest::newRow("negative height") << QSize(50, -1) << false;
    QTest::newRow("side too long") << QSize(16385, 1) << false;
    QTest::newRow("too many pixels") << QSize(16384, 16384) << false;
}

void TestWmf::renderSizeLimits()
{
    QFETCH(QSize, size);
    QFETCH(bool, drawn);
    const QImage image = RenderWmf(write(leftHalfRed()), size);
    QCOMPARE(!image.isNull(), drawn);
    if (drawn)
        QCOMPARE(image.size(), size);
}

void TestWmf::timeLimitCountsHelpersOwnTime_data()
{
    QTest::addColumn<QByteArray>("hook");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("reason"); // of the thumbnail's rendering; empty: drawn
    // Waiting costs the helper no processor time, as on a busy machine.
    const QByteArray wait = QByteArray::number(qint64(ostrovel::test::kSanitizerBuild ? 3600 : 1600));
    QTest::newRow("works without end") << QByteArray("OSTROVEL_WMF_TEST_HANG") << QByteArray("1")
                                       << QString::fromLatin1(kTimeLimitReason);
    QTest::newRow("works without end when drawing") << QByteArray("OSTROVEL_WMF_TEST_HANG") << QByteArray("render")
                                                    << QString::fromLatin1(kTimeLimitReason);
    QTest::newRow("waits past the limit") << QByteArray("OSTROVEL_WMF_TEST_WAIT_MS") << wait << QString();
}

// The limit is the helper's own processor time, and reaching it is a reason
// of its own, not "damaged" or "cannot be drawn".
void TestWmf::timeLimitCountsHelpersOwnTime()
{
    QFETCH(QByteArray, hook);
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    const QString path = write(leftHalfRed());
    SetHelperTimeLimit(std::chrono::milliseconds(ostrovel::test::kSanitizerBuild ? 3000 : 1000));
    qputenv(hook.constData(), value);
    ostrovel::Canvas canvas(QSize(40, 20), 0xffffff);
    const ostrovel::RenderOutcome outcome
        = ostrovel::RenderThumbnail(canvas, {QStringLiteral("255,255,255"), QStringLiteral("40"), QStringLiteral("20")}, path);
    qunsetenv(hook.constData());
    SetHelperTimeLimit(std::chrono::milliseconds(5000));
    QCOMPARE(outcome.loaded, reason.isEmpty());
    QCOMPARE(outcome.reason, reason);
    QVERIFY(ProbeWmf(path).has_value()); // the same file is fine otherwise
}

// A stop (the window closing) ends a busy helper at once, not at its limit.
void TestWmf::stoppedHelperEndsAtOnce()
{
    const QString path = write(leftHalfRed());
    std::atomic<bool> stop{false};
    QString reason;
    qputenv("OSTROVEL_WMF_TEST_HANG", "1");
    std::thread caller([&] {
        const HelperStop scope(&stop);
        ProbeWmf(path, &reason);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
    caller.join();
    qunsetenv("OSTROVEL_WMF_TEST_HANG");
    QCOMPARE(reason, QStringLiteral("cancelled"));
}

void TestWmf::reasons_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("probeFails"); // with the same reason

    const QString fifo = m_dir.filePath(QStringLiteral("fifo.wmf"));
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
        qFatal("cannot make a FIFO");
    const QString huge = m_dir.filePath(QStringLiteral("huge.wmf"));
    QFile hugeFile(huge);
    if (!hugeFile.open(QIODevice::WriteOnly) || hugeFile.write(leftHalfRed()) <= 0
        || !hugeFile.resize((qint64(64) << 20) + 1)) // sparse: takes no disk space
        qFatal("cannot write %s", qPrintable(huge));
    QTest::newRow("a FIFO") << fifo << QSize(10, 10) << "not a regular file" << true;
    QTest::newRow("a folder") << m_dir.path() << QSize(10, 10) << "not a regular file" << true;
    QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("none.wmf")) << QSize(10, 10)
                                  << "No such file or directory" << true;
    QTest::newRow("larger than the cap") << huge << QSize(10, 10) << "too large" << true;
    QTest::newRow("damaged") << write(QByteArray("\xD7\xCD\xC6\x9A", 4) + QByteArray(40, '\x7f')) << QSize(10, 10)
                             << "damaged data" << true;
    QTest::newRow("drawn too large") << write(leftHalfRed()) << QSize(16384, 16384) << "too large" << false;
}

void TestWmf::reasons()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    QFETCH(QString, reason);
    QFETCH(bool, probeFails);
    QString why;
    QVERIFY(RenderWmf(file, size, &why).isNull());
    QCOMPARE(why, reason);
    why.clear();
    QCOMPARE(ProbeWmf(file, &why).has_value(), !probeFails);
    QCOMPARE(why, probeFails ? reason : QString());
}

void TestWmf::callsFromSeveralThreads()
{
    const QString path = write(leftHalfRed());
    const QImage reference = RenderWmf(path, QSize(64, 32));
    QVERIFY(!reference.isNull());
    std::vector<QImage> results(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, &path, i] { results[i] = RenderWmf(path, QSize(64, 32)); });
    for (std::thread& t : threads)
        t.join();
    for (const QImage& image : results)
        QCOMPARE(image, reference);
}

QTEST_GUILESS_MAIN(TestWmf)
#include "test_wmf.moc"
