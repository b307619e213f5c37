// Faults in the target folder and unusual file names: nothing is lost, no
// temporary file is left, and the window keeps working afterwards.

#include "export/Export.h"
#include "tests/app/WindowFixture.h"

#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace ostrovel;

namespace {

QStringList everything(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestTargetFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void faults_data();
    void faults();
    void symlinkedThumbnailIsReplaced();
    void unusualNames();

private:
    Form1& form() { return *m_fx->form; }
    void exportAllTo(const QString& target)
    {
        form().File1()->selectAll();
        m_fx->answers << target;
        QTest::mouseClick(form().Command2(), Qt::LeftButton);
    }
    std::unique_ptr<WindowFixture> m_fx;
    std::unique_ptr<QTemporaryDir> m_out;
    QString m_mounted;
};

void TestTargetFaults::init()
{
    m_out = std::make_unique<QTemporaryDir>();
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        for (int i = 0; i < 6; ++i)
            m_fx->write(QString("bild%1.jpg").arg(i), testpics::jpeg(testpics::photoLike(400, 300, i), 90));
        m_fx->write(QString(250 - 4, QChar('n')) + ".jpg", testpics::jpeg(testpics::photoLike(40, 30)));
    };
}

void TestTargetFaults::cleanup()
{
    if (!m_mounted.isEmpty())
        run("umount", {m_mounted});
    m_mounted.clear();
    m_fx.reset();
    m_out.reset();
}

void TestTargetFaults::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("writtenBefore"); // thumbnails that land before the fault
    QTest::newRow("folder removed after it was chosen") << "removed" << 0;
    QTest::newRow("target name is a folder") << "folder" << 2;
    QTest::newRow("disk fills up") << "full" << -1;
    QTest::newRow("name too long for the file system") << "long" << 6;
}

void TestTargetFaults::faults()
{
    QFETCH(QString, fault);
    QFETCH(int, writtenBefore);
    QString target = m_out->filePath("target");
    QDir().mkpath(target);
    if (fault == "full") {
        if (geteuid() != 0 || !run("mount", {"-t", "tmpfs", "-o", "size=96k", "tmpfs", target}))
            QSKIP("needs root to mount a small tmpfs");
        m_mounted = target;
    }
    const QByteArray earlier("an earlier thumbnail");
    testpics::writeFile(QDir(target).filePath("thumb_bild5.jpg"), earlier);
    if (fault == "folder")
        QDir(target).mkdir("thumb_bild2.jpg");
    m_fx->openWindow();
    if (fault == "removed")
        target = m_out->filePath("gone");

    exportAllTo(target);
    QCOMPARE(m_fx->messages.size(), 1);
    // A name no file system takes fails that entry alone; it is named among those not saved.
    const QString expected = fault == "long" ? "Diese Bilder konnten nicht gelesen werden"
                                             : "Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:";
    QVERIFY2(m_fx->messages.first().startsWith(expected), qPrintable(m_fx->messages.first()));
    int written = 0;
    for (int i = 0; i < form().File1()->ListCount(); ++i) {
        const bool landed = !form().File1()->Selected(i);
        QCOMPARE(QFileInfo(ThumbnailPath(target, form().File1()->List(i))).isFile() && landed, landed);
        written += landed ? 1 : 0;
    }
    if (writtenBefore >= 0)
        QCOMPARE(written, writtenBefore);
    if (fault != "removed") {
        if (written < 6) // the earlier thumbnail of an entry that was not reached
            QCOMPARE(testpics::readFile(QDir(target).filePath("thumb_bild5.jpg")), earlier);
        for (const QString& name : everything(target))
            QVERIFY2(name.startsWith("thumb_"), qPrintable("left behind: " + name));
    }

    // The window keeps working: the rest goes into a good folder, all but
    // the entry whose thumbnail name no file system takes.
    m_fx->messages.clear();
    const QString good = m_out->filePath("good");
    QDir().mkpath(good);
    m_fx->answers << good;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(form().File1()->selectedItems().size(), 1);
    QVERIFY(form().File1()->Selected(form().File1()->ListCount() - 1));
    QCOMPARE(everything(good).size(), 6 - (fault == "long" ? 6 : written));
}

void TestTargetFaults::symlinkedThumbnailIsReplaced()
{
    m_fx->openWindow();
    const QString target = m_out->filePath("links");
    QDir().mkpath(target);
    const QString elsewhere = m_out->filePath("precious.txt");
    testpics::writeFile(elsewhere, "keep me");
    QVERIFY(QFile::link(elsewhere, QDir(target).filePath("thumb_bild0.jpg")));
    form().File1()->SetSelected(0, true);
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QVERIFY(m_fx->messages.isEmpty());
    const QFileInfo thumb(QDir(target).filePath("thumb_bild0.jpg"));
    QVERIFY(thumb.isFile() && !thumb.isSymLink());
    QCOMPARE(testpics::readFile(elsewhere), QByteArray("keep me"));
}

void TestTargetFaults::unusualNames()
{
    const QStringList names{"Ärger über Größe.jpg", "東京タワー.bmp", "😀 lachen.gif", "-strich.jpg",
                            "Fall.jpg", "fall.JPG", "mit  zwei Leerzeichen.wmf", ".jpg"};
    m_fx->populate = [&] {
        for (const QString& name : names) {
            const QImage pic = testpics::photoLike(60, 40, int(name.size()));
            QByteArray bytes = name.endsWith(".bmp") ? testpics::bmp(pic) : testpics::jpeg(pic);
            if (name.endsWith(".gif") || name.endsWith(".wmf"))
                bytes = testpics::wmfWithRectangle(1, 0.5, QRect(0, 0, 700, 700), QColor(9, 99, 199));
            m_fx->write(name, bytes);
        }
        m_fx->write("._Fall.jpg", "companion file of another system"); // hidden: not listed
    };
    m_fx->openWindow();
    QCOMPARE(form().File1()->ListCount(), int(names.size()));
    for (int i = 0; i < form().File1()->ListCount(); ++i) {
        form().Picture1()->canvas().ClearPicture();
        FileListBox* list = form().File1();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
        QVERIFY(m_fx->waitForPreview());
        QVERIFY2(!form().Picture1()->canvas().picture().isNull(), qPrintable(list->List(i)));
    }
    exportAllTo(m_out->path());
    QVERIFY2(m_fx->messages.isEmpty(), qPrintable(m_fx->messages.join("|")));
    for (const QString& name : names)
        QVERIFY2(QFileInfo::exists(ThumbnailPath(m_out->path(), name)), qPrintable(name));
}

QTEST_MAIN(TestTargetFaults)
#include "test_target_faults.moc"
