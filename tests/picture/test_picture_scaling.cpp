// Loaded pictures drawn at their fitted size: the reduced decode leaves room
// for the kernel, a partial last block of a reduced decode does not tint the
// edge, transparent edges blend into the pad, palette pictures are scaled in
// full colour, averaged in their sRGB values; a thread's large pictures
// reuse the pages of its last ones.

#include "picture/Canvas.h"
#include "picture/LargeImage.h"
#include "picture/LoadPicture.h"
#include "tests/support/TestPictures.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>

using namespace ostrovel;

namespace {

// A JPEG of `size` whose blocks past the picture's edge hold black, as some
// camera encoders pad them, instead of the edge repeated: made by encoding
// the padded picture and shrinking the size in the frame header.
QByteArray jpegWithBlackPadding(QSize size, QRgb colour)
{
    const QSize padded((size.width() + 15) / 16 * 16, (size.height() + 15) / 16 * 16);
    QImage image(padded, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, colour);
    QByteArray jpeg = testpics::jpeg(image, 100);
    for (int i = 2; i + 9 < jpeg.size(); ++i) {
        const auto marker = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            qToBigEndian<quint16>(quint16(size.height()), jpeg.data() + i + 5);
            qToBigEndian<quint16>(quint16(size.width()), jpeg.data() + i + 7);
            return jpeg;
        }
    }
    return {};
}

// The largest channel difference between `colour` and any pixel of `rect`'s border.
int worstBorderDifference(const QImage& image, QRect rect, QRgb colour)
{
    int worst = 0;
    const auto check = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        worst = std::max({worst, std::abs(qRed(p) - qRed(colour)), std::abs(qGreen(p) - qGreen(colour)),
                          std::abs(qBlue(p) - qBlue(colour))});
    };
    for (int x = rect.left(); x <= rect.right(); ++x) {
        check(x, rect.top());
        check(x, rect.bottom());
    }
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        check(rect.left(), y);
        check(rect.right(), y);
    }
    return worst;
}

// The rectangle of `image` whose pixels differ from `pad`.
QRect drawnRect(const QImage& image, QRgb pad)
{
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != pad)
                r |= QRect(x, y, 1, 1);
    return r;
}

QImage fitted(const Picture& picture, QSize box, QRgb pad)
{
    Canvas canvas(box, FromQColor(QColor(pad)));
    if (!StretchPicture(canvas, &picture, true, true, canvas.BackColor()))
        return {};
    return canvas.Image();
}

} // namespace

class TestPictureScaling : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void decodeLeavesRoom_data();
    void decodeLeavesRoom();
    void partialBlocksAtTheEdge_data();
    void partialBlocksAtTheEdge();
    void transparentEdgeOnPad_data();
    void transparentEdgeOnPad();
    void paletteInSrgb_data();
    void paletteInSrgb();
    void drawnInPlace_data();
    void drawnInPlace();
    void largeImagesKeepTheirPages_data();
    void largeImagesKeepTheirPages();

private:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        return testpics::writeFile(path, bytes) ? path : QString();
    }
    QTemporaryDir m_dir;
};

void TestPictureScaling::decodeLeavesRoom_data()
{
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<int>("denominator"); // 1/4 and 1/8 leave 2 x the drawn size, 1/2 1.25 x
    QTest::newRow("12 MP") << QSize(4000, 3000) << 8;
    QTest::newRow("2048 wide") << QSize(2048, 1536) << 4;
    QTest::newRow("1800 wide") << QSize(1800, 1200) << 4;
    QTest::newRow("1000 high portrait") << QSize(700, 1000) << 2;
    QTest::newRow("1/2 leaving 1.35") << QSize(426, 320) << 2;
    QTest::newRow("1/2 leaving 1.2") << QSize(379, 284) << 1;
    QTest::newRow("small") << QSize(300, 200) << 1;
}

void TestPictureScaling::decodeLeavesRoom()
{
    QFETCH(QSize, natural);
    QFETCH(int, denominator);
    const auto picture = LoadPicture(write("room.jpg", testpics::jpeg(testpics::photoLike(natural.width(), natural.height()), 80)),
                                     QSize(158, 158));
    const auto* raster = dynamic_cast<const RasterPicture*>(picture.get());
    QVERIFY(raster);
    const QSize expected((natural.width() + denominator - 1) / denominator,
                         (natural.height() + denominator - 1) / denominator);
    QCOMPARE(raster->pixels().size(), expected);
}

