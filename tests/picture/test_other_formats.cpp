// PNG, WebP, TIFF, HEIF/AVIF and JPEG XL, made at test time by the formats'
// own tools from a picture of four coloured quadrants: orientation, alpha,
// 16 and 10 bits, ICC, damaged and oversized files, and mutated files that
// must end without a crash.

#include "picture/LoadFootprint.h"
#include "picture/LoadPicture.h"
#include "tests/support/TestPictures.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>
#include <QtEndian>

#include <random>

using namespace ostrovel;

namespace {

enum class Source { Opaque, Alpha, DisplayP3 };
enum class Damage { None, Cut, HugePng, HugeIspe };

QImage sourcePicture(Source kind)
{
    QImage image = testpics::quadrants(64, 48, qRgb(220, 40, 30), qRgb(40, 200, 60), qRgb(30, 60, 210),
                                       qRgb(230, 210, 40));
    if (kind == Source::Alpha) {
        image.convertTo(QImage::Format_ARGB32);
        for (int y = 24; y < 48; ++y)
            for (int x = 32; x < 64; ++x)
                image.setPixel(x, y, qRgba(230, 210, 40, 96));
    }
    if (kind == Source::DisplayP3)
        image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    return image;
}

// The source as it should look once loaded: upright, in sRGB, premultiplied.
QImage expected(Source kind, int turn)
{
    QImage image = sourcePicture(kind);
    if (kind == Source::DisplayP3)
        image = image.convertedToColorSpace(QColorSpace(QColorSpace::SRgb));
    return image.transformed(QTransform().rotate(turn)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Claims 65535 x 65535 pixels: the IHDR's sizes and checksum, or the
// size of each HEIF image spatial extent ("ispe") box.
void claimHuge(QByteArray& file, Damage damage)
{
    const QByteArray huge("\0\0\xff\xff\0\0\xff\xff", 8);
    if (damage == Damage::HugePng) {
        file.replace(16, 8, huge);
        qToBigEndian(crc32(file.mid(12, 17)), file.data() + 29);
    }
    for (qsizetype at = file.indexOf("ispe"); damage == Damage::HugeIspe && at >= 0; at = file.indexOf("ispe", at + 4))
        file.replace(at + 8, 8, huge);
}

// Where `got` and `want` (of one shape) differ by more than `tolerance` in
// a quadrant's middle, where lossy coding and resampling leave the colour
// alone; empty when nowhere.
QString quadrantsDiffer(const QImage& got, const QImage& want, int tolerance)
{
    for (const QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QPoint p(at.x() * got.width() / 4, at.y() * got.height() / 4);
        const QRgb g = got.pixel(p), w = want.pixel(at.x() * want.width() / 4, at.y() * want.height() / 4);
        const int off = std::max({std::abs(qRed(g) - qRed(w)), std::abs(qGreen(g) - qGreen(w)),
                                  std::abs(qBlue(g) - qBlue(w)), std::abs(qAlpha(g) - qAlpha(w))});
        if (off > tolerance)
            return QStringLiteral("at %1,%2: %3 for %4").arg(p.x()).arg(p.y()).arg(g, 8, 16).arg(w, 8, 16);
    }
    return {};
}

void damage(QByteArray& file, Damage kind)
{
    if (kind == Damage::Cut)
        file.truncate(file.size() / 2);
    else
        claimHuge(file, kind);
}

class TestOtherFormats : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_made = 0;

    // The source saved as PNG by Qt, then `script` run by the shell with
    // IN and OUT; the path of OUT.
    QString make(Source kind, const QString& script, const QString& suffix)
    {
        const QString in = m_dir.filePath(QStringLiteral("in%1.png").arg(++m_made));
        const QString out = m_dir.filePath(QStringLiteral("out%1.%2").arg(m_made).arg(suffix));
        if (!sourcePicture(kind).save(in, "PNG"))
            return {};
        QProcess shell;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("IN"), in);
        env.insert(QStringLiteral("OUT"), out);
        shell.setProcessEnvironment(env);
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), script});
        if (!shell.waitForFinished(-1) || shell.exitCode() != 0)
            qWarning().noquote() << script << shell.readAllStandardError();
        return shell.exitCode() == 0 && QFile::exists(out) ? out : QString();
    }

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void mirrorsDeepLikeEightBit_data();
    void mirrorsDeepLikeEightBit();
    void refuses_data();
    void refuses();
    void survivesMutations_data() { refuses_data(); }
    void survivesMutations();
    void footprint_data();
    void footprint();
};

