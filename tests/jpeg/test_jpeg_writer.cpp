// Tests of the JPEG writer.

#include "tests/support/JpegFiles.h"
#include "jpeg/Picturebox_2_jpg.h"
#include "tests/jpeg/TestJpegWriter.h"
#include "tests/support/TestPictures.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTest>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>
#include <sys/resource.h>

using namespace ostrovel;
using namespace ostrovel::test;

namespace {

// At quality 100 every quantizer is 1 and nothing is subsampled, so only the
// rounding of the colour conversion and of the DCT remains: measured at most
// 4 on the test pictures, where a 4:2:0 file misses by 147 to 191 at the
// coloured edges.
constexpr int kTolerance = 6;

void addPictureSizes()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("158x158, the default thumbnail") << 158 << 158;
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("3x7") << 3 << 7;
    QTest::newRow("7x3") << 7 << 3;
    QTest::newRow("200x50") << 200 << 50;
    QTest::newRow("17x1") << 17 << 1;
    QTest::newRow("1x17") << 1 << 17;
    QTest::newRow("16x16, whole blocks") << 16 << 16;
    QTest::newRow("333x129") << 333 << 129;
}

// EncodeJpeg at quality 100 with the address space capped at `room` bytes
// more than is in use; -1 when the cap cannot be set.
int encodedWithin(const QImage& picture, quint64 room, QByteArray& bytes)
{
    const quint64 used = addressSpaceInUse();
    rlimit saved{};
    if (used == 0 || ::getrlimit(RLIMIT_AS, &saved) != 0
        || (saved.rlim_cur != RLIM_INFINITY && saved.rlim_cur <= used + room))
        return -1;
    rlimit capped = saved;
    capped.rlim_cur = used + room;
    if (::setrlimit(RLIMIT_AS, &capped) != 0)
        return -1;
    const int status = EncodeJpeg(picture, 100, bytes);
    ::setrlimit(RLIMIT_AS, &saved);
    return status;
}

} // namespace

void TestJpegWriter::roundTrip_data()
{
    addPictureSizes();
}

void TestJpegWriter::fileLayout_data()
{
    addPictureSizes();
}

void TestJpegWriter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestJpegWriter::cleanup()
{
    m_dir.reset();
}

QString TestJpegWriter::path(const QString& name) const
{
    return m_dir->filePath(name);
}

void TestJpegWriter::roundTrip()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QImage picture = gradientWithBlocks(width, height);
    const QString outfile = path("thumb_roundtrip.jpg");
    SavePictureAsJpg(picture, outfile, 100);

    QImageReader reader(outfile);
    reader.setAutoTransform(false);
    const QImage decoded = reader.read();
    QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(decoded.size(), QSize(width, height));
    const int difference = maxChannelDifference(picture, decoded);
    QVERIFY2(difference >= 0 && difference <= kTolerance, qPrintable(QString::number(difference)));
}

void TestJpegWriter::fileLayout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const QString outfile = path("thumb_layout.jpg");
    SavePictureAsJpg(gradientWithBlocks(width, height), outfile, 200);
    const QByteArray jpeg = readFile(outfile);
    const JpegLayout layout = readJpegLayout(jpeg);

    QVERIFY(layout.valid);
    QCOMPARE(layout.frameMarker, 0xC0); // baseline
    QCOMPARE(layout.precision, 8);
    QCOMPARE(layout.width, width);
    QCOMPARE(layout.height, height);
    QCOMPARE(layout.sampling, QList<int>({0x11, 0x11, 0x11})); // 4:4:4
    for (int marker : layout.markers)
        QVERIFY2(marker < 0xE1 || marker > 0xEF, qPrintable(QString::number(marker, 16))); // no EXIF, ICC, ...
    QCOMPARE(jpeg.count(QByteArrayView("\xFF\xDA")), 1); // one sequential scan
    QVERIFY(layout.huffmanTables >= 2);
    QCOMPARE(layout.standardHuffmanTables, 0); // optimized tables
    QVERIFY(jpeg.endsWith("\xFF\xD9"));
}

void TestJpegWriter::qualityClamped_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("sameAs");
    QTest::newRow("200, the export's value") << 200 << 100;
    QTest::newRow("101") << 101 << 100;
    QTest::newRow("INT_MAX") << INT_MAX << 100;
    QTest::newRow("-5") << -5 << 0;
    QTest::newRow("-1") << -1 << 0;
    QTest::newRow("INT_MIN") << INT_MIN << 0;
}

void TestJpegWriter::qualityClamped()
{
    QFETCH(int, quality);
    QFETCH(int, sameAs);
    const QImage picture = gradientWithBlocks(158, 158);
    const QByteArray expected = encoded(picture, sameAs);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(encoded(picture, quality), expected);

    const QString outfile = path("thumb_quality.jpg");
    SavePictureAsJpg(picture, outfile, quality);
    QCOMPARE(readFile(outfile), expected);
}

void TestJpegWriter::qualityChangesSize()
{
    const QImage picture = gradientWithBlocks(158, 158);
    const qsizetype q0 = encoded(picture, 0).size();
    const qsizetype q50 = encoded(picture, 50).size();
    const qsizetype q100 = encoded(picture, 100).size();
    QVERIFY(q0 > 0);
    QVERIFY(q0 < q50);
    QVERIFY(q50 < q100);
}

