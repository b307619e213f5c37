// Loading each format by its content: natural size, pixels, orientation,
// transparency, broken files and the reduced decode of large photos.

#include "tests/support/LittleEndian.h"
#include "tests/picture/GifWriter.h"
#include "picture/LoadPicture.h"
#include "tests/support/TestPictures.h"
#include "tests/support/WmfWriter.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <malloc.h>

using namespace ostrovel;

Q_DECLARE_METATYPE(giftest::Frame)

namespace {

QImage indexed(int w, int h, int index)
{
    QImage image(w, h, QImage::Format_Indexed8);
    image.setColorCount(256);
    image.fill(index);
    return image;
}

// An 8-bit run-length BMP, 6 x 2: a red row above a blue one, in runs,
// literal pixels and an end marker; the bottom row is stored first.
QByteArray rle8Bmp()
{
    QByteArray data("\x06\0\0\0", 4);             // six of index 0 (blue), end of line
    data += QByteArray("\0\x04\x01\x01\x01\x01", 6); // four literal pixels of index 1 (red)
    data += QByteArray("\x02\x01\0\x01", 4);        // two more, end of bitmap
    return testpics::rle8Bmp(QSize(6, 2), {qRgb(0, 0, 255), qRgb(255, 0, 0)}, data);
}

// The BMP stored top-down, as some programs write it: the rows in reverse
// order under a negative height.
QByteArray topDown(const QByteArray& bmp)
{
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bmp.constData() + at); };
    const int offset = int(u32(10)), width = int(u32(18)), height = int(u32(22)), bits = int(u32(28) & 0xFFFF);
    const int stride = (width * bits + 31) / 32 * 4;
    QByteArray flipped = bmp.left(offset);
    for (int y = height - 1; y >= 0; --y)
        flipped += bmp.mid(offset + y * stride, stride);
    test::setLe32(flipped, 22, std::uint32_t(-height));
    return flipped;
}

// A frame with runs and repeats, so that the LZW data uses its table.
QImage pattern(int w, int h, int colours)
{
    QImage image(w, h, QImage::Format_Indexed8);
    image.setColorCount(256);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, uint((x / 3 + y / 2 + (x * y) % 3) % colours));
    return image;
}

const QList<QRgb> kGifPalette{qRgb(250, 0, 0), qRgb(0, 240, 0), qRgb(0, 0, 230), qRgb(200, 200, 20), qRgb(9, 9, 9)};

QSize naturalPixels(const Picture& p)
{
    return QSize(int(std::lround(p.Width() * 96.0 / 2540.0)), int(std::lround(p.Height() * 96.0 / 2540.0)));
}

} // namespace

class TestLoadPicture : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void formats_data();
    void formats();
    void broken_data();
    void broken();
    void orientation_data();
    void orientation();
    void gifTransparencyAndFirstFrame();
    void gifFirstFrameOnScreen_data();
    void gifFirstFrameOnScreen();
    void gifRefused_data();
    void gifRefused();
    void largePhotoDecodedSmall();
    void unsetPixels_data();
    void unsetPixels();

private:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        if (!testpics::writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QTemporaryDir m_dir;
};

void TestLoadPicture::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Memory handed out is never zero here, nor in the metafile helper, so
    // that a pixel left unset shows (ASan fills it the same way).
    mallopt(M_PERTURB, 0x55);
    qputenv("MALLOC_PERTURB_", "85");
}

void TestLoadPicture::formats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<int>("tolerance");

    const QRgb left = qRgb(200, 30, 30), right = qRgb(20, 40, 220);
    const QImage pic = testpics::quadrants(200, 100, left, right, left, right);
    QTest::newRow("jpeg") << "a.jpg" << testpics::jpeg(pic, 95) << QSize(200, 100) << 12;
    QTest::newRow("progressive jpeg") << "p.jpg" << testpics::jpeg(pic, 95, true) << QSize(200, 100) << 12;
    QTest::newRow("bmp") << "a.bmp" << testpics::bmp(pic) << QSize(200, 100) << 0;
    QTest::newRow("gif named .jpg is read by content") << "g.jpg"
        << testpics::gif({indexed(20, 10, 1)}, {qRgb(0, 0, 0), qRgb(10, 200, 30)}) << QSize(20, 10) << 0;
    QTest::newRow("run-length bmp") << "r.bmp" << rle8Bmp() << QSize(6, 2) << 0;
    QTest::newRow("top-down bmp") << "t.bmp" << topDown(testpics::bmp(pic)) << QSize(200, 100) << 0;
    QTest::newRow("bmp named .gif") << "b.gif" << testpics::bmp(pic) << QSize(200, 100) << 0;
}