void TestOtherFormats::decodes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("turn"); // degrees clockwise to show it upright
    QTest::addColumn<int>("tolerance");
    const int opaque = int(Source::Opaque), alpha = int(Source::Alpha), p3 = int(Source::DisplayP3);
    QTest::newRow("png 8-bit") << "cp $IN $OUT" << "png" << opaque << 0 << 0;
    QTest::newRow("png 16-bit") << "convert $IN -depth 16 $OUT" << "png" << opaque << 0 << 1;
    QTest::newRow("png palette") << "convert $IN PNG8:$OUT" << "png" << opaque << 0 << 1;
    QTest::newRow("png alpha") << "cp $IN $OUT" << "png" << alpha << 0 << 1;
    QTest::newRow("png icc, named .jpg") << "cp $IN $OUT" << "jpg" << p3 << 0 << 2;
    QTest::newRow("webp lossy") << "cwebp -quiet -q 95 $IN -o $OUT" << "webp" << opaque << 0 << 12;
    QTest::newRow("webp lossless alpha") << "cwebp -quiet -lossless -exact $IN -o $OUT" << "webp" << alpha << 0 << 1;
    // The second frame mirrored: only the first may show.
    QTest::newRow("webp animated") << "convert $IN -flop $OUT.b.png; img2webp -lossless $IN $OUT.b.png -o $OUT >/dev/null"
                                   << "webp" << opaque << 0 << 1;
    QTest::newRow("tiff 16-bit") << "convert $IN -depth 16 $OUT" << "tif" << opaque << 0 << 1;
    QTest::newRow("tiff cmyk 8-bit") << "convert $IN -colorspace CMYK -depth 8 $OUT" << "tif" << opaque << 0 << 3;
    QTest::newRow("tiff cmyk 16-bit") << "convert $IN -colorspace CMYK -depth 16 $OUT" << "tif" << opaque << 0 << 3;
    QTest::newRow("tiff tiled, alpha") << "convert $IN $OUT.s.tif; tiffcp -t $OUT.s.tif $OUT" << "tif" << alpha << 0 << 1;
    QTest::newRow("tiff orientation 6") << "convert $IN $OUT; tiffset -s 274 6 $OUT" << "tif" << opaque << 90 << 0;
    QTest::newRow("tiff icc") << "convert $IN $OUT" << "tiff" << p3 << 0 << 2;
    QTest::newRow("heic") << "heif-enc -q 95 $IN -o $OUT >/dev/null" << "heic" << opaque << 0 << 14;
    QTest::newRow("heic alpha") << "heif-enc -q 95 $IN -o $OUT >/dev/null" << "heic" << alpha << 0 << 14;
    QTest::newRow("avif rotated") << "avifenc --min 0 --max 8 --irot 1 $IN $OUT >/dev/null" << "avif" << opaque << -90 << 14;
    QTest::newRow("avif rotated, alpha") << "avifenc --min 0 --max 8 --irot 3 $IN $OUT >/dev/null" << "avif" << alpha << 90
                                         << 14;
    QTest::newRow("avif turned over, alpha") << "avifenc --min 0 --max 8 --irot 2 $IN $OUT >/dev/null" << "avif" << alpha
                                             << 180 << 14;
    QTest::newRow("avif 10-bit alpha") << "avifenc --min 0 --max 8 -d 10 $IN $OUT >/dev/null" << "avif" << alpha << 0 << 14;
    QTest::newRow("avif icc") << "avifenc -l $IN $OUT >/dev/null" << "avif" << p3 << 0 << 4;
    // Colour told by an nclx box alone (Debian's heif-enc writes none), and
    // a matrix and range besides the defaults.
    QTest::newRow("avif nclx display p3") << "avifenc -l --ignore-icc --cicp 12/13/0 $IN $OUT >/dev/null" << "avif" << p3
                                          << 0 << 4;
    QTest::newRow("avif limited range bt.709")
        << "avifenc --min 0 --max 0 -y 444 -r limited --cicp 1/13/1 $IN $OUT >/dev/null" << "avif" << opaque << 0 << 4;
    QTest::newRow("jxl lossless alpha") << "cjxl -q 100 $IN $OUT 2>/dev/null" << "jxl" << alpha << 0 << 1;
    QTest::newRow("jxl icc") << "cjxl -q 100 $IN $OUT 2>/dev/null" << "jxl" << p3 << 0 << 2;
}

