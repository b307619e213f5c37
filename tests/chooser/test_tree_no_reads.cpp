// The folder tree never opens a file to draw itself: a pipe whose reader
// blocks and a file of unknown type lie in the folder it expands. Opening the
// pipe would hang this test (its ctest time limit is short); opening the
// other file shows up in the folder's inotify events.

#include "chooser/FolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using ostrovel::FolderDialog;

namespace {

// Names of the files in the watched folder that were opened or read.
QStringList openedFiles(int fd)
{
    QStringList names;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && !(event->mask & IN_ISDIR))
                names << QString::fromLocal8Bit(event->name);
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    names.removeDuplicates();
    return names;
}

} // namespace

class TestTreeNoReads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void expandingNeverOpensFiles_data();
    void expandingNeverOpensFiles();
};

void TestTreeNoReads::expandingNeverOpensFiles_data()
{
    QTest::addColumn<bool>("includeFiles");
    QTest::newRow("folders only") << false;
    QTest::newRow("with files") << true;
}

void TestTreeNoReads::expandingNeverOpensFiles()
{
    QFETCH(bool, includeFiles);
    QTemporaryDir dir;
    const QString folder = dir.filePath("ordner");
    QVERIFY(QDir().mkpath(folder + "/unter"));
    QVERIFY(mkfifo(QFile::encodeName(folder + "/rohr").constData(), 0600) == 0);
    QFile unknown(folder + "/unbekannt"); // no name pattern: only its content tells its type
    QVERIFY(unknown.open(QIODevice::WriteOnly));
    unknown.write("%PDF-1.4\n% not really\n");
    unknown.close();

    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(fd >= 0);
    QVERIFY(inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS) >= 0);

    FolderDialog dialog({"Ordner", QString(), true, true, includeFiles});
    QSignalSpy loaded(dialog.fileModel(), &QFileSystemModel::directoryLoaded);
    dialog.setCurrentPath(folder + "/unter");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(!dialog.locating());
    QTRY_VERIFY(std::any_of(loaded.cbegin(), loaded.cend(), [&](const QList<QVariant>& a) { return a.at(0).toString() == folder; }));
    dialog.tree()->expand(dialog.tree()->currentIndex().parent());
    QTest::qWait(100); // let the listing's last updates reach the model
    if (includeFiles) { // what a tree with files shows of them
        const QModelIndex file = dialog.fileModel()->index(folder + "/unbekannt");
        QVERIFY(file.isValid());
        (void)dialog.fileModel()->data(file, Qt::DecorationRole);
        (void)dialog.fileModel()->type(file);
    }
    QCoreApplication::processEvents();
    const QStringList opened = openedFiles(fd);
    close(fd);
    QVERIFY2(opened.isEmpty(), qPrintable("opened: " + opened.join(", ")));
    QCOMPARE(dialog.selectedPath(), folder + "/unter");
}

QTEST_MAIN(TestTreeNoReads)
#include "test_tree_no_reads.moc"
