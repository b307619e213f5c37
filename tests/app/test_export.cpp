// The batch export and the picture folder choice, driven through the real
// window with the folder chooser answered by the test.

#include "export/Export.h"
#include "export/Paths.h"
#include "export/Render.h"
#include "tests/app/WindowFixture.h"

#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QTest>

using namespace ostrovel;

namespace {

QImage readImage(const QString& path)
{
    QImageReader reader(path);
    return reader.read();
}

// The largest channel difference of `image` from the default quadrants'
// colours, at the middle of each quadrant.
int quadrantsOff(const QImage& image)
{
    const QImage want = testpics::quadrants(4, 4);
    int off = 0;
    for (const QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QRgb got = image.pixel(at.x() * image.width() / 4, at.y() * image.height() / 4);
        const QRgb w = want.pixel(at);
        off = std::max({off, std::abs(qRed(got) - qRed(w)), std::abs(qGreen(got) - qGreen(w)),
                        std::abs(qBlue(got) - qBlue(w))});
    }
    return off;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_fx.reset(); }
    void exportsSelectedFiles();
    void cancelChangesNothing();
    void emptySelectionClearsCanvas();
    void laterDuplicateReplacesEarlier();
    void writeErrorStopsAtFailingEntry();
    void vanishedTargetReportsError();
    void writeErrorNamesPathAndReason_data();
    void writeErrorNamesPathAndReason();
    void writeErrorAlsoNamesUnreadable();
    void unreadableSourceIsSkippedAndNamed();
    void pictureFolderChoice();
    void pictureFolderRefused();
    void contentWinsOverName_data();
    void contentWinsOverName();

private:
    Form1& form() { return *m_fx->form; }
    void select(const QStringList& names)
    {
        form().File1()->clearSelection();
        for (int i = 0; i < form().File1()->ListCount(); ++i)
            if (names.contains(form().File1()->List(i)))
                form().File1()->SetSelected(i, true);
    }
    QStringList selected()
    {
        QStringList names;
        for (int i = 0; i < form().File1()->ListCount(); ++i)
            if (form().File1()->Selected(i))
                names << form().File1()->List(i);
        return names;
    }
    QString makeTarget(const QString& name)
    {
        const QString path = m_targets.filePath(name);
        QDir().mkpath(path);
        return path;
    }
    std::unique_ptr<WindowFixture> m_fx;
    QTemporaryDir m_targets;
};

void TestExport::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        m_fx->write("Urlaub.JPG", testpics::jpeg(testpics::photoLike(640, 480), 92));
        m_fx->write("a.b.bmp", testpics::bmp(testpics::quadrants(90, 150, qRgb(0, 0, 250),
                                        qRgb(250, 0, 0), qRgb(250, 0, 0), qRgb(0, 0, 250))));
        QImage frame(40, 20, QImage::Format_Indexed8);
        frame.setColorCount(256);
        frame.fill(1);
        m_fx->write("c.gif", testpics::gif({frame}, {qRgb(0, 0, 0), qRgb(0, 200, 0)}));
        m_fx->write("Plan.wmf", testpics::wmfWithRectangle(2, 1, QRect(0, 0, 1440, 1440), QColor(200, 0, 0)));
        m_fx->write("x.bmp", testpics::bmp(testpics::quadrants(50, 50, qRgb(255, 255, 255),
                                        qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(255, 255, 255))));
        m_fx->write("x.jpg", testpics::jpeg(testpics::quadrants(60, 30, qRgb(0, 255, 255),
                                        qRgb(255, 255, 0), qRgb(255, 255, 0), qRgb(0, 255, 255)), 95));
        m_fx->write("z_broken.jpg", "\xFF\xD8\xFF garbage");
    };
    m_fx->openWindow();
    form().setProgramFolder(m_targets.path());
}

