// The folder dialog on a slow or hung mount: closing it never waits for the
// file-system model's stuck thread, and folders are made and renamed off its thread.

#include "chooser/FolderDialog.h"
#include "chooser/GermanReason.h"
#include "tests/chooser/DialogHelpers.h"
#include "tests/support/EventLoopWatch.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QDir>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <cerrno>
#include <chrono>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace ostrovel;

namespace {

// A mount that hangs: a look at a path named "hung" waits off the main
// thread until the test lets go (at most 5 s, so that a failure is no hang).
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

namespace {

// Waits while the mount hangs, when asked off the main thread about "hung".
void waitIfHung(const char* path)
{
    HungMount& mount = hungMount();
    if (!mount.letGo && std::this_thread::get_id() != mount.mainThread && QByteArray(path).endsWith("/hung")) {
        const test::SlowCalls::Scope scope(*mount.calls);
        mount.blocked = true;
        for (int ms = 0; !mount.letGo && ms < 5000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

// Qt asks the system through statx(), and access() for a mere existence;
// these definitions are found first.
extern "C" int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* buf)
{
    using Statx = int (*)(int, const char*, int, unsigned int, struct statx*);
    static const auto real = reinterpret_cast<Statx>(dlsym(RTLD_NEXT, "statx"));
    waitIfHung(path);
    return real(dirfd, path, flags, mask, buf);
}

extern "C" int access(const char* path, int mode)
{
    using Access = int (*)(const char*, int);
    static const auto real = reinterpret_cast<Access>(dlsym(RTLD_NEXT, "access"));
    waitIfHung(path);
    return real(path, mode);
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
    void slowFolderCallKeepsDialogServed_data();
    void slowFolderCallKeepsDialogServed();
};

void TestChooserSlowMount::closingNeverWaitsForHungMount_data()
{
    QTest::addColumn<QString>("chosen"); // the start folder
    QTest::addColumn<bool>("hangsAtOnce"); // else once the start folder is selected
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("selected");
    QTest::newRow("OK") << "start" << true << true << true << true;
    QTest::newRow("Abbrechen") << "start" << true << false << false << true;
    // The dialog opens without its start folder; Abbrechen ends it.
    QTest::newRow("hung start folder") << "hung" << true << true << false << false;
    // OK waits for the hung folder to answer; Abbrechen ends the dialog.
    QTest::newRow("OK on the hung folder, then Abbrechen") << "hung" << false << true << false << true;
}

void TestChooserSlowMount::closingNeverWaitsForHungMount()
{
    QFETCH(QString, chosen);
    QFETCH(bool, hangsAtOnce);
    QFETCH(bool, ok);
    QFETCH(bool, accepted);
    QFETCH(bool, selected);
    HungMount& mount = hungMount();
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("start") && QDir(dir.path()).mkdir("hung"));
    mount.blocked = false;
    mount.letGo = !hangsAtOnce;
    auto* dialog = new FolderDialog(newStyle());
    const test::EventLoopWatch watch(mount.calls);
    dialog->setCurrentPath(dir.filePath(chosen)); // its folder is listed, "hung" with it
    dialog->show();
    if (hangsAtOnce) {
        QTRY_VERIFY(mount.blocked);
    } else {
        QTRY_COMPARE(dialog->selectedPath(), dir.filePath(chosen));
        mount.letGo = false;
    }

    QTest::mouseClick(ok ? dialog->okButton() : dialog->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(mount.blocked);
    (void)QTest::qWaitFor([&] { return !dialog->isVisible(); }, accepted ? 10000 : 300);
    if (dialog->isVisible())
        QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    const int result = dialog->result();
    const QString path = dialog->selectedPath();
    delete dialog; // as BrowseFolder does once the dialog has ended
    QTest::qWait(200);
    const qint64 gap = watch.longestGap();
    mount.letGo = true;

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the window stood still for %1 ms").arg(gap)));
    QCOMPARE(result, accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(path, selected ? dir.filePath(chosen) : QString());
}

void TestChooserSlowMount::slowFolderCallKeepsDialogServed_data()
{
    QTest::addColumn<bool>("renaming"); // the slow call: mkdir, or the renaming of the new folder
    QTest::addColumn<int>("errnum");    // what it answers
    QTest::newRow("mkdir made") << false << 0;
    QTest::newRow("mkdir refused") << false << EACCES;
    QTest::newRow("rename made") << true << 0;
    QTest::newRow("rename refused") << true << EACCES;
}

void TestChooserSlowMount::slowFolderCallKeepsDialogServed()
{
    QFETCH(bool, renaming);
    QFETCH(int, errnum);
    QTemporaryDir dir;
    FolderDialog dialog(newStyle());
    QStringList reasons;
    dialog.setMessageSink([&](const QString&, const QString& reason) { reasons << reason; });
    const auto calls = std::make_shared<test::SlowCalls>();
    const auto slowly = [calls, errnum](const std::function<int()>& call) {
        const test::SlowCalls::Scope scope(*calls);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return errnum != 0 ? errnum : (call() == 0 ? 0 : errno);
    };
    const auto make = [](const QString& path) { return ::mkdir(QFile::encodeName(path).constData(), 0777); };
    if (renaming) {
        dialog.setRenameFunction([slowly](const QString& from, const QString& to) {
            return slowly([&] { return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()); });
        });
    } else {
        dialog.setMakeFolderFunction([slowly, make](const QString& path) { return slowly([&] { return make(path); }); });
    }
    QVERIFY(dialogtest::showAt(dialog, dir.path()));

    std::unique_ptr<test::EventLoopWatch> watch;
    if (!renaming)
        watch = std::make_unique<test::EventLoopWatch>(calls);
    QTest::mouseClick(dialog.newFolderButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !dialog.creatingFolder(); }, 30000));
    if (renaming) {
        QPointer<QLineEdit> editor = dialog.tree()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("Urlaub"));
        watch = std::make_unique<test::EventLoopWatch>(calls);
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return !reasons.isEmpty() || dialog.selectedPath() == dir.filePath("Urlaub"); }, 30000));
    }
    QTest::qWait(50);
    const qint64 gap = watch->longestGap();

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the dialog stood still for %1 ms").arg(gap)));
    const QString made = dir.filePath("Neuer Ordner");
    const QString renamed = dir.filePath("Urlaub");
    const QString expected = errnum != 0 ? (renaming ? made : dir.path()) : (renaming ? renamed : made);
    QCOMPARE(dialog.selectedPath(), expected);
    QCOMPARE(QFileInfo(expected).isDir(), true);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), expected == dir.path() ? 0 : 1);
    const QModelIndex current = dialog.tree()->currentIndex();
    const QModelIndex folder = expected == dir.path() ? current : current.parent();
    QStringList shown; // the tree's rows in the folder: no stale name among them
    for (int row = 0; row < dialog.tree()->model()->rowCount(folder); ++row)
        shown << dialog.tree()->model()->index(row, 0, folder).data().toString();
    QCOMPARE(shown, expected == dir.path() ? QStringList() : QStringList{QFileInfo(expected).fileName()});
    QCOMPARE(reasons, errnum == 0 ? QStringList() : QStringList{GermanReason(errnum)});
}

QTEST_MAIN(TestChooserSlowMount)
#include "test_chooser_slow_mount.moc"
