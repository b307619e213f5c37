// BMPs whose pixels are bit fields of any width, with and without alpha:
// each field is read scaled to 8 bits; and the 52- and 56-byte headers.

#include "picture/RasterChecks.h"
#include "picture/ReadBmp.h"
#include "tests/support/LittleEndian.h"
#include "tests/support/TestPictures.h"

#include <QTest>
#include <QtEndian>

#include <array>
#include <cmath>

using namespace ostrovel;

namespace {

using Widths = std::array<int, 4>; // red, green, blue, alpha bits

// Colours across the range, alpha too, 16 x 4.
QImage source()
{
    QImage image(16, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgba(x * 17, 255 - x * 17, (x * 40 + y * 60) % 256, 255 - y * 60));
    return image;
}

// `image` as a bottom-up BMP with a header of `dibSize` bytes and bit
// fields of `widths` packed from bit 0 (blue, green, red, alpha), each
// channel rounded to its width; for a 40-byte header the three colour masks
// follow it. Compression 3 says the masks are there, 0 that they are 5-5-5.
QByteArray bitfieldBmp(const QImage& image, int dibSize, int bpp, Widths widths, int compression)
{
    std::array<quint32, 4> mask{}, shift{};
    int at = 0;
    for (std::size_t c : {2, 1, 0, 3}) {
        shift[c] = quint32(at);
        mask[c] = quint32(((quint64(1) << widths[c]) - 1) << at);
        at += widths[c];
    }
    const int masksAfter = dibSize == 40 ? 12 : 0, stride = (image.width() * bpp + 31) / 32 * 4;
    const int offset = 14 + dibSize + masksAfter;
    QByteArray b(offset + stride * image.height(), '\0');
    b[0] = 'B';
    b[1] = 'M';
    test::setLe32(b, 2, quint32(b.size()));
    test::setLe32(b, 10, quint32(offset));
    test::setLe32(b, 14, quint32(dibSize));
    test::setLe32(b, 18, quint32(image.width()));
    test::setLe32(b, 22, quint32(image.height()));
    test::setLe16(b, 26, 1);
    test::setLe16(b, 28, quint32(bpp));
    test::setLe32(b, 30, quint32(compression));
    for (int c = 0; c < (dibSize == 40 ? 3 : 4); ++c)
        test::setLe32(b, 54 + 4 * c, mask[std::size_t(c)]);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, image.height() - 1 - y);
            const std::array<int, 4> value{qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
            quint32 pixel = 0;
            for (std::size_t c = 0; c < 4; ++c) {
                const quint64 top = (quint64(1) << widths[c]) - 1;
                pixel |= quint32(std::lround(value[c] * double(top) / 255.0) << shift[c]);
            }
            const int where = offset + stride * y + x * bpp / 8;
            if (bpp == 32)
                test::setLe32(b, where, pixel);
            else
                test::setLe16(b, where, pixel);
        }
    return b;
}

// `bmp` (with the 40-byte header) with its header widened to `dibSize`
// bytes, the added mask fields zero.
QByteArray widened(const QByteArray& bmp, int dibSize)
{
    QByteArray wide = bmp;
    wide.insert(54, QByteArray(dibSize - 40, '\0'));
    test::setLe32(wide, 2, quint32(wide.size()));
    test::setLe32(wide, 10, qFromLittleEndian<quint32>(bmp.constData() + 10) + quint32(dibSize - 40));
    test::setLe32(wide, 14, quint32(dibSize));
    return wide;
}

QImage saved(QImage::Format format)
{
    return source().convertToFormat(format, Qt::ThresholdDither);
}

} // namespace

class TestBmpBitfields : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldsScaled_data();
    void fieldsScaled();
    void longerHeader_data();
    void longerHeader();
};

