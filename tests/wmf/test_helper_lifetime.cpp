// The metafile helper never outlives the process that started it: the real
// ostrovel-batch, killed while a helper draws a heavy metafile, leaves no
// helper running; a call that gives up on a helper leaves none either.

#include "picture/wmf/WmfClient.h"
#include "tests/support/WmfWriter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Generous bounds for a busy machine: how long the batch may take to start
// drawing, and how long a helper may take to go once its parent is gone.
constexpr int kStartMs = 60000;
constexpr int kGoneMs = 5000;

// A running helper, told apart from a later process of the same id by its
// start time.
struct Helper {
    pid_t pid = 0;
    QByteArray started;
    bool operator==(const Helper&) const = default;
};

// Fields of /proc/PID/stat after the command: [0] state, [1] parent, ...
QList<QByteArray> statFields(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

QByteArray commandLine(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Seconds of processor time a process has used so far.
double processorSeconds(const QList<QByteArray>& fields)
{
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

// Live (not zombie) helpers whose parent is `parent`; with `drawing`, only
// those asked to render that have drawn for a while (past their start, so
// that only the kernel's parent-death signal can end them).
QList<Helper> helpersOf(pid_t parent, bool drawing)
{
    QList<Helper> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toInt(&number));
        const QList<QByteArray> fields = number ? statFields(pid) : QList<QByteArray>();
        if (fields.size() < 20 || fields[0] == "Z" || fields[1].toInt() != parent)
            continue;
        const QByteArray command = commandLine(pid);
        if (!command.startsWith(QByteArray(QFile::encodeName(QCoreApplication::applicationDirPath())) + "/ostrovel-wmf")
            || (drawing && (!command.contains(QByteArray("--render", 9)) || processorSeconds(fields) < 0.2)))
            continue;
        found.append({pid, fields[19]});
    }
    return found;
}

// Those of `helpers` still running (not yet a zombie).
QList<Helper> stillRunning(const QList<Helper>& helpers)
{
    QList<Helper> running;
    for (const Helper& h : helpers) {
        const QList<QByteArray> fields = statFields(h.pid);
        if (fields.size() >= 20 && fields[0] != "Z" && fields[19] == h.started)
            running.append(h);
    }
    return running;
}

// A metafile that takes the helper many seconds to draw at a large size:
// hundreds of polygons with thousands of spikes over the whole picture.
QByteArray heavyMetafile()
{
    wmftest::WmfWriter w;
    w.placeable(QRect(0, 0, 10000, 10000), 1440).window(QRect(0, 0, 10000, 10000));
    w.brush(0, QColor(200, 30, 30)).select(0).pen(0, 1, Qt::black).select(1);
    constexpr int kPoints = 16000;
    for (int polygon = 0; polygon < 240; ++polygon) {
        QList<QPoint> points;
        for (int i = 0; i < kPoints; ++i) {
            const double angle = 2 * M_PI * i / kPoints + polygon * 0.001;
            const double radius = (i % 2 ? 4990 : 300) - polygon;
            points.append(QPoint(5000 + int(radius * std::cos(angle)), 5000 + int(radius * std::sin(angle))));
        }
        w.polygon(points);
    }
    return w.bytes();
}

pid_t spawn(const QStringList& arguments)
{
    std::vector<QByteArray> args;
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

} // namespace

class TestHelperLifetime : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void killedBatchLeavesNoHelper_data();
    void killedBatchLeavesNoHelper();
    void helperGoneWhenTheCallReturns();

private:
    QTemporaryDir m_dir;
    QString m_heavy;
};

void TestHelperLifetime::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_heavy = m_dir.filePath(QStringLiteral("heavy.wmf"));
    QFile file(m_heavy);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(heavyMetafile()) > 0);
}

void TestHelperLifetime::killedBatchLeavesNoHelper_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("TERM") << int(SIGTERM);
    QTest::newRow("KILL") << int(SIGKILL);
}

void TestHelperLifetime::killedBatchLeavesNoHelper()
{
    QFETCH(int, signal);
    const QString target = m_dir.filePath(QStringLiteral("out-%1").arg(signal));
    QVERIFY(QDir().mkpath(target));
    const pid_t batch = spawn({QCoreApplication::applicationDirPath() + QStringLiteral("/ostrovel-batch"),
        QStringLiteral("--size"), QStringLiteral("4000x4000"), target, m_heavy});
    QVERIFY(batch > 0);
    QList<Helper> drawing;
    const QDeadlineTimer start(kStartMs);
    while (drawing.isEmpty() && !start.hasExpired() && ::waitpid(batch, nullptr, WNOHANG) == 0) {
        drawing = helpersOf(batch, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(batch, signal);
    ::waitpid(batch, nullptr, 0);
    QVERIFY2(!drawing.isEmpty(), "the batch never started drawing the metafile");
    QList<Helper> left = drawing;
    const QDeadlineTimer gone(kGoneMs);
    while (!left.isEmpty() && !gone.hasExpired()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        left = stillRunning(left);
    }
    for (const Helper& h : left)
        ::kill(h.pid, SIGKILL); // not to leave them to the next test
    QVERIFY2(left.isEmpty(), "a helper outlived the batch");
}

void TestHelperLifetime::helperGoneWhenTheCallReturns()
{
    // A helper that never answers is given up on; it must be gone (killed
    // and reaped) when the call returns.
    wmftest::WmfWriter w;
    const QString small = m_dir.filePath(QStringLiteral("small.wmf"));
    QFile file(small);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(w.placeable(QRect(0, 0, 1440, 1440), 1440).rectangle(QRect(0, 0, 720, 720)).bytes()) > 0);
    file.close();
    qputenv("OSTROVEL_WMF_TEST_HANG", "1");
    ostrovel::wmf::SetHelperTimeLimit(std::chrono::milliseconds(1000));
    QString reason;
    const QImage image = ostrovel::wmf::RenderWmf(small, QSize(40, 40), &reason);
    ostrovel::wmf::SetHelperTimeLimit(std::chrono::milliseconds(5000));
    qunsetenv("OSTROVEL_WMF_TEST_HANG");
    QVERIFY(image.isNull());
    QCOMPARE(reason, QString::fromLatin1(ostrovel::wmf::kTimeLimitReason));
    QVERIFY(helpersOf(::getpid(), false).isEmpty());
    QVERIFY(!ostrovel::wmf::RenderWmf(small, QSize(40, 40)).isNull()); // the same file is fine otherwise
}

QTEST_GUILESS_MAIN(TestHelperLifetime)
#include "test_helper_lifetime.moc"
