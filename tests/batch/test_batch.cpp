// ostrovel-batch run as a process: exit statuses, and files byte-identical
// to the window's export of the same pictures.

#include "tests/batch/BatchProcess.h"
#include "tests/app/WindowFixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

using namespace ostrovel;

using namespace batchtest;

class TestBatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_fx.reset(); }
    void sameBytesAsWindow_data();
    void sameBytesAsWindow();
    void exitStatuses_data();
    void exitStatuses();

private:
    QString makeFolder(const QString& name)
    {
        QDir(m_out.path()).mkpath(name);
        return m_out.filePath(name);
    }
    std::unique_ptr<WindowFixture> m_fx;
    QTemporaryDir m_out;
};

void TestBatch::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        m_fx->write("Urlaub.JPG", testpics::jpeg(testpics::photoLike(900, 600), 90));
        m_fx->write("hoch.jpg", testpics::withExifOrientation(testpics::jpeg(testpics::photoLike(300, 200, 3), 90), 6));
        m_fx->write("b.bmp", testpics::bmp(testpics::photoLike(77, 140, 2)));
        m_fx->write("Plan.wmf", testpics::wmfWithRectangle(2, 1, QRect(100, 100, 1000, 1000), QColor(0, 90, 200)));
        m_fx->write("readme.txt", "not a picture");
    };
    m_fx->openWindow();
}

void TestBatch::sameBytesAsWindow_data()
{
    QTest::addColumn<QString>("width"); // the window's fields
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QStringList>("options"); // the same values for the command line
    QTest::newRow("defaults") << "158" << "158" << "255,255,255" << QStringList{};
    QTest::newRow("wide on a colour") << "200" << "90" << "12,34,56" << QStringList{"-s200x90", "--background=12,34,56"};
    QTest::newRow("tall, colour as #RRGGBB") << "64" << "101" << "171,205,239" << QStringList{"--size", "64x101", "-b", "#AbCdEf"};
    QTest::newRow("leading zeros, one job") << "80" << "81" << "0,0,0" << QStringList{"-j1", "-s", "080x81", "-b000,0,00"};
}

void TestBatch::sameBytesAsWindow()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, colour);
    QFETCH(QStringList, options);
    const QString fromWindow = makeFolder("window"), fromBatch = makeFolder("batch");
    Form1& form = *m_fx->form;
    form.Text1(0)->setText(width);
    form.Text1(1)->setText(height);
    form.Text2()->setText(colour);
    form.File1()->selectAll();
    m_fx->answers << fromWindow;
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QVERIFY(m_fx->messages.isEmpty());

    const Run run = batch(options + QStringList{fromBatch, m_fx->folder->path()});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());
    const auto expected = filesOf(fromWindow);
    QCOMPARE(expected.size(), 4);
    QCOMPARE(filesOf(fromBatch), expected);
}

void TestBatch::exitStatuses_data()
{
    QTest::addColumn<QStringList>("args"); // %T target, %S picture folder, %M missing folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stderrHas");
    QTest::addColumn<int>("filesWritten");
    QTest::newRow("all written") << QStringList{"%T", "%S/b.bmp", "%S/Plan.wmf"} << 0 << "" << 2;
    QTest::newRow("unreadable named, others written") << QStringList{"%T", "%S/readme.txt", "%S/b.bmp", "%S/gone.jpg"} << 1 << "ostrovel-batch: cannot read %S/gone.jpg" << 1;
    QTest::newRow("write error") << QStringList{"%T", "%S/b.bmp", "%S/Plan.wmf"} << 2 << "ostrovel-batch: cannot write %T/thumb_b.jpg: " << 0;
    QTest::newRow("missing target folder") << QStringList{"%M", "%S"} << 64 << "ostrovel-batch: %M: no such folder\n" << 0;
}

void TestBatch::exitStatuses()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, stderrHas);
    QFETCH(int, filesWritten);
    const QString target = makeFolder(QTest::currentDataTag());
    if (status == 2)
        QDir(target).mkdir("thumb_b.jpg"); // a folder where the first thumbnail goes
    const auto fill = [&](QString& a) {
        a.replace("%T", target).replace("%S", m_fx->folder->path()).replace("%M", target + "/missing");
    };
    for (QString& a : args)
        fill(a);
    fill(stderrHas);
    const Run run = batch(args);
    QCOMPARE(run.status, status);
    QVERIFY2(QString::fromUtf8(run.err).contains(stderrHas), run.err.constData());
    QCOMPARE(QDir(target).entryList({"thumb_*"}, QDir::Files).size(), filesWritten);
}

QTEST_MAIN(TestBatch)
#include "test_batch.moc"
