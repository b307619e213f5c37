#include "picture/jpegdec/ExifOrientation.h"
#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegExtent.h"
#include "common/ReadableFile.h"
#include "tests/support/JpegFiles.h"
#include "picture/Limits.h"
#include "tests/support/TestPictures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace ostrovel;
using namespace ostrovel::test;

namespace {

JpegDecodeOptions fixed(int denominator)
{
    return {.chooseDenominator = [denominator](QSize) { return denominator; }};
}

// As the loader reads a file: up to its end marker.
std::optional<DecodedJpeg> decodeFile(const QString& path, int denominator)
{
    QString reason;
    const FileHandle handle = OpenPictureFile(path, reason);
    const QByteArray bytes = handle.isOpen() ? jpegdec::ReadJpegExtent(handle.fd(), kMaxJpegFileBytes, reason)
                                             : QByteArray();
    return bytes.isEmpty() ? std::nullopt : DecodeJpeg(bytes, fixed(denominator));
}

// Large photo-like files are slow to make; each size is made once.
QByteArray photoJpeg(QSize size)
{
    static QHash<quint64, QByteArray> made;
    const quint64 key = quint64(size.width()) << 32 | quint64(size.height());
    if (!made.contains(key))
        made.insert(key, test::jpeg(photoLike(size.width(), size.height()), 90));
    return made.value(key);
}

QByteArray exifJpeg(const QByteArray& jpeg, int orientation, bool littleEndian = true)
{
    return withSegment(jpeg, 0xE1, exifPayload(orientation, littleEndian));
}

// Corner colours a few pixels inside: top left, top right, bottom left, bottom right.
QList<QRgb> corners(const QImage& image)
{
    const int r = image.width() - 3, b = image.height() - 3;
    return {image.pixel(2, 2), image.pixel(r, 2), image.pixel(2, b), image.pixel(r, b)};
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255), kYellow = qRgb(255, 255, 0);

// Highest virtual size of the process so far, in bytes.
quint64 peakAddressSpace()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
    return 0;
}

} // namespace

class TestJpegDecoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizes_data();
    void sizes();
    void coveredArea_data();
    void coveredArea();
    void reducedMatchesQt_data();
    void reducedMatchesQt();
    void orientation_data();
    void orientation();
    void damagedExif_data();
    void damagedExif();
    void exifCutAnywhere();
    void iccProfile_data();
    void iccProfile();
    void colourModels_data();
    void colourModels();
    void matchesQt_data();
    void matchesQt();
    void refused_data();
    void refused();
    void hugeClaims_data();
    void hugeClaims();
    void extraneousBytesTolerated();
    void fromFile();
    void concurrentDecodes();
};

void TestJpegDecoder::sizes_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("asked");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QSize>("decoded");
    const QSize even(4000, 3000), odd(4001, 2999);
    QTest::newRow("4000x3000 1/1") << even << 1 << 1 << even << even;
    QTest::newRow("4000x3000 1/2") << even << 1 << 2 << even << QSize(2000, 1500);
    QTest::newRow("4000x3000 1/4") << even << 1 << 4 << even << QSize(1000, 750);
    QTest::newRow("4000x3000 1/8") << even << 1 << 8 << even << QSize(500, 375);
    QTest::newRow("4001x2999 1/2") << odd << 1 << 2 << odd << QSize(2001, 1500);
    QTest::newRow("4001x2999 1/4") << odd << 1 << 4 << odd << QSize(1001, 750);
    QTest::newRow("4001x2999 1/8") << odd << 1 << 8 << odd << QSize(501, 375);
    QTest::newRow("4001x2999 turned 1/8") << odd << 6 << 8 << QSize(2999, 4001) << QSize(375, 501);
    QTest::newRow("4001x2999 transposed 1/4") << odd << 5 << 4 << QSize(2999, 4001) << QSize(750, 1001);
    QTest::newRow("asks 3, gets 1/2") << even << 1 << 3 << even << QSize(2000, 1500);
    QTest::newRow("asks 7, gets 1/4") << even << 1 << 7 << even << QSize(1000, 750);
    QTest::newRow("asks 64, gets 1/8") << even << 1 << 64 << even << QSize(500, 375);
    QTest::newRow("asks 0, gets 1/1") << even << 1 << 0 << even << even;
    QTest::newRow("asks -2, gets 1/1") << even << 1 << -2 << even << even;
}

