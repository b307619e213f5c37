// ostrovel-batch's runs as scripts use them: names from a list, resumed
// runs, any number of jobs, no desktop session, names of every shape.

#include "tests/batch/BatchProcess.h"
#include "tests/support/TestPictures.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace batchtest;

class TestBatchRuns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void filesFrom_data();
    void filesFrom();
    void skipExisting();
    void skipOnlyWhatIsDone_data();
    void skipOnlyWhatIsDone();
    void longNameFailsAlone();
    void namesFromSlowPipe();
    void jobsGiveSameFiles();
    void quietWithoutDesktop_data();
    void quietWithoutDesktop();
    void thumbnailNames_data();
    void thumbnailNames();
    void folderFormats_data();
    void folderFormats();
    void laterSourceWins();
    void messagesKeepNameBytes();
    void reasonsInEnglish_data();
    void reasonsInEnglish();
    void libraryNoiseDropped();

private:
    QString pictures(const QString& name) const { return m_dir.filePath("pictures/" + name); }
    QString newFolder();
    QTemporaryDir m_dir;
    int m_folders = 0;
};

// Odd names on purpose: blanks, a line feed, a leading dash, a quote.
const QStringList kNames{"a.jpg", "b c.bmp", "line\nfeed.gif", "-dash.jpg", "it's.BMP", "z.wmf"};

void TestBatchRuns::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir(m_dir.path()).mkpath("pictures");
    int seed = 1;
    for (const QString& name : kNames) {
        const QImage image = testpics::photoLike(60 + 10 * seed, 40 + 7 * seed, seed);
        QByteArray bytes;
        if (name.endsWith(".jpg"))
            bytes = testpics::jpeg(image, 90);
        else if (name.endsWith(".gif")) {
            const QImage indexed = image.convertToFormat(QImage::Format_Indexed8);
            bytes = testpics::gif({indexed}, indexed.colorTable());
        }
        else if (name.endsWith(".wmf"))
            bytes = testpics::wmfWithRectangle(2, 1, QRect(100, 100, 1000, 1000), QColor(0, 90, 200));
        else
            bytes = testpics::bmp(image);
        QVERIFY(testpics::writeFile(pictures(name), bytes));
        ++seed;
    }
}

QString TestBatchRuns::newFolder()
{
    const QString path = m_dir.filePath(QString("out%1").arg(++m_folders));
    QDir().mkpath(path);
    return path;
}

void TestBatchRuns::filesFrom_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("names"); // of pictures/
    QTest::addColumn<bool>("fromStdin");
    QTest::addColumn<bool>("relative"); // names relative to the working folder
    QTest::addColumn<QStringList>("options");
    QStringList noLineFeed = kNames;
    noLineFeed.removeAll("line\nfeed.gif");
    QTest::newRow("NUL, standard input") << QString(QChar(0)) << kNames << true << false << QStringList{"--files-from", "-", "-0"};
    QTest::newRow("NUL, a file, long options") << QString(QChar(0)) << kNames << false << false << QStringList{"--null", "--files-from"};
    QTest::newRow("NUL, relative names") << QString(QChar(0)) << kNames << true << true << QStringList{"-0", "--files-from=-"};
    QTest::newRow("lines, standard input") << "\n" << noLineFeed << true << false << QStringList{"--files-from", "-"};
    QTest::newRow("lines, a file") << "\n" << noLineFeed << false << true << QStringList{"--files-from"};
    QTest::newRow("a folder in the list") << "\n" << QStringList{""} << true << false << QStringList{"--files-from", "-"};
}

// The files are those of the same names given on the command line.
void TestBatchRuns::filesFrom()
{
    QFETCH(QString, separator);
    QFETCH(QStringList, names);
    QFETCH(bool, fromStdin);
    QFETCH(bool, relative);
    QFETCH(QStringList, options);
    QStringList paths;
    for (const QString& name : names)
        paths << (relative ? "pictures/" + name : pictures(name));
    const QString fromArguments = newFolder(), fromList = newFolder();
    RunOptions inDir;
    inDir.workingDirectory = m_dir.path();
    Run run = batch(QStringList{fromArguments} + paths, inDir);
    QCOMPARE(run.status, 0);
    const auto expected = filesOf(fromArguments);
    QCOMPARE(expected.size(), qMax(names.size(), kNames.size() * names.contains("")));

    const QByteArray list = (paths.join(separator) + separator).toUtf8();
    if (fromStdin) {
        inDir.input = list;
    } else {
        const QString listFile = m_dir.filePath("list");
        QVERIFY(testpics::writeFile(listFile, list));
        options << listFile;
    }
    run = batch(options + QStringList{fromList}, inDir);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(filesOf(fromList), expected);
}