void TestBmpBitfields::fieldsScaled_data()
{
    QTest::addColumn<int>("dibSize");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<Widths>("widths");
    QTest::addColumn<int>("compression");

    for (int w = 1; w <= 16; ++w) { // red of each width, the others as wide as still fits
        const int rest = std::min(8, (32 - w) / 2), restAlpha = std::min(8, (32 - w) / 3);
        QTest::addRow("32-bit, red %d bits", w) << 40 << 32 << Widths{w, rest, rest, 0} << 3;
        QTest::addRow("32-bit, red %d bits, alpha", w) << 124 << 32 << Widths{w, restAlpha, restAlpha, restAlpha} << 3;
        QTest::addRow("32-bit, alpha %d bits", w) << 108 << 32 << Widths{restAlpha, restAlpha, restAlpha, w} << 3;
    }
    for (int w = 1; w <= 6; ++w)
        QTest::addRow("16-bit, green %d bits", w) << 40 << 16 << Widths{5, w, 5, 0} << 3;
    QTest::newRow("16-bit without compression") << 40 << 16 << Widths{5, 5, 5, 0} << 0;
    QTest::newRow("11-11-10 bits") << 40 << 32 << Widths{11, 11, 10, 0} << 3;
    QTest::newRow("52-byte header, 5-6-5") << 52 << 16 << Widths{5, 6, 5, 0} << 3;
    QTest::newRow("56-byte header, 8-8-8-8") << 56 << 32 << Widths{8, 8, 8, 8} << 3;
    QTest::newRow("56-byte header, 10-10-10-2") << 56 << 32 << Widths{10, 10, 10, 2} << 3;
}

void TestBmpBitfields::fieldsScaled()
{
    QFETCH(int, dibSize);
    QFETCH(int, bpp);
    QFETCH(Widths, widths);
    QFETCH(int, compression);

    const QImage wanted = source();
    QByteArray bytes = bitfieldBmp(wanted, dibSize, bpp, widths, compression);
    QVERIFY(PlausibleBmp(bytes));
    const QImage read = ReadBmp(bytes, 64).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(read.size(), wanted.size());
    for (int y = 0; y < wanted.height(); ++y)
        for (int x = 0; x < wanted.width(); ++x) {
            const QRgb got = read.pixel(x, y), want = wanted.pixel(x, y);
            const std::array<int, 4> g{qRed(got), qGreen(got), qBlue(got), qAlpha(got)};
            const std::array<int, 4> e{qRed(want), qGreen(want), qBlue(want), widths[3] ? qAlpha(want) : 255};
            for (std::size_t c = 0; c < 4; ++c) {
                const int step = widths[c] ? int(std::ceil(255.0 / ((1 << widths[c]) - 1))) : 0;
                QVERIFY2(std::abs(g[c] - e[c]) <= step / 2 + 1,
                         qPrintable(QStringLiteral("channel %1 at %2,%3: %4 for %5").arg(c).arg(x).arg(y).arg(g[c]).arg(e[c])));
            }
        }
}

void TestBmpBitfields::longerHeader_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("dibSize");
    for (int dibSize : {52, 56}) {
        QTest::addRow("24-bit, %d bytes", dibSize) << saved(QImage::Format_RGB888) << dibSize;
        QTest::addRow("palette, %d bytes", dibSize) << saved(QImage::Format_Indexed8) << dibSize;
        QTest::addRow("1-bit, %d bytes", dibSize) << saved(QImage::Format_Mono) << dibSize;
    }
}

// Read as the same picture with the 40-byte header.
void TestBmpBitfields::longerHeader()
{
    QFETCH(QImage, image);
    QFETCH(int, dibSize);
    QByteArray plain = testpics::bmp(image);
    QByteArray wide = widened(plain, dibSize);
    QVERIFY(PlausibleBmp(wide));
    const QImage expected = ReadBmp(plain, 64);
    QVERIFY(!expected.isNull());
    QCOMPARE(ReadBmp(wide, 64), expected);
}

QTEST_GUILESS_MAIN(TestBmpBitfields)
#include "test_bmp_bitfields.moc"
