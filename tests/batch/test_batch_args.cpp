// ostrovel-batch's arguments, as a script gives them: each valid row writes
// the thumbnail asked for, each invalid row ends with status 64 and one line
// naming the option and the fault, writing nothing.

#include "tests/batch/BatchProcess.h"
#include "tests/support/TestPictures.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace batchtest;

class TestBatchArgs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void valid_data();
    void valid();
    void invalid_data();
    void invalid();
    void helpAndVersion_data();
    void helpAndVersion();
    void answerToFullDisk_data();
    void answerToFullDisk();

private:
    QStringList filled(QStringList args, const QString& target) const;
    QTemporaryDir m_dir;
    QString m_source;
};

void TestBatchArgs::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Wide, so the background shows above and below the picture in a square.
    m_source = m_dir.filePath("p.bmp");
    QVERIFY(testpics::writeFile(m_source, testpics::bmp(testpics::photoLike(80, 20))));
}

// %T the target folder, %S the source picture, %M a missing file.
QStringList TestBatchArgs::filled(QStringList args, const QString& target) const
{
    for (QString& a : args)
        a.replace("%T", target).replace("%S", m_source).replace("%M", m_dir.filePath("missing"));
    return args;
}

void TestBatchArgs::valid_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("background");
    const QColor white(255, 255, 255);
    QTest::newRow("defaults") << QStringList{"%T", "%S"} << QSize(158, 158) << white;
    QTest::newRow("short, attached") << QStringList{"-s100x90", "-b0,0,255", "%T", "%S"} << QSize(100, 90) << QColor(0, 0, 255);
    QTest::newRow("short, separate") << QStringList{"-s", "100x90", "-b", "#ff0000", "%T", "%S"} << QSize(100, 90) << QColor(255, 0, 0);
    QTest::newRow("long with =") << QStringList{"--size=64x70", "--background=#00FF00", "%T", "%S"} << QSize(64, 70) << QColor(0, 255, 0);
    QTest::newRow("long, separate") << QStringList{"--size", "64x48", "--jobs", "2", "%T", "%S"} << QSize(64, 48) << white;
    QTest::newRow("-j4 is no target") << QStringList{"-j4", "%T", "%S"} << QSize(158, 158) << white;
    QTest::newRow("grouped flags and value") << QStringList{"-0j1", "%T", "%S"} << QSize(158, 158) << white;
    QTest::newRow("options after names") << QStringList{"%T", "%S", "-s", "50x60", "--background", "10,20,30"} << QSize(50, 60) << QColor(10, 20, 30);
    QTest::newRow("abbreviated long option") << QStringList{"--si=70x71", "--back", "0,0,0", "%T", "%S"} << QSize(70, 71) << QColor(0, 0, 0);
    QTest::newRow("leading zeros") << QStringList{"-s", "0100x00100", "%T", "%S"} << QSize(100, 100) << white;
    QTest::newRow("smallest sides") << QStringList{"-s1x1", "%T", "%S"} << QSize(1, 1) << QColor();
    QTest::newRow("the last value wins") << QStringList{"-s10x10", "-s40x40", "%T", "%S"} << QSize(40, 40) << white;
    QTest::newRow("-- ends options") << QStringList{"-s60x60", "--", "%T", "%S"} << QSize(60, 60) << white;
    QTest::newRow("--skip-existing") << QStringList{"--skip-existing", "%T", "%S"} << QSize(158, 158) << white;
}

void TestBatchArgs::valid()
{
    QFETCH(QStringList, args);
    QFETCH(QSize, size);
    QFETCH(QColor, background);
    QTemporaryDir target;
    const Run run = batch(filled(args, target.path()));
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"thumb_p.jpg"});
    const QImage thumbnail(target.filePath("thumb_p.jpg"));
    QCOMPARE(thumbnail.size(), size);
    if (!background.isValid())
        return;
    const QColor corner = thumbnail.pixelColor(0, 0); // JPEG: a few levels off
    QVERIFY2(qAbs(corner.red() - background.red()) <= 8 && qAbs(corner.green() - background.green()) <= 8
                 && qAbs(corner.blue() - background.blue()) <= 8,
             qPrintable(corner.name()));
}

