// The fast path (a reduced DCT decode, then Lanczos resampling) against the slow
// way (a full-resolution decode, area-averaged into the same rectangle).

#include "export/Render.h"
#include "tests/support/TestPictures.h"

#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrovel;

namespace {

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
    const QByteArray jpeg = testpics::jpeg(testpics::photoLike(picture.width(), picture.height()), 90, progressive);
    testpics::writeFile(file, orientation == 1 ? jpeg : testpics::withExifOrientation(jpeg, orientation));

    Canvas canvas(QSize(799, 611), 0);
    QVERIFY(RenderThumbnail(canvas, ThumbnailSettings{}, file).loaded);
    const QImage fast = canvas.Image();
    const double quality = testpics::psnr(fast, reference(file, QSize(158, 158), drawn), fast.rect());
    qInfo("%s: %.1f dB", QTest::currentDataTag(), quality);
    QVERIFY2(quality >= 40.0, qPrintable(QString("%1 dB").arg(quality)));
}

QTEST_GUILESS_MAIN(TestThumbnailQuality)
#include "test_thumbnail_quality.moc"
