// The tests' image comparisons: the largest channel difference must see a
// differing pixel in any channel, and a picture of the wrong size must fail
// every "at most N" check made with it; the PSNR must follow its definition
// and give a wrong size the worst value.

#include "tests/support/ImageCompare.h"
#include "tests/support/TestPictures.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace ostrovel::test;

namespace {

QImage withPixel(QImage image, QPoint at, QRgb colour)
{
    image.setPixel(at, colour);
    return image;
}

} // namespace

class TestImageCompare : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void difference_data();
    void difference();
    void wrongSizeFailsAnyTolerance_data();
    void wrongSizeFailsAnyTolerance();
    void psnrValues_data();
    void psnrValues();
};

void TestImageCompare::difference_data()
{
    QTest::addColumn<QImage>("a");
    QTest::addColumn<QImage>("b");
    QTest::addColumn<int>("expected");
    const QImage base = quadrants(6, 4);
    const QImage argb = base.convertToFormat(QImage::Format_ARGB32);
    QTest::newRow("same") << base << base << 0;
    QTest::newRow("same pixels, other format") << base << argb << 0;
    QTest::newRow("red off by 7 in the last pixel") << base << withPixel(base, {5, 3}, qRgb(255 - 7, 255, 0))
                                                    << 7;
    QTest::newRow("green off by 200") << base << withPixel(base, {0, 0}, qRgb(255, 200, 0)) << 200;
    QTest::newRow("blue off by 1") << base << withPixel(base, {3, 1}, qRgb(0, 255, 1)) << 1;
    QTest::newRow("alpha off by 55") << argb << withPixel(argb, {1, 2}, qRgba(0, 0, 255, 200)) << 55;
    QTest::newRow("wider") << base << quadrants(7, 4) << kSizesDiffer;
    QTest::newRow("taller") << base << quadrants(6, 5) << kSizesDiffer;
    QTest::newRow("turned") << base << quadrants(4, 6) << kSizesDiffer;
    QTest::newRow("null") << base << QImage() << kSizesDiffer;
}

void TestImageCompare::difference()
{
    QFETCH(QImage, a);
    QFETCH(QImage, b);
    QFETCH(int, expected);
    QCOMPARE(maxChannelDifference(a, b), expected);
    QCOMPARE(maxChannelDifference(b, a), expected);
}

void TestImageCompare::wrongSizeFailsAnyTolerance_data()
{
    QTest::addColumn<QSize>("other");
    QTest::newRow("one column more") << QSize(321, 240);
    QTest::newRow("one row fewer") << QSize(320, 239);
    QTest::newRow("half the size") << QSize(160, 120);
}

void TestImageCompare::wrongSizeFailsAnyTolerance()
{
    QFETCH(QSize, other);
    // Pictures of the same content at another size: as the decoder's tests
    // compare them, with a tolerance up to the largest a channel can differ.
    const QImage picture = photoLike(320, 240);
    const QImage wrong = photoLike(other.width(), other.height());
    for (int tolerance : {0, 1, 2, 255})
        QVERIFY(!(maxChannelDifference(wrong, picture) <= tolerance));
}

void TestImageCompare::psnrValues_data()
{
    QTest::addColumn<QImage>("b");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<double>("expected");
    const QImage base = quadrants(8, 8, qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90), qRgb(100, 110, 120));
    const double inf = std::numeric_limits<double>::infinity();
    // Every value off by d: the mean squared error is d * d.
    const auto db = [](double mse) { return 10.0 * std::log10(255.0 * 255.0 / mse); };
    QImage offByOne(8, 8, QImage::Format_RGB32), offByTenTopLeft = base;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const QRgb p = base.pixel(x, y);
            offByOne.setPixel(x, y, qRgb(qRed(p) + 1, qGreen(p) - 1, qBlue(p) + 1));
            if (x < 4 && y < 4)
                offByTenTopLeft.setPixel(x, y, qRgb(qRed(p) + 10, qGreen(p) + 10, qBlue(p) + 10));
        }
    QTest::newRow("equal") << base << base.rect() << inf;
    QTest::newRow("all off by one") << offByOne << base.rect() << db(1.0);
    QTest::newRow("a quarter off by ten") << offByTenTopLeft << base.rect() << db(100.0 / 4);
    QTest::newRow("only the changed quarter") << offByTenTopLeft << QRect(0, 0, 4, 4) << db(100.0);
    QTest::newRow("only an unchanged quarter") << offByTenTopLeft << QRect(4, 4, 4, 4) << inf;
    QTest::newRow("wrong size") << quadrants(8, 9) << QRect(0, 0, 8, 8) << 0.0;
    QTest::newRow("area outside") << base << QRect(4, 4, 8, 8) << 0.0;
}

void TestImageCompare::psnrValues()
{
    QFETCH(QImage, b);
    QFETCH(QRect, area);
    QFETCH(double, expected);
    const QImage a = quadrants(8, 8, qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90), qRgb(100, 110, 120));
    const double value = psnr(a, b, area);
    if (std::isinf(expected))
        QVERIFY2(std::isinf(value), qPrintable(QString::number(value)));
    else
        QVERIFY2(std::abs(value - expected) < 1e-9, qPrintable(QString::number(value)));
}

QTEST_GUILESS_MAIN(TestImageCompare)
#include "test_image_compare.moc"
