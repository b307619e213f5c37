// Our Huffman decoder of sequential files against libjpeg's own: the same
// pixels for every layout, scale and restart spacing, and the same verdict
// (and pixels) for damaged data, which it leaves to libjpeg.

#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegSession.h"
#include "tests/support/HandCodedJpeg.h"
#include "tests/support/JpegFiles.h"
#include "tests/support/TestPictures.h"

#include <QRandomGenerator>
#include <QTest>

using namespace ostrovel;
using namespace ostrovel::test;

namespace {

struct Outcome {
    bool decoded = false;
    QImage image;
    QString reason;
    bool own = false; // our decoder read the whole scan
};

Outcome decode(const QByteArray& jpeg, int denominator, bool own)
{
    Outcome o;
    JpegDecodeOptions options;
    options.chooseDenominator = [denominator](QSize) { return denominator; };
    options.ownEntropyDecoder = own;
    options.ownEntropyUsed = &o.own;
    options.reason = &o.reason;
    const auto decoded = DecodeJpeg(jpeg, options);
    o.decoded = decoded.has_value();
    if (decoded)
        o.image = decoded->image;
    return o;
}

// A picture with fine detail and noise, so that every kind of code occurs,
// long ones among them.
QImage detailed(int width, int height, int seed)
{
    QImage image = photoLike(width, height, seed);
    QRandomGenerator random(quint32(seed) + 7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(random.bounded(61)) - 30;
            const auto add = [n](int c) { return std::clamp(c + n, 0, 255); };
            line[x] = (x / 3 + y / 2) % 2 ? qRgb(add(qRed(line[x])), add(qGreen(line[x])), add(qBlue(line[x])))
                                          : line[x];
        }
    }
    return image;
}

// Offset of the first byte of the first scan's data.
qsizetype scanData(const QByteArray& jpeg)
{
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    if (sos < 0)
        return -1;
    const int length = (uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]);
    return sos + 2 + length;
}

// A code of each length 1 to 16: the end of block the longest, an
// end-of-band run (0x30) and a run of 15 with a coefficient among them.
const HandTable kLongAc{{0x01, 0x02, 0x11, 0x03, 0x21, 0xF0, 0x31, 0x05, 0x41, 0x0A, 0x12, 0xF1, 0x30, 0x61, 0x14, 0x00},
                        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
const HandTable kDc{{0, 4, 10}, {1, 2, 3}};

// `blocks` blocks, each its DC and then `ac`.
QList<HandCode> repeated(int blocks, const QList<HandCode>& ac)
{
    QList<HandCode> codes;
    for (int b = 0; b < blocks; ++b) {
        codes.append({false, 4, 4, quint32(b * 5 % 16)});
        codes += ac;
    }
    return codes;
}

// The scan header's Ss, Se or Ah/Al (`which` 0, 1, 2) set to `value`.
QByteArray withScanParameter(QByteArray jpeg, int which, int value)
{
    const qsizetype sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
    jpeg[sos + 5 + 2 * uchar(jpeg[sos + 4]) + which] = char(value);
    return jpeg;
}

} // namespace

class TestBaselineScan : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameAsLibjpeg_data();
    void sameAsLibjpeg();
    void damagedSameVerdict_data();
    void damagedSameVerdict();
    void unusualSameAsLibjpeg_data();
    void unusualSameAsLibjpeg();
};

void TestBaselineScan::sameAsLibjpeg_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("lumaH");
    QTest::addColumn<int>("lumaV");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("restartMcus");
    QTest::addColumn<int>("restartRows");
    QTest::addColumn<bool>("optimize");
    const int rgb = int(Colour::Rgb), gray = int(Colour::Gray), cmyk = int(Colour::Cmyk), ycck = int(Colour::Ycck);
    QTest::newRow("4:2:0 photo") << QSize(320, 240) << rgb << 2 << 2 << 90 << 0 << 0 << false;
    QTest::newRow("4:2:0 odd size") << QSize(333, 257) << rgb << 2 << 2 << 95 << 0 << 0 << false;
    QTest::newRow("4:4:4 quality 100") << QSize(130, 97) << rgb << 1 << 1 << 100 << 0 << 0 << false;
    QTest::newRow("4:2:2") << QSize(201, 77) << rgb << 2 << 1 << 85 << 0 << 0 << true;
    QTest::newRow("4:4:0") << QSize(77, 201) << rgb << 1 << 2 << 85 << 0 << 0 << false;
    QTest::newRow("4:1:1") << QSize(250, 40) << rgb << 4 << 1 << 75 << 0 << 0 << false;
    QTest::newRow("4 x 2 luma, ten blocks an MCU") << QSize(129, 131) << rgb << 4 << 2 << 90 << 0 << 0 << false;
    QTest::newRow("one pixel") << QSize(1, 1) << rgb << 2 << 2 << 90 << 0 << 0 << false;
    QTest::newRow("7 x 9") << QSize(7, 9) << rgb << 2 << 2 << 90 << 1 << 0 << false;
    QTest::newRow("grey") << QSize(150, 101) << gray << 1 << 1 << 90 << 0 << 0 << false;
    QTest::newRow("grey, restart every MCU") << QSize(67, 45) << gray << 1 << 1 << 90 << 1 << 0 << false;
    QTest::newRow("CMYK") << QSize(90, 70) << cmyk << 1 << 1 << 90 << 0 << 0 << false;
    QTest::newRow("YCCK") << QSize(90, 70) << ycck << 1 << 1 << 90 << 3 << 0 << false;
    QTest::newRow("restart every MCU") << QSize(160, 120) << rgb << 2 << 2 << 90 << 1 << 0 << false;
    QTest::newRow("restart every 7 MCUs") << QSize(300, 100) << rgb << 2 << 2 << 90 << 7 << 0 << true;
    QTest::newRow("restart every row") << QSize(300, 100) << rgb << 1 << 1 << 90 << 0 << 1 << false;
    QTest::newRow("optimised tables, low quality") << QSize(240, 180) << rgb << 2 << 2 << 30 << 0 << 0 << true;
    // More data than the decoder's window holds at once, with and without restarts.
    QTest::newRow("larger than the window") << QSize(900, 700) << rgb << 2 << 2 << 100 << 0 << 0 << false;
    QTest::newRow("larger, restarts") << QSize(900, 700) << rgb << 1 << 1 << 100 << 0 << 3 << false;
}

