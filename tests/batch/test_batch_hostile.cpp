// ostrovel-batch against names and events that a picture corpus never has:
// short relative targets, Qt's own option names as file names, and a stop
// by signal in the middle of a large export.

#include "tests/batch/BatchProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPictures.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <utility>
#include <unistd.h>
#include <sys/resource.h>

using namespace batchtest;

class TestBatchHostile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void relativeNames_data();
    void relativeNames();
    void qtOptionNames_data();
    void qtOptionNames();
    void stopSignal_data();
    void stopSignal();
    void writeLimits_data();
    void writeLimits();
    void tightMemory_data();
    void tightMemory();
};

namespace {

// Every thumbnail under `root`, as paths relative to it.
QStringList thumbnailsUnder(const QString& root)
{
    QStringList found;
    const QDir base(root);
    for (const QString& folder : {QString("."), QString("w"), QString("w/t"), QString("w/tt")})
        for (const QString& name : QDir(base.filePath(folder)).entryList({"thumb_*", ".ostrovel-*"}, QDir::Files | QDir::Hidden))
            found << QDir::cleanPath(folder + "/" + name);
    return found;
}

} // namespace

void TestBatchHostile::relativeNames_data()
{
    QTest::addColumn<QStringList>("args"); // run in root/w, which holds t/, tt/ and a.bmp
    QTest::addColumn<QString>("written");  // relative to root
    QTest::newRow("1-char target") << QStringList{"t", "a.bmp"} << "w/t/thumb_a.jpg";
    QTest::newRow("2-char target") << QStringList{"tt", "a.bmp"} << "w/tt/thumb_a.jpg";
    QTest::newRow("target with /") << QStringList{"t/", "a.bmp"} << "w/t/thumb_a.jpg";
    QTest::newRow("target ./t") << QStringList{"./t", "./a.bmp"} << "w/t/thumb_a.jpg";
    QTest::newRow("target .") << QStringList{".", "a.bmp"} << "w/thumb_a.jpg";
    QTest::newRow("target ./") << QStringList{"./", "a.bmp"} << "w/thumb_a.jpg";
    QTest::newRow("target ..") << QStringList{"..", "a.bmp"} << "thumb_a.jpg";
    QTest::newRow("source through ..") << QStringList{"t", "../w/a.bmp"} << "w/t/thumb_a.jpg";
    QTest::newRow("source folder .") << QStringList{"tt", "."} << "w/tt/thumb_a.jpg";
    QTest::newRow("1-char target in a list") << QStringList{"--files-from=-", "t"} << "w/t/thumb_a.jpg";
}

void TestBatchHostile::relativeNames()
{
    QFETCH(QStringList, args);
    QFETCH(QString, written);
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("w/t") && QDir(root.path()).mkpath("w/tt"));
    QVERIFY(testpics::writeFile(root.filePath("w/a.bmp"), testpics::bmp(testpics::photoLike(30, 20))));
    RunOptions options;
    options.workingDirectory = root.filePath("w");
    options.input = "a.bmp\n";
    const Run run = batch(args, options);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(thumbnailsUnder(root.path()), QStringList{written});
}

void TestBatchHostile::qtOptionNames_data()
{
    QTest::addColumn<QStringList>("names"); // files in the working folder, given after "--"
    QTest::newRow("-platform") << QStringList{"-platform"};
    QTest::newRow("-platform and a name after it") << QStringList{"-platform", "offscreen"};
    QTest::newRow("Qt's other options") << QStringList{"-reverse", "-session", "-display", "-qwindowtitle", "-plugin"};
    QTest::newRow("-style=x") << QStringList{"-style=x"};
}

// Every argument is ours: Qt's option names are just file names.
void TestBatchHostile::qtOptionNames()
{
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("out"));
    QStringList expected;
    for (const QString& name : names) {
        QVERIFY(testpics::writeFile(dir.filePath(name), testpics::bmp(testpics::photoLike(30, 20))));
        expected << "thumb_" + name + ".jpg";
    }
    expected.sort();
    RunOptions options;
    options.workingDirectory = dir.path();
    const Run run = batch(QStringList{"out", "--"} + names, options);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files | QDir::Hidden), expected);
}

void TestBatchHostile::stopSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("large"); // 40 large thumbnails, or 400 tiny ones
    QTest::addColumn<int>("delayMs"); // after the first thumbnail is in place
    const std::pair<const char*, int> large[] = {
        {"TERM", SIGTERM}, {"QUIT", SIGQUIT}, {"USR1", SIGUSR1}, {"ALRM", SIGALRM}};
    for (const auto& [name, signal] : large)
        QTest::addRow("%s, large writes", name) << signal << true << 0;
    const std::pair<const char*, int> tiny[] = {
        {"INT", SIGINT}, {"HUP", SIGHUP}, {"USR2", SIGUSR2}, {"VTALRM", SIGVTALRM}, {"PROF", SIGPROF}};
    int delayMs = 0;
    for (const auto& [name, signal] : tiny)
        QTest::addRow("%s, tiny files", name) << signal << false << (delayMs += 7);
}

