#include "picture/jpegdec/JpegDecoder.h"
#include "picture/Limits.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/TestPictures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QTest>

using namespace ostrovel;
using namespace ostrovel::test;

namespace {

DenominatorChooser fixed(int denominator)
{
    return [denominator](QSize) { return denominator; };
}

struct Outcome {
    std::optional<DecodedJpeg> reduced; // unused scans left out
    std::optional<DecodedJpeg> whole;   // every scan read
    int skipped = -1;
};

Outcome decodeBoth(const QByteArray& jpeg, int denominator)
{
    Outcome out;
    out.reduced = DecodeJpeg(jpeg, {.chooseDenominator = fixed(denominator), .skipUnusedScans = true,
                                    .skippedScans = &out.skipped});
    out.whole = DecodeJpeg(jpeg, {.chooseDenominator = fixed(denominator), .skipUnusedScans = false});
    return out;
}

// Offsets of the scan headers (SOS cannot occur inside entropy-coded data).
QList<qsizetype> scanStarts(const QByteArray& jpeg)
{
    QList<qsizetype> starts;
    for (qsizetype at = jpeg.indexOf("\xFF\xDA"); at >= 0; at = jpeg.indexOf("\xFF\xDA", at + 2))
        starts.append(at);
    return starts;
}

// Offset of the first marker after the scan whose header is at `scan`.
qsizetype scanEnd(const QByteArray& jpeg, qsizetype scan)
{
    for (qsizetype at = scan + 2; at + 1 < jpeg.size(); ++at) {
        const auto next = static_cast<unsigned char>(jpeg[at + 1]);
        if (static_cast<unsigned char>(jpeg[at]) == 0xFF && next != 0 && (next < 0xD0 || next > 0xD7) && at > scan + 12)
            return at;
    }
    return -1;
}

QByteArray inserted(const QByteArray& jpeg, qsizetype at, const QByteArray& bytes)
{
    return jpeg.left(at) + bytes + jpeg.mid(at);
}

// Bytes that cannot form a marker: no 0xFF.
QByteArray noise(int size)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 73 + 11) % 251);
    return bytes;
}

} // namespace

class TestNeededScans : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsEveryScan_data();
    void sameAsEveryScan();
    void sameAsDefaultDecode_data();
    void sameAsDefaultDecode();
    void damaged_data();
    void damaged();
};

void TestNeededScans::sameAsEveryScan_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<int>("skipped");
    const QImage photo = photoLike(640, 480);
    const QByteArray p420 = libjpegJpeg(photo, {.progressive = true});
    const QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    // The standard script has 4 AC scans per component; at 1/8 a 4:2:0
    // file's chroma gets a 2x2 inverse DCT and keeps them, a 4:2:2 file's a
    // 1x1 one, upsampled afterwards.
    QTest::newRow("4:2:0") << p420 << 8 << 4;
    QTest::newRow("4:4:4") << libjpegJpeg(photo, {.lumaH = 1, .lumaV = 1, .progressive = true}) << 8 << 8;
    QTest::newRow("4:2:2") << libjpegJpeg(photo, {.lumaH = 2, .lumaV = 1, .progressive = true}) << 8 << 8;
    QTest::newRow("4:4:0") << libjpegJpeg(photo, {.lumaH = 1, .lumaV = 2, .progressive = true}) << 8 << 8;
    QTest::newRow("odd size") << libjpegJpeg(photoLike(333, 211), {.progressive = true}) << 8 << 4;
    QTest::newRow("restart every row") << libjpegJpeg(photo, {.progressive = true, .restartRows = 1}) << 8 << 4;
    QTest::newRow("restarts, 4:4:4")
        << libjpegJpeg(photo, {.lumaH = 1, .lumaV = 1, .progressive = true, .restartRows = 3}) << 8 << 8;
    QTest::newRow("grayscale") << libjpegJpeg(photo, {.colour = Colour::Gray, .progressive = true}) << 8 << 4;
    QTest::newRow("Adobe CMYK") << libjpegJpeg(photo, {.colour = Colour::Cmyk, .progressive = true}) << 8 << 16;
    QTest::newRow("Qt's progressive") << test::jpeg(photo, 90, true) << 8 << 4;
    QTest::newRow("Exif and ICC")
        << withSegment(withSegment(p420, 0xE1, exifPayload(6, true)), 0xE2, iccPayload(profile)) << 8 << 4;
    QTest::newRow("fill bytes before scans") << QByteArray(p420).replace("\xFF\xDA", "\xFF\xFF\xFF\xDA") << 8 << 4;
    QTest::newRow("bytes after EOI") << p420 + noise(100) << 8 << 4;
    QTest::newRow("4:2:0 at 1/4") << p420 << 4 << 0;
    QTest::newRow("4:2:0 at 1/1") << p420 << 1 << 0;
    QTest::newRow("baseline") << libjpegJpeg(photo, {}) << 8 << 0;
    QTest::newRow("arithmetic") << libjpegJpeg(photo, {.progressive = true, .arithmetic = true}) << 8 << 0;
}

