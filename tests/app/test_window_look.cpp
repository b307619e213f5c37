// How the window looks and reads: every text fits its box, no length limit,
// accessible names, a window placed on any screen, a light window under a dark desktop palette, the frame
// opaque over a wide canvas, where the program starts looking, and a drag
// that ends on another entry previews it.

#include "app/WindowPlacement.h"
#include "tests/app/WindowFixture.h"

#include <QAccessible>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>

using namespace ostrovel;

namespace {

// Room for text inside a control, in pixels.
int textRoom(QWidget* w)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QStyleOptionFrame opt;
        opt.initFrom(edit);
        opt.rect = edit->rect();
        opt.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit);
        return edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit).width() - 4; // Qt's 2 px each side
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin);
        const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        return button->width() - 2 * (margin + frame);
    }
    return qobject_cast<QLabel*>(w)->contentsRect().width();
}

QString shownText(QWidget* w)
{
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return QString(button->text()).remove('&');
    return qobject_cast<QLabel*>(w)->text();
}

double luminance(QColor c)
{
    const auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}

double contrast(QColor a, QColor b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette darkPalette()
{
    QPalette pal(QColor(53, 53, 53), QColor(40, 40, 40));
    pal.setColor(QPalette::WindowText, QColor(230, 230, 230));
    pal.setColor(QPalette::Base, QColor(30, 30, 30));
    pal.setColor(QPalette::Text, QColor(230, 230, 230));
    return pal;
}

const QStringList kTextControls{"Label1_0", "Text1_0", "Label2_0", "Text1_1", "Label2_1", "Label1_1", "Text2",
                                "Label1_2", "Text3",    "Command1", "Command2", "Command3"};

} // namespace

class TestWindowLook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void textsFitTheirBoxes_data();
    void textsFitTheirBoxes();
    void noLengthLimit_data();
    void noLengthLimit();
    void accessibleNames_data();
    void accessibleNames();
    void brownReadableOnDarkDesktop();
    void frameOpaqueOverWideCanvas_data();
    void frameOpaqueOverWideCanvas();
    void choosersStartInWorkingFolder();
    void dragEndingOnAnotherEntryPreviews();
    void windowOnScreen_data();
    void windowOnScreen();

private:
    Form1& form() { return *m_fx->form; }
    void open(const QFont& font);
    std::unique_ptr<WindowFixture> m_fx;
};

void TestWindowLook::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        QImage red(200, 100, QImage::Format_RGB32);
        red.fill(qRgb(220, 0, 0));
        m_fx->write("a.bmp", testpics::bmp(red));
        QImage blue(100, 200, QImage::Format_RGB32);
        blue.fill(qRgb(0, 0, 220));
        m_fx->write("b.bmp", testpics::bmp(blue));
        m_fx->write("c.bmp", testpics::bmp(red));
    };
}

void TestWindowLook::cleanup()
{
    m_fx.reset();
    QApplication::setPalette(QPalette());
}

void TestWindowLook::open(const QFont& font)
{
    QApplication::setFont(font); // the desktop's font, after the fixture's
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx->form.get()));
}

void TestWindowLook::textsFitTheirBoxes_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QFont>("desktopFont");
    for (const QString& name : kTextControls) {
        QTest::newRow(qPrintable(name + " 8 pt")) << name << QFont("DejaVu Sans", 8);
        QTest::newRow(qPrintable(name + " 11 pt desktop")) << name << QFont("DejaVu Sans", 11);
        QFont pixels("DejaVu Sans");
        pixels.setPixelSize(16);
        QTest::newRow(qPrintable(name + " 16 px desktop")) << name << pixels;
    }
}

void TestWindowLook::textsFitTheirBoxes()
{
    QFETCH(QString, control);
    QFETCH(QFont, desktopFont);
    open(desktopFont);
    auto* w = form().findChild<QWidget*>(control);
    QVERIFY(w);
    const QFontMetrics fm = w->fontMetrics();
    const int width = fm.horizontalAdvance(shownText(w));
    QVERIFY2(width <= textRoom(w), qPrintable(QString("%1 px of text in %2 px").arg(width).arg(textRoom(w))));
    QVERIFY2(fm.height() <= w->height(), qPrintable(QString("%1 px high in %2 px").arg(fm.height()).arg(w->height())));
}

void TestWindowLook::noLengthLimit_data()
{
    QTest::addColumn<QString>("control");
    for (const char* name : {"Text1_0", "Text1_1", "Text2", "Text3"})
        QTest::newRow(name) << name;
}

void TestWindowLook::noLengthLimit()
{
    QFETCH(QString, control);
    m_fx->openWindow();
    auto* edit = form().findChild<QLineEdit*>(control);
    const QString longText(40000, QChar('7'));
    edit->setText(longText);
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, "12");
    QCOMPARE(edit->text().size(), longText.size() + 2);
}

void TestWindowLook::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("width") << "Text1_0" << "Breite";
    QTest::newRow("height") << "Text1_1" << "Höhe";
    QTest::newRow("colour") << "Text2" << "Hintergrundfarbe wählen (R,G,B)";
    QTest::newRow("prefix") << "Text3" << "Dateipräfix beim speichern";
    QTest::newRow("list") << "File1" << "Bilder";
    QTest::newRow("canvas") << "Picture1" << "Vorschau";
    QTest::newRow("folder button") << "Command1" << "Bilder Verzeichnis wählen";
    QTest::newRow("save button") << "Command2" << "Als JPG speichern";
    QTest::newRow("end button") << "Command3" << "Ende";
}

