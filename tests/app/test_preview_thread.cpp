// Previews are rendered off the window's thread: a slow picture leaves the
// window served, a newer click wins, Escape acts at once, failures stay
// silent, and an export is not painted over by a late preview.

#include "export/Render.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/EventLoopWatch.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WmfWriter.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QTimer>

#include <atomic>
#include <stdexcept>

using namespace ostrovel;

namespace {

// A render that waits for the test before it draws the files it is told to hold.
struct SlowRender {
    QStringList held;
    QSemaphore release;
    std::atomic<int> started{0};
    QMutex mutex;
    QStringList reasons; // why renderings failed
    PreviewRenderer::RenderFunction function()
    {
        return [this](Canvas& canvas, const ThumbnailSettings& settings, const QString& file, qreal detail) {
            ++started;
            if (held.contains(QFileInfo(file).fileName()))
                release.tryAcquire(1, 60000);
            RenderOutcome outcome = RenderThumbnail(canvas, settings, file, detail);
            if (!outcome.loaded) {
                const QMutexLocker lock(&mutex);
                reasons << outcome.reason;
            }
            return outcome;
        };
    }
};

QImage filled(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The longest time between two turns of the event loop while `running` holds.
qint64 longestGap(const std::function<bool()>& running, int atLeastMs)
{
    QElapsedTimer clock, since;
    clock.start();
    since.start();
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, since.restart());
    });
    tick.start(10);
    while (running() && clock.elapsed() < atLeastMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return std::max(longest, since.elapsed());
}

} // namespace

class TestPreviewThread : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void slowPreviewKeepsWindowServed();
    void newerClickWins_data();
    void newerClickWins();
    void escapeActsAtOnce();
    void failureStaysSilent();
    void latePreviewDoesNotPaintOverExport();
    void closingEndsMetafileHelper();

private:
    Form1& form() { return *m_fx->form; }
    void click(int row)
    {
        FileListBox* list = form().File1();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    QRgb centre() { return form().Picture1()->canvas().Image().pixel(79, 79); }
    std::unique_ptr<WindowFixture> m_fx;
    std::unique_ptr<SlowRender> m_slow;
};

void TestPreviewThread::init()
{
    m_slow = std::make_unique<SlowRender>();
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        m_fx->write("a_red.bmp", testpics::bmp(filled(60, 60, qRgb(255, 0, 0))));
        m_fx->write("b_blue.bmp", testpics::bmp(filled(60, 60, qRgb(0, 0, 255))));
        m_fx->write("c_green.bmp", testpics::bmp(filled(60, 60, qRgb(0, 255, 0))));
        m_fx->write("d_broken.bmp", "not a picture");
        m_fx->write("e_drawing.wmf",
                    wmftest::WmfWriter().placeable(QRect(0, 0, 1440, 1440), 1440).rectangle(QRect(0, 0, 720, 720)).bytes());
    };
    m_fx->openWindow();
    form().setPreviewRender(m_slow->function());
}

void TestPreviewThread::cleanup()
{
    m_slow->release.release(100); // nothing may stay held when the window goes
    m_fx.reset();
    m_slow.reset();
}

void TestPreviewThread::slowPreviewKeepsWindowServed()
{
    m_slow->held << "a_red.bmp";
    click(0);
    QTRY_COMPARE(m_slow->started.load(), 1);
    const qint64 gap = longestGap([] { return true; }, 600);
    QVERIFY2(gap <= test::kServedWithinMs,
             qPrintable(QString("the event loop stood still for %1 ms").arg(gap)));
    QVERIFY(form().previewPending());
    m_slow->release.release();
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(centre(), qRgb(255, 0, 0));
}