void TestJpegDecoder::sizes()
{
    QFETCH(QSize, stored);
    QFETCH(int, orientation);
    QFETCH(int, asked);
    QFETCH(QSize, natural);
    QFETCH(QSize, decoded);
    QSize seen;
    int calls = 0;
    const auto result = DecodeJpeg(exifJpeg(photoJpeg(stored), orientation), {.chooseDenominator = [&](QSize upright) {
        seen = upright;
        ++calls;
        return asked;
    }});
    QVERIFY(result);
    QCOMPARE(calls, 1);
    QCOMPARE(seen, natural);
    QCOMPARE(result->natural, natural);
    QCOMPARE(result->image.size(), decoded);
    QCOMPARE(result->image.format(), QImage::Format_RGB32);
}

void TestJpegDecoder::coveredArea_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<QRectF>("area"); // of the upright decoded pixels
    // 4001 x 2999 stored: at 1/8 the last column holds 1 of 8 pixels, the
    // last row 7 of 8; turning moves them to the top or left.
    QTest::newRow("1/1") << 1 << 1 << QRectF(0, 0, 4001, 2999);
    QTest::newRow("1/2") << 1 << 2 << QRectF(0, 0, 2000.5, 1499.5);
    QTest::newRow("1/8") << 1 << 8 << QRectF(0, 0, 500.125, 374.875);
    QTest::newRow("mirrored 1/8") << 2 << 8 << QRectF(0.875, 0, 500.125, 374.875);
    QTest::newRow("turned 180, 1/4") << 3 << 4 << QRectF(0.75, 0.25, 1000.25, 749.75);
    QTest::newRow("flipped 1/8") << 4 << 8 << QRectF(0, 0.125, 500.125, 374.875);
    QTest::newRow("transposed 1/4") << 5 << 4 << QRectF(0, 0, 749.75, 1000.25);
    QTest::newRow("turned right 1/8") << 6 << 8 << QRectF(0.125, 0, 374.875, 500.125);
    QTest::newRow("transversed 1/8") << 7 << 8 << QRectF(0.125, 0.875, 374.875, 500.125);
    QTest::newRow("turned left 1/8") << 8 << 8 << QRectF(0, 0.875, 374.875, 500.125);
}

// Where the picture lies in the decoded pixels, the partial blocks of a
// reduced decode cut off, wherever turning puts them.
void TestJpegDecoder::coveredArea()
{
    QFETCH(int, orientation);
    QFETCH(int, denominator);
    QFETCH(QRectF, area);
    const auto result = DecodeJpeg(exifJpeg(photoJpeg(QSize(4001, 2999)), orientation), fixed(denominator));
    QVERIFY(result);
    QCOMPARE(result->area, area);
    QVERIFY(QRectF(QPointF(0, 0), QSizeF(result->image.size())).contains(area));
}

void TestJpegDecoder::reducedMatchesQt_data()
{
    QTest::addColumn<int>("denominator");
    for (int d : {1, 2, 4, 8})
        QTest::addRow("1/%d", d) << d;
}

// Qt's reader decodes at the same DCT scale when asked for exactly that size.
void TestJpegDecoder::reducedMatchesQt()
{
    QFETCH(int, denominator);
    const QByteArray jpeg = exifJpeg(photoJpeg(QSize(800, 600)), 8);
    const auto result = DecodeJpeg(jpeg, fixed(denominator));
    QVERIFY(result);
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    reader.setScaledSize(QSize(800 / denominator, 600 / denominator));
    const QImage expected = reader.read();
    QVERIFY(!expected.isNull());
    QCOMPARE(result->image.size(), QSize(600 / denominator, 800 / denominator));
    const int difference = maxChannelDifference(result->image, expected);
    QVERIFY2(difference <= 2, qPrintable(QString::number(difference)));
}

void TestJpegDecoder::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("littleEndian");
    QTest::addColumn<QList<QRgb>>("expected"); // top left, top right, bottom left, bottom right
    const QList<QList<QRgb>> seen = {
        {kRed, kGreen, kBlue, kYellow}, {kGreen, kRed, kYellow, kBlue}, {kYellow, kBlue, kGreen, kRed},
        {kBlue, kYellow, kRed, kGreen}, {kRed, kBlue, kGreen, kYellow}, {kBlue, kRed, kYellow, kGreen},
        {kYellow, kGreen, kBlue, kRed}, {kGreen, kYellow, kRed, kBlue}};
    for (int o = 1; o <= 8; ++o) {
        QTest::addRow("%d Intel", o) << o << true << seen[o - 1];
        QTest::addRow("%d Motorola", o) << o << false << seen[o - 1];
    }
}