// Leaving scans out changes no pixel.
void TestNeededScans::sameAsEveryScan()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(int, denominator);
    QFETCH(int, skipped);
    const Outcome out = decodeBoth(jpeg, denominator);
    QVERIFY(out.reduced && out.whole);
    QCOMPARE(out.skipped, skipped);
    QCOMPARE(out.reduced->image.size(), out.whole->image.size());
    QCOMPARE(maxChannelDifference(out.reduced->image, out.whole->image), 0);
}

void TestNeededScans::sameAsDefaultDecode_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    const QImage photo = photoLike(640, 480);
    QTest::newRow("4:2:0") << libjpegJpeg(photo, {.progressive = true});
    QTest::newRow("4:4:4") << libjpegJpeg(photo, {.lumaH = 1, .lumaV = 1, .progressive = true});
}

// Block smoothing is off for the reduced stream, whose AC coefficients look
// missing; on a whole file libjpeg's default smoothing does nothing, so the
// result is also exactly what Qt's reader makes at the same scale.
void TestNeededScans::sameAsDefaultDecode()
{
    QFETCH(QByteArray, jpeg);
    int skipped = 0;
    const auto reduced = DecodeJpeg(jpeg, {.chooseDenominator = fixed(8), .skippedScans = &skipped});
    QVERIFY(reduced && skipped > 0);
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer, "jpeg");
    reader.setScaledSize(QSize(80, 60));
    QCOMPARE(maxChannelDifference(reduced->image, reader.read()), 0);
}

void TestNeededScans::damaged_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<bool>("decodes");
    const QByteArray good = libjpegJpeg(photoLike(640, 480), {.progressive = true});
    const QList<qsizetype> scans = scanStarts(good);
    QVERIFY(scans.size() == 10);
    const qsizetype lumaAc = scans[1], chromaAc = scans[2];
    const QByteArray dnl("\xFF\xDC\x00\x04\x01\xE0", 6);
    // libjpeg fails on these three when it reaches the luma AC scan, so it
    // must not be left out.
    QByteArray badCode = good;
    const qsizetype table = good.lastIndexOf("\xFF\xC4", lumaAc);
    QVERIFY(table > 0 && (static_cast<unsigned char>(good[table + 4]) & 0x10));
    int codes = 0;
    for (int i = 0; i < 16; ++i)
        codes += static_cast<unsigned char>(good[table + 5 + i]);
    badCode.replace(table + 5, 16, QByteArray(1, 3) + QByteArray(14, 0) + QByteArray(1, char(codes - 3)));
    QTest::newRow("three codes of length 1") << badCode << 3 << false;
    QTest::newRow("undefined AC table") << QByteArray(good).replace(lumaAc + 6, 1, "\x03") << 3 << false;
    QTest::newRow("bad successive approximation") << QByteArray(good).replace(lumaAc + 9, 1, "\x0e") << 3 << false;
    // A missing end marker is added, as for a file: cut after the scans 1/8
    // uses, the file is read.
    QTest::newRow("cut to 80%") << good.left(good.size() * 8 / 10) << 4 << true;
    QTest::newRow("no EOI") << good.chopped(2) << 4 << true;
    QTest::newRow("reserved marker between scans") << inserted(good, lumaAc, "\xFF\x02\x00\x02") << 0 << false;
    QTest::newRow("scan header length off") << QByteArray(good).replace(lumaAc + 3, 1, "\x09") << 0 << false;
    QTest::newRow("AC scan of two components") << QByteArray(good).replace(lumaAc + 4, 1, "\x02") << 0 << false;
    QTest::newRow("DNL between scans") << inserted(good, lumaAc, dnl) << 0 << true;
    QTest::newRow("stray bytes after a luma AC scan") << inserted(good, scanEnd(good, lumaAc), "\x12\x34") << 4 << true;
    QTest::newRow("noise in a luma AC scan") << QByteArray(good).replace(lumaAc + 60, 40, noise(40)) << 4 << true;
    // Noise that makes a scan's data run out is a premature end: refused
    // where the scale uses that scan (chroma keeps its lowest AC terms at
    // 1/8 when it is subsampled), read where it does not (luma AC above).
    QTest::newRow("noise in a chroma AC scan") << QByteArray(good).replace(chromaAc + 60, 40, noise(40)) << 4 << false;
    QTest::newRow("noise in the first DC scan") << QByteArray(good).replace(scans[0] + 80, 40, noise(40)) << 4 << false;
}

// A file the parse does not fully understand is decoded whole: the result is
// the plain decode's, nothing or the same picture.
void TestNeededScans::damaged()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(int, skipped);
    QFETCH(bool, decodes);
    const Outcome out = decodeBoth(jpeg, 8);
    QCOMPARE(bool(out.whole), decodes);
    QCOMPARE(bool(out.reduced), decodes);
    QCOMPARE(out.skipped, skipped);
    if (decodes)
        QCOMPARE(maxChannelDifference(out.reduced->image, out.whole->image), 0);
}

QTEST_GUILESS_MAIN(TestNeededScans)
#include "test_needed_scans.moc"