// Stopped while files are written: the stop signal's status, no temporary
// file, and every thumbnail there is complete. (tests/stress repeats this
// hundreds of times at random moments.)
void TestBatchHostile::stopSignal()
{
    QFETCH(int, signal);
    QFETCH(bool, large);
    QFETCH(int, delayMs);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("in") && QDir(dir.path()).mkpath("out"));
    const QByteArray photo = large ? testpics::jpeg(testpics::photoLike(400, 300), 90)
                                   : testpics::bmp(testpics::photoLike(3, 2));
    const int count = large ? 40 : 400;
    for (int i = 0; i < count; ++i)
        QVERIFY(testpics::writeFile(dir.filePath(QString("in/p%1.%2").arg(i, 3, 10, QChar('0')).arg(large ? "jpg" : "bmp")),
                                    photo));
    const QSize size = large ? QSize(4000, 4000) : QSize(158, 158);
    QProcess p;
    p.setChildProcessModifier([] {
        const rlimit none{0, 0}; // no core file from QUIT
        setrlimit(RLIMIT_CORE, &none);
    });
    p.start(batchProgram(), {"--size", QString("%1x%2").arg(size.width()).arg(size.height()), dir.filePath("out"),
                             dir.filePath("in")});
    QVERIFY(p.waitForStarted(30000));
    // Wait until a file is being written (where a temporary file shows) or the
    // first thumbnail is in place; no fixed delay.
    const QDir out(dir.filePath("out"));
    QElapsedTimer limit;
    limit.start();
    while (out.entryList(QDir::Files | QDir::Hidden).isEmpty() && p.state() == QProcess::Running
           && limit.elapsed() < 60000)
        QThread::usleep(200);
    QThread::msleep(delayMs);
    QVERIFY2(p.state() == QProcess::Running, "the export ended before it could be stopped");
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(30000));
    // Ended by the signal itself, so a shell sees 128 + signal.
    QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    QCOMPARE(p.exitCode(), signal);
    QCOMPARE(out.entryList({".ostrovel-*"}, QDir::Files | QDir::Hidden), QStringList());
    const QStringList written = out.entryList(QDir::Files | QDir::Hidden);
    QVERIFY(written.size() < count);
    for (const QString& name : written) {
        QVERIFY2(name.startsWith("thumb_p"), qPrintable(name));
        QCOMPARE(QImage(out.filePath(name)).size(), size); // complete, not cut
    }
}

void TestBatchHostile::writeLimits_data()
{
    QTest::addColumn<bool>("sizeLimit"); // or standard error a pipe nobody reads
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("written");
    QTest::newRow("file size limit") << true << 2 << 0;
    QTest::newRow("closed pipe on stderr") << false << 1 << 2;
}

// A file size limit or a closed pipe is a failed write, never the end of the
// process by SIGXFSZ or SIGPIPE.
void TestBatchHostile::writeLimits()
{
    QFETCH(bool, sizeLimit);
    QFETCH(int, status);
    QFETCH(int, written);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("out"));
    QVERIFY(testpics::writeFile(dir.filePath("a.gif"), "not a picture"));
    for (const char* name : {"b.bmp", "c.bmp"})
        QVERIFY(testpics::writeFile(dir.filePath(name), testpics::bmp(testpics::photoLike(300, 200))));
    QProcess p;
    p.setChildProcessModifier([sizeLimit] {
        if (sizeLimit) {
            const rlimit small{1000, 1000};
            setrlimit(RLIMIT_FSIZE, &small);
        } else {
            int ends[2];
            if (pipe(ends) == 0 && close(ends[0]) == 0)
                dup2(ends[1], STDERR_FILENO);
        }
    });
    const QStringList sources = sizeLimit ? QStringList{"b.bmp", "c.bmp"} : QStringList{"a.gif", "b.bmp", "c.bmp"};
    p.setWorkingDirectory(dir.path());
    p.start(batchProgram(), QStringList{"out"} + sources);
    QVERIFY(p.waitForStarted(30000));
    QVERIFY(p.waitForFinished(120000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    if (sizeLimit)
        QVERIFY(p.readAllStandardError().contains("cannot write"));
    const QDir out(dir.filePath("out"));
    QCOMPARE(out.entryList({".ostrovel-*"}, QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(out.entryList({"thumb_*"}, QDir::Files).size(), written);
}

void TestBatchHostile::tightMemory_data()
{
    QTest::addColumn<qint64>("megabytes");
    QTest::newRow("threads cannot all start") << qint64(200);
    QTest::newRow("canvases cannot all be had") << qint64(400);
}

// Under an address-space limit that leaves too little for threads or
// canvases, the export ends (written or skipped with that reason), never
// hangs and never aborts.
void TestBatchHostile::tightMemory()
{
    if (ostrovel::test::kSanitizerBuild)
        QSKIP("the sanitizers reserve far more address space than the limit");
    QFETCH(qint64, megabytes);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("in") && QDir(dir.path()).mkpath("out"));
    const QByteArray photo = testpics::jpeg(testpics::photoLike(400, 300), 90);
    for (int i = 0; i < 6; ++i)
        QVERIFY(testpics::writeFile(dir.filePath(QString("in/p%1.jpg").arg(i)), photo));
    QProcess p;
    p.setChildProcessModifier([megabytes] {
        const rlimit limit{rlim_t(megabytes) << 20, rlim_t(megabytes) << 20};
        setrlimit(RLIMIT_AS, &limit);
    });
    p.start(batchProgram(), {"-j", "8", "--size", "4000x4000", dir.filePath("out"), dir.filePath("in")});
    QVERIFY(p.waitForStarted(30000));
    QVERIFY2(p.waitForFinished(120000), "the export hung");
    const QString messages = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 0 || p.exitCode() == 1, qPrintable(messages));
    const int written = int(QDir(dir.filePath("out")).entryList(QDir::Files).size());
    QCOMPARE(written + int(messages.count(QLatin1String("cannot read"))), 6);
    // What is skipped is skipped for memory, and says so.
    QCOMPARE(messages.count(QLatin1String(": not enough memory\n")), messages.count(QLatin1String("cannot read")));
}

QTEST_MAIN(TestBatchHostile)
#include "test_batch_hostile.moc"
