// The export engine's ordering rules, headless: files land in list order
// whatever the workers do, and its results equal the one-at-a-time export.

#include "export/Export.h"
#include "export/Paths.h"
#include "export/ExportJob.h"
#include "jpeg/Picturebox_2_jpg.h"
#include "export/Render.h"
#include "tests/support/FailingAllocation.h"
#include "tests/support/TestPictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace ostrovel;

namespace {

QImage solid(int w, int h, QRgb colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The thumbnail bytes the one-at-a-time export writes for `source`.
QByteArray sequentialBytes(const QString& source, const ThumbnailSettings& settings)
{
    Canvas canvas(QSize(799, 611), 0xEFEFEF);
    RenderThumbnail(canvas, settings, source);
    QByteArray bytes;
    EncodeJpeg(canvas.Image(), kExportQuality, bytes);
    return bytes;
}

} // namespace

class TestExportJob : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void writesInListOrderWithSequentialBytes_data();
    void writesInListOrderWithSequentialBytes();
    void laterDuplicateWins();
    void errorAtEntryStopsThere();
    void sourceWrittenEarlierIsReadAfterIt();
    void cancelStopsAfterFilesInFlight();
    void unreadableAreListed();
    void memoryBudget_data();
    void memoryBudget();
    void nameTooLongFailsAlone();
    void moreTasksAsTheyCome();
    void hungSourceMountIsCancelled_data();
    void hungSourceMountIsCancelled();
    void outOfMemoryRecordingEndsThere_data();
    void outOfMemoryRecordingEndsThere();

private:
    QList<ExportTask> makeTasks(int count, const QString& target)
    {
        QList<ExportTask> tasks;
        for (int i = 0; i < count; ++i) {
            const QString name = QString("p%1.bmp").arg(i, 3, 10, QChar('0'));
            const QString source = m_dir->filePath(name);
            testpics::writeFile(source, testpics::bmp(testpics::photoLike(120 + 7 * i, 90 + 3 * i, i)));
            tasks << ExportTask{source, ThumbnailPath(target, name)};
        }
        return tasks;
    }
    QString makeFolder(const QString& name)
    {
        QDir(m_dir->path()).mkpath(name);
        return m_dir->filePath(name);
    }
    ExportResult run(const QList<ExportTask>& tasks, const ExportCallbacks& callbacks = {}, int threads = 2,
                     const ExportHooks& hooks = {})
    {
        ExportJob job(tasks, m_settings, QSize(799, 611), 0xEFEFEF);
        job.setHooks(hooks);
        return job.run(callbacks, threads);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    ThumbnailSettings m_settings{"30,60,90", "100", "80"};
};

void TestExportJob::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void TestExportJob::writesInListOrderWithSequentialBytes_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one worker") << 1;
    QTest::newRow("two workers") << 2;
    QTest::newRow("five workers") << 5;
}

void TestExportJob::writesInListOrderWithSequentialBytes()
{
    QFETCH(int, threads);
    const QList<ExportTask> tasks = makeTasks(12, makeFolder("out"));
    QList<int> order;
    ExportCallbacks callbacks;
    callbacks.written = [&](int task) {
        order << task;
        QVERIFY(QFile::exists(tasks[task].output));
    };
    // Each file is written only once every earlier one is in place, never ahead of the list.
    QList<int> landed;
    ExportHooks hooks;
    hooks.beforeWrite = [&](int task) {
        landed << task;
        for (int i = 0; i < int(tasks.size()); ++i)
            if (QFile::exists(tasks[i].output) != (i < task))
                landed << -1;
    };
    const ExportResult result = run(tasks, callbacks, threads, hooks);
    QCOMPARE(result.written, 12);
    QList<int> expected;
    for (int i = 0; i < 12; ++i)
        expected << i;
    QCOMPARE(landed, expected);
    QCOMPARE(order, expected);
    for (const ExportTask& task : tasks)
        QCOMPARE(testpics::readFile(task.output), sequentialBytes(task.source, m_settings));
}