void TestJpegDecoder::orientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, littleEndian);
    QFETCH(QList<QRgb>, expected);
    const QByteArray jpeg = exifJpeg(test::jpeg(quadrants(48, 32), 95), orientation, littleEndian);
    const auto result = DecodeJpeg(jpeg, fixed(1));
    QVERIFY(result);
    QCOMPARE(result->natural, orientation >= 5 ? QSize(32, 48) : QSize(48, 32));
    const QList<QRgb> found = corners(result->image);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(near(found[i], expected[i], 24), qPrintable(QString("corner %1").arg(i)));
    QCOMPARE(maxChannelDifference(result->image, qtDecode(jpeg)), 0);
}

void TestJpegDecoder::damagedExif_data()
{
    QTest::addColumn<QByteArray>("payload");
    const QByteArray good = exifPayload(6, true);
    const auto patched = [&](int at, QByteArray bytes) { return QByteArray(good).replace(at, bytes.size(), bytes); };
    QTest::newRow("orientation 0") << exifPayload(0, true);
    QTest::newRow("orientation 9") << exifPayload(9, false);
    QTest::newRow("unknown byte order") << patched(6, "XX");
    QTest::newRow("not TIFF") << patched(8, QByteArray("\x2b\x00", 2));
    QTest::newRow("first IFD past the end") << patched(10, QByteArray("\xf0\xff\xff\x7f", 4));
    QTest::newRow("more entries than bytes") << patched(14, QByteArray("\xff\xff", 2)).left(30);
    QTest::newRow("cut inside the entry") << good.left(6 + 22 + 9);
    QTest::newRow("orientation as LONG") << patched(6 + 24, QByteArray("\x04\x00", 2));
    QTest::newRow("two orientation values") << patched(6 + 26, QByteArray("\x02", 1));
    QTest::newRow("only the Exif name") << QByteArray("Exif\0\0", 6);
    QTest::newRow("XMP, not Exif") << QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 42);
}

// A damaged orientation is ignored: the picture shows as stored.
void TestJpegDecoder::damagedExif()
{
    QFETCH(QByteArray, payload);
    const auto result = DecodeJpeg(withSegment(test::jpeg(quadrants(48, 32), 95), 0xE1, payload), fixed(1));
    QVERIFY(result);
    QCOMPARE(result->natural, QSize(48, 32));
    QVERIFY(near(corners(result->image)[0], kRed, 24));
    QVERIFY(near(corners(result->image)[1], kGreen, 24));
}

// The orientation entry ends at byte 34 of the TIFF data: any shorter piece
// must give 1 without reading past its end.
void TestJpegDecoder::exifCutAnywhere()
{
    for (bool little : {true, false}) {
        const QByteArray tiff = exifPayload(6, little).mid(6);
        for (qsizetype n = 0; n <= tiff.size(); ++n) {
            const QByteArray piece = tiff.left(n); // its own allocation, so ASan sees overreads
            const int found = jpegdec::exifOrientation(reinterpret_cast<const unsigned char*>(piece.constData()),
                                                       std::size_t(piece.size()));
            QCOMPARE(found, n >= 34 ? 6 : 1);
        }
    }
}

void TestJpegDecoder::iccProfile_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<bool>("converted");
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    QTest::newRow("none") << QByteArray() << false;
    QTest::newRow("sRGB") << QColorSpace(QColorSpace::SRgb).iccProfile() << false;
    QTest::newRow("Adobe RGB") << adobe << true;
    QTest::newRow("Display P3") << QColorSpace(QColorSpace::DisplayP3).iccProfile() << true;
    QTest::newRow("cut short") << adobe.left(100) << false;
    QTest::newRow("not a profile") << QByteArray(300, 'x') << false;
}

void TestJpegDecoder::iccProfile()
{
    QFETCH(QByteArray, profile);
    QFETCH(bool, converted);
    QImage picture(64, 16, QImage::Format_RGB32);
    const QList<QRgb> patches = {qRgb(20, 200, 30), qRgb(200, 40, 40), qRgb(128, 128, 128), qRgb(30, 60, 220)};
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 16; ++y)
            picture.setPixel(x, y, patches[x / 16]);
    const QByteArray plainFile = test::jpeg(picture, 95);
    const QByteArray file = profile.isEmpty() ? plainFile : withSegment(plainFile, 0xE2, iccPayload(profile));
    const auto plain = DecodeJpeg(plainFile, fixed(1));
    const auto result = DecodeJpeg(file, fixed(1));
    QVERIFY(plain && result);
    QVERIFY(!result->image.colorSpace().isValid());
    if (!converted) {
        QCOMPARE(maxChannelDifference(result->image, plain->image), 0);
        return;
    }
    QImage expected = qtDecode(file);
    QVERIFY(expected.colorSpace().isValid());
    expected.convertToColorSpace(QColorSpace::SRgb);
    QVERIFY(maxChannelDifference(result->image, expected) <= 1);
    const QRgb before = plain->image.pixel(8, 8), after = result->image.pixel(8, 8);
    QVERIFY2(!near(before, after, 9), "the green patch should be converted");
}

