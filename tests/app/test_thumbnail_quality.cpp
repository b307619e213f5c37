// The fast path (a reduced DCT decode, then Lanczos resampling) against the slow
// way (a full-resolution decode, area-averaged into the same rectangle).

#include "Render.h"
#include "TestPictures.h"

#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace ostrovel;

namespace {

double psnr(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += double(d) * d;
        }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Full decode, upright, scaled into `rect` of a white canvas of `size`.
QImage reference(const QString& file, QSize size, QRect rect)
{
    QImageReader reader(file);
    reader.setAutoTransform(true);
    const QImage full = reader.read();
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter(&canvas).drawImage(rect.topLeft(), full.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return canvas;
}

// Like a photograph: smooth light, sensor noise, one hard edge.
QImage photoLike(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int n = (x * 7919 + y * 104729) % 17; // sensor noise
            const int edge = (x > size.width() / 3 && y > size.height() / 2) ? 60 : 0;
            image.setPixel(x, y, qRgb(qBound(0, 60 + x * 150 / size.width() + n + edge, 255),
                                      qBound(0, 90 + y * 120 / size.height() + n, 255),
                                      qBound(0, 180 - x * 100 / size.width() + n - edge, 255)));
        }
    return image;
}

} // namespace

class TestThumbnailQuality : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closeToFullDecode_data();
    void closeToFullDecode();
};

void TestThumbnailQuality::closeToFullDecode_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<QRect>("drawn"); // where the fitting puts it in 158 x 158
    QTest::newRow("landscape") << QSize(2400, 1800) << 1 << false << QRect(0, 20, 158, 118);
    QTest::newRow("portrait by orientation") << QSize(2400, 1600) << 6 << false << QRect(26, 0, 105, 158);
    QTest::newRow("progressive") << QSize(2000, 2000) << 1 << true << QRect(0, 0, 158, 158);
}

void TestThumbnailQuality::closeToFullDecode()
{
    QFETCH(QSize, picture);
    QFETCH(int, orientation);
    QFETCH(bool, progressive);
    QFETCH(QRect, drawn);
    QTemporaryDir dir;
    const QString file = dir.filePath("p.jpg");
    const QByteArray jpeg = testpics::jpeg(photoLike(picture), 90, progressive);
    testpics::writeFile(file, orientation == 1 ? jpeg : testpics::withExifOrientation(jpeg, orientation));

    Canvas canvas(QSize(799, 611), 0);
    QVERIFY(Bildanpassen(canvas, ThumbnailSettings{}, file).loaded);
    const QImage fast = canvas.Image();
    const double quality = psnr(fast, reference(file, QSize(158, 158), drawn));
    qInfo("%s: %.1f dB", QTest::currentDataTag(), quality);
    QVERIFY2(quality >= 40.0, qPrintable(QString("%1 dB").arg(quality)));
}

QTEST_GUILESS_MAIN(TestThumbnailQuality)
#include "test_thumbnail_quality.moc"