void TestOtherFormats::decodes()
{
    QFETCH(QString, script);
    QFETCH(QString, suffix);
    QFETCH(int, source);
    QFETCH(int, turn);
    QFETCH(int, tolerance);
    const QString file = make(Source(source), script, suffix);
    QVERIFY(!file.isEmpty());
    QString reason;
    const auto picture = LoadPicture(file, QSize(), &reason);
    QVERIFY2(picture, qPrintable(reason));
    const QImage want = expected(Source(source), turn);
    QCOMPARE(QSize(picture->Width(), picture->Height()),
             QSize(PixelsToHimetric(want.width()), PixelsToHimetric(want.height())));
    // As decoded, and (opaque ones) resampled into a canvas as the export
    // draws: the decoders' byte order must come out right both ways.
    QList<QImage> drawn{picture->render(want.size())};
    if (Source(source) != Source::Alpha) {
        drawn.append(QImage(want.size() / 2, QImage::Format_RGB32));
        QVERIFY(picture->drawInto(drawn.last(), drawn.last().rect()));
    }
    for (const QImage& image : drawn) {
        const QString differ =
            quadrantsDiffer(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), want,
                            tolerance + (image.size() == want.size() ? 0 : 1));
        QVERIFY2(differ.isEmpty(), qPrintable(QStringLiteral("%1 wide, ").arg(image.width()) + differ));
    }
}

void TestOtherFormats::mirrorsDeepLikeEightBit_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("transforms");
    for (int mirror = 0; mirror < 2; ++mirror)
        for (int turn = 0; turn < 4; ++turn)
            QTest::addRow("imir %d irot %d", mirror, turn) << 10 << QStringLiteral("--imir %1 --irot %2").arg(mirror).arg(turn);
    QTest::newRow("12-bit") << 12 << "--imir 1 --irot 3";
    QTest::newRow("clap off-centre") << 10 << "-y 444 --crop 10,6,40,34 --irot 1 --imir 0";
}

// Debian's libheif mirrors only 8-bit pictures; a deeper one must come out
// as the same picture at 8 bits does there.
void TestOtherFormats::mirrorsDeepLikeEightBit()
{
    QFETCH(int, depth);
    QFETCH(QString, transforms);
    const QString script = QStringLiteral("avifenc --min 0 --max 8 -d %1 ") + transforms + " $IN $OUT >/dev/null";
    QList<QImage> decoded;
    for (const int bits : {8, depth}) {
        const QString file = make(Source::Opaque, script.arg(bits), QStringLiteral("avif"));
        QString reason;
        const auto picture = LoadPicture(file, QSize(), &reason);
        QVERIFY2(picture, qPrintable(reason));
        decoded.append(dynamic_cast<const RasterPicture&>(*picture).pixels().convertToFormat(QImage::Format_ARGB32));
    }
    QCOMPARE(decoded[1].size(), decoded[0].size());
    const QString differ = quadrantsDiffer(decoded[1], decoded[0], 14);
    QVERIFY2(differ.isEmpty(), qPrintable(differ));
}

void TestOtherFormats::refuses_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("damage");
    QTest::addColumn<QString>("reason");
    const int cut = int(Damage::Cut);
    const QString damaged = QStringLiteral("damaged data"), large = QStringLiteral("too large");
    QTest::newRow("png cut") << "cp $IN $OUT" << "png" << cut << damaged;
    QTest::newRow("png huge") << "cp $IN $OUT" << "png" << int(Damage::HugePng) << large;
    QTest::newRow("webp cut") << "cwebp -quiet $IN -o $OUT" << "webp" << cut << damaged;
    QTest::newRow("tiff cut") << "convert $IN -compress zip $OUT" << "tif" << cut << damaged;
    QTest::newRow("tiff huge") << "convert $IN $OUT; tiffset -s 256 60000 $OUT; tiffset -s 257 60000 $OUT" << "tif"
                               << int(Damage::None) << large;
    QTest::newRow("heic cut") << "heif-enc $IN -o $OUT >/dev/null" << "heic" << cut << damaged;
    QTest::newRow("avif huge") << "avifenc $IN $OUT >/dev/null" << "avif" << int(Damage::HugeIspe) << large;
    QTest::newRow("jxl cut") << "cjxl $IN $OUT 2>/dev/null" << "jxl" << cut << damaged;
}