void TestBatchRuns::skipExisting()
{
    const QString out = newFolder();
    const QStringList args{"-v", "--skip-existing", out, pictures("")};
    Run run = batch(args);
    QCOMPARE(run.status, 0);
    const auto first = filesOf(out);
    QCOMPARE(first.size(), kNames.size());
    QVERIFY2(run.err.startsWith("ostrovel-batch: 6 written, 0 unreadable, 0 skipped in "), run.err.constData());

    // A second run writes nothing: a thumbnail changed since stays as it is.
    QVERIFY(testpics::writeFile(out + "/thumb_a.jpg", "kept"));
    run = batch(args);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.startsWith("ostrovel-batch: 0 written, 0 unreadable, 6 skipped in "), run.err.constData());
    QCOMPARE(filesOf(out).value("thumb_a.jpg"), QByteArray("kept"));

    // A removed thumbnail is written again, as before.
    QVERIFY(QFile::remove(out + "/thumb_b c.jpg"));
    run = batch(args);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.startsWith("ostrovel-batch: 1 written, 0 unreadable, 5 skipped in "), run.err.constData());
    QCOMPARE(filesOf(out).value("thumb_b c.jpg"), first.value("thumb_b c.jpg"));
    QCOMPARE(filesOf(out).size(), kNames.size());
}

void TestBatchRuns::skipOnlyWhatIsDone_data()
{
    QTest::addColumn<QString>("there"); // at thumb_a.jpg before the run
    QTest::addColumn<int>("times");     // a.jpg is listed
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("summary");
    QTest::newRow("a thumbnail") << "file" << 1 << 0 << "0 written, 0 unreadable, 1 skipped";
    QTest::newRow("a thumbnail, listed twice") << "file" << 2 << 0 << "0 written, 0 unreadable, 2 skipped";
    QTest::newRow("nothing, listed twice") << "" << 2 << 0 << "2 written, 0 unreadable, 0 skipped";
    QTest::newRow("an empty file") << "empty" << 1 << 0 << "1 written, 0 unreadable, 0 skipped";
    QTest::newRow("a dangling link") << "link" << 1 << 0 << "1 written, 0 unreadable, 0 skipped";
    QTest::newRow("a folder") << "folder" << 1 << 2 << "0 written, 0 unreadable, 0 skipped";
}

// --skip-existing leaves out only a thumbnail done before: a regular,
// non-empty file; every source of that name is decided alike.
void TestBatchRuns::skipOnlyWhatIsDone()
{
    QFETCH(QString, there);
    QFETCH(int, times);
    QFETCH(int, status);
    QFETCH(QString, summary);
    const QString out = newFolder(), thumbnail = out + "/thumb_a.jpg";
    if (there == "file")
        QVERIFY(testpics::writeFile(thumbnail, "done"));
    else if (there == "empty")
        QVERIFY(testpics::writeFile(thumbnail, ""));
    else if (there == "link")
        QVERIFY(QFile::link(out + "/gone", thumbnail));
    else if (there == "folder")
        QVERIFY(QDir(out).mkdir("thumb_a.jpg"));
    QStringList args{"-v", "--skip-existing", out};
    for (int i = 0; i < times; ++i)
        args << pictures("a.jpg");
    const Run run = batch(args);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains("ostrovel-batch: " + summary.toUtf8() + " in "), run.err.constData());
    if (there == "file")
        QCOMPARE(ostrovel::test::readFile(thumbnail), QByteArray("done"));
    else if (status == 0)
        QVERIFY(ostrovel::test::isRegularFile(thumbnail) && QImage(thumbnail).size() == QSize(158, 158));
}

// A thumbnail name longer than the file system allows fails that source
// alone; the others are written.
void TestBatchRuns::longNameFailsAlone()
{
    const QString in = newFolder(), out = newFolder();
    const QString longName = QString(250, QChar('n')) + ".jpg";
    QVERIFY(QFile::copy(pictures("a.jpg"), in + "/" + longName));
    const Run run = batch({out, pictures("a.jpg"), in + "/" + longName, pictures("b c.bmp")});
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.err), QString("ostrovel-batch: cannot write %1/thumb_%2.jpg: File name too long\n")
                                             .arg(out, QString(250, QChar('n'))));
    QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"thumb_a.jpg", "thumb_b c.jpg"}));
}

