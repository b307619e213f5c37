// Tests of the JPEG writer's file handling: replacing, odd names, links,
// permissions, failures that must leave nothing behind, threads.

#include "tests/support/JpegFiles.h"
#include "jpeg/Picturebox_2_jpg.h"
#include "jpeg/TemporaryFile.h"
#include "tests/jpeg/TestJpegWriter.h"
#include "tests/support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <climits>
#include <csignal>
#include <thread>
#include <vector>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ostrovel;
using namespace ostrovel::test;

namespace {

const QString kErrorText = QStringLiteral("Speicherung des Bildes fehlgeschlagen. GDI+ Error:");

enum Failure {
    MissingFolder,
    OutfileIsFolder,
    FileAsFolder,
    ReadOnlyFolder,
    UnderProc,
    EmptyPath,
    TrailingSlash,
    NulInName,
    FileSizeLimit,
    EmptyImage,
};

} // namespace

void TestJpegWriter::replacesExistingFile()
{
    const QString outfile = path("thumb_existing.jpg");
    QVERIFY(writeFile(outfile, QByteArray(100000, 'x'))); // longer than the JPEG
    const QImage picture = gradientWithBlocks(158, 158);
    SavePictureAsJpg(picture, outfile, 200);
    QCOMPARE(readFile(outfile), encoded(picture, 200));
    QCOMPARE(folderEntries(m_dir->path()), QStringList({"thumb_existing.jpg"}));
}

void TestJpegWriter::unicodePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("umlauts") << QStringLiteral("Bilder") << QStringLiteral("thumb_Grüße äöü ÄÖÜ ß.jpg");
    QTest::newRow("CJK") << QStringLiteral("图片") << QStringLiteral("thumb_缩略图.jpg");
    QTest::newRow("emoji") << QStringLiteral("Ordner 😀") << QStringLiteral("thumb_🎉🐟.jpg");
    QTest::newRow("Greek and Cyrillic") << QStringLiteral("Фото") << QStringLiteral("thumb_Ελληνικά.jpg");
}

void TestJpegWriter::unicodePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(folder));
    const QString outfile = path(folder + "/" + name);
    const QImage picture = gradientWithBlocks(31, 17);
    SavePictureAsJpg(picture, outfile, 200);

    QCOMPARE(folderEntries(path(folder)), QStringList({name}));
    QCOMPARE(readFile(outfile), encoded(picture, 200));
    // The name on disk is the UTF-8 of the text, unchanged.
    QCOMPARE(::access(outfile.toUtf8().constData(), F_OK), 0);
}

void TestJpegWriter::symlinkReplaced_data()
{
    QTest::addColumn<QString>("linkTarget");
    QTest::newRow("link to a file") << QStringLiteral("elsewhere/real.jpg");
    QTest::newRow("dangling link") << QStringLiteral("elsewhere/nothing.jpg");
    QTest::newRow("link to a folder") << QStringLiteral("elsewhere/folder");
}

void TestJpegWriter::symlinkReplaced()
{
    QFETCH(QString, linkTarget);
    QVERIFY(QDir(m_dir->path()).mkpath("elsewhere/folder"));
    QVERIFY(QDir(m_dir->path()).mkdir("target"));
    const QByteArray original("the link's target, not a JPEG");
    QVERIFY(writeFile(path("elsewhere/real.jpg"), original));
    QVERIFY(writeFile(path("elsewhere/folder/inside.txt"), original));
    const QString outfile = path("target/thumb_link.jpg");
    QVERIFY(QFile::link(path(linkTarget), outfile));

    const QImage picture = gradientWithBlocks(20, 20);
    SavePictureAsJpg(picture, outfile, 200);

    QVERIFY(isRegularFile(outfile));
    QCOMPARE(readFile(outfile), encoded(picture, 200));
    QCOMPARE(folderEntries(path("target")), QStringList({"thumb_link.jpg"}));
    QCOMPARE(folderEntries(path("elsewhere")), QStringList({"folder", "real.jpg"}));
    QCOMPARE(readFile(path("elsewhere/real.jpg")), original);
    QCOMPARE(folderEntries(path("elsewhere/folder")), QStringList({"inside.txt"}));
    QCOMPARE(readFile(path("elsewhere/folder/inside.txt")), original);
}