void TestBatchArgs::invalid_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message"); // the whole of stderr, without "ostrovel-batch: " and the line feed
    const QString side = "\": each side must be 1 to 16384 pixels";
    QTest::newRow("size too large") << QStringList{"--size", "100000x100000", "%T", "%S"} << "--size: \"100000x100000" + side;
    QTest::newRow("size negative") << QStringList{"--size", "-5x10", "%T", "%S"} << "--size: \"-5x10" + side;
    QTest::newRow("size one side too large") << QStringList{"--size=20000x100", "%T", "%S"} << "--size: \"20000x100" + side;
    QTest::newRow("size zero") << QStringList{"-s", "0x0", "%T", "%S"} << "-s: \"0x0" + side;
    QTest::newRow("size fraction") << QStringList{"-s64.5x10", "%T", "%S"} << "-s: \"64.5x10" + side;
    QTest::newRow("size blank") << QStringList{"-s", " 10x10", "%T", "%S"} << "-s: \" 10x10" + side;
    QTest::newRow("size exponent") << QStringList{"-s", "1e3x10", "%T", "%S"} << "-s: \"1e3x10" + side;
    QTest::newRow("size sides missing") << QStringList{"--size", "x", "%T", "%S"} << "--size: \"x" + side;
    QTest::newRow("size without x") << QStringList{"--size", "100", "%T", "%S"} << "--size: \"100\": must be WIDTHxHEIGHT";
    QTest::newRow("size three sides") << QStringList{"--size", "1x2x3", "%T", "%S"} << "--size: \"1x2x3\": must be WIDTHxHEIGHT";
    QTest::newRow("size empty") << QStringList{"--size=", "%T", "%S"} << "--size: \"\": must be WIDTHxHEIGHT";
    QTest::newRow("size missing value") << QStringList{"%T", "%S", "-s"} << "-s: missing value";
    const QString form = "\": must be R,G,B or #RRGGBB";
    const QString part = "\": each part must be a whole number 0 to 255";
    QTest::newRow("colour word") << QStringList{"--background", "black", "%T", "%S"} << "--background: \"black" + form;
    QTest::newRow("colour negative") << QStringList{"-b", "-1,0,0", "%T", "%S"} << "-b: \"-1,0,0" + part;
    QTest::newRow("colour two parts") << QStringList{"-b", "1,2", "%T", "%S"} << "-b: \"1,2" + form;
    QTest::newRow("colour four parts") << QStringList{"-b", "1,2,3,4", "%T", "%S"} << "-b: \"1,2,3,4" + form;
    QTest::newRow("colour empty") << QStringList{"-b", "", "%T", "%S"} << "-b: \"" + form;
    QTest::newRow("colour over 255") << QStringList{"--background=256,0,0", "%T", "%S"} << "--background: \"256,0,0" + part;
    QTest::newRow("colour blanks") << QStringList{"-b", "1, 2,3", "%T", "%S"} << "-b: \"1, 2,3" + part;
    QTest::newRow("colour short hex") << QStringList{"-b", "#12345", "%T", "%S"} << "-b: \"#12345" + form;
    QTest::newRow("colour bad hex") << QStringList{"-b", "#12G456", "%T", "%S"} << "-b: \"#12G456" + form;
    QTest::newRow("colour signed hex") << QStringList{"-b", "#+1+2+3", "%T", "%S"} << "-b: \"#+1+2+3" + form;
    QTest::newRow("colour hex with blanks") << QStringList{"-b", "# a b c", "%T", "%S"} << "-b: \"# a b c" + form;
    QTest::newRow("colour hex, blanks after") << QStringList{"-b", "#f f f ", "%T", "%S"} << "-b: \"#f f f " + form;
    const QString jobs = "\": must be a whole number 1 to 1024";
    QTest::newRow("jobs zero") << QStringList{"-j0", "%T", "%S"} << "-j: \"0" + jobs;
    QTest::newRow("jobs too many") << QStringList{"--jobs", "1025", "%T", "%S"} << "--jobs: \"1025" + jobs;
    QTest::newRow("jobs word") << QStringList{"--jobs=all", "%T", "%S"} << "--jobs: \"all" + jobs;
    QTest::newRow("unknown long option") << QStringList{"--frobnicate", "%T", "%S"} << "unknown option \"--frobnicate\"";
    QTest::newRow("unknown long option with value") << QStringList{"--fast=1", "%T", "%S"} << "unknown option \"--fast\"";
    QTest::newRow("unknown short option") << QStringList{"-x", "%T", "%S"} << "unknown option \"-x\"";
    QTest::newRow("unknown in a group") << QStringList{"-vq", "%T", "%S"} << "unknown option \"-q\"";
    QTest::newRow("Qt's own option") << QStringList{"-platform", "%T", "%S"} << "unknown option \"-p\"";
    QTest::newRow("ambiguous abbreviation") << QStringList{"--s", "%T", "%S"} << "ambiguous option \"--s\"";
    QTest::newRow("flag with a value") << QStringList{"--verbose=yes", "%T", "%S"} << "--verbose: takes no value";
    QTest::newRow("no arguments") << QStringList{} << "no TARGET_FOLDER given (see ostrovel-batch --help)";
    QTest::newRow("no source") << QStringList{"%T"} << "no SOURCE given (see ostrovel-batch --help)";
    QTest::newRow("empty target") << QStringList{"", "%S"} << "TARGET_FOLDER is an empty name";
    QTest::newRow("empty source") << QStringList{"%T", "%S", ""} << "a SOURCE is an empty name";
    QTest::newRow("missing target") << QStringList{"%M", "%S"} << "%M: no such folder";
    QTest::newRow("missing list") << QStringList{"--files-from", "%M", "%T"} << "cannot read the list %M: No such file or directory";
    QTest::newRow("list is a folder") << QStringList{"--files-from", "%T", "%T"} << "cannot read the list %T: Is a directory";
}