void TestWindowLook::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    m_fx->openWindow();
    auto* w = form().findChild<QWidget*>(control);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
}

void TestWindowLook::brownReadableOnDarkDesktop()
{
    QApplication::setPalette(darkPalette());
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx->form.get()));
    const QImage shown = form().Frame1()->grab().toImage();
    for (int i = 0; i < 3; ++i) {
        QLabel* label = form().Label1(i);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 64, 0));
        // The background the caption is drawn on, right of its text.
        const QPoint behind = label->geometry().topRight() + QPoint(-1, 1);
        const QColor background = shown.pixelColor(behind * shown.devicePixelRatio());
        QVERIFY2(contrast(QColor(128, 64, 0), background) >= 4.5, qPrintable(background.name()));
    }
    const QColor text = form().Text2()->palette().color(QPalette::Text);
    QVERIFY(contrast(text, form().Text2()->palette().color(QPalette::Base)) >= 4.5);
}

void TestWindowLook::frameOpaqueOverWideCanvas_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("Fusion") << "Fusion";
    QTest::newRow("Windows: a frame drawn as lines only") << "Windows";
}

void TestWindowLook::frameOpaqueOverWideCanvas()
{
    QFETCH(QString, style);
    const QString previous = QApplication::style()->name(); // setStyle() deletes the old style
    QApplication::setStyle(style);
    const auto restore = qScopeGuard([previous] { QApplication::setStyle(previous); });
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx->form.get()));
    const QList<QPoint> between{QPoint(805 + 3, 300), QPoint(805 + 215, 10), QPoint(805 + 100, 177),
                                QPoint(805 + 100, 1), QPoint(805 + 110, 529)};
    const QImage before = form().grab().toImage();
    form().Text1(0)->setText("1000");
    form().Text2()->setText("0,255,0");
    FileListBox* list = form().File1();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(form().Picture1()->width(), 1000);
    QCOMPARE(form().Frame1()->x(), 805); // the canvas runs under the frame
    const QImage window = form().grab().toImage();
    // Between the frame's controls, where the canvas lies below it, the
    // frame looks as it did over nothing.
    for (const QPoint& p : between) {
        QVERIFY(window.pixelColor(p) != QColor(0, 255, 0));
        QCOMPARE(window.pixelColor(p), before.pixelColor(p));
    }
    QCOMPARE(window.pixelColor(QPoint(700, 5)), QColor(0, 255, 0)); // the canvas itself
}

void TestWindowLook::choosersStartInWorkingFolder()
{
    m_fx->openWindow(); // started in the picture folder
    const QString start = QDir::currentPath();
    QVERIFY(start != QCoreApplication::applicationDirPath());
    QDir::setCurrent(QDir::tempPath()); // later changes do not count
    QTest::mouseClick(form().Command1(), Qt::LeftButton);
    QTest::mouseClick(form().Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->calls.size(), 2);
    for (const ChooserCall& call : m_fx->calls)
        QCOMPARE(call.startPath, start);
    QCOMPARE(form().File1()->Path(), QDir(start).canonicalPath());
}

void TestWindowLook::dragEndingOnAnotherEntryPreviews()
{
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_fx->form.get()));
    FileListBox* list = form().File1();
    const QPoint from = list->visualItemRect(list->item(0)).center();
    const QPoint to = list->visualItemRect(list->item(1)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(list->viewport(), to);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(list->ListIndex(), 1);
    QVERIFY(form().previewPending()); // the drag counted as a click
    QVERIFY(m_fx->waitForPreview());
    // b.bmp is tall and blue: blue in the middle, the background at the sides.
    QCOMPARE(form().Picture1()->canvas().Image().pixel(79, 79), qRgb(0, 0, 220));
    QCOMPARE(form().Picture1()->canvas().Image().pixel(5, 79), qRgb(255, 255, 255));
}

void TestWindowLook::windowOnScreen_data()
{
    QTest::addColumn<QRect>("available"); // the screen's free area, in the window's units
    QTest::newRow("large screen") << QRect(0, 0, 1920, 1040);
    QTest::newRow("150 % on 1400 x 900") << QRect(0, 0, 933, 580);
    QTest::newRow("too narrow, right screen") << QRect(1400, 30, 900, 1000);
    QTest::newRow("too low, panel on top") << QRect(0, 40, 1600, 560);
}

// Centred where it fits; where it does not, the title bar and top-left
// corner are on the screen.
void TestWindowLook::windowOnScreen()
{
    QFETCH(QRect, available);
    Form1 window;
    const QSize client(1028, 614);
    PlaceWindow(window, client, available);
    QCOMPARE(window.size(), client);
    const QRect frame(window.pos(), client + QSize(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight)));
    const auto check = [](int start, int length, int freeStart, int freeLength) {
        const int before = start - freeStart;
        const int after = freeStart + freeLength - (start + length);
        return length <= freeLength ? std::abs(before - after) <= 1 : before == 0;
    };
    QVERIFY2(check(frame.x(), frame.width(), available.x(), available.width()), qPrintable(QString::number(frame.x())));
    QVERIFY2(check(frame.y(), frame.height(), available.y(), available.height()), qPrintable(QString::number(frame.y())));
}

QTEST_MAIN(TestWindowLook)
#include "test_window_look.moc"