void TestExport::exportsSelectedFiles()
{
    const QString target = makeTarget("out");
    form().Text2()->setText("20,40,60");
    form().Text1(0)->setText("120");
    form().Text1(1)->setText("90");
    const QStringList chosen{"Urlaub.JPG", "a.b.bmp", "c.gif", "Plan.wmf"};
    select(chosen);
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);

    QCOMPARE(m_fx->calls.size(), 1);
    const ChooserCall call = m_fx->calls.first();
    QCOMPARE(call.title, QString("Zielordner wählen"));
    QCOMPARE(call.startPath, m_targets.path()); // the program's own folder at first
    QVERIFY(call.showStatus && call.rootGiven && call.rootPath.isEmpty() && call.newStyle && !call.includeFiles);
    QCOMPARE(form().Zielordner, target);
    QVERIFY2(m_fx->messages.isEmpty(), qPrintable(m_fx->messages.join("|")));

    const QStringList written = QDir(target).entryList(QDir::Files, QDir::Name);
    QCOMPARE(written, (QStringList{"thumb_Plan.jpg", "thumb_Urlaub.jpg", "thumb_a.b.jpg", "thumb_c.jpg"}));
    for (const QString& name : chosen) {
        const QImage thumb = readImage(ThumbnailPath(target, name));
        QCOMPARE(thumb.size(), QSize(120, 90));
        Canvas preview(QSize(1, 1), 0);
        QVERIFY(ostrovel::RenderThumbnail(preview, form().settings(), m_fx->folder->filePath(name)).loaded);
        const int diff = testpics::maxChannelDifference(thumb, preview.Image());
        QVERIFY2(diff <= 40, qPrintable(QString("%1 differs by %2").arg(name).arg(diff)));
    }
    QCOMPARE(selected(), QStringList());
    QVERIFY(form().Picture1()->canvas().picture().isNull());
    QCOMPARE(form().Picture1()->size(), QSize(120, 90));
}

void TestExport::cancelChangesNothing()
{
    select({"c.gif"});
    QTest::mouseClick(form().File1()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      form().File1()->visualItemRect(form().File1()->item(0)).center()); // preview something
    QVERIFY(m_fx->waitForPreview());
    const QImage before = form().Picture1()->canvas().picture();
    const QStringList selectedBefore = selected();
    QVERIFY(!before.isNull());
    m_fx->answers << QString();
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(form().Zielordner, QString());
    QCOMPARE(selected(), selectedBefore);
    QCOMPARE(form().Picture1()->canvas().picture(), before);
    QCOMPARE(QDir(m_targets.path()).entryList(QDir::Files), QStringList());

    m_fx->answers << QString();
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->calls.size(), 2);
    QCOMPARE(m_fx->calls[1].startPath, m_targets.path()); // starts at the program's folder again
}

void TestExport::emptySelectionClearsCanvas()
{
    QTest::mouseClick(form().File1()->viewport(), Qt::LeftButton, {},
                      form().File1()->visualItemRect(form().File1()->item(0)).center());
    QVERIFY(m_fx->waitForPreview());
    form().File1()->clearSelection();
    QVERIFY(!form().Picture1()->canvas().picture().isNull());
    const QString target = makeTarget("none");
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList());
    QVERIFY(form().Picture1()->canvas().picture().isNull());

    // The next export starts where the last one went.
    m_fx->answers << QString();
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->calls[1].startPath, target);
}

void TestExport::laterDuplicateReplacesEarlier()
{
    const QString target = makeTarget("dup");
    select({"x.bmp", "x.jpg"});
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList{"thumb_x.jpg"});
    const QImage thumb = readImage(QDir(target).filePath("thumb_x.jpg"));
    // x.jpg comes after x.bmp in the list, so its thumbnail is the one left.
    const auto renderOf = [this](const QString& name) {
        Canvas canvas(QSize(1, 1), 0);
        ostrovel::RenderThumbnail(canvas, form().settings(), m_fx->folder->filePath(name));
        return canvas.Image();
    };
    QVERIFY(testpics::maxChannelDifference(thumb, renderOf("x.jpg")) <= 40);
    QVERIFY(testpics::maxChannelDifference(thumb, renderOf("x.bmp")) > 100);
    QCOMPARE(selected(), QStringList());
}