void TestExportJob::laterDuplicateWins()
{
    const QString target = makeFolder("dup");
    const QString first = m_dir->filePath("same.bmp"), second = m_dir->filePath("same.gif");
    testpics::writeFile(first, testpics::bmp(solid(50, 50, qRgb(255, 0, 0))));
    testpics::writeFile(second, testpics::bmp(solid(50, 50, qRgb(0, 0, 255))));
    const QString out = ThumbnailPath(target, "same.bmp");
    QCOMPARE(ThumbnailPath(target, "same.gif"), out);
    const ExportResult result = run({{first, out}, {second, out}});
    QCOMPARE(result.written, 2);
    QCOMPARE(testpics::readFile(out), sequentialBytes(second, m_settings));
}

void TestExportJob::errorAtEntryStopsThere()
{
    const QString target = makeFolder("err");
    QList<ExportTask> tasks = makeTasks(8, target);
    tasks[3].output = m_dir->filePath("missing/thumb_p003.jpg");
    QList<int> written;
    ExportCallbacks callbacks;
    callbacks.written = [&](int task) { written << task; };
    const ExportResult result = run(tasks, callbacks);
    QCOMPARE(written, (QList<int>{0, 1, 2}));
    QVERIFY(result.writeFailure);
    QCOMPARE(result.writeFailure->task, 3);
    QCOMPARE(result.writeFailure->error.number(), 5);
    QCOMPARE(result.writeFailure->error.description(), QString("Speicherung des Bildes fehlgeschlagen. GDI+ Error:7"));
    QCOMPARE(result.writeFailure->canvas.size(), QSize(100, 80));
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden).size(), 3); // work done ahead is dropped
}

void TestExportJob::sourceWrittenEarlierIsReadAfterIt()
{
    // Exporting into the source folder: a selected "thumb_a.jpg" made by an
    // earlier run is overwritten by entry 0 and only then read as entry 1.
    const QString folder = makeFolder("same");
    const QString a = QDir(folder).filePath("a.bmp");
    testpics::writeFile(a, testpics::bmp(solid(60, 30, qRgb(0, 200, 0))));
    const QString oldThumb = QDir(folder).filePath("thumb_a.jpg");
    for (int round = 0; round < 10; ++round) {
        testpics::writeFile(oldThumb, testpics::jpeg(solid(40, 40, qRgb(255, 0, 0))));
        QList<ExportTask> tasks{{a, ThumbnailPath(folder, "a.bmp")}};
        for (int i = 0; i < 3; ++i) // busy work ahead so the workers run early
            tasks << makeTasks(1, folder).first();
        tasks.insert(1, ExportTask{folder + "/./thumb_a.jpg", ThumbnailPath(folder, "thumb_a.jpg")});
        QCOMPARE(run(tasks).written, int(tasks.size()));
        const QByteArray expected = sequentialBytes(oldThumb, m_settings); // thumb_a.jpg now holds a's thumbnail
        QCOMPARE(testpics::readFile(QDir(folder).filePath("thumb_thumb_a.jpg")), expected);
    }
}