void TestJpegWriter::newFileMode_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::newRow("umask 022") << 022 << 0644;
    QTest::newRow("umask 002") << 002 << 0664;
    QTest::newRow("umask 077") << 077 << 0600;
    QTest::newRow("umask 0") << 0 << 0666;
}

// A thumbnail gets the permissions of any newly created file, also when it
// replaces a file with other permissions.
void TestJpegWriter::newFileMode()
{
    QFETCH(int, mask);
    QFETCH(int, mode);
    const QString fresh = path("thumb_new.jpg");
    const QString replaced = path("thumb_replaced.jpg");
    QVERIFY(writeFile(replaced, "old"));
    QCOMPARE(::chmod(QFile::encodeName(replaced).constData(), 0700), 0);

    const mode_t saved = ::umask(mode_t(mask));
    const int freshStatus = WriteFileReplacing(fresh, "new");
    const int replacedStatus = WriteFileReplacing(replaced, "new");
    ::umask(saved);
    QCOMPARE(freshStatus, int(kStatusOk));
    QCOMPARE(replacedStatus, int(kStatusOk));
    for (const QString& file : {fresh, replaced}) {
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), mode);
    }
}

void TestJpegWriter::relativePath()
{
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const int status = WriteFileReplacing(QStringLiteral("thumb_relative.jpg"), "bytes");
    QVERIFY(QDir::setCurrent(saved));
    QCOMPARE(status, int(kStatusOk));
    QCOMPARE(readFile(path("thumb_relative.jpg")), QByteArray("bytes"));
    QCOMPARE(folderEntries(m_dir->path()), QStringList({"thumb_relative.jpg"}));
}

void TestJpegWriter::emptyBytes()
{
    const QString outfile = path("empty.jpg");
    QVERIFY(writeFile(outfile, "old"));
    QCOMPARE(WriteFileReplacing(outfile, QByteArray()), int(kStatusOk));
    QCOMPARE(QFileInfo(outfile).size(), 0);
}

void TestJpegWriter::failures_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("status");
    QTest::newRow("missing folder") << int(MissingFolder) << 7;
    QTest::newRow("outfile is an existing folder") << int(OutfileIsFolder) << 7;
    QTest::newRow("a file used as folder") << int(FileAsFolder) << 7;
    QTest::newRow("read-only folder") << int(ReadOnlyFolder) << 7;
    QTest::newRow("folder under /proc") << int(UnderProc) << 7;
    QTest::newRow("empty path") << int(EmptyPath) << 7;
    QTest::newRow("path ends in a slash") << int(TrailingSlash) << 7;
    QTest::newRow("NUL inside the name") << int(NulInName) << 7;
    QTest::newRow("write fails midway (file size limit)") << int(FileSizeLimit) << 7;
    QTest::newRow("empty picture") << int(EmptyImage) << 2;
}

// Sets up one failure row around `folder`, which holds an earlier
// "thumb_x.jpg"; returns what undoes the set-up.
std::function<void()> TestJpegWriter::prepareFailure(int kind, const QString& folder, QString& outfile,
                                                     QImage& picture)
{
    const QByteArray folderName = QFile::encodeName(folder);
    switch (kind) {
    case MissingFolder:
        outfile = folder + "/missing/thumb_x.jpg";
        break;
    case OutfileIsFolder:
        outfile = folder + "/thumb_dir.jpg";
        QDir(folder).mkdir("thumb_dir.jpg");
        writeFile(outfile + "/inside.txt", "inside");
        break;
    case FileAsFolder:
        outfile += "/x.jpg";
        break;
    case ReadOnlyFolder:
        ::chmod(folderName.constData(), 0555);
        return [folderName] { ::chmod(folderName.constData(), 0755); };
    case UnderProc:
        outfile = QStringLiteral("/proc/ostrovel-thumb_x.jpg");
        break;
    case EmptyPath:
        outfile.clear();
        break;
    case TrailingSlash:
        outfile = folder + "/";
        break;
    case NulInName:
        outfile += QChar(0) + QStringLiteral("more.jpg");
        break;
    case FileSizeLimit: {
        // Over the limit write() fails with EFBIG, after the temporary file
        // was created; SIGXFSZ would otherwise end the test.
        rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = 64;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limited);
        return [saved, previous] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previous);
        };
    }
    case EmptyImage:
        picture = QImage();
        break;
    }
    return [] {};
}

