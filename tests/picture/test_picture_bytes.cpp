// How much of a file is read: only as far as the picture goes, no further
// once the file is found unreadable, and in time linear in what is read.

#include "picture/LoadPicture.h"
#include "picture/PictureBytes.h"
#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegExtent.h"
#include "tests/picture/GifWriter.h"
#include "tests/support/LittleEndian.h"
#include "tests/support/TestPictures.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace ostrovel;

namespace {

constexpr qint64 kSparseSize = qint64(1) << 30;
constexpr qint64 kTestCap = qint64(64) << 20; // what a walk that does not stop would read

// A BMP header of `dibSize` bytes for a 24-bit picture of w x h, pixels right after it.
QByteArray bmpHead(quint32 dibSize, int w, int h)
{
    QByteArray b(14 + int(std::max<quint32>(dibSize, 12)), '\0');
    b[0] = 'B';
    b[1] = 'M';
    test::setLe32(b, 10, quint32(b.size()));
    test::setLe32(b, 14, dibSize);
    if (dibSize == 12) {
        test::setLe16(b, 18, quint16(w));
        test::setLe16(b, 20, quint16(h));
        test::setLe16(b, 22, 1);
        test::setLe16(b, 24, 24);
    }
    return b;
}

// A 100 x 100 GIF whose image data goes on in `padding` one-byte sub-blocks
// after its LZW end code.
QByteArray paddedGif(qint64 padding)
{
    QImage indices(100, 100, QImage::Format_Indexed8);
    indices.setColorCount(256);
    indices.fill(1);
    QByteArray gif = giftest::gif(indices.size(), {qRgb(0, 0, 0), qRgb(200, 10, 10)}, {{indices, {0, 0}, 8}});
    const qsizetype terminator = gif.size() - 2; // before the trailer
    QByteArray pad;
    pad.reserve(qsizetype(2 * padding));
    for (qint64 i = 0; i < padding; ++i)
        pad.append("\x01\x00", 2);
    return gif.insert(terminator, pad);
}

// A JPEG larger than a read chunk whose APP0 segment is followed by
// `extraneous` bytes before the next marker.
QByteArray withExtraneous(const QByteArray& jpeg, const QByteArray& extraneous)
{
    const qsizetype afterApp0 = 4 + ((uchar(jpeg[4]) << 8) | uchar(jpeg[5]));
    return QByteArray(jpeg).insert(afterApp0, extraneous);
}

} // namespace

class TestPictureBytes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stopsEarly_data();
    void stopsEarly();
    void gifReadInLinearTime();

private:
    QTemporaryDir m_dir;
};

void TestPictureBytes::stopsEarly_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("expected"); // bytes returned; empty: a little of the head
    QTest::addColumn<bool>("loads");

    const auto jpeg = [](const QByteArray& head) { return QByteArray("\xFF\xD8", 2) + head; };
    const QByteArray large = testpics::jpeg(testpics::photoLike(1000, 1000), 100);
    QVERIFY(large.size() > (qsizetype(256) << 10));
    const QByteArray os2 = bmpHead(12, 100, 50);

    QTest::newRow("jpeg broken after SOI") << jpeg(QByteArray("\xFF\x00", 2)) << int(PictureKind::Jpeg)
                                           << jpeg("\xFF\xD9") << false;
    QTest::newRow("jpeg bad segment length") << jpeg(QByteArray("\xFF\xE0\x00\x01", 4)) << int(PictureKind::Jpeg)
                                             << QByteArray() << false;
    QTest::newRow("jpeg extraneous bytes") << withExtraneous(large, QByteArray("\x12\xFF\x00\xD9\xFF\xFF", 6))
                                           << int(PictureKind::Jpeg) << large << true;
    QTest::newRow("os/2 bmp") << os2 << int(PictureKind::Bmp) << os2 + QByteArray(300 * 50, '\0') << true;
    QTest::newRow("bmp with an unknown header") << bmpHead(20, 100, 50) << int(PictureKind::Bmp)
                                                << bmpHead(20, 100, 50).left(26) << false;
    QTest::newRow("gif broken block") << QByteArray("GIF89a\x01\0\x01\0\0\0\0\x99", 14) << int(PictureKind::Gif)
                                      << QByteArray() << false;
}

// A sparse file of 1 GiB with the head given: read no further than a chunk
// beyond the first proof, never to the cap; extraneous bytes in a JPEG are
// read through but not kept, so the buffer stays small.
void TestPictureBytes::stopsEarly()
{
    QFETCH(QByteArray, head);
    QFETCH(int, kind);
    QFETCH(QByteArray, expected);
    QFETCH(bool, loads);

    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace('/', '_'));
    QVERIFY(testpics::writeFile(path, head));
    QVERIFY(::truncate(QFile::encodeName(path).constData(), kSparseSize) == 0);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QString reason;
    const QByteArray read = PictureKind(kind) == PictureKind::Jpeg ? jpegdec::ReadJpegExtent(fd, kTestCap, reason)
                                                                  : ReadRasterExtent(fd, PictureKind(kind), kTestCap, reason);
    ::close(fd);
    QCOMPARE(reason, QString());
    if (!expected.isEmpty()) {
        QCOMPARE(read.size(), expected.size());
        QVERIFY(read == expected);
    } else {
        QVERIFY(read.size() <= (qint64(1) << 20));
        QCOMPARE(read.left(head.size()), head.left(read.size()));
    }
    // The JPEG decoder on what was read, as loading does (a second read would double the time).
    const bool loaded = PictureKind(kind) == PictureKind::Jpeg ? bool(DecodeJpeg(read, {}))
                                                               : bool(LoadPicture(path, QSize(50, 50)));
    QCOMPARE(loaded, loads);
}

// A GIF padded with one-byte sub-blocks: its walk steps over each byte
// once, however many chunks it is read in (a walk from the start per chunk
// stepped over 32 times the file at this size), and the picture is intact.
void TestPictureBytes::gifReadInLinearTime()
{
    const QByteArray gif = paddedGif(qint64(4) << 20);
    const QString path = m_dir.filePath(QStringLiteral("padded.gif"));
    QVERIFY(testpics::writeFile(path, gif));
    const qint64 before = GifBytesWalked();
    const auto picture = LoadPicture(path, QSize(50, 50));
    const qint64 walked = GifBytesWalked() - before;
    QVERIFY(picture);
    QCOMPARE(picture->render(QSize(100, 100)).pixel(50, 50), qRgb(200, 10, 10));
    QVERIFY2(walked <= gif.size(), qPrintable(QStringLiteral("%1 bytes walked for %2").arg(walked).arg(gif.size())));
    QVERIFY(walked > gif.size() - 2048);
}

QTEST_GUILESS_MAIN(TestPictureBytes)
#include "test_picture_bytes.moc"