// Each name from a pipe is written as it comes, before the pipe ends.
void TestBatchRuns::namesFromSlowPipe()
{
    const QString out = newFolder();
    QProcess p;
    p.start(batchProgram(), {"--files-from", "-", out});
    QVERIFY(p.waitForStarted(30000));
    for (const QString& name : {QString("a.jpg"), QString("b c.bmp")}) {
        p.write(QFile::encodeName(pictures(name)) + '\n');
        const QString thumbnail = out + "/" + QString(name).replace(QRegularExpression("\\.[a-z]+$"), "").prepend("thumb_") + ".jpg";
        for (int wait = 0; wait < 600 && !QFile::exists(thumbnail); ++wait) // a guard against a hang, not a speed limit
            p.waitForFinished(100);
        QVERIFY2(QFile::exists(thumbnail), qPrintable(thumbnail));
    }
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

void TestBatchRuns::jobsGiveSameFiles()
{
    const QString one = newFolder(), usable = newFolder(), three = newFolder();
    QCOMPARE(batch({"-j", "1", one, pictures("")}).status, 0);
    QCOMPARE(batch({usable, pictures("")}).status, 0);
    QCOMPARE(batch({"--jobs=3", three, pictures("")}).status, 0);
    const auto expected = filesOf(one);
    QCOMPARE(expected.size(), kNames.size());
    QCOMPARE(filesOf(usable), expected);
    QCOMPARE(filesOf(three), expected);
}

void TestBatchRuns::quietWithoutDesktop_data()
{
    QTest::addColumn<QStringList>("unset");
    QTest::addColumn<QString>("platform"); // empty: none set
    const QStringList desktop{"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    QTest::newRow("no desktop session") << desktop << QString();
    QTest::newRow("a platform that cannot start") << desktop << "xcb";
    QTest::newRow("as the tests run") << QStringList{} << "offscreen";
}

// Standard error is the program's alone: no toolkit warnings on a clean run.
void TestBatchRuns::quietWithoutDesktop()
{
    QFETCH(QStringList, unset);
    QFETCH(QString, platform);
    RunOptions options;
    options.unset = unset;
    if (!platform.isEmpty())
        options.set["QT_QPA_PLATFORM"] = platform;
    const QString out = newFolder();
    const Run run = batch({out, pictures("")}, options);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(filesOf(out).size(), kNames.size());
}

void TestBatchRuns::thumbnailNames_data()
{
    QTest::addColumn<QStringList>("sources"); // made as copies of a.jpg
    QTest::addColumn<QStringList>("thumbnails");
    QTest::newRow("x.jpeg") << QStringList{"x.jpeg"} << QStringList{"thumb_x.jpg"};
    QTest::newRow("no extension") << QStringList{"x1", "x2", "photo"} << QStringList{"thumb_photo.jpg", "thumb_x1.jpg", "thumb_x2.jpg"};
    QTest::newRow("the window's patterns, any case") << QStringList{"A.JPG", "b.Gif", "c.bmp"} << QStringList{"thumb_A.jpg", "thumb_b.jpg", "thumb_c.jpg"};
    QTest::newRow("several dots") << QStringList{"a.b.tiff", "a.b.jpg", "x.tar.gz"} << QStringList{"thumb_a.b.jpg", "thumb_x.tar.jpg"};
    QTest::newRow("a leading dot only") << QStringList{".hidden"} << QStringList{"thumb_.hidden.jpg"};
}

void TestBatchRuns::thumbnailNames()
{
    QFETCH(QStringList, sources);
    QFETCH(QStringList, thumbnails);
    const QString in = newFolder(), out = newFolder();
    QStringList paths;
    for (const QString& name : sources) {
        QVERIFY(QFile::copy(pictures("a.jpg"), in + "/" + name));
        paths << in + "/" + name;
    }
    const Run run = batch(QStringList{out} + paths);
    QCOMPARE(run.status, 0);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), thumbnails);
}

void TestBatchRuns::folderFormats_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("thumbnails");
    QTest::newRow("the window's patterns") << QStringList{} << QStringList{"thumb_a.jpg", "thumb_x.jpg"};
    QTest::newRow("--all-formats") << QStringList{"--all-formats"}
                                   << QStringList{"thumb_a.jpg", "thumb_p.jpg", "thumb_t.jpg", "thumb_x.jpg"};
}