void TestLoadPicture::formats()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, natural);
    QFETCH(int, tolerance);

    const auto picture = LoadPicture(write(name, bytes));
    QVERIFY(picture);
    QCOMPARE(naturalPixels(*picture), natural);
    QCOMPARE(picture->Width(), PixelsToHimetric(natural.width()));
    const QImage drawn = picture->render(natural);
    QCOMPARE(drawn.size(), natural);
    QImage reference;
    QVERIFY(reference.loadFromData(bytes));
    QVERIFY(testpics::maxChannelDifference(drawn, reference) <= tolerance);
}

void TestLoadPicture::broken_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    const QImage pic = testpics::photoLike(300, 200);
    const QByteArray jpg = testpics::jpeg(pic);
    const QByteArray bmp = testpics::bmp(pic);
    const QByteArray gif = testpics::gif({indexed(30, 20, 1)}, {qRgb(0, 0, 0), qRgb(255, 0, 0)});
    QByteArray badBmpOffset = bmp;
    badBmpOffset[10] = char(0xFF); // pixel data offset far beyond the file
    badBmpOffset[11] = char(0xFF);
    badBmpOffset[12] = char(0xFF);

    QTest::newRow("empty file") << "e.jpg" << QByteArray();
    QTest::newRow("text named .bmp") << "t.bmp" << QByteArray("hello, not a picture\n");
    QTest::newRow("jpeg cut in its header") << "h.jpg" << jpg.left(100);
    QTest::newRow("jpeg cut in its data") << "d.jpg" << jpg.left(jpg.size() * 6 / 10);
    QTest::newRow("jpeg garbage after SOI") << "g.jpg" << QByteArray("\xFF\xD8\xFF", 3) + QByteArray(500, 'x');
    QTest::newRow("bmp cut short") << "c.bmp" << bmp.left(bmp.size() / 2);
    QTest::newRow("bmp with bad offset") << "o.bmp" << badBmpOffset;
    QTest::newRow("gif cut in its header") << "c.gif" << gif.left(20);
    QTest::newRow("wmf garbage") << "w.wmf" << QByteArray("\xD7\xCD\xC6\x9A", 4) + QByteArray(40, '\x7f');
}

void TestLoadPicture::broken()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QVERIFY(!LoadPicture(write(name, bytes), QSize(158, 158)));
}

void TestLoadPicture::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("upright");
    QTest::addColumn<QPoint>("redAt"); // where the picture's red left half ends up
    QTest::newRow("1 as stored") << 1 << QSize(200, 100) << QPoint(20, 50);
    QTest::newRow("3 upside down") << 3 << QSize(200, 100) << QPoint(180, 50);
    QTest::newRow("6 turned clockwise") << 6 << QSize(100, 200) << QPoint(50, 20);
    QTest::newRow("8 turned counter-clockwise") << 8 << QSize(100, 200) << QPoint(50, 180);
}

void TestLoadPicture::orientation()
{
    QFETCH(int, orientation);
    QFETCH(QSize, upright);
    QFETCH(QPoint, redAt);

    const QRgb left = qRgb(230, 20, 20), right = qRgb(20, 20, 230);
    const QImage pic = testpics::quadrants(200, 100, left, right, left, right);
    const auto picture = LoadPicture(write("o.jpg", testpics::withExifOrientation(testpics::jpeg(pic, 95), orientation)));
    QVERIFY(picture);
    QCOMPARE(naturalPixels(*picture), upright);
    const QImage drawn = picture->render(upright);
    QVERIFY(qRed(drawn.pixel(redAt)) > 200);
    QVERIFY(qBlue(drawn.pixel(redAt)) < 50);
}

void TestLoadPicture::gifTransparencyAndFirstFrame()
{
    QImage first = indexed(20, 10, 2);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y)
            first.setPixel(x, y, 1); // left half red, right half transparent
    const QImage second = indexed(20, 10, 3);
    const QList<QRgb> palette{qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(9, 9, 9), qRgb(0, 255, 0)};
    const auto picture = LoadPicture(write("anim.gif", testpics::gif({first, second}, palette, 2)));
    QVERIFY(picture);
    const QImage drawn = picture->render(QSize(20, 10));
    QCOMPARE(drawn.pixel(3, 3), qRgb(255, 0, 0));
    QCOMPARE(qAlpha(drawn.pixel(15, 5)), 0);
}

