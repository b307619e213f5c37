// Broken and hostile pictures, each through the preview and the export:
// the preview keeps its picture (taking the new size and colour) and reports
// nothing; the export writes nothing for it, leaves it selected and names it.

#include "tests/support/LittleEndian.h"
#include "tests/app/WindowFixture.h"

#include <QTest>
#include <QtEndian>

using namespace ostrovel;

namespace {

QByteArray smallBmp()
{
    return testpics::bmp(testpics::photoLike(40, 30));
}

// An 8-bit run-length BMP whose runs go on past the end of the file.
QByteArray rleBmpRunningPastEnd()
{
    QByteArray runs;
    for (int i = 0; i < 4; ++i)
        runs += QByteArray("\x10\x01", 2); // four runs of 16 pixels, then the file ends without an end marker
    return testpics::rle8Bmp(QSize(16, 16), {}, runs);
}

QByteArray jpegWithSize(int w, int h)
{
    QByteArray b = testpics::jpeg(testpics::photoLike(16, 16));
    const qsizetype sof = b.indexOf(QByteArray("\xFF\xC0", 2));
    qToBigEndian<quint16>(quint16(h), b.data() + sof + 5);
    qToBigEndian<quint16>(quint16(w), b.data() + sof + 7);
    return b;
}

QByteArray jpegGarbageAfterHeader()
{
    const QByteArray b = testpics::jpeg(testpics::photoLike(64, 64));
    const qsizetype sos = b.indexOf(QByteArray("\xFF\xDA", 2));
    QByteArray garbage;
    for (int i = 0; i < 24; ++i) // far too little for every row
        garbage += char((i * 73 + 11) & 0x7F);
    return b.left(sos + 14) + garbage;
}

QByteArray smallGif()
{
    QImage frame(24, 16, QImage::Format_Indexed8);
    frame.setColorCount(256);
    frame.fill(1);
    return testpics::gif({frame}, {qRgb(0, 0, 0), qRgb(10, 100, 200)});
}

QByteArray gifWithBrokenLzw()
{
    QByteArray b = smallGif();
    const qsizetype image = b.indexOf(char(0x2C), 13 + 768);
    for (qsizetype i = image + 12; i < b.size() - 2; ++i)
        b[i] = char(0xFF); // codes far beyond the table
    return b;
}

QByteArray gifWithHugeScreen()
{
    QByteArray b = smallGif();
    testpics::setLe16(b, 6, 65535);
    testpics::setLe16(b, 8, 65535);
    return b;
}

QByteArray wmfWithGiantBox()
{
    QByteArray b = testpics::wmfWithRectangle(1, 1, QRect(0, 0, 100, 100), Qt::red);
    testpics::setLe16(b, 10, 32767); // right
    testpics::setLe16(b, 12, 32767); // bottom
    testpics::setLe16(b, 14, 1);     // one unit an inch
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(b.constData() + 2 * i);
    testpics::setLe16(b, 20, sum);
    return b;
}

QByteArray wmfWithHugeRecordCount()
{
    QByteArray b = testpics::wmfWithRectangle(1, 1, QRect(0, 0, 100, 100), Qt::red);
    testpics::setLe32(b, 22 + 6, 0x7FFFFFFF); // total size in words
    testpics::setLe32(b, 22 + 12, 0x7FFFFFF0); // largest record
    return b;
}

QByteArray wmfGarbageRecords()
{
    QByteArray b = testpics::wmfWithRectangle(1, 1, QRect(0, 0, 100, 100), Qt::red);
    for (qsizetype i = 22 + 18; i < b.size(); ++i)
        b[i] = char((i * 131 + 7) & 0xFF);
    return b;
}

} // namespace

class TestBadInputs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void preview_data();
    void preview();
    void exportSkipsIt_data() { preview_data(); }
    void exportSkipsIt();
    void wrongExtensionStillReads_data(); // and other odd files that do read
    void wrongExtensionStillReads();

private:
    void openWith(const QString& name, const QByteArray& bytes);
    int row(const QString& name) const { return int(m_fx->form->File1()->row(m_fx->form->File1()->findItems(name, Qt::MatchExactly).value(0))); }
    void click(const QString& name)
    {
        FileListBox* list = m_fx->form->File1();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row(name))).center());
        QVERIFY(m_fx->waitForPreview());
    }
    std::unique_ptr<WindowFixture> m_fx;
};

void TestBadInputs::initTestCase()
{
    QApplication::setFont(QFont("DejaVu Sans", 9));
}

