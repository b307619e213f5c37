// The README's recipes for many files, run as written (GNU parallel with
// local jobs, ":" standing for a host; the Slurm script task by task) on a
// generated tree: the thumbnails are byte for byte those of one single run,
// and a run stopped midway and started again ends with the same files.

#include "tests/batch/BatchProcess.h"
#include "tests/support/TestPictures.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <unistd.h>

using namespace batchtest;

class TestBatchParallel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void recipe_data();
    void recipe();
    void stoppedAndResumed();

private:
    QProcess* startRecipe(const QString& name, const QString& out, const QMap<QString, QString>& extra = {});
    QTemporaryDir m_dir;
    QString m_src;
    QMap<QString, QByteArray> m_single; // one run over every folder
};

namespace {

// Folders of the tree, with odd names; the pictures' names differ across folders.
const QStringList kFolders{".", "a", "b c", "b c/deep er", "-dash", "it's", "x", "y", "z", "w v", "u", "t"};

QString readmeRecipe(const QString& name)
{
    QFile readme(OSTROVEL_SOURCE_DIR "/README.md");
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QRegularExpression block("<!-- recipe: " + name + " -->\\n```sh\\n(.*?)```",
                                   QRegularExpression::DotMatchesEverythingOption);
    return block.match(QString::fromUtf8(readme.readAll())).captured(1);
}

// Every file under `folder`, by name (names are unique in the tree).
QMap<QString, QByteArray> allFilesUnder(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            files[it.fileName()] = f.readAll();
    }
    return files;
}

// Finished thumbnails under `folder`; a temporary file being written does not count.
int thumbnailsUnder(const QString& folder)
{
    int n = 0;
    QDirIterator it(folder, {"thumb_*"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

} // namespace

void TestBatchParallel::initTestCase()
{
    if (QStandardPaths::findExecutable("parallel").isEmpty())
        QSKIP("GNU parallel is not installed (scripts/setup.sh --test installs it)");
    QVERIFY(m_dir.isValid());
    m_src = m_dir.filePath("src");
    QStringList folders;
    int seed = 1;
    for (const QString& folder : kFolders) {
        const QString path = QDir::cleanPath(m_src + "/" + folder);
        QVERIFY(QDir().mkpath(path));
        folders << path;
        const QImage image = testpics::photoLike(300, 200, seed);
        QVERIFY(testpics::writeFile(path + QString("/p%1.jpg").arg(seed), testpics::jpeg(image, 90)));
        QVERIFY(testpics::writeFile(path + QString("/with blank %1.bmp").arg(seed), testpics::bmp(image.scaled(60, 40))));
        QVERIFY(testpics::writeFile(path + QString("/-%1 Z.JPG").arg(seed), testpics::jpeg(image.mirrored(), 80)));
        ++seed;
    }
    const QString single = m_dir.filePath("single");
    QVERIFY(QDir().mkpath(single));
    const Run run = batch(QStringList{single} + folders);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    m_single = filesOf(single);
    QCOMPARE(m_single.size(), 3 * kFolders.size());
    QVERIFY(testpics::writeFile(m_dir.filePath("hosts.txt"), ":\n"));
}

// The recipe run by bash in the test's folder, with SRC, OUT and the program on the PATH.
QProcess* TestBatchParallel::startRecipe(const QString& name, const QString& out, const QMap<QString, QString>& extra)
{
    auto* p = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SRC", m_src);
    env.insert("OUT", out);
    env.insert("PATH", QCoreApplication::applicationDirPath() + ":" + env.value("PATH"));
    for (auto it = extra.begin(); it != extra.end(); ++it)
        env.insert(it.key(), it.value());
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(m_dir.path());
    // A session of its own, so a stop reaches parallel and its jobs at once.
    p->start("setsid", {"bash", "-c", readmeRecipe(name)});
    return p;
}

void TestBatchParallel::recipe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tasks"); // Slurm: the array's tasks, run one after the other
    QTest::addColumn<bool>("flat");
    QTest::newRow("by folder") << "by-folder" << 1 << false;
    QTest::newRow("chunks of a list") << "chunks" << 1 << true;
    QTest::newRow("several hosts") << "hosts" << 1 << false;
    QTest::newRow("Slurm job array") << "slurm" << 3 << false;
}

void TestBatchParallel::recipe()
{
    QFETCH(QString, name);
    QFETCH(int, tasks);
    QFETCH(bool, flat);
    QVERIFY2(!readmeRecipe(name).isEmpty(), "the README lacks the recipe");
    const QString out = m_dir.filePath("out-" + name);
    QVERIFY(QDir().mkpath(out));
    for (int task = 0; task < tasks; ++task) {
        QProcess* p = startRecipe(name, out, {{"SLURM_ARRAY_TASK_ID", QString::number(task)},
                                              {"SLURM_ARRAY_TASK_COUNT", QString::number(tasks)}});
        QVERIFY(p->waitForFinished(120000));
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0, p->readAllStandardError().constData());
    }
    QCOMPARE(allFilesUnder(out), m_single);
    if (!flat) // each folder's thumbnails in its twin
        for (const QString& folder : kFolders)
            QVERIFY2(QFile::exists(QString("%1/%2/thumb_-%3 Z.jpg").arg(out, folder).arg(kFolders.indexOf(folder) + 1)),
                     qPrintable(folder));
}

// Stopped (as Ctrl-C stops the whole job) once the first thumbnails are
// written, then run again as the README says: the same files in the end.
void TestBatchParallel::stoppedAndResumed()
{
    const QString out = m_dir.filePath("out-resumed");
    QVERIFY(QDir().mkpath(out));
    QProcess* p = startRecipe("by-folder", out);
    QVERIFY(p->waitForStarted(30000));
    const pid_t group = pid_t(p->processId());
    QElapsedTimer limit;
    limit.start();
    // Wait for a finished file: stopped while only a temporary file exists,
    // the run rightly leaves nothing behind.
    while (thumbnailsUnder(out) == 0 && p->state() == QProcess::Running && limit.elapsed() < 60000)
        QThread::usleep(500);
    const bool stopped = p->state() == QProcess::Running && getpgid(group) == group;
    if (stopped)
        ::kill(-group, SIGINT);
    QVERIFY(p->waitForFinished(60000));
    const int firstRun = thumbnailsUnder(out);
    QVERIFY(firstRun > 0);

    QProcess* again = startRecipe("by-folder", out);
    QVERIFY(again->waitForFinished(120000));
    QVERIFY2(again->exitStatus() == QProcess::NormalExit && again->exitCode() == 0,
             again->readAllStandardError().constData());
    QCOMPARE(allFilesUnder(out), m_single);
    if (!stopped || firstRun == m_single.size())
        qWarning("the first run ended before it could be stopped; only the restart was checked");
}

QTEST_MAIN(TestBatchParallel)
#include "test_batch_parallel.moc"