void TestJpegDecoder::colourModels_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<QList<QRgb>>("expected"); // corners: top left, top right, bottom left, bottom right
    const QImage picture = quadrants(64, 48);
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    const QImage grayRgb = gray.convertToFormat(QImage::Format_RGB32);
    const QList<QRgb> colours = {kRed, kGreen, kBlue, kYellow};
    QTest::newRow("grayscale") << test::jpeg(gray, 95) << corners(grayRgb);
    QTest::newRow("grayscale progressive")
        << libjpegJpeg(grayRgb, {.quality = 95, .colour = Colour::Gray, .progressive = true}) << corners(grayRgb);
    QTest::newRow("Adobe CMYK") << libjpegJpeg(picture, {.quality = 95, .colour = Colour::Cmyk}) << colours;
    QTest::newRow("Adobe YCCK") << libjpegJpeg(picture, {.quality = 95, .colour = Colour::Ycck}) << colours;
    QTest::newRow("Adobe CMYK progressive")
        << libjpegJpeg(picture, {.quality = 95, .colour = Colour::Cmyk, .progressive = true}) << colours;
}

void TestJpegDecoder::colourModels()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(QList<QRgb>, expected);
    const auto result = DecodeJpeg(jpeg, fixed(1));
    QVERIFY(result);
    QCOMPARE(result->image.format(), QImage::Format_RGB32);
    const QList<QRgb> found = corners(result->image);
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(near(found[i], expected[i], 8), qPrintable(QString("corner %1: %2").arg(i).arg(found[i], 0, 16)));
        QCOMPARE(qAlpha(found[i]), 255);
    }
    QVERIFY(maxChannelDifference(result->image, qtDecode(jpeg)) <= 1);
}

void TestJpegDecoder::matchesQt_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    const QImage photo = photoLike(320, 240);
    QTest::newRow("baseline") << test::jpeg(photo, 90);
    QTest::newRow("progressive, Qt") << test::jpeg(photo, 90, true);
    QTest::newRow("progressive 4:2:0") << libjpegJpeg(photo, {.progressive = true});
    QTest::newRow("progressive 4:4:4") << libjpegJpeg(photo, {.lumaH = 1, .lumaV = 1, .progressive = true});
    QTest::newRow("restart markers") << libjpegJpeg(photo, {.restartRows = 1});
    QTest::newRow("progressive with restarts") << libjpegJpeg(photo, {.progressive = true, .restartRows = 2});
    QTest::newRow("odd size 4:2:0") << libjpegJpeg(photoLike(333, 211), {.progressive = true});
}

void TestJpegDecoder::matchesQt()
{
    QFETCH(QByteArray, jpeg);
    const auto result = DecodeJpeg(jpeg, fixed(1));
    QVERIFY(result);
    QVERIFY(maxChannelDifference(result->image, qtDecode(jpeg)) <= 2);
}

void TestJpegDecoder::refused_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray baseline = photoJpeg(QSize(320, 240));
    const QByteArray progressive = libjpegJpeg(photoLike(320, 240), {.progressive = true});
    QByteArray noMarkers(2000, 0);
    for (int i = 0; i < noMarkers.size(); ++i)
        noMarkers[i] = char((i * 37) % 0xFF); // never 0xFF: no marker to resync on
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    photoLike(16, 16).save(&buffer, "PNG");
    QByteArray badTable = baseline;
    badTable.replace(segmentAt(baseline, 0xC4) + 5, 16, QByteArray(16, char(0x40))); // 1024 codes
    const qsizetype firstScan = baseline.indexOf(QByteArray("\xFF\xDA", 2));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("PNG") << png;
    QTest::newRow("SOI only") << baseline.left(2);
    QTest::newRow("garbage after SOI") << baseline.left(2) + noMarkers;
    QTest::newRow("cut inside the header") << baseline.left(100);
    QTest::newRow("cut after the scan header") << baseline.left(firstScan + 14);
    QTest::newRow("cut to 60%") << baseline.left(baseline.size() * 6 / 10);
    QTest::newRow("cut to 99%") << baseline.left(baseline.size() * 99 / 100);
    QTest::newRow("progressive cut to 60%") << progressive.left(progressive.size() * 6 / 10);
    QTest::newRow("reserved marker") << baseline.left(2) + QByteArray("\xFF\x02\x00\x04xx", 6) + baseline.mid(2);
    QTest::newRow("damaged Huffman table") << badTable;
}