void TestJpegWriter::inputFormats_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("RGB32") << QImage::Format_RGB32;
    QTest::newRow("ARGB32") << QImage::Format_ARGB32;
    QTest::newRow("ARGB32_Premultiplied") << QImage::Format_ARGB32_Premultiplied;
    QTest::newRow("RGB888") << QImage::Format_RGB888;
    QTest::newRow("BGR888") << QImage::Format_BGR888;
    QTest::newRow("RGBX8888") << QImage::Format_RGBX8888;
    QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
    QTest::newRow("RGBA8888_Premultiplied") << QImage::Format_RGBA8888_Premultiplied;
    QTest::newRow("RGB30") << QImage::Format_RGB30;
    QTest::newRow("RGBX64") << QImage::Format_RGBX64;
    QTest::newRow("Grayscale8") << QImage::Format_Grayscale8;
    QTest::newRow("Indexed8") << QImage::Format_Indexed8;
    QTest::newRow("RGB16") << QImage::Format_RGB16;
    QTest::newRow("Mono") << QImage::Format_Mono;
}

// Whatever the format, the encoder sees what Format_RGB32 holds after
// Qt's own conversion.
void TestJpegWriter::inputFormats()
{
    QFETCH(QImage::Format, format);
    const QImage picture = gradientWithBlocks(61, 47).convertToFormat(format);
    QCOMPARE(picture.format(), format);
    const QByteArray expected = encoded(picture.convertToFormat(QImage::Format_RGB32), 90);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(encoded(picture, 90), expected);
}

void TestJpegWriter::paddedRows()
{
    const QImage picture = gradientWithBlocks(37, 29);
    const qsizetype stride = 37 * 4 + 20;
    std::vector<uchar> buffer(size_t(stride * 29), 0xAB);
    QImage padded(buffer.data(), 37, 29, stride, QImage::Format_RGB32);
    for (int y = 0; y < 29; ++y)
        std::memcpy(padded.scanLine(y), picture.constScanLine(y), 37 * 4);
    QCOMPARE(encoded(padded, 100), encoded(picture, 100));
}

// The caller always hands over an opaque canvas; alpha is dropped, as
// converting ARGB32 to RGB32 does, not composited.
void TestJpegWriter::transparencyDropped()
{
    QImage picture = gradientWithBlocks(40, 40).convertToFormat(QImage::Format_ARGB32);
    QImage opaque = picture.copy();
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = (line[x] & 0x00FFFFFF) | (QRgb(x * 6) << 24);
    }
    QCOMPARE(encoded(picture, 100), encoded(opaque, 100));
}

void TestJpegWriter::emptyImage_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::newRow("null") << QImage();
    QTest::newRow("0x10") << QImage(0, 10, QImage::Format_RGB32);
    QTest::newRow("10x0") << QImage(10, 0, QImage::Format_RGB32);
}

void TestJpegWriter::emptyImage()
{
    QFETCH(QImage, picture);
    QByteArray bytes("stale");
    QCOMPARE(EncodeJpeg(picture, 100, bytes), int(kStatusInvalidParameter));
    QVERIFY(bytes.isEmpty());

    const QString outfile = path("thumb_empty.jpg");
    const SaveOutcome outcome = trySave(picture, outfile, 200);
    QVERIFY(outcome.thrown);
    QCOMPARE(outcome.number, 5);
    QCOMPARE(outcome.description, QStringLiteral("Speicherung des Bildes fehlgeschlagen. GDI+ Error:2"));
    QVERIFY(!QFileInfo::exists(outfile));
    QCOMPARE(folderEntries(m_dir->path()), QStringList());
}

// JPEG holds at most 65500 pixels a side; libjpeg's refusal is a status.
void TestJpegWriter::tooLargeForJpeg()
{
    QImage picture(65501, 1, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QByteArray bytes;
    QCOMPARE(EncodeJpeg(picture, 100, bytes), int(kStatusInvalidParameter));
    QVERIFY(bytes.isEmpty());
}

void TestJpegWriter::outOfMemory()
{
    if (kSanitizerBuild)
        QSKIP("address-space limits do not work under the sanitizers");
    // 50 MB of 1-bit pixels need 1.6 GB once converted for the encoder;
    // a cap on the address space makes that conversion fail.
    QImage picture(20000, 20000, QImage::Format_Mono);
    QVERIFY(!picture.isNull());
    picture.fill(1);
    QByteArray bytes;
    QCOMPARE(encodedWithin(picture, quint64(1) << 30, bytes), int(kStatusOutOfMemory));
    QVERIFY(bytes.isEmpty());
}

// A picture too large for optimized tables is written with the standard ones
// in far less memory than the whole picture's coefficients (6 bytes a pixel),
// and still holds the picture.
void TestJpegWriter::hugePictureInLittleMemory()
{
    if (kSanitizerBuild)
        QSKIP("address-space limits do not work under the sanitizers");
    const int side = int(std::sqrt(double(kMaxOptimizedPixels))) + 16;
    const QImage picture = gradientWithBlocks(side, side);
    QVERIFY(!picture.isNull());
    const quint64 pixels = quint64(side) * quint64(side);
    QByteArray bytes;
    // Room for the output buffer, libjpeg's own rows and the file's copy;
    // the coefficients alone would need 6 * pixels.
    QCOMPARE(encodedWithin(picture, 3 * pixels, bytes), int(kStatusOk));

    const JpegLayout layout = readJpegLayout(bytes);
    QVERIFY(layout.valid);
    QCOMPARE(layout.frameMarker, 0xC0);
    QCOMPARE(layout.width, side);
    QVERIFY(layout.standardHuffmanTables >= 2);
    const int allocationLimit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(0); // larger than Qt reads by default
    const QImage decoded = QImage::fromData(bytes, "JPEG");
    QImageReader::setAllocationLimit(allocationLimit);
    QCOMPARE(decoded.size(), picture.size());
    const int difference = maxChannelDifference(picture, decoded);
    QVERIFY2(difference >= 0 && difference <= kTolerance, qPrintable(QString::number(difference)));
}

QTEST_GUILESS_MAIN(TestJpegWriter)