void TestJpegWriter::failures()
{
    QFETCH(int, kind);
    QFETCH(int, status);
    if (kind == ReadOnlyFolder && ::geteuid() == 0)
        QSKIP("root may write into a read-only folder");
    const QString folder = path("target");
    QVERIFY(QDir(m_dir->path()).mkdir("target"));
    QString outfile = folder + "/thumb_x.jpg";
    const QByteArray earlier("an earlier file of that name");
    QVERIFY(writeFile(outfile, earlier));
    QImage picture = gradientWithBlocks(158, 158);

    const std::function<void()> undo = prepareFailure(kind, folder, outfile, picture);
    const QStringList before = folderEntries(folder);
    const SaveOutcome outcome = trySave(picture, outfile, 200);
    undo();

    QVERIFY(outcome.thrown);
    QCOMPARE(outcome.number, 5);
    QCOMPARE(outcome.description, kErrorText + QString::number(status));
    QCOMPARE(folderEntries(folder), before); // nothing new, no temporary file
    QCOMPARE(readFile(folder + "/thumb_x.jpg"), earlier);
    if (kind == OutfileIsFolder) {
        QCOMPARE(folderEntries(outfile), QStringList({"inside.txt"}));
        QCOMPARE(readFile(outfile + "/inside.txt"), QByteArray("inside"));
    }
    if (kind == UnderProc)
        QVERIFY(!QFileInfo::exists(outfile));
}

void TestJpegWriter::errorText_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("description");
    QTest::newRow("2") << 2 << kErrorText + "2";
    QTest::newRow("3") << 3 << kErrorText + "3";
    QTest::newRow("7") << 7 << kErrorText + "7";
    QTest::newRow("-1") << -1 << kErrorText + "-1";
    QTest::newRow("18") << 18 << kErrorText + "18";
    QTest::newRow("INT_MIN") << INT_MIN << kErrorText + "-2147483648";
}

void TestJpegWriter::errorText()
{
    QFETCH(int, status);
    QFETCH(QString, description);
    const RuntimeError error = SaveError(status);
    QCOMPARE(error.number(), 5);
    QCOMPARE(error.description(), description);
    QCOMPARE(QString::fromUtf8(error.what()), description);
}