void TestJpegDecoder::refused()
{
    QFETCH(QByteArray, data);
    QVERIFY(!DecodeJpeg(data, fixed(1)));
    // A progressive file cut after its DC scans still has all a 1/8 decode
    // uses (the truncation rows of test_hostile_files show both sides).
    if (QByteArray(QTest::currentDataTag()) != "progressive cut to 60%")
        QVERIFY(!DecodeJpeg(data, fixed(8)));
}

void TestJpegDecoder::hugeClaims_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("denominator");
    const QByteArray baseline = test::jpeg(quadrants(64, 48), 90);
    const QByteArray progressive = libjpegJpeg(quadrants(64, 48), {.progressive = true});
    QTest::newRow("65535 square") << withFrameSize(baseline, 65535, 65535) << 8;
    QTest::newRow("65500 square at 1/1") << withFrameSize(baseline, 65500, 65500) << 1;
    QTest::newRow("65500 x 17000 at 1/1") << withFrameSize(baseline, 65500, 17000) << 1;
    QTest::newRow("just over 1 GB at 1/1") << withFrameSize(baseline, 65500, 4100) << 1;
    QTest::newRow("65500 square progressive at 1/8") << withFrameSize(progressive, 65500, 65500) << 8;
    QTest::newRow("16000 square progressive at 1/1: picture and coefficients beyond 1 GB")
        << withFrameSize(progressive, 16000, 16000) << 1;
}

// Refused from the header or on the first missing data, never by trying to
// allocate what the header claims.
void TestJpegDecoder::hugeClaims()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(int, denominator);
    const quint64 before = peakAddressSpace();
    QVERIFY(!DecodeJpeg(jpeg, fixed(denominator)));
    const quint64 after = peakAddressSpace();
    QVERIFY2(after < before + (quint64(1) << 30), qPrintable(QString("peak grew by %1 MB").arg((after - before) >> 20)));
}

// libjpeg warns about stray bytes between segments; the picture is still whole.
void TestJpegDecoder::extraneousBytesTolerated()
{
    const QByteArray clean = photoJpeg(QSize(320, 240));
    const qsizetype table = segmentAt(clean, 0xDB);
    QVERIFY(table > 0);
    const QByteArray stray = clean.left(table) + QByteArray("\x12\x34\x56", 3) + clean.mid(table);
    const auto a = DecodeJpeg(clean, fixed(1));
    const auto b = DecodeJpeg(stray, fixed(1));
    QVERIFY(a && b);
    QCOMPARE(maxChannelDifference(a->image, b->image), 0);
}

void TestJpegDecoder::fromFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray jpeg = exifJpeg(photoJpeg(QSize(320, 240)), 6);
    QFile file(dir.filePath("photo.jpg"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size());
    file.close();
    QFile(dir.filePath("empty.jpg")).open(QIODevice::WriteOnly);
    QFile huge(dir.filePath("huge.jpg")); // sparse: it costs no disk space
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.write(jpeg) == jpeg.size() && huge.resize(kMaxJpegFileBytes + 1));
    huge.close();
    const auto fromFile = decodeFile(dir.filePath("photo.jpg"), 2);
    const auto fromMemory = DecodeJpeg(jpeg, fixed(2));
    QVERIFY(fromFile && fromMemory);
    QCOMPARE(fromFile->natural, QSize(240, 320));
    QCOMPARE(maxChannelDifference(fromFile->image, fromMemory->image), 0);
    QVERIFY(!decodeFile(dir.filePath("missing.jpg"), 1));
    QVERIFY(!decodeFile(dir.filePath("empty.jpg"), 1));
    // Padding after the end marker is never read, whatever its size.
    const auto padded = decodeFile(dir.filePath("huge.jpg"), 2);
    QVERIFY(padded && maxChannelDifference(padded->image, fromMemory->image) == 0);
    QVERIFY(!decodeFile(dir.path(), 1));
}

void TestJpegDecoder::concurrentDecodes()
{
    const QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const QByteArray jpeg = withSegment(exifJpeg(photoJpeg(QSize(640, 480)), 8), 0xE2, iccPayload(profile));
    const auto reference = DecodeJpeg(jpeg, fixed(2));
    QVERIFY(reference);
    std::atomic<int> mismatches = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 8; ++i) {
                const auto result = DecodeJpeg(jpeg, fixed(2));
                if (!result || maxChannelDifference(result->image, reference->image) != 0)
                    ++mismatches;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

QTEST_GUILESS_MAIN(TestJpegDecoder)
#include "test_jpeg_decoder.moc"