void TestBaselineScan::sameAsLibjpeg()
{
    QFETCH(QSize, size);
    QFETCH(int, colour);
    QFETCH(int, lumaH);
    QFETCH(int, lumaV);
    QFETCH(int, quality);
    QFETCH(int, restartMcus);
    QFETCH(int, restartRows);
    QFETCH(bool, optimize);
    EncodeOptions options;
    options.colour = Colour(colour);
    options.lumaH = lumaH;
    options.lumaV = lumaV;
    options.quality = quality;
    options.restartMcus = restartMcus;
    options.restartRows = restartRows;
    options.optimizeCoding = optimize;
    const QByteArray jpeg = libjpegJpeg(detailed(size.width(), size.height(), size.width()), options);
    for (int denominator : {1, 2, 4, 8}) {
        const Outcome ours = decode(jpeg, denominator, true);
        const Outcome theirs = decode(jpeg, denominator, false);
        QVERIFY2(theirs.decoded, qPrintable(theirs.reason));
        QVERIFY2(ours.decoded, qPrintable(ours.reason));
        QVERIFY2(ours.own, "our decoder gave the scan up");
        QVERIFY(!theirs.own);
        QCOMPARE(ours.image.size(), theirs.image.size());
        QVERIFY2(ours.image == theirs.image, qPrintable(QStringLiteral("pixels differ at 1/%1").arg(denominator)));
    }
}

void TestBaselineScan::damagedSameVerdict_data()
{
    QTest::addColumn<int>("restartMcus");
    QTest::addColumn<int>("lumaH");
    QTest::newRow("no restarts") << 0 << 2;
    QTest::newRow("restart every 2 MCUs") << 2 << 2;
    QTest::newRow("4:4:4, restart every MCU") << 1 << 1;
}

// Every kind of damage: cut anywhere, a byte changed anywhere in the data, a
// restart marker renumbered, dropped or preceded by fill bytes, an early end
// marker, stray bytes before the end. Whatever libjpeg alone makes of the file
// (a picture, with the warnings it shrugs off, or a failure), the decode with
// our decoder makes the same.
void TestBaselineScan::damagedSameVerdict()
{
    QFETCH(int, restartMcus);
    QFETCH(int, lumaH);
    EncodeOptions options;
    options.lumaH = options.lumaV = lumaH;
    options.restartMcus = restartMcus;
    options.quality = 92;
    const QByteArray jpeg = libjpegJpeg(detailed(64, 48, 3), options);
    const qsizetype start = scanData(jpeg);
    QVERIFY(start > 0);
    const qsizetype end = jpeg.size() - 2; // the end marker
    QList<QPair<QString, QByteArray>> variants;
    for (qsizetype at = start; at < end; at += std::max<qsizetype>(1, (end - start) / 40)) {
        variants.append({QStringLiteral("cut at %1").arg(at), jpeg.left(at)});
        for (int flip : {0x01, 0x80, 0xFF}) {
            QByteArray changed = jpeg;
            changed[at] = char(uchar(changed[at]) ^ flip);
            variants.append({QStringLiteral("byte %1 ^ %2").arg(at).arg(flip), changed});
        }
        QByteArray early = jpeg.left(at) + QByteArray("\xFF\xD9", 2);
        variants.append({QStringLiteral("end marker at %1").arg(at), early});
    }
    variants.append({"stray bytes before the end", jpeg.left(end) + QByteArray("\x12\x34\xFF\x00\x56", 5) + jpeg.mid(end)});
    variants.append({"fill bytes before the end", jpeg.left(end) + QByteArray("\xFF\xFF\xFF", 3) + jpeg.mid(end)});
    if (restartMcus > 0) {
        const qsizetype rst = jpeg.indexOf(QByteArray("\xFF\xD0", 2), start);
        QVERIFY(rst > 0);
        QByteArray renumbered = jpeg;
        renumbered[rst + 1] = char(0xD3);
        variants.append({"restart marker out of turn", renumbered});
        variants.append({"restart marker dropped", jpeg.left(rst) + jpeg.mid(rst + 2)});
        variants.append({"fill bytes before a restart", jpeg.left(rst) + QByteArray("\xFF\xFF", 2) + jpeg.mid(rst)});
        variants.append({"stray byte before a restart", jpeg.left(rst) + QByteArray("\x55", 1) + jpeg.mid(rst)});
    }
    int ownRead = 0;
    for (const auto& [name, bytes] : variants) {
        for (int denominator : {1, 8}) {
            const Outcome ours = decode(bytes, denominator, true);
            const Outcome theirs = decode(bytes, denominator, false);
            const QString what = QStringLiteral("%1 at 1/%2").arg(name).arg(denominator);
            QVERIFY2(ours.decoded == theirs.decoded, qPrintable(what));
            QVERIFY2(ours.image == theirs.image, qPrintable(what + QStringLiteral(": pixels differ")));
            QCOMPARE(ours.reason, theirs.reason);
            ownRead += ours.own;
        }
    }
    // Damage that leaves the data sound (stray or fill bytes) is read by ours.
    QVERIFY(ownRead > 0);
}