// Workers encode and write side by side with the same results as one
// thread: no shared state.
void TestJpegWriter::concurrentWriters()
{
    constexpr int kThreads = 8;
    constexpr int kFiles = 12;
    std::vector<QImage> pictures;
    std::vector<QByteArray> expected;
    for (int t = 0; t < kThreads; ++t) {
        pictures.push_back(gradientWithBlocks(40 + 13 * t, 90 - 7 * t));
        expected.push_back(encoded(pictures.back(), 200));
    }
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int f = 0; f < kFiles; ++f) {
                QByteArray bytes;
                const QString outfile = path(QStringLiteral("thumb_%1_%2.jpg").arg(t).arg(f));
                if (EncodeJpeg(pictures[size_t(t)], 200, bytes) != kStatusOk || bytes != expected[size_t(t)]
                    || WriteFileReplacing(outfile, bytes) != kStatusOk)
                    ++failures[size_t(t)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(failures, std::vector<int>(kThreads, 0));
    QCOMPARE(folderEntries(m_dir->path()).size(), kThreads * kFiles);
    for (int t = 0; t < kThreads; ++t) {
        for (int f = 0; f < kFiles; ++f)
            QCOMPARE(readFile(path(QStringLiteral("thumb_%1_%2.jpg").arg(t).arg(f))), expected[size_t(t)]);
    }
}

// Writers racing for one name leave one complete file, never a mix.
void TestJpegWriter::concurrentSameTarget()
{
    constexpr int kThreads = 6;
    const QString outfile = path("thumb_same.jpg");
    std::vector<QByteArray> candidates;
    for (int t = 0; t < kThreads; ++t)
        candidates.push_back(encoded(gradientWithBlocks(64, 64), 50 + 10 * t));
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                if (WriteFileReplacing(outfile, candidates[size_t(t)]) != kStatusOk)
                    ++failures[size_t(t)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(failures, std::vector<int>(kThreads, 0));
    QCOMPARE(folderEntries(m_dir->path()), QStringList({"thumb_same.jpg"}));
    const QByteArray written = readFile(outfile);
    QVERIFY(std::find(candidates.begin(), candidates.end(), written) != candidates.end());
}

namespace {

enum Outliving { RenamedMidWrite, KilledMidWrite, KilledRunsLeftover, LivingWritersFile };
const QString kLeftover = QStringLiteral(".ostrovel-unfinished-00000000deadbeef.tmp");

} // namespace

void TestJpegWriter::noTemporaryOutlives_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<bool>("named"); // as on a file system without unnamed files
    QTest::addColumn<QStringList>("left");
    for (const bool named : {false, true}) {
        const char* how = named ? "named" : "unnamed";
        QTest::addRow("%s: folder renamed mid-write", how)
            << int(RenamedMidWrite) << named << QStringList{"thumb_x.jpg", "thumb_y.jpg"};
        QTest::addRow("%s: killed mid-write", how) << int(KilledMidWrite) << named << QStringList{"thumb_y.jpg"};
    }
    QTest::newRow("a killed run's leftover") << int(KilledRunsLeftover) << false << QStringList{"thumb_y.jpg"};
    QTest::newRow("a living writer's file")
        << int(LivingWritersFile) << false << QStringList{kLeftover, "thumb_y.jpg"};
}

// After the event and one later write, the folder (wherever it went) holds
// no temporary file but a living writer's.
void TestJpegWriter::noTemporaryOutlives()
{
    QFETCH(int, event);
    QFETCH(bool, named);
    QFETCH(QStringList, left);
    QString folder = path("target");
    QVERIFY(QDir(m_dir->path()).mkdir("target"));
    const auto unhook = qScopeGuard([] { SetTemporaryFileHooks({}); });
    int living = -1;
    const auto unlock = qScopeGuard([&living] { if (living >= 0) ::close(living); });
    switch (event) {
    case RenamedMidWrite:
        SetTemporaryFileHooks({named, [this] { QDir(m_dir->path()).rename("target", "moved"); }});
        QCOMPARE(WriteFileReplacing(folder + "/thumb_x.jpg", "x"), int(kStatusOk));
        folder = path("moved");
        break;
    case KilledMidWrite: {
        const pid_t child = ::fork();
        if (child == 0) {
            SetTemporaryFileHooks({named, [] { ::raise(SIGKILL); }});
            WriteFileReplacing(folder + "/thumb_x.jpg", "x");
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        break;
    }
    case KilledRunsLeftover:
    case LivingWritersFile:
        QVERIFY(writeFile(folder + "/" + kLeftover, "half"));
        if (event == LivingWritersFile) {
            living = ::open(QFile::encodeName(folder + "/" + kLeftover).constData(), O_RDONLY | O_CLOEXEC);
            QCOMPARE(::flock(living, LOCK_EX), 0);
        }
        break;
    }
    SetTemporaryFileHooks({});
    QCOMPARE(WriteFileReplacing(folder + "/thumb_y.jpg", "y"), int(kStatusOk));
    QCOMPARE(folderEntries(folder), left);
}