void TestBatchArgs::invalid()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QTemporaryDir target;
    const Run run = batch(filled(args, target.path()));
    QCOMPARE(QString::fromUtf8(run.err), "ostrovel-batch: " + filled({message}, target.path())[0] + "\n");
    QCOMPARE(run.status, 64);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestBatchArgs::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected"); // "README": the usage block of the README
    QTest::newRow("--help") << QStringList{"--help"} << "README";
    QTest::newRow("-h among others") << QStringList{"-s10x10", "-h", "--frobnicate"} << "README";
    QTest::newRow("--version") << QStringList{"--version"} << "ostrovel-batch 1.0.0\n";
    QTest::newRow("-V") << QStringList{"-vV", "%T"} << "ostrovel-batch 1.0.0\n";
}

void TestBatchArgs::helpAndVersion()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    if (expected == "README") {
        // The README shows the help as the program prints it.
        QFile readme(OSTROVEL_SOURCE_DIR "/README.md");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(readme.readAll());
        const QRegularExpression block("```\\n(Usage: ostrovel-batch .*?)```", QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = block.match(text);
        QVERIFY(match.hasMatch());
        expected = match.captured(1);
    }
    QTemporaryDir target;
    const Run run = batch(filled(args, target.path()));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(QString::fromUtf8(run.out), expected);
}

void TestBatchArgs::answerToFullDisk_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("--help") << "--help";
    QTest::newRow("--version") << "--version";
}

// An answer that cannot be written is a failure, said on stderr.
void TestBatchArgs::answerToFullDisk()
{
    QFETCH(QString, option);
    QProcess p;
    p.setStandardOutputFile("/dev/full");
    p.start(batchProgram(), {option});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(p.readAllStandardError(), QByteArray("ostrovel-batch: write error: No space left on device\n"));
}

QTEST_MAIN(TestBatchArgs)
#include "test_batch_args.moc"
