// Files no picture corpus holds, through the export core: special files,
// names that are not UTF-8, pictures cut short or padded, links to
// thumbnails not yet written. Each ends at once with its reason; none hangs.

#include "export/Export.h"
#include "common/FileNames.h"
#include "tests/support/JpegFiles.h"
#include "export/Paths.h"
#include "picture/LoadPicture.h"
#include "export/PictureFiles.h"
#include "tests/support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace ostrovel;

namespace {

long peakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Where the data of scan `index` (0-based) ends: at the next marker after its header.
qsizetype scanEnd(const QByteArray& jpeg, int index)
{
    qsizetype at = -1;
    for (int i = 0; i <= index; ++i)
        at = jpeg.indexOf(QByteArray("\xFF\xDA", 2), at + 1);
    for (qsizetype i = at + 2 + ((uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3])); i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) != 0 && (uchar(jpeg[i + 1]) < 0xD0 || uchar(jpeg[i + 1]) > 0xD7))
            return i;
    return -1;
}

int scanCount(const QByteArray& jpeg)
{
    return int(jpeg.count(QByteArray("\xFF\xDA", 2)));
}

} // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void paddingIsNeverRead();
    void specialFilesAreUnreadableAtOnce_data();
    void specialFilesAreUnreadableAtOnce();
    void truncation_data();
    void truncation();
    void namesThatAreNotUtf8KeepTheirBytes();
    void linkToALaterThumbnailWaitsForIt();
    void renderingsFollowTheMemoryBudget();
    void throwingCallbackJoinsEveryThread();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    ExportResult exportFiles(const QStringList& names, const QString& target, ExportHooks hooks = {}, int threads = 2)
    {
        ExportRequest request;
        for (const QString& name : names)
            request.sources << ExportSource{path(name), name};
        request.targetFolder = target;
        request.threads = threads;
        request.hooks = std::move(hooks);
        Canvas canvas(kInitialCanvasSize, 0xEFEFEF);
        return RunExport(request, canvas);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

// A valid picture followed by a gigabyte of padding (sparse: no disk) costs
// what the picture costs, not the file's size. First, while the peak is low.
void TestHostileFiles::paddingIsNeverRead()
{
    const QByteArray jpeg = testpics::jpeg(testpics::photoLike(400, 300));
    const QByteArray bmp = testpics::bmp(testpics::photoLike(400, 300));
    for (const auto& [name, bytes] : {std::pair{QStringLiteral("padded.jpg"), jpeg}, {QStringLiteral("padded.bmp"), bmp}}) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.resize(qint64(1) << 30));
    }
    const long before = peakKilobytes();
    QString reason;
    QVERIFY2(LoadPicture(path("padded.jpg"), QSize(158, 158), &reason), qPrintable(reason));
    QVERIFY2(LoadPicture(path("padded.bmp"), QSize(158, 158), &reason), qPrintable(reason));
    QVERIFY2(peakKilobytes() - before < 100 * 1024, qPrintable(QString::number(peakKilobytes() - before)));
}

void TestHostileFiles::specialFilesAreUnreadableAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "fifo" << "not a regular file";
    QTest::newRow("link to a FIFO") << "fifo-link" << "not a regular file";
    QTest::newRow("character device") << "device" << "not a regular file";
    QTest::newRow("folder named like a picture") << "folder" << "not a regular file";
    QTest::newRow("dangling link") << "dangling" << "No such file or directory";
    QTest::newRow("empty file") << "empty" << "empty file";
}

// Given directly (as the command line does) or listed from a folder (as the
// window does); a FIFO nobody writes to would block a plain open for ever.
void TestHostileFiles::specialFilesAreUnreadableAtOnce()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QByteArray name = EncodeFileName(path("x.jpg"));
    if (kind == "fifo" || kind == "fifo-link")
        QCOMPARE(::mkfifo(EncodeFileName(path(kind == "fifo" ? "x.jpg" : "real-fifo")).constData(), 0600), 0);
    if (kind == "fifo-link")
        QCOMPARE(::symlink("real-fifo", name.constData()), 0);
    if (kind == "device")
        QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
    if (kind == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("x.jpg"));
    if (kind == "dangling")
        QCOMPARE(::symlink("nowhere.jpg", name.constData()), 0);
    if (kind == "empty")
        QVERIFY(testpics::writeFile(path("x.jpg"), QByteArray()));
    testpics::writeFile(path("y.bmp"), testpics::bmp(testpics::photoLike(40, 30)));
    if (kind != "folder") // a folder is not a picture the list shows
        QCOMPARE(MatchingPictureFiles(m_dir->path()), QStringList({"x.jpg", "y.bmp"}));
    QTemporaryDir out;
    const ExportResult result = exportFiles({"x.jpg", "y.bmp"}, out.path());
    QCOMPARE(result.unreadable.size(), 1);
    QCOMPARE(result.unreadable[0].task, 0);
    QCOMPARE(result.unreadable[0].reason, reason);
    QCOMPARE(result.written, 1);
}