void TestExport::writeErrorStopsAtFailingEntry()
{
    const QString target = makeTarget("err");
    QDir(target).mkdir("thumb_c.jpg"); // a folder where the second thumbnail goes
    const QByteArray earlier("earlier file");
    testpics::writeFile(QDir(target).filePath("thumb_x.jpg"), earlier);
    select({"a.b.bmp", "c.gif", "x.bmp"});
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);

    QCOMPARE(m_fx->messages, QStringList{"Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:7"});
    QVERIFY(QFileInfo::exists(QDir(target).filePath("thumb_a.b.jpg")));
    QCOMPARE(selected(), (QStringList{"c.gif", "x.bmp"}));
    QFile kept(QDir(target).filePath("thumb_x.jpg"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), earlier); // nothing after the failing entry was written
    QCOMPARE(QDir(target).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
    // The canvas shows the failing file's rendering: green everywhere the GIF covers.
    QCOMPARE(form().Picture1()->canvas().Image().pixel(79, 79), qRgb(0, 200, 0));
    QCOMPARE(form().Zielordner, target);

    // The window keeps working: a second export into a good folder succeeds.
    const QString good = makeTarget("good");
    m_fx->answers << good;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(QDir(good).entryList(QDir::Files), (QStringList{"thumb_c.jpg", "thumb_x.jpg"}));
    QCOMPARE(selected(), QStringList());
}

void TestExport::vanishedTargetReportsError()
{
    const QString target = makeTarget("gone");
    QDir(target).removeRecursively();
    select({"c.gif", "x.bmp"});
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->messages.size(), 1);
    QVERIFY(m_fx->messages.first().startsWith("Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:"));
    QCOMPARE(selected(), (QStringList{"c.gif", "x.bmp"}));
    QVERIFY(form().isVisible());
}

void TestExport::writeErrorNamesPathAndReason_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder removed") << "removed" << "Ordner nicht gefunden";
    QTest::newRow("a folder has the thumbnail's name") << "folder" << "Unter diesem Namen gibt es bereits einen Ordner";
}

void TestExport::writeErrorNamesPathAndReason()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const QString target = makeTarget("why");
    if (fault == "removed")
        QDir(target).removeRecursively();
    else
        QDir(target).mkdir("thumb_c.jpg");
    select({"c.gif", "x.bmp"});
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->full.size(), 1);
    QCOMPARE(m_fx->full.first().text, QString("Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:7"));
    QCOMPARE(m_fx->full.first().informativeText,
             QString("Vorschaubild: %1/thumb_c.jpg\nGrund: %2").arg(target, reason));
}

void TestExport::writeErrorAlsoNamesUnreadable()
{
    const QString target = makeTarget("both");
    QDir(target).mkdir("thumb_c.jpg"); // the write of c.gif fails
    select({"a.b.bmp", "c.gif", "x.bmp"});
    QFile::remove(m_fx->folder->filePath("a.b.bmp")); // unreadable, before the failure
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->messages,
             (QStringList{"Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:7",
                          "Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\na.b.bmp"}));
    QCOMPARE(selected(), (QStringList{"a.b.bmp", "c.gif", "x.bmp"}));
}

void TestExport::unreadableSourceIsSkippedAndNamed()
{
    const QString target = makeTarget("mixed");
    select({"c.gif", "x.jpg", "z_broken.jpg"});
    QFile::remove(m_fx->folder->filePath("x.jpg")); // vanished after the list was read
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList{"thumb_c.jpg"});
    QCOMPARE(selected(), (QStringList{"x.jpg", "z_broken.jpg"}));
    QCOMPARE(m_fx->messages,
             QStringList{"Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\nx.jpg\nz_broken.jpg"});
    QVERIFY(form().Picture1()->canvas().picture().isNull());
}