void TestPreviewThread::newerClickWins_data()
{
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QRgb>("shown");
    QTest::newRow("slow first, fast second") << QStringList{"a_red.bmp"} << QList<int>{0, 1} << qRgb(0, 0, 255);
    QTest::newRow("three clicks, the first two slow")
        << QStringList{"a_red.bmp", "b_blue.bmp"} << QList<int>{0, 1, 2} << qRgb(0, 255, 0);
    QTest::newRow("back to the first")
        << QStringList{"a_red.bmp", "b_blue.bmp"} << QList<int>{0, 1, 0} << qRgb(255, 0, 0);
    // One click at a time leaves the slow picture: the last one readable.
    QTest::newRow("over a slow picture onto an unreadable one")
        << QStringList{"b_blue.bmp"} << QList<int>{0, 1, 3} << qRgb(0, 0, 255);
    QTest::newRow("two slow pictures, then an unreadable one")
        << QStringList{"a_red.bmp", "b_blue.bmp"} << QList<int>{0, 1, 3} << qRgb(0, 0, 255);
}

void TestPreviewThread::newerClickWins()
{
    QFETCH(QStringList, held);
    QFETCH(QList<int>, clicks);
    QFETCH(QRgb, shown);
    m_slow->held = held;
    for (int row : clicks)
        click(row);
    // The held renderings are released only after the last click's has had
    // its chance to land, so they land late and must be dropped.
    (void)QTest::qWaitFor([&] { return !form().previewPending(); }, 300);
    m_slow->release.release(int(held.size()) + 1);
    QVERIFY(m_fx->waitForPreview());
    QTRY_VERIFY(!form().preview()->busy());
    QCOMPARE(form().File1()->ListIndex(), clicks.last());
    QCOMPARE(centre(), shown);
}

void TestPreviewThread::escapeActsAtOnce()
{
    m_slow->held << "a_red.bmp";
    click(0);
    QTRY_COMPARE(m_slow->started.load(), 1);
    QTest::keyClick(form().File1(), Qt::Key_Escape);
    QVERIFY(!form().isVisible()); // while the rendering still runs
    QVERIFY(form().preview()->busy());
}

void TestPreviewThread::failureStaysSilent()
{
    click(1);
    QVERIFY(m_fx->waitForPreview());
    const QImage before = form().Picture1()->canvas().picture();
    form().setPreviewRender([](Canvas&, const ThumbnailSettings&, const QString&, qreal) -> RenderOutcome {
        throw std::runtime_error("broken");
    });
    form().Text2()->setText("0,0,0");
    click(0);
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(form().Picture1()->canvas().picture(), before);
    QCOMPARE(form().Picture1()->canvas().BackColor(), Colour(0));
    QVERIFY(m_fx->messages.isEmpty());
}

void TestPreviewThread::latePreviewDoesNotPaintOverExport()
{
    m_slow->held << "a_red.bmp";
    click(0);
    QTRY_COMPARE(m_slow->started.load(), 1);
    QTemporaryDir out;
    form().File1()->SetSelected(0, false);
    form().File1()->SetSelected(1, true);
    m_fx->answers << out.path();
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QVERIFY(QFileInfo::exists(out.filePath("thumb_b_blue.jpg")));
    m_slow->release.release();
    QTRY_VERIFY(!form().preview()->busy());
    QCoreApplication::processEvents();
    QVERIFY(form().Picture1()->canvas().picture().isNull()); // the export cleared it; the late preview is dropped
}

// Closing the window ends a metafile helper at once, not at its time limit.
void TestPreviewThread::closingEndsMetafileHelper()
{
    qputenv("OSTROVEL_WMF_TEST_HANG", "1"); // the helper works without end
    click(4);
    QTRY_COMPARE(m_slow->started.load(), 1);
    QTest::keyClick(form().File1(), Qt::Key_Escape);
    QVERIFY(!form().isVisible());
    QTRY_VERIFY(!form().preview()->busy());
    qunsetenv("OSTROVEL_WMF_TEST_HANG");
    QCOMPARE(m_slow->reasons, QStringList{"cancelled"});
}

QTEST_MAIN(TestPreviewThread)
#include "test_preview_thread.moc"
