// The window's messages: the unreadable list that fits the screen, error 5
// with the thumbnail's path and the system's reason, and Qt's own texts in
// German.

#include "app/Messages.h"
#include "app/PictureReason.h"
#include "common/SystemReason.h"
#include "picture/wmf/WmfClient.h"
#include "chooser/GermanReason.h"
#include "app/Translations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cerrno>

using namespace ostrovel;

namespace {

QStringList names(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString("bild_%1.jpg").arg(i, 3, 10, QChar('0'));
    return list;
}

QList<UnreadablePicture> pictures(const QStringList& names)
{
    QList<UnreadablePicture> list;
    for (const QString& name : names)
        list << UnreadablePicture{name, "Beschädigte Daten"};
    return list;
}

} // namespace

class TestWindowMessages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QApplication::setFont(QFont("DejaVu Sans", 9)); }
    void unreadableList_data();
    void unreadableList();
    void unreadableBoxFitsScreen();
    void unreadableAfterCancel_data();
    void unreadableAfterCancel();
    void pictureReasons_data();
    void pictureReasons();
    void reasons_data();
    void reasons();
    void writeError_data();
    void writeError();
    void qtTextsInGerman_data();
    void qtTextsInGerman();
};

void TestWindowMessages::unreadableList_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("tail"); // the last line of the main text
    QTest::newRow("one") << 1 << 1 << "bild_000.jpg";
    QTest::newRow("fifteen") << 15 << 15 << "bild_014.jpg";
    QTest::newRow("sixteen") << 16 << 15 << "… und 1 weitere";
    QTest::newRow("hundred") << 100 << 15 << "… und 85 weitere";
}

void TestWindowMessages::unreadableList()
{
    QFETCH(int, count);
    QFETCH(int, shown);
    QFETCH(QString, tail);
    const QStringList all = names(count);
    const WindowMessage m = UnreadableMessage(pictures(all));
    QStringList lines = m.text.split('\n');
    QCOMPARE(lines.takeFirst(), QString("Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:"));
    QCOMPARE(lines.last(), tail);
    QCOMPARE(lines.mid(0, shown), all.mid(0, shown));
    const QStringList details = m.detailedText.split('\n');
    QCOMPARE(details.size(), count); // every name with its reason
    QCOMPARE(details.last(), all.last() + ": Beschädigte Daten");
    QVERIFY(m.informativeText.isEmpty());
}

void TestWindowMessages::unreadableAfterCancel_data()
{
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("informative");
    QTest::newRow("none") << 0 << "Das Speichern wurde abgebrochen; 0 Vorschaubilder wurden gespeichert.";
    QTest::newRow("one") << 1 << "Das Speichern wurde abgebrochen; 1 Vorschaubild wurde gespeichert.";
    QTest::newRow("many") << 46 << "Das Speichern wurde abgebrochen; 46 Vorschaubilder wurden gespeichert.";
}

void TestWindowMessages::unreadableAfterCancel()
{
    QFETCH(int, written);
    QFETCH(QString, informative);
    QCOMPARE(UnreadableMessage(pictures(names(2)), written).informativeText, informative);
}

void TestWindowMessages::pictureReasons_data()
{
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("damaged") << "damaged data" << "Beschädigte Daten";
    QTest::newRow("damaged, with libjpeg's words") << "damaged data (Bogus marker length)"
                                                    << "Beschädigte Daten (Bogus marker length)";
    QTest::newRow("time limit") << QString::fromLatin1(wmf::kTimeLimitReason)
                                << "Zeitlimit erreicht: die WMF-Datei braucht zu lange zum Zeichnen";
    QTest::newRow("not drawable") << "the picture could not be drawn at this size"
                                  << "Das Bild lässt sich in dieser Größe nicht zeichnen";
    QTest::newRow("system: no access") << SystemReason(EACCES) << "Keine Berechtigung";
    QTest::newRow("helper cannot start") << "cannot start the metafile helper: " + SystemReason(ENOMEM)
                                         << "Hilfsprogramm für WMF-Dateien startet nicht: Nicht genügend Arbeitsspeicher";
    QTest::newRow("unknown: as it is") << "something new" << "something new";
}