void TestExportJob::cancelStopsAfterFilesInFlight()
{
    const QString target = makeFolder("cancel");
    const QList<ExportTask> tasks = makeTasks(20, target);
    QList<int> written;
    std::atomic<bool> cancelled{false};
    ExportCallbacks callbacks;
    callbacks.written = [&](int task) { written << task; };
    std::atomic<bool> released{false};
    callbacks.cancelRequested = [&] { return cancelled = !written.isEmpty(); };
    callbacks.idle = [&] { released = bool(cancelled); }; // the cancel is in by now
    // The writer holds the second file until the cancel is in: exactly one
    // file is written then, whatever the speed of the machine.
    ExportHooks hooks;
    hooks.beforeWrite = [&](int task) {
        while (task >= 1 && !released)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    const ExportResult result = run(tasks, callbacks, 2, hooks);
    QVERIFY(result.cancelled);
    QVERIFY(written.size() >= 1 && written.size() <= 4); // the first, then at most those in flight
    QCOMPARE(result.written, int(written.size()));
    for (int i = 0; i < tasks.size(); ++i)
        QCOMPARE(QFile::exists(tasks[i].output), i < written.size());
}

void TestExportJob::unreadableAreListed()
{
    const QString target = makeFolder("mixed");
    QList<ExportTask> tasks = makeTasks(4, target);
    testpics::writeFile(tasks[1].source, "not a picture");
    QFile::remove(tasks[2].source);
    const ExportResult result = run(tasks);
    QList<int> unreadable;
    for (const UnreadableTask& u : result.unreadable)
        unreadable << u.task;
    QCOMPARE(unreadable, (QList<int>{1, 2}));
    QCOMPARE(result.written, 2);
    QVERIFY(QFile::exists(tasks[3].output));
    QVERIFY(!QFile::exists(tasks[1].output));
}

void TestExportJob::memoryBudget_data()
{
    QTest::addColumn<double>("budget"); // in decoded pictures of one source
    QTest::addColumn<int>("mostAtOnce");
    QTest::newRow("two do not fit") << 1.5 << 1;
    QTest::newRow("one alone over the budget") << 0.5 << 1;
}

// What a rendering holds is counted from the source's header before it
// starts: run-length BMPs of a few bytes that decode to 48 MB each never run
// together in a budget that holds fewer than two.
void TestExportJob::memoryBudget()
{
    QFETCH(double, budget);
    QFETCH(int, mostAtOnce);
    const QString target = makeFolder("budget");
    const QByteArray big = testpics::rle8Bmp(QSize(4000, 3000), {qRgb(0, 90, 0)}, QByteArray("\x00\x01", 2));
    QList<ExportTask> tasks;
    for (int i = 0; i < 6; ++i) {
        const QString source = m_dir->filePath(QString("big%1.bmp").arg(i));
        QVERIFY(testpics::writeFile(source, big));
        tasks << ExportTask{source, ThumbnailPath(target, QString("big%1.bmp").arg(i))};
    }
    std::atomic<int> inFlight{0}, most{0};
    ExportHooks hooks;
    hooks.memoryBudget = qint64(budget * 4000 * 3000 * 4); // in decoded pictures
    hooks.beforeRender = [&](int) {
        const int now = ++inFlight;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // room for others to start
    };
    hooks.afterRender = [&](int) { --inFlight; };
    const ExportResult result = run(tasks, {}, 4, hooks);
    QCOMPARE(result.written, 6);
    QCOMPARE(most.load(), mostAtOnce);
    QVERIFY(RenderingBytes(tasks[0].source, QSize(100, 80)) > 4000 * 3000 * 4);
}

// A thumbnail name longer than the folder allows fails that source alone.
void TestExportJob::nameTooLongFailsAlone()
{
    const QString target = makeFolder("long");
    QList<ExportTask> tasks = makeTasks(3, target);
    tasks[1].output = ThumbnailPath(target, QString(250, QChar('n')) + ".bmp");
    const ExportResult result = run(tasks);
    QVERIFY(!result.writeFailure);
    QCOMPARE(result.written, 2);
    QCOMPARE(result.unreadable.size(), 1);
    QCOMPARE(result.unreadable[0].task, 1);
    QCOMPARE(result.unreadable[0].reason, QString("File name too long"));
    QVERIFY(QFile::exists(tasks[2].output));
}

// Tasks given one by one are written as they come, in order, before the
// last has come; the unreadable are told in order too.
void TestExportJob::moreTasksAsTheyCome()
{
    const QString target = makeFolder("stream");
    QList<ExportTask> tasks = makeTasks(5, target);
    testpics::writeFile(tasks[2].source, "not a picture");
    QList<int> told;
    ExportCallbacks callbacks;
    callbacks.written = [&](int task) { told << task; };
    callbacks.unreadable = [&](int task, const QString&) { told << -task; };
    ExportJob job({}, m_settings, QSize(799, 611), 0xEFEFEF);
    int given = 0;
    job.setMoreTasks([&]() -> std::optional<ExportTask> {
        // The one before must be in place before the next comes.
        for (int wait = 0; given >= 2 && given != 3 && !QFile::exists(tasks[given - 1].output) && wait < 60000; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (given >= 2 && given != 3 && !QFile::exists(tasks[given - 1].output))
            return std::nullopt;
        return given < tasks.size() ? std::optional<ExportTask>(tasks[given++]) : std::nullopt;
    });
    const ExportResult result = job.run(callbacks, 2);
    QCOMPARE(given, 5);
    QCOMPARE(result.written, 4);
    QVERIFY(result.unreadable.isEmpty()); // told, not kept
    QCOMPARE(told, (QList<int>{0, 1, -2, 3, 4}));
}

void TestExportJob::hungSourceMountIsCancelled_data()
{
    QTest::addColumn<bool>("streamed"); // tasks given one by one, as the command line does
    QTest::newRow("list") << false;
    QTest::newRow("streamed") << true;
}

// A source whose identity never comes must not hold the calling thread: it
// keeps being called back, and a cancel ends the export without waiting.
void TestExportJob::hungSourceMountIsCancelled()
{
    QFETCH(bool, streamed);
    const QList<ExportTask> tasks = makeTasks(3, makeFolder(streamed ? "hung_stream" : "hung_list"));
    // Shared with the resolver, which outlives an abandoned export.
    const auto letGo = std::make_shared<std::atomic<bool>>(false);
    const auto answered = std::make_shared<std::atomic<int>>(0);
    ExportHooks hooks;
    hooks.beforeIdentity = [letGo, answered](int) {
        for (int ms = 0; !*letGo && ms < 5000; ++ms) // at most 5 s: a failure is no hang
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++*answered;
    };
    ExportJob job(streamed ? QList<ExportTask>{} : tasks, m_settings, QSize(799, 611), 0xEFEFEF);
    job.setHooks(hooks);
    qsizetype given = 0;
    if (streamed)
        job.setMoreTasks([&]() { return given < tasks.size() ? std::optional(tasks[given++]) : std::nullopt; });
    int idle = 0;
    ExportCallbacks callbacks;
    callbacks.idle = [&] { ++idle; };
    callbacks.cancelRequested = [&] { return idle >= 3; };
    const ExportResult result = job.run(callbacks, 2);
    const bool stillHung = *answered == 0;
    *letGo = true;
    QVERIFY(stillHung);
    QVERIFY(result.cancelled);
    QCOMPARE(result.written, 0);
}

void TestExportJob::outOfMemoryRecordingEndsThere_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("failing");
    QTest::addColumn<bool>("streamed"); // tasks given one by one, as ostrovel-batch does
    QTest::newRow("first, one worker") << 1 << 0 << false;
    QTest::newRow("later, two workers") << 2 << 3 << false;
    QTest::newRow("later, streamed") << 2 << 3 << true;
}

// Memory that runs out while a worker records its rendering ends the
// export at that file, as a failed write does, instead of the process.
void TestExportJob::outOfMemoryRecordingEndsThere()
{
    QFETCH(int, threads);
    QFETCH(int, failing);
    QFETCH(bool, streamed);
    const QList<ExportTask> tasks = makeTasks(6, makeFolder("oom"));
    ExportHooks hooks;
    hooks.afterRender = [failing](int task) {
        if (task == failing)
            test::FailNextAllocationOnThisThread(); // the rendering is recorded next
    };
    ExportJob job(streamed ? QList<ExportTask>{} : tasks, m_settings, QSize(799, 611), 0xEFEFEF);
    job.setHooks(hooks);
    qsizetype given = 0;
    if (streamed)
        job.setMoreTasks([&]() { return given < tasks.size() ? std::optional(tasks[given++]) : std::nullopt; });
    const ExportResult result = job.run({}, threads);
    QVERIFY(result.writeFailure);
    QCOMPARE(result.writeFailure->task, failing);
    QCOMPARE(result.writeFailure->path, tasks[failing].output);
    QCOMPARE(result.writeFailure->reason, QString("not enough memory"));
    QCOMPARE(result.written, failing);
    for (int i = 0; i < tasks.size(); ++i)
        QCOMPARE(QFile::exists(tasks[i].output), i < failing);
}

QTEST_GUILESS_MAIN(TestExportJob)
#include "test_export_job.moc"
