// A screen with twice the pixel density: the window scales as a whole, the
// canvas and the thumbnails keep their pixel sizes, and the preview is drawn
// at the screen's resolution instead of being enlarged.

#include "tests/app/WindowFixture.h"

#include <QImageReader>
#include <QTest>

using namespace ostrovel;

namespace {

// Vertical stripes three pixels wide: beyond the Nyquist frequency of a
// quarter of the size (filtered out to grey), well below that of half of it
// (kept as stripes).
QImage stripes(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, (x / 3) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

int rowContrast(const QImage& image, int y, int x0, int x1)
{
    int lo = 255, hi = 0;
    for (int x = x0; x < x1; ++x) {
        lo = std::min(lo, qGray(image.pixel(x, y)));
        hi = std::max(hi, qGray(image.pixel(x, y)));
    }
    return hi - lo;
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_fx.reset(); }
    void windowScalesAsWhole();
    void previewIsSharpAndThumbnailKeepsItsSize();

private:
    std::unique_ptr<WindowFixture> m_fx;
};

void TestHiDpi::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] { m_fx->write("stripes.bmp", testpics::bmp(stripes(632))); };
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx->form.get()));
}

void TestHiDpi::windowScalesAsWhole()
{
    Form1& form = *m_fx->form;
    QCOMPARE(form.devicePixelRatioF(), 2.0);
    QCOMPARE(form.size(), QSize(1028, 614));
    QCOMPARE(form.grab().size(), QSize(2056, 1228));
    QCOMPARE(form.Frame1()->x(), 805);
}

void TestHiDpi::previewIsSharpAndThumbnailKeepsItsSize()
{
    Form1& form = *m_fx->form;
    FileListBox* list = form.File1();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(m_fx->waitForPreview());
    // The canvas itself keeps the typed size in pixels.
    QCOMPARE(form.Picture1()->canvas().Image().size(), QSize(158, 158));
    const int small = rowContrast(form.Picture1()->canvas().Image(), 79, 20, 140);
    QVERIFY(small < 40); // grey at this size
    // On screen: 316 device pixels, stripes still black and white.
    const QImage shown = form.Picture1()->grab().toImage();
    QCOMPARE(shown.size(), QSize(316, 316));
    const int sharp = rowContrast(shown, 158, 40, 280);
    qInfo("contrast at 316: %d", sharp);
    QVERIFY2(sharp > 200, "the preview was enlarged instead of drawn sharp");

    QTemporaryDir out;
    list->SetSelected(0, true);
    m_fx->answers << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QImageReader reader(out.filePath("thumb_stripes.jpg"));
    QCOMPARE(reader.size(), QSize(158, 158));
}

int main(int argc, char* argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"