void TestExport::pictureFolderChoice()
{
    const QString pics = makeTarget("pics");
    testpics::writeFile(QDir(pics).filePath("only.gif"), QByteArray("GIF89a"));
    testpics::writeFile(QDir(pics).filePath("skip.png"), QByteArray("x"));
    m_fx->answers << pics + "/";
    QTest::mouseClick(form().Command1(), Qt::LeftButton);
    QVERIFY(m_fx->waitForList());
    QCOMPARE(m_fx->calls.first().title, QString("Bildordner wählen"));
    QCOMPARE(m_fx->calls.first().startPath, m_targets.path()); // the program's folder, not the current one
    QVERIFY(m_fx->calls.first().showStatus && m_fx->calls.first().rootGiven && m_fx->calls.first().newStyle);
    QCOMPARE(form().File1()->ListCount(), 1);
    QCOMPARE(form().File1()->List(0), QString("only.gif"));
    QCOMPARE(form().Bildordner, pics); // as the list reports it

    m_fx->answers << QString(); // cancel: the list stays
    QTest::mouseClick(form().Command1(), Qt::LeftButton);
    QVERIFY(m_fx->waitForList());
    QCOMPARE(m_fx->calls[1].startPath, pics);
    QCOMPARE(form().File1()->Path(), pics);
    QCOMPARE(form().Bildordner, pics);

    const QString empty = makeTarget("empty");
    m_fx->answers << empty;
    QTest::mouseClick(form().Command1(), Qt::LeftButton);
    QVERIFY(m_fx->waitForList());
    QCOMPARE(form().File1()->ListCount(), 0);
    QCOMPARE(form().Bildordner, empty);
}

void TestExport::pictureFolderRefused()
{
    m_fx->answers << m_targets.filePath("does-not-exist");
    QTest::mouseClick(form().Command1(), Qt::LeftButton);
    QVERIFY(m_fx->waitForList());
    QCOMPARE(m_fx->messages, QStringList{"Laufzeitfehler '76':\n\nPfad nicht gefunden"});
    QCOMPARE(form().Bildordner, m_targets.path()); // the start folder it was given
    QCOMPARE(form().File1()->ListCount(), 7);
    QVERIFY(form().isVisible());
}

void TestExport::contentWinsOverName_data()
{
    QTest::addColumn<QString>("encoder"); // a shell command turning the PNG $IN into $OUT
    QTest::newRow("png") << "cp \"$IN\" \"$OUT\"";
    QTest::newRow("webp") << "cwebp -quiet -lossless \"$IN\" -o \"$OUT\"";
}

// A file the list shows by its name (".jpg") but holding another format is
// read by its content, in the preview and in the export.
void TestExport::contentWinsOverName()
{
    QFETCH(QString, encoder);
    const QString in = m_targets.filePath("source.png");
    QVERIFY(testpics::quadrants(120, 120).save(in, "PNG"));
    QProcess shell;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("IN", in);
    env.insert("OUT", m_fx->folder->filePath("Foto.jpg"));
    shell.setProcessEnvironment(env);
    shell.start("/bin/sh", {"-ec", encoder});
    QVERIFY(shell.waitForFinished(-1) && shell.exitCode() == 0);
    form().File1()->SetPath(m_fx->folder->path());
    QVERIFY(m_fx->waitForList());

    const QList<QListWidgetItem*> items = form().File1()->findItems("Foto.jpg", Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    QTest::mouseClick(form().File1()->viewport(), Qt::LeftButton, {}, form().File1()->visualItemRect(items[0]).center());
    QCOMPARE(selected(), QStringList{"Foto.jpg"});
    QVERIFY(m_fx->waitForPreview());
    QVERIFY(!form().Picture1()->canvas().picture().isNull());
    QCOMPARE(quadrantsOff(form().Picture1()->canvas().Image()), 0);

    const QString target = makeTarget("out");
    m_fx->answers << target;
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QVERIFY2(m_fx->messages.isEmpty(), qPrintable(m_fx->messages.join("|")));
    const QImage thumb = readImage(ThumbnailPath(target, "Foto.jpg"));
    QVERIFY(!thumb.isNull());
    QVERIFY2(quadrantsOff(thumb) <= 40, qPrintable(QString::number(quadrantsOff(thumb))));
}

QTEST_MAIN(TestExport)
#include "test_export.moc"