void TestPictureScaling::partialBlocksAtTheEdge_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("orientation");
    // 4128 x 2322 (a phone's size) at 1/8: its last block row holds 2 rows.
    QTest::newRow("phone, 1/8") << QSize(4128, 2322) << 1;
    QTest::newRow("both edges, 1/8") << QSize(2602, 1458) << 1;
    QTest::newRow("half blocks, 1/4") << QSize(1302, 730) << 1;
    QTest::newRow("turned 180") << QSize(2602, 1458) << 3;
    QTest::newRow("turned 90") << QSize(2602, 1458) << 6;
    QTest::newRow("turned 270, 1/4") << QSize(1302, 730) << 8;
}

// A flat picture stays flat to its last pixel row and column on the pad.
void TestPictureScaling::partialBlocksAtTheEdge()
{
    QFETCH(QSize, stored);
    QFETCH(int, orientation);
    const QRgb colour = qRgb(184, 141, 60), pad = qRgb(255, 255, 255);
    QByteArray jpeg = jpegWithBlackPadding(stored, colour);
    QVERIFY(!jpeg.isEmpty());
    if (orientation != 1)
        jpeg = testpics::withExifOrientation(jpeg, orientation);
    const auto picture = LoadPicture(write("edge.jpg", jpeg), QSize(158, 158));
    QVERIFY(picture);
    const QImage thumb = fitted(*picture, QSize(158, 158), pad);
    const QRect rect = drawnRect(thumb, pad);
    QVERIFY(!rect.isEmpty());
    const int worst = worstBorderDifference(thumb, rect, colour);
    QVERIFY2(worst <= 4, qPrintable(QString("border off by %1 in %2x%3").arg(worst).arg(rect.width()).arg(rect.height())));
}

void TestPictureScaling::transparentEdgeOnPad_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("box");
    QTest::newRow("reduced by 4.1") << QSize(410, 300) << QSize(100, 100);
    QTest::newRow("reduced by 1.3") << QSize(131, 97) << QSize(100, 100);
    QTest::newRow("enlarged by 5") << QSize(31, 20) << QSize(155, 155);
}

// A red disc on transparent pixels, drawn on a green pad: every pixel is the
// disc's red over the pad's green in some proportion, never lighter (the
// colour stored in the transparent pixels, white, must not bleed in) nor
// darker.
void TestPictureScaling::transparentEdgeOnPad()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, box);
    QImage image(picture, QImage::Format_ARGB32);
    image.fill(qRgba(255, 255, 255, 0));
    const QPointF centre(picture.width() / 2.0, picture.height() / 2.0);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (QLineF(centre, QPointF(x + 0.5, y + 0.5)).length() < picture.height() / 3.0)
                image.setPixel(x, y, qRgba(255, 0, 0, 255));
    const RasterPicture raster(picture, image);
    const QRgb pad = qRgb(0, 160, 0);
    const QImage drawn = fitted(raster, box, pad);
    QVERIFY(!drawn.isNull());
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            const double mix = qRed(p) / 255.0 + qGreen(p) / 160.0; // 1 for any blend of the two
            if (std::abs(mix - 1.0) > 0.03 || qBlue(p) != 0)
                QFAIL(qPrintable(QString("pixel %1,%2 is %3 %4 %5").arg(x).arg(y).arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p))));
        }
    QCOMPARE(drawn.pixel(0, drawn.height() / 2), pad);
    QCOMPARE(drawn.pixel(drawn.width() / 2, drawn.height() / 2), qRgb(255, 0, 0));
}

void TestPictureScaling::paletteInSrgb_data()
{
    QTest::addColumn<bool>("gifFile");
    QTest::newRow("1-bit pixels") << false;
    QTest::newRow("GIF file") << true;
}