void TestLoadPicture::gifFirstFrameOnScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<giftest::Frame>("first");
    QTest::addColumn<bool>("animated");

    const QImage p = pattern(23, 17, 5);
    const auto frame = [&](QPoint at, int codeSize, int transparent = -1, bool interlaced = false) {
        return giftest::Frame{p, at, codeSize, transparent, interlaced};
    };
    QTest::newRow("frame fills the screen") << QSize(23, 17) << frame({0, 0}, 8) << false;
    QTest::newRow("code size 3") << QSize(23, 17) << frame({0, 0}, 3) << false;
    QTest::newRow("smaller frame at the corner") << QSize(40, 30) << frame({0, 0}, 8) << true;
    QTest::newRow("smaller frame at an offset") << QSize(40, 30) << frame({11, 7}, 8) << true;
    QTest::newRow("offset frame, transparent index") << QSize(40, 30) << frame({5, 9}, 8, 3) << true;
    QTest::newRow("offset frame, interlaced") << QSize(40, 30) << frame({2, 3}, 8, -1, true) << false;
    QTest::newRow("frame beyond the screen grows it") << QSize(20, 10) << frame({6, 2}, 8) << false;
    QTest::newRow("code size 9") << QSize(23, 17) << frame({0, 0}, 9) << false;
    QTest::newRow("code size 10, offset") << QSize(30, 20) << frame({4, 2}, 10) << true;
    QTest::newRow("code size 11") << QSize(23, 17) << frame({0, 0}, 11, 1) << false;
}

void TestLoadPicture::gifFirstFrameOnScreen()
{
    QFETCH(QSize, screen);
    QFETCH(giftest::Frame, first);
    QFETCH(bool, animated);

    QList<giftest::Frame> frames{first};
    if (animated) // a later frame covering the whole screen must not show
        frames.append(giftest::Frame{pattern(screen.width(), screen.height(), 2), {0, 0}, 8, -1, false});
    const auto picture = LoadPicture(write("f.gif", giftest::gif(screen, kGifPalette, frames)));
    QVERIFY(picture);
    const QRect at(first.offset, first.indices.size());
    const QSize natural = screen.expandedTo(QSize(at.right() + 1, at.bottom() + 1));
    QCOMPARE(naturalPixels(*picture), natural);
    const QImage drawn = picture->render(natural).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < natural.height(); ++y)
        for (int x = 0; x < natural.width(); ++x) {
            const int index = at.contains(x, y) ? first.indices.pixelIndex(x - at.x(), y - at.y()) : -1;
            const QRgb expected = index < 0 || index == first.transparentIndex ? 0 : kGifPalette[index];
            const QRgb got = drawn.pixel(x, y);
            QVERIFY2(got == expected || (qAlpha(expected) == 0 && qAlpha(got) == 0),
                     qPrintable(QString("at %1,%2: %3").arg(x).arg(y).arg(got, 8, 16)));
        }
}

void TestLoadPicture::gifRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QSize screen(23, 17);
    const QImage p = pattern(23, 17, 5);
    const QByteArray good = giftest::gif(screen, kGifPalette, {{p, {0, 0}, 8}});
    const qsizetype codeSizeAt = good.indexOf(char(0x2C)) + 10;
    QByteArray badCode = good; // a first code far beyond the table
    badCode[codeSizeAt + 2] = char(0xFF);
    badCode[codeSizeAt + 3] = char(0xFF);
    QTest::newRow("code size 12") << giftest::gif(screen, kGifPalette, {{p, {0, 0}, 12}});
    QTest::newRow("code size 1") << giftest::gif(screen, kGifPalette, {{p, {0, 0}, 1}});
    QTest::newRow("data cut short") << good.left(good.size() - 30);
    QTest::newRow("code beyond the table") << badCode;
    QTest::newRow("empty frame") << giftest::gif(screen, kGifPalette, {{QImage(), {0, 0}, 8}});
    QTest::newRow("no image") << good.left(codeSizeAt - 10) + char(0x3B);
    QTest::newRow("screen too large") << giftest::gif(QSize(65535, 65535), kGifPalette, {{p, {0, 0}, 8}});
}

void TestLoadPicture::gifRefused()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!LoadPicture(write("r.gif", bytes)));
}