void TestOtherFormats::refuses()
{
    QFETCH(QString, script);
    QFETCH(QString, suffix);
    QFETCH(int, damage);
    QFETCH(QString, reason);
    const QString file = make(Source::Opaque, script, suffix);
    QByteArray bytes = test::readFile(file);
    ::damage(bytes, Damage(damage));
    QVERIFY(test::writeFile(file, bytes));
    QString why;
    QVERIFY(!LoadPicture(file, QSize(158, 158), &why));
    QCOMPARE(why, reason);
}

// A quick version of the fuzzing: bytes flipped and files cut, each load
// either gives a picture that fits or a reason.
void TestOtherFormats::survivesMutations()
{
    QFETCH(QString, script);
    QFETCH(QString, suffix);
    const QString file = make(Source::Alpha, script, suffix);
    const QByteArray original = test::readFile(file);
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        QByteArray bytes = original;
        if (i % 4 == 0)
            bytes.truncate(qsizetype(random() % quint32(bytes.size())));
        for (int n = i % 4 * 4; n > 0; --n)
            bytes[qsizetype(random() % quint32(bytes.size()))] = char(random());
        QVERIFY(test::writeFile(file, bytes));
        QString why;
        const auto picture = LoadPicture(file, QSize(158, 158), &why);
        QVERIFY(picture ? !picture->render(QSize(40, 30)).isNull() : !why.isEmpty());
    }
}

} // namespace


void TestOtherFormats::footprint_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("decoded");
    const QSize whole(64, 48), none;
    QTest::newRow("png 8-bit") << "cp $IN $OUT" << "png" << none << whole;
    QTest::newRow("png 16-bit") << "convert $IN -depth 16 $OUT" << "png" << none << whole;
    QTest::newRow("webp lossy, reduced") << "cwebp -quiet $IN -o $OUT" << "webp" << QSize(8, 6) << QSize(16, 12);
    QTest::newRow("webp lossless") << "cwebp -quiet -lossless $IN -o $OUT" << "webp" << none << whole;
    QTest::newRow("webp animated") << "convert $IN -flop $OUT.b.png; img2webp -lossless $IN $OUT.b.png -o $OUT >/dev/null"
                                     << "webp" << QSize(8, 6) << whole;
    QTest::newRow("tiff 16-bit") << "convert $IN -depth 16 $OUT" << "tif" << none << whole;
    QTest::newRow("tiff tiled") << "convert $IN $OUT.s.tif; tiffcp -t $OUT.s.tif $OUT" << "tif" << none << whole;
    QTest::newRow("heic") << "heif-enc $IN -o $OUT >/dev/null" << "heic" << none << whole;
    QTest::newRow("heic thumbnail serves") << "heif-enc -t 16 $IN -o $OUT >/dev/null" << "heic" << QSize(8, 6)
                                           << QSize(16, 12);
    QTest::newRow("heic thumbnail too small") << "heif-enc -t 16 $IN -o $OUT >/dev/null" << "heic" << QSize(9, 7)
                                              << whole;
    QTest::newRow("avif 10-bit") << "avifenc -d 10 $IN $OUT >/dev/null" << "avif" << none << whole;
    QTest::newRow("jxl") << "cjxl $IN $OUT 2>/dev/null" << "jxl" << none << whole;
}

// Told from the header alone, as the loader then decodes it; at least the
// file and the 32-bit pixels.
void TestOtherFormats::footprint()
{
    QFETCH(QString, script);
    QFETCH(QString, suffix);
    QFETCH(QSize, box);
    QFETCH(QSize, decoded);
    const QString file = make(Source::Opaque, script, suffix);
    QVERIFY(!file.isEmpty());
    const LoadFootprint footprint = EstimateLoadFootprint(file, box);
    QCOMPARE(footprint.decoded, decoded);
    QVERIFY(footprint.bytes >= QFileInfo(file).size() + qint64(decoded.width()) * decoded.height() * 4);
    QString reason;
    const auto picture = LoadPicture(file, box, &reason);
    QVERIFY2(picture, qPrintable(reason));
    QCOMPARE(dynamic_cast<const RasterPicture&>(*picture).pixels().size(), decoded);
}

QTEST_GUILESS_MAIN(TestOtherFormats)
#include "test_other_formats.moc"