// 1-px black and white lines of a palette picture reduce to the grey of the
// stored values' average, as its dithering meant (averaged in linear light
// they would come out 188, far too light), not to either colour: the kernel
// sees the colours, not the palette indices.
void TestPictureScaling::paletteInSrgb()
{
    QFETCH(bool, gifFile);
    QImage lines(400, 40, QImage::Format_Indexed8);
    lines.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < lines.height(); ++y)
        for (int x = 0; x < lines.width(); ++x)
            lines.setPixel(x, y, uint(x % 2));
    std::unique_ptr<Picture> picture;
    if (gifFile)
        picture = LoadPicture(write("lines.gif", testpics::gif({lines}, lines.colorTable())));
    else
        picture = std::make_unique<RasterPicture>(lines.size(), lines.convertToFormat(QImage::Format_Mono));
    QVERIFY(picture);
    const QImage drawn = picture->render(QSize(100, 10));
    QVERIFY(!drawn.isNull());
    // The outermost pixels see the lines cut off by the edge.
    for (int x = 2; x < drawn.width() - 2; ++x)
        QVERIFY2(std::abs(qGray(drawn.pixel(x, 5)) - 128) <= 3, qPrintable(QString::number(qGray(drawn.pixel(x, 5)))));
}

void TestPictureScaling::drawnInPlace_data()
{
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("reduced, inside") << false << QRect(3, 5, 41, 29);
    QTest::newRow("reduced, whole canvas") << false << QRect(0, 0, 64, 48);
    QTest::newRow("reduced, at the bottom right") << false << QRect(23, 19, 41, 29);
    QTest::newRow("enlarged, odd size") << false << QRect(1, 0, 63, 47);
    QTest::newRow("natural size") << false << QRect(7, 2, 50, 37);
    QTest::newRow("partly outside") << false << QRect(40, 30, 41, 29);
    QTest::newRow("one pixel") << false << QRect(63, 47, 1, 1);
    QTest::newRow("transparent") << true << QRect(3, 5, 41, 29);
}

// Drawn into the canvas at a rectangle: exactly the picture rendered at that
// size and painted over the pad there, whether resampled in place or not.
void TestPictureScaling::drawnInPlace()
{
    QFETCH(bool, transparent);
    QFETCH(QRect, rect);
    QImage image = testpics::photoLike(50, 37, 3).convertToFormat(QImage::Format_ARGB32);
    if (transparent)
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(y, y, qRgba(255, 255, 255, 0));
    const RasterPicture raster(image.size(), transparent ? image : image.convertToFormat(QImage::Format_RGB32));
    const QRgb pad = qRgb(20, 90, 200);
    Canvas canvas(QSize(64, 48), FromQColor(QColor(pad)));
    canvas.SetAutoRedraw(true);
    QVERIFY(canvas.PaintPicture(raster, rect.x(), rect.y(), rect.width(), rect.height()));
    canvas.PictureFromImage();

    QImage expected(canvas.size(), QImage::Format_RGB32);
    expected.fill(pad);
    QPainter(&expected).drawImage(rect.topLeft(), raster.render(rect.size()));
    QCOMPARE(canvas.Image(), expected);
}

void TestPictureScaling::largeImagesKeepTheirPages_data()
{
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::addColumn<QList<int>>("pagesOf"); // the earlier step whose pages are reused; -1: any
    QTest::newRow("the same size again") << QList<QSize>{{4000, 3000}, {4000, 3000}} << QList<int>{-1, 0};
    QTest::newRow("a smaller one in the larger's pages") << QList<QSize>{{4000, 3000}, {1920, 1080}} << QList<int>{-1, 0};
    QTest::newRow("a larger one in new pages, kept in turn") << QList<QSize>{{1920, 1080}, {4000, 3000}, {3264, 2448}}
                                                             << QList<int>{-1, -1, 1};
    QTest::newRow("odd widths") << QList<QSize>{{3001, 1001}, {2999, 1003}} << QList<int>{-1, 0};
}

void TestPictureScaling::largeImagesKeepTheirPages()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer's build takes every picture from malloc, where it can watch it");
#endif
    QFETCH(QList<QSize>, sizes);
    QFETCH(QList<int>, pagesOf);
    QList<const uchar*> pages;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        QImage image = MakeLargeImage(sizes[i], QImage::Format_RGB32);
        QCOMPARE(image.size(), sizes[i]);
        QCOMPARE(image.bytesPerLine(), 4 * sizes[i].width());
        const QRgb colour = qRgb(10 * int(i), 200, 30);
        image.fill(colour); // every byte of it is there to write
        QCOMPARE(image.pixel(image.width() - 1, image.height() - 1), colour);
        pages << image.constBits();
        if (pagesOf[i] >= 0)
            QCOMPARE(pages[i], pages[pagesOf[i]]);
    }
}

QTEST_GUILESS_MAIN(TestPictureScaling)
#include "test_picture_scaling.moc"