void TestBaselineScan::unusualSameAsLibjpeg_data()
{
    QTest::addColumn<QByteArray>("jpeg");
    QTest::addColumn<bool>("ownReads"); // at full scale, or leaves the scan to libjpeg

    const QList<HandCode> mixed{{true, 0x01, 1, 1}, {true, 0x11, 1, 0}, {true, 0x21, 1, 1}, {true, 0xF0},
                                {true, 0x0A, 10, 0x2AB}, {true, 0x14, 4, 9}, {true, 0x41, 1, 0}};
    QTest::newRow("16-bit end of block") << handCodedJpeg(6, kDc, kLongAc, repeated(6, mixed + QList<HandCode>{{true, 0x00}})) << true;
    QTest::newRow("end-of-band run ends the block") << handCodedJpeg(6, kDc, kLongAc, repeated(6, mixed + QList<HandCode>{{true, 0x30}})) << true;
    const QList<HandCode> zeros{{true, 0xF0}, {true, 0xF0}, {true, 0xF0}};
    QTest::newRow("coefficient past 63") << handCodedJpeg(3, kDc, kLongAc, repeated(3, zeros + QList<HandCode>{{true, 0xF1, 1, 1}})) << false;
    QTest::newRow("zero runs past 63") << handCodedJpeg(3, kDc, kLongAc, repeated(3, zeros + QList<HandCode>{{true, 0xF0}})) << true;
    // 26 bits a coefficient, 63 in a block: the longest blocks, across
    // several windows of unstuffed data and up to the end of the data.
    const HandTable wide{{0x01, 0x00, 0x0A}, {1, 2, 16}};
    QList<HandCode> longest;
    for (int k = 1; k < 64; ++k)
        longest.append({true, 0x0A, 10, quint32(k * 389 % 1024)});
    for (int blocks : {1200, 1201, 1203})
        QTest::addRow("longest blocks, %d", blocks) << handCodedJpeg(blocks, kDc, wide, repeated(blocks, longest)) << true;
    EncodeOptions options;
    const QByteArray photo = libjpegJpeg(detailed(48, 32, 5), options);
    QTest::newRow("sequential scan, Ss 1") << withScanParameter(photo, 0, 1) << false;
    QTest::newRow("sequential scan, Se 62") << withScanParameter(photo, 1, 62) << false;
    QTest::newRow("sequential scan, Al 1") << withScanParameter(photo, 2, 0x01) << false;
    QTest::newRow("sequential scan, Ah 1") << withScanParameter(photo, 2, 0x10) << false;
}

// Streams libjpeg's encoder never writes: the same verdict and pixels as
// libjpeg alone, read by ours where it can.
void TestBaselineScan::unusualSameAsLibjpeg()
{
    QFETCH(QByteArray, jpeg);
    QFETCH(bool, ownReads);
    QVERIFY(jpegdec::JpegSession::ownDecoderAgrees());
    for (int denominator : {1, 8}) {
        const Outcome ours = decode(jpeg, denominator, true);
        const Outcome theirs = decode(jpeg, denominator, false);
        QVERIFY2(theirs.decoded, qPrintable(theirs.reason));
        QVERIFY2(ours.decoded, qPrintable(ours.reason));
        if (denominator == 1) // at 1/8 only the codes are read: a run past 63 is no matter
            QCOMPARE(ours.own, ownReads);
        QVERIFY2(ours.image == theirs.image, qPrintable(QStringLiteral("pixels differ at 1/%1").arg(denominator)));
    }
}

QTEST_GUILESS_MAIN(TestBaselineScan)
#include "test_baseline_scan.moc"