void TestHostileFiles::truncation_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QString>("reason"); // empty: readable
    const QByteArray baseline = testpics::jpeg(testpics::photoLike(333, 251));
    test::EncodeOptions options;
    options.progressive = true;
    const QByteArray progressive = test::libjpegJpeg(testpics::photoLike(333, 251, 3), options);
    const QString cut = QStringLiteral("the data ends before the picture is complete");
    QTest::newRow("complete") << baseline << QSize(158, 158) << QString();
    QTest::newRow("end marker missing") << baseline.chopped(2) << QSize(158, 158) << QString();
    QTest::newRow("cut in half") << baseline.left(baseline.size() / 2) << QSize(158, 158) << cut;
    QTest::newRow("cut in half, end marker after") << baseline.left(baseline.size() / 2) + "\xFF\xD9"
                                                   << QSize(158, 158) << cut;
    QTest::newRow("cut in half, full size") << baseline.left(baseline.size() / 2) + "\xFF\xD9" << QSize(333, 251)
                                            << cut;
    QTest::newRow("claims 65000 x 65000") << test::withFrameSize(baseline, 65000, 65000).left(360) << QSize(158, 158)
                                          << cut;
    const qsizetype lastScanCut = scanEnd(progressive, scanCount(progressive) - 2);
    QTest::newRow("progressive, end marker missing") << progressive.chopped(2) << QSize(333, 251) << QString();
    // Its last scans refine the finest detail: a small thumbnail needs none of it.
    QTest::newRow("progressive cut in its last scans, small")
        << progressive.left(lastScanCut) << QSize(16, 12) << QString();
    QTest::newRow("progressive cut in its last scans, full size")
        << progressive.left(lastScanCut) << QSize(333, 251) << cut;
    QTest::newRow("progressive cut in its first scan") << progressive.left(scanEnd(progressive, 0) - 40)
                                                       << QSize(40, 30) << cut;
}

void TestHostileFiles::truncation()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, box);
    QFETCH(QString, reason);
    QVERIFY(testpics::writeFile(path("t.jpg"), file));
    QString why;
    const auto picture = LoadPicture(path("t.jpg"), box, &why);
    QCOMPARE(bool(picture), reason.isEmpty());
    QCOMPARE(why, reason);
}

// The name's bytes survive listing, reading and the thumbnail's name.
void TestHostileFiles::namesThatAreNotUtf8KeepTheirBytes()
{
    const QByteArray rawName("bad\xFF\xFE.bmp");
    const QString name = DecodeFileName(rawName);
    QCOMPARE(EncodeFileName(name), rawName);
    const QByteArray bmp = testpics::bmp(testpics::photoLike(40, 30));
    const int fd = ::open((QFile::encodeName(m_dir->path()) + '/' + rawName).constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, bmp.constData(), size_t(bmp.size())), ssize_t(bmp.size()));
    ::close(fd);
    QCOMPARE(MatchingPictureFiles(m_dir->path()), QStringList{name});
    QTemporaryDir out;
    const ExportResult result = exportFiles({name}, out.path());
    QCOMPARE(result.written, 1);
    QCOMPARE(::access((QFile::encodeName(out.path()) + "/thumb_bad\xFF\xFE.jpg").constData(), F_OK), 0);
}

// src/link.jpg points at out/thumb_a.jpg, which this very export writes
// first: it is read only after that.
void TestHostileFiles::linkToALaterThumbnailWaitsForIt()
{
    QDir(m_dir->path()).mkdir("out");
    testpics::writeFile(path("a.bmp"), testpics::bmp(testpics::photoLike(80, 60)));
    QCOMPARE(::symlink("out/thumb_a.jpg", EncodeFileName(path("link.jpg")).constData()), 0);
    ExportHooks hooks;
    hooks.beforeRender = [](int task) {
        if (task == 0) // give the link every chance to be read too early
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    const ExportResult result = exportFiles({"a.bmp", "link.jpg"}, path("out"), hooks);
    QVERIFY(result.unreadable.isEmpty());
    QCOMPARE(result.written, 2);
}

// Renderings whose canvas alone exceeds the budget run one at a time,
// however many workers there are.
void TestHostileFiles::renderingsFollowTheMemoryBudget()
{
    QStringList names;
    for (int i = 0; i < 6; ++i) {
        names << QString("p%1.bmp").arg(i);
        testpics::writeFile(path(names.last()), testpics::bmp(testpics::photoLike(60, 40, i)));
    }
    for (const qint64 budget : {qint64(1), qint64(1) << 30}) {
        std::atomic<int> inFlight{0}, most{0};
        ExportHooks hooks;
        hooks.memoryBudget = budget;
        hooks.beforeRender = [&](int) {
            const int now = ++inFlight;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {}
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            --inFlight;
        };
        QTemporaryDir out;
        QCOMPARE(exportFiles(names, out.path(), hooks, 3).written, 6);
        if (budget == 1)
            QCOMPARE(most.load(), 1);
        else
            QVERIFY(most.load() > 1); // otherwise the check above proves nothing
    }
}

// A callback that throws ends the run; every thread is joined on the way
// out (an unjoined one would end the process).
void TestHostileFiles::throwingCallbackJoinsEveryThread()
{
    QStringList names;
    for (int i = 0; i < 8; ++i) {
        names << QString("p%1.bmp").arg(i);
        testpics::writeFile(path(names.last()), testpics::bmp(testpics::photoLike(60, 40, i)));
    }
    ExportRequest request;
    for (const QString& name : names)
        request.sources << ExportSource{path(name), name};
    QTemporaryDir out;
    request.targetFolder = out.path();
    request.threads = 3;
    request.callbacks.written = [](int task) {
        if (task == 2)
            throw std::runtime_error("out of room");
    };
    Canvas canvas(kInitialCanvasSize, 0xEFEFEF);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunExport(request, canvas));
}

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "test_hostile_files.moc"