void TestBadInputs::openWith(const QString& name, const QByteArray& bytes)
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [&] {
        m_fx->write("a_good.bmp", smallBmp());
        m_fx->write(name, bytes);
    };
    m_fx->openWindow();
}

void TestBadInputs::preview_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray jpg = testpics::jpeg(testpics::photoLike(300, 200));
    QByteArray bmpZeroWidth = smallBmp(), bmpNegativeWidth = smallBmp(), bmpZeroHeight = smallBmp(),
               bmpBadOffset = smallBmp(), bmpHuge = smallBmp();
    testpics::setLe32(bmpZeroWidth, 18, 0);
    testpics::setLe32(bmpNegativeWidth, 18, -40);
    testpics::setLe32(bmpZeroHeight, 22, 0);
    testpics::setLe32(bmpBadOffset, 10, 0x7FFFFFF0);
    testpics::setLe32(bmpHuge, 18, 100000);
    testpics::setLe32(bmpHuge, 22, 100000);

    QTest::newRow("empty file") << "empty.jpg" << QByteArray();
    QTest::newRow("truncated jpeg") << "cut.jpg" << jpg.left(jpg.size() / 2);
    QTest::newRow("jpeg with garbage after its header") << "garbage.jpg" << jpegGarbageAfterHeader();
    QTest::newRow("text named .bmp") << "text.bmp" << QByteArray("Dies ist kein Bild.\n");
    QTest::newRow("bmp with zero width") << "w0.bmp" << bmpZeroWidth;
    QTest::newRow("bmp with negative width") << "wneg.bmp" << bmpNegativeWidth;
    QTest::newRow("bmp with zero height") << "h0.bmp" << bmpZeroHeight;
    QTest::newRow("bmp with bad offset") << "offset.bmp" << bmpBadOffset;
    QTest::newRow("bmp whose runs go past the end") << "rle.bmp" << rleBmpRunningPastEnd();
    QTest::newRow("gif with broken lzw") << "lzw.gif" << gifWithBrokenLzw();
    QTest::newRow("wmf with garbage records") << "garbage.wmf" << wmfGarbageRecords();
    QTest::newRow("huge jpeg 65535x65535") << "huge.jpg" << jpegWithSize(65535, 65535);
    QTest::newRow("huge bmp 100000x100000") << "huge.bmp" << bmpHuge;
    QTest::newRow("gif with a huge screen") << "huge.gif" << gifWithHugeScreen();
    QTest::newRow("wmf with a huge record count") << "count.wmf" << wmfWithHugeRecordCount();
}

void TestBadInputs::preview()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    openWith(name, bytes);
    Form1& form = *m_fx->form;
    click("a_good.bmp");
    const QImage before = form.Picture1()->canvas().picture();
    QVERIFY(!before.isNull());
    form.Text1(0)->setText("100");
    form.Text1(1)->setText("60");
    form.Text2()->setText("0,0,128");
    click(name);
    QCOMPARE(form.Picture1()->canvas().picture(), before);
    QCOMPARE(form.Picture1()->size(), QSize(100, 60));
    QCOMPARE(form.Picture1()->canvas().BackColor(), Colour(128 << 16));
    QVERIFY(m_fx->messages.isEmpty());
}

void TestBadInputs::exportSkipsIt()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    openWith(name, bytes);
    Form1& form = *m_fx->form;
    form.File1()->selectAll();
    QTemporaryDir out;
    m_fx->answers << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"thumb_a_good.jpg"});
    QVERIFY(form.File1()->Selected(row(name)));
    QVERIFY(!form.File1()->Selected(row("a_good.bmp")));
    QCOMPARE(m_fx->messages,
             QStringList{"Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\n" + name});
}

void TestBadInputs::wrongExtensionStillReads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    // Not refused but drawn fitted into the canvas like any other picture.
    QTest::newRow("wmf with a giant box") << "box.wmf" << wmfWithGiantBox();
    QTest::newRow("gif named .jpg") << "bild.jpg" << smallGif();
    QTest::newRow("jpeg named .bmp") << "foto.bmp" << testpics::jpeg(testpics::photoLike(30, 20));
    QTest::newRow("bmp named .wmf") << "plan.wmf" << testpics::bmp(testpics::photoLike(50, 20, 7));
}

void TestBadInputs::wrongExtensionStillReads()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    openWith(name, bytes);
    click("a_good.bmp");
    const QImage before = m_fx->form->Picture1()->canvas().picture();
    click(name);
    QVERIFY(m_fx->form->Picture1()->canvas().picture() != before);
}

QTEST_MAIN(TestBadInputs)
#include "test_bad_inputs.moc"