void TestLoadPicture::largePhotoDecodedSmall()
{
    // A 12-megapixel photo previewed at 158 x 158 is decoded at 1/8 scale.
    const auto picture = LoadPicture(write("big.jpg", testpics::jpeg(testpics::photoLike(4000, 3000), 85)), QSize(158, 158));
    QVERIFY(picture);
    QCOMPARE(naturalPixels(*picture), QSize(4000, 3000));
    const auto* raster = dynamic_cast<const RasterPicture*>(picture.get());
    QVERIFY(raster);
    QVERIFY2(raster->pixels().width() <= 500 && raster->pixels().height() <= 375,
             qPrintable(QString("decoded %1x%2").arg(raster->pixels().width()).arg(raster->pixels().height())));
    QVERIFY(raster->pixels().width() >= 159);
}

void TestLoadPicture::unsetPixels_data()
{
    QTest::addColumn<bool>("fourBit");
    QTest::addColumn<bool>("inMetafile");
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QPoint>("unset"); // from the top left
    // 8 x 4 pixels of index 1, rows stored bottom first; a run is a count and
    // the index (two indices, for 4 bits a pixel), 0 0 ends a line, 0 1 the
    // picture, 0 2 dx dy jumps.
    const QByteArray row("\x08\x01\0\0", 4);
    const QByteArray jump = QByteArray("\x02\x01\0\x02\x03\0\x03\x01\0\0", 10) + row + row + row;
    const QByteArray lineEnded = QByteArray("\x03\x01\0\0", 4) + row + row + row;
    const QByteArray pictureEnded = row + row;
    for (const bool fourBit : {false, true})
        for (const bool inMetafile : {false, true}) {
            if (fourBit && inMetafile)
                continue;
            const QByteArray kind = QByteArray(fourBit ? "4-bit" : "8-bit") + (inMetafile ? " in a metafile" : "");
            QTest::addRow("%s, a jump", kind.constData()) << fourBit << inMetafile << jump << QPoint(3, 3);
            QTest::addRow("%s, a line ended early", kind.constData()) << fourBit << inMetafile << lineEnded << QPoint(5, 3);
            QTest::addRow("%s, the picture ended early", kind.constData())
                << fourBit << inMetafile << pictureEnded << QPoint(4, 0);
        }
}

// Pixels that run-length data leaves unset show the first palette colour,
// not whatever the memory held.
void TestLoadPicture::unsetPixels()
{
    QFETCH(bool, fourBit);
    QFETCH(bool, inMetafile);
    QFETCH(QByteArray, runs);
    QFETCH(QPoint, unset);
    const QRgb green = qRgb(0, 200, 0), red = qRgb(220, 0, 0);
    QList<QRgb> palette(256, red);
    palette[0] = green;
    runs += QByteArray("\0\x01", 2);
    QByteArray bmp = testpics::rle8Bmp(QSize(8, 4), palette, runs);
    if (fourBit) {
        for (qsizetype i = qFromLittleEndian<quint32>(bmp.constData() + 10); i + 1 < bmp.size(); i += 2)
            if (bmp[i] != 0 && bmp[i + 1] == 1)
                bmp[i + 1] = 0x11; // both pixels of a run
        test::setLe16(bmp, 28, 4);
        test::setLe32(bmp, 30, 2);
    }
    QImage image;
    if (inMetafile) {
        wmftest::WmfWriter w;
        w.placeable(QRect(0, 0, 800, 400), 96).window(QRect(0, 0, 800, 400));
        w.dib(QRect(0, 0, 800, 400), QSize(8, 4), bmp.mid(14));
        const auto picture = LoadPicture(write("unset.wmf", w.bytes()));
        QVERIFY(picture);
        image = picture->render(QSize(80, 40)).scaled(8, 4); // a pixel of each bitmap pixel
    } else {
        const auto picture = LoadPicture(write("unset.bmp", bmp));
        QVERIFY(picture);
        image = picture->render(QSize(8, 4));
    }
    QCOMPARE(image.size(), QSize(8, 4));
    // The metafile's bitmap is resampled, so its colours only come close.
    const auto near = [](QRgb a, QRgb b) {
        return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) <= 40;
    };
    QVERIFY2(near(image.pixel(unset), green), qPrintable(QColor(image.pixel(unset)).name()));
    QVERIFY2(near(image.pixel(0, 2), red), qPrintable(QColor(image.pixel(0, 2)).name()));
}

QTEST_GUILESS_MAIN(TestLoadPicture)
#include "test_load_picture.moc"