void TestWindowMessages::pictureReasons()
{
    QFETCH(QString, english);
    QFETCH(QString, german);
    QCOMPARE(GermanPictureReason(english), german);
}

void TestWindowMessages::unreadableBoxFitsScreen()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    std::unique_ptr<QMessageBox> box(MakeMessageBox(nullptr, UnreadableMessage(pictures(names(100)))));
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QVERIFY2(box->frameGeometry().height() <= screen.height(),
             qPrintable(QString("%1 > %2").arg(box->frameGeometry().height()).arg(screen.height())));
    QCOMPARE(box->detailedText().count('\n'), 99);
}

void TestWindowMessages::reasons_data()
{
    QTest::addColumn<int>("errnum");
    QTest::addColumn<QString>("reason");
    QTest::newRow("EACCES") << EACCES << "Keine Berechtigung";
    QTest::newRow("EROFS") << EROFS << "Schreibgeschütztes Dateisystem";
    QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << "Dateiname zu lang";
    QTest::newRow("ENOSPC") << ENOSPC << "Kein Speicherplatz mehr auf dem Gerät";
    QTest::newRow("ENOENT") << ENOENT << "Ordner nicht gefunden";
    QTest::newRow("none") << 0 << "";
    QTest::newRow("other: the system's text") << ENOTSUP << QString::fromLocal8Bit(strerror(ENOTSUP));
}

void TestWindowMessages::reasons()
{
    QFETCH(int, errnum);
    QFETCH(QString, reason);
    QCOMPARE(GermanReason(errnum), reason);
}

void TestWindowMessages::writeError_data()
{
    QTest::addColumn<int>("errnum");
    QTest::addColumn<QString>("informative");
    QTest::newRow("no access") << EACCES << "Vorschaubild: /ziel/thumb_a.jpg\nGrund: Keine Berechtigung";
    QTest::newRow("disk full") << ENOSPC << "Vorschaubild: /ziel/thumb_a.jpg\nGrund: Kein Speicherplatz mehr auf dem Gerät";
    QTest::newRow("reason unknown") << 0 << "Vorschaubild: /ziel/thumb_a.jpg";
}

void TestWindowMessages::writeError()
{
    QFETCH(int, errnum);
    QFETCH(QString, informative);
    const RuntimeError error(5, "Speicherung des Bildes fehlgeschlagen. GDI+ Error:7");
    const WindowMessage m = WriteErrorMessage(error, "/ziel/thumb_a.jpg", errnum);
    QCOMPARE(m.text, QString("Laufzeitfehler '5':\n\nSpeicherung des Bildes fehlgeschlagen. GDI+ Error:7"));
    QCOMPARE(m.informativeText, informative);
    std::unique_ptr<QMessageBox> box(MakeMessageBox(nullptr, m));
    QCOMPARE(box->text(), m.text);
    QCOMPARE(box->informativeText(), informative);
}

void TestWindowMessages::qtTextsInGerman_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("standard button") << "QPlatformTheme" << "Cancel" << "Abbrechen";
    QTest::newRow("context menu") << "QLineEdit" << "&Undo" << "&Rückgängig";
    QTest::newRow("message box details") << "QMessageBox" << "Show Details..." << "Details einblenden...";
}

void TestWindowMessages::qtTextsInGerman()
{
    QFETCH(QString, context);
    QFETCH(QString, english);
    QFETCH(QString, german);
    static const bool installed = InstallQtTranslations(*qApp);
    QVERIFY(installed);
    QCOMPARE(QCoreApplication::translate(context.toLatin1(), english.toLatin1()), german);
}

QTEST_MAIN(TestWindowMessages)
#include "test_window_messages.moc"
