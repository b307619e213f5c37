// The folder dialog on a slow or hung mount: closing it never waits for the
// file-system model's stuck thread, and a folder is made off its thread.

#include "chooser/FolderDialog.h"
#include "chooser/GermanReason.h"
#include "tests/support/EventLoopWatch.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace ostrovel;

namespace {

// A mount that hangs: stat() of a path named "hung" waits off the main
// thread until the test lets go (at most 5 s, so that a failure is no hang).
// Qt asks the system through statx(); this definition is found first.
struct HungMount {
    std::shared_ptr<test::SlowCalls> calls = std::make_shared<test::SlowCalls>();
    std::atomic<bool> blocked{false};
    std::atomic<bool> letGo{true};
    std::thread::id mainThread = std::this_thread::get_id();
};

HungMount& hungMount()
{
    static auto* mount = new HungMount; // asked by threads that may outlive a test
    return *mount;
}

} // namespace

extern "C" int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* buf)
{
    using Statx = int (*)(int, const char*, int, unsigned int, struct statx*);
    static const auto real = reinterpret_cast<Statx>(dlsym(RTLD_NEXT, "statx"));
    HungMount& mount = hungMount();
    if (!mount.letGo && std::this_thread::get_id() != mount.mainThread && QByteArray(path).endsWith("/hung")) {
        const test::SlowCalls::Scope scope(*mount.calls);
        mount.blocked = true;
        for (int ms = 0; !mount.letGo && ms < 5000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return real(dirfd, path, flags, mask, buf);
}

namespace {

FolderDialogOptions newStyle()
{
    FolderDialogOptions options;
    options.title = QStringLiteral("Ordner wählen");
    options.newStyle = true;
    return options;
}

} // namespace

class TestChooserSlowMount : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9)); }
    void cleanup() { hungMount().letGo = true; }
    void closingNeverWaitsForHungMount_data();
    void closingNeverWaitsForHungMount();
    void slowMkdirKeepsDialogServed_data();
    void slowMkdirKeepsDialogServed();
};

void TestChooserSlowMount::closingNeverWaitsForHungMount_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Abbrechen") << false;
}

void TestChooserSlowMount::closingNeverWaitsForHungMount()
{
    QFETCH(bool, ok);
    HungMount& mount = hungMount();
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("start") && QDir(dir.path()).mkdir("hung"));
    mount.blocked = false;
    mount.letGo = false;
    auto* dialog = new FolderDialog(newStyle());
    dialog->setCurrentPath(dir.filePath("start")); // its folder is listed, "hung" with it
    dialog->show();
    QTRY_VERIFY(mount.blocked);

    const test::EventLoopWatch watch(mount.calls);
    QTest::mouseClick(ok ? dialog->okButton() : dialog->cancelButton(), Qt::LeftButton);
    const int result = dialog->result();
    const QString chosen = dialog->selectedPath();
    delete dialog; // as BrowseFolder does once the dialog has ended
    QTest::qWait(200);
    const qint64 gap = watch.longestGap();
    mount.letGo = true;

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the window stood still for %1 ms").arg(gap)));
    QCOMPARE(result, ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(chosen, dir.filePath("start"));
}

void TestChooserSlowMount::slowMkdirKeepsDialogServed_data()
{
    QTest::addColumn<int>("errnum"); // what the slow mkdir answers
    QTest::newRow("made") << 0;
    QTest::newRow("refused") << EACCES;
}

void TestChooserSlowMount::slowMkdirKeepsDialogServed()
{
    QFETCH(int, errnum);
    QTemporaryDir dir;
    FolderDialog dialog(newStyle());
    QStringList reasons;
    dialog.setMessageSink([&](const QString&, const QString& reason) { reasons << reason; });
    const auto calls = std::make_shared<test::SlowCalls>();
    dialog.setMakeFolderFunction([calls, errnum](const QString& path) {
        const test::SlowCalls::Scope scope(*calls);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return errnum != 0 ? errnum : (::mkdir(QFile::encodeName(path).constData(), 0777) == 0 ? 0 : errno);
    });
    dialog.setCurrentPath(dir.path());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    const test::EventLoopWatch watch(calls);
    QTest::mouseClick(dialog.newFolderButton(), Qt::LeftButton);
    QVERIFY(dialog.creatingFolder());
    QVERIFY(QTest::qWaitFor([&] { return !dialog.creatingFolder(); }, 30000));
    QTest::qWait(50);
    const qint64 gap = watch.longestGap();

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the dialog stood still for %1 ms").arg(gap)));
    const QString made = dir.filePath("Neuer Ordner");
    QCOMPARE(QFileInfo(made).isDir(), errnum == 0);
    QCOMPARE(dialog.selectedPath(), errnum == 0 ? made : dir.path());
    QCOMPARE(reasons, errnum == 0 ? QStringList() : QStringList{GermanReason(errnum)});
}

QTEST_MAIN(TestChooserSlowMount)
#include "test_chooser_slow_mount.moc"