// A folder holding a JPEG, PNG named .png, .TIFF (any case) and .jpg, and
// a PNG without a picture's name: every file is read by its content.
void TestBatchRuns::folderFormats()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, thumbnails);
    const QString in = newFolder(), out = newFolder();
    QVERIFY(QFile::copy(pictures("a.jpg"), in + "/a.jpg"));
    for (const QString& name : QStringList{"p.png", "t.TIFF", "x.jpg", "n.txt"})
        QVERIFY(testpics::photoLike(30, 20).save(in + "/" + name, "PNG"));
    const Run run = batch(options + QStringList{out, in});
    QCOMPARE(run.status, 0);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name), thumbnails);
}

// Two sources of one thumbnail name: the later's file stays, and stderr says so.
void TestBatchRuns::laterSourceWins()
{
    const QString in = newFolder(), both = newFolder(), laterAlone = newFolder();
    QDir(in).mkpath("one");
    QDir(in).mkpath("two");
    QVERIFY(QFile::copy(pictures("a.jpg"), in + "/one/x.jpg"));
    QVERIFY(QFile::copy(pictures("b c.bmp"), in + "/two/x.bmp"));
    QVERIFY(QFile::copy(pictures("z.wmf"), in + "/two/x.wmf"));
    const Run run = batch({both, in + "/one/x.jpg", in + "/two"});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.err),
             QString("ostrovel-batch: %1/two/x.bmp: thumb_x.jpg also comes from an earlier source; the later wins\n"
                     "ostrovel-batch: %1/two/x.wmf: thumb_x.jpg also comes from an earlier source; the later wins\n")
                 .arg(in));
    QCOMPARE(batch({laterAlone, in + "/two/x.wmf"}).status, 0);
    QCOMPARE(filesOf(both), filesOf(laterAlone));
}

// A name that is not UTF-8 is said with the very bytes it was given as.
void TestBatchRuns::messagesKeepNameBytes()
{
    const QString out = newFolder();
    const QByteArray missing = QFile::encodeName(m_dir.path()) + "/gone\xff\xfe.jpg";
    RunOptions options;
    options.input = missing + '\n' + QFile::encodeName(pictures("a.jpg")) + '\n';
    const Run run = batch({"--files-from", "-", out}, options);
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("ostrovel-batch: cannot read " + missing), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{"thumb_a.jpg"});
}

// The system's reasons follow no locale: a German one is at hand for libc.
void TestBatchRuns::reasonsInEnglish_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    const QString out = newFolder();
    QDir(out).mkdir("thumb_a.jpg");
    QTest::newRow("source") << QStringList{out, m_dir.filePath("gone.jpg")} << 1 << "No such file or directory";
    QTest::newRow("list") << QStringList{"--files-from", m_dir.filePath("gone.txt"), out} << 64
                          << "No such file or directory";
    QTest::newRow("write") << QStringList{out, pictures("a.jpg")} << 2 << "Is a directory";
    QTest::newRow("endless name in a list") << QStringList{"--files-from", "/dev/zero", out} << 1
                                            << "a name is longer than 4095 bytes";
}

void TestBatchRuns::reasonsInEnglish()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, reason);
    RunOptions options;
    options.set = {{"LANGUAGE", "de"}, {"LANG", "C.UTF-8"}};
    options.unset = {"LC_ALL", "LC_MESSAGES"};
    const Run run = batch(args, options);
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.trimmed().endsWith(": " + reason.toUtf8()), run.err.constData());
}

// libjxl prints its own traces for a damaged file; our one line is all
// that reaches standard error.
void TestBatchRuns::libraryNoiseDropped()
{
    const QString png = m_dir.filePath("noise.png"), jxl = m_dir.filePath("noise.jxl");
    QVERIFY(QImage(pictures("a.jpg")).save(png));
    QCOMPARE(QProcess::execute("cjxl", {"--quiet", png, jxl}), 0);
    QFile file(jxl);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(file.size() / 2));
    file.close();
    const Run run = batch({newFolder(), jxl});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.startsWith("ostrovel-batch: cannot read " + QFile::encodeName(jxl)), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
}

QTEST_MAIN(TestBatchRuns)
#include "test_batch_runs.moc"
