// The status line's text: caption, middle elision and the 80 px margin.
// Needs a QApplication for fonts, so QTEST_MAIN on the offscreen platform.

#include "chooser/StatusLine.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QtTest>

#include <climits>

using ostrovel::StatusLineText;

namespace {

const int kCaptionWidth = 50;

QString caption() { return QStringLiteral("Auswahl: "); }

/// DejaVu Sans widened by word spacing (the caption's one blank) so that
/// the caption measures exactly 50 px; the test paths have no blanks.
QFont fiftyPixelCaptionFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(10);
    for (int round = 0; round < 5; ++round) {
        const int width = QFontMetrics(font).horizontalAdvance(caption());
        if (width == kCaptionWidth)
            break;
        font.setWordSpacing(font.wordSpacing() + (kCaptionWidth - width));
    }
    return font;
}

/// A path of folder names grown a character at a time until it is at least
/// `minWidth` px wide.
QString pathAtLeast(const QFontMetrics& metrics, int minWidth)
{
    const QString pattern = QStringLiteral("/Bilder/Urlaub_2023/Sommer/Kroatien/Insel_Krk/Strand");
    QString path;
    for (int i = 0; metrics.horizontalAdvance(path) < minWidth; ++i)
        path += pattern.at(i % pattern.size());
    return path;
}

} // namespace

class TestStatusLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void emptyPathGivesEmptyText_data();
    void emptyPathGivesEmptyText();
    void pathThatFitsIsShownWhole_data();
    void pathThatFitsIsShownWhole();
    void longPathIsElidedInTheMiddle_data();
    void longPathIsElidedInTheMiddle();
    void tooNarrowForTheEllipsis_data();
    void tooNarrowForTheEllipsis();

private:
    QFontMetrics metrics() const { return QFontMetrics(m_font); }
    QFont m_font;
};

void TestStatusLine::initTestCase()
{
    m_font = fiftyPixelCaptionFont();
    QCOMPARE(QFontInfo(m_font).family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(metrics().horizontalAdvance(caption()), kCaptionWidth);
}

void TestStatusLine::emptyPathGivesEmptyText_data()
{
    QTest::addColumn<int>("statusWidth");
    QTest::newRow("wide line") << 300;
    QTest::newRow("zero width") << 0;
    QTest::newRow("negative width") << -40;
}

void TestStatusLine::emptyPathGivesEmptyText()
{
    QFETCH(int, statusWidth);
    QCOMPARE(StatusLineText(QString(), statusWidth, metrics()), QString());
}

void TestStatusLine::pathThatFitsIsShownWhole_data()
{
    QTest::addColumn<int>("statusWidth");
    QTest::addColumn<int>("pathWidth");
    QTest::newRow("short path") << 300 << 120;
    // Wider than the 250 px beside the caption, within 330 with the margin.
    QTest::newRow("inside the 80 px margin") << 300 << 270;
    QTest::newRow("margin on a wide line") << 600 << 600;
    QTest::newRow("huge line") << INT_MAX << 400;
}

void TestStatusLine::pathThatFitsIsShownWhole()
{
    QFETCH(int, statusWidth);
    QFETCH(int, pathWidth);
    const QString path = pathAtLeast(metrics(), pathWidth);
    QVERIFY(metrics().horizontalAdvance(path) <= qint64(statusWidth) - kCaptionWidth + 80 - 5);
    QCOMPARE(StatusLineText(path, statusWidth, metrics()), caption() + path);
}

void TestStatusLine::longPathIsElidedInTheMiddle_data()
{
    QTest::addColumn<int>("statusWidth");
    QTest::addColumn<int>("pathWidth");
    QTest::newRow("300 px line: 330 px for the path") << 300 << 340;
    QTest::newRow("300 px line, very long path") << 300 << 900;
    QTest::newRow("narrow line") << 100 << 400;
    QTest::newRow("wide line") << 800 << 1200;
}

void TestStatusLine::longPathIsElidedInTheMiddle()
{
    QFETCH(int, statusWidth);
    QFETCH(int, pathWidth);
    const QString path = pathAtLeast(metrics(), pathWidth);
    const QString text = StatusLineText(path, statusWidth, metrics());

    QVERIFY2(text.startsWith(caption()), qPrintable(text));
    const QString shortened = text.mid(caption().size());
    const int room = statusWidth - kCaptionWidth + 80;
    QVERIFY(metrics().horizontalAdvance(shortened) <= room);
    // Uses the margin: longer than the room beside the caption alone.
    QVERIFY(metrics().horizontalAdvance(shortened) > room - 80);

    const qsizetype ellipsis = shortened.indexOf(QChar(0x2026));
    QVERIFY2(ellipsis > 0, qPrintable(shortened));
    const QString head = shortened.left(ellipsis);
    const QString tail = shortened.mid(ellipsis + 1);
    QVERIFY(!tail.isEmpty());
    QVERIFY(path.startsWith(head));
    QVERIFY(path.endsWith(tail));
}

void TestStatusLine::tooNarrowForTheEllipsis_data()
{
    const int ellipsisWidth = metrics().horizontalAdvance(QChar(0x2026));
    QTest::addColumn<int>("statusWidth");
    QTest::addColumn<QString>("expectedPath"); // "*" stands for the whole path
    QTest::newRow("room just for the ellipsis") << ellipsisWidth + kCaptionWidth - 80 << QStringLiteral("\u2026");
    QTest::newRow("room below the ellipsis") << ellipsisWidth + kCaptionWidth - 81 << QStringLiteral("*");
    QTest::newRow("no room") << kCaptionWidth - 80 << QStringLiteral("*");
    QTest::newRow("negative room") << -300 << QStringLiteral("*");
}

void TestStatusLine::tooNarrowForTheEllipsis()
{
    QFETCH(int, statusWidth);
    QFETCH(QString, expectedPath);
    const QString path = pathAtLeast(metrics(), 300);
    const QString expected = caption() + (expectedPath == QLatin1String("*") ? path : expectedPath);
    QCOMPARE(StatusLineText(path, statusWidth, metrics()), expected);
}

QTEST_MAIN(TestStatusLine)
#include "test_status_line.moc"
