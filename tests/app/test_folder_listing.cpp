// The picture folder is listed off the window's thread: a slow or hung mount
// never stands the window still, the list shows the folder once it is
// listed, and a newer choice wins over a slower older one.

#include "tests/app/WindowFixture.h"
#include "app/FolderLister.h"
#include "tests/support/EventLoopWatch.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace ostrovel;

namespace {

// A listing that takes its time, and for a folder named "hung" waits until
// the test lets go; shared with threads that may outlive a test.
struct SlowListing {
    int delayMs = 0;
    std::shared_ptr<test::SlowCalls> calls = std::make_shared<test::SlowCalls>();
    std::atomic<bool> letGo{false};
    std::atomic<int> finished{0};
};

FolderListFunction slowListing(const std::shared_ptr<SlowListing>& slow)
{
    return [slow](const QString& path) {
        const test::SlowCalls::Scope scope(*slow->calls);
        const bool hung = path.section(u'/', -1) == QLatin1String("hung");
        for (int ms = 0; hung && !slow->letGo && ms < 5000; ++ms) // at most 5 s: a failure is no hang
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(slow->delayMs));
        FolderListing listing = ListPictureFolder(path);
        ++slow->finished;
        return listing;
    };
}

} // namespace

class TestFolderListing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void listingKeepsWindowServed_data();
    void listingKeepsWindowServed();

private:
    std::shared_ptr<SlowListing> m_slow;
};

void TestFolderListing::cleanup()
{
    if (m_slow)
        m_slow->letGo = true;
    SetFolderListFunction({});
}

void TestFolderListing::listingKeepsWindowServed_data()
{
    QTest::addColumn<QStringList>("choices");  // folders chosen one after another ("" the launch folder only)
    QTest::addColumn<QString>("shown");        // the folder the list ends up showing
    QTest::addColumn<int>("count");            // its entries
    QTest::newRow("slow launch folder") << QStringList() << "" << 2;
    QTest::newRow("slow chosen folder") << QStringList{"b"} << "b" << 1;
    QTest::newRow("newer choice wins over a hung one") << QStringList{"hung", "b"} << "b" << 1;
    QTest::newRow("hung choice, shown once it answers") << QStringList{"hung"} << "hung" << 1;
}

void TestFolderListing::listingKeepsWindowServed()
{
    QFETCH(QStringList, choices);
    QFETCH(QString, shown);
    QFETCH(int, count);
    m_slow = std::make_shared<SlowListing>();
    m_slow->delayMs = 500;
    SetFolderListFunction(slowListing(m_slow));
    WindowFixture fx;
    fx.populate = [&fx] {
        fx.write("a.jpg", "x");
        fx.write("b.bmp", "x");
        for (const char* sub : {"b", "hung"}) {
            QDir(fx.folder->path()).mkdir(sub);
            fx.write(QString(sub) + "/c.gif", "x");
        }
    };
    Form1& form = fx.openWindow(false);
    QVERIFY(form.File1()->listingPending()); // the window is up before its folder is listed
    // Its first paint, which a busy machine may stretch, is no wait for the file system.
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(20);
    const test::EventLoopWatch watch(m_slow->calls);
    QVERIFY(fx.waitForList());
    const QString launch = form.File1()->Path();
    for (const QString& choice : choices) {
        fx.answers << QDir(launch).filePath(choice);
        QTest::mouseClick(form.Command1(), Qt::LeftButton);
    }
    if (!choices.isEmpty() && choices.last() == "hung") {
        QTest::qWait(600); // meanwhile the list goes on showing the launch folder
        QVERIFY(form.File1()->listingPending());
        QCOMPARE(form.File1()->Path(), launch);
        QCOMPARE(form.File1()->ListCount(), 2);
    } else {
        QVERIFY(fx.waitForList());
    }
    m_slow->letGo = true; // a hung listing that answers after a newer choice changes nothing
    QVERIFY(QTest::qWaitFor([&] { return m_slow->finished == 1 + choices.size(); }, 30000));
    QTest::qWait(200); // its result on the way to the window
    QVERIFY(fx.waitForList());
    const qint64 gap = watch.longestGap();

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the window stood still for %1 ms").arg(gap)));
    const QString expected = shown.isEmpty() ? launch : QDir(launch).filePath(shown);
    QCOMPARE(form.File1()->Path(), expected);
    QCOMPARE(form.File1()->ListCount(), count);
    QCOMPARE(form.Bildordner, choices.isEmpty() ? QString() : expected);
    QVERIFY(fx.messages.isEmpty());
}

QTEST_MAIN(TestFolderListing)
#include "test_folder_listing.moc"
