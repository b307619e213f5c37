// The main window on the offscreen platform: layout, title, resizing,
// keyboard roles and the preview of a clicked file.

#include "tests/app/WindowFixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace ostrovel;

namespace {

QImage halves(int w, int h)
{
    return testpics::quadrants(w, h, qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 0, 255));
}

QRgb canvasPixel(Form1& form, int x, int y)
{
    return form.Picture1()->canvas().Image().pixel(x, y);
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_fx.reset(); }
    void titleAndSize();
    void layout_data();
    void layout();
    void tabOrder();
    void labelsAreBrown();
    void resizeKeepsFrameAtRightEdge();
    void listShowsMatchingFiles();
    void clickRendersFile_data();
    void clickRendersFile();
    void arrowKeysPreview();
    void settingsTakeEffectOnlyOnNextRendering();
    void unreadableFileKeepsPicture();
    void enterAndEscape();
    void accelerators();

private:
    Form1& form() { return *m_fx->form; }
    std::unique_ptr<WindowFixture> m_fx;
};

void TestForm1::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        m_fx->write("b_wide.bmp", testpics::bmp(halves(200, 100)));
        m_fx->write("A_tall.BMP", testpics::bmp(halves(100, 300)));
        m_fx->write("c.jpg", testpics::jpeg(halves(64, 64), 95));
        m_fx->write("notes.txt", "not listed");
        m_fx->write(".hidden.jpg", testpics::jpeg(halves(8, 8)));
        m_fx->write("broken.gif", "GIF89a broken");
        QDir(m_fx->folder->path()).mkdir("folder.jpg");
    };
    m_fx->openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
}

void TestForm1::titleAndSize()
{
    QCOMPARE(form().windowTitle(), QString("Ostrovel V1.0.0"));
    QCOMPARE(form().size(), QSize(1028, 614));
    QVERIFY(!form().windowIcon().isNull());
    QCOMPARE(form().windowIcon().pixmap(32, 32).size(), QSize(32, 32));
}

void TestForm1::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("Picture1") << "Picture1" << QRect(0, 0, 799, 611) << "";
    QTest::newRow("Frame1") << "Frame1" << QRect(805, 0, 223, 610) << "";
    QTest::newRow("Text1(0)") << "Text1_0" << QRect(6, 33, 76, 22) << "158";
    QTest::newRow("Text1(1)") << "Text1_1" << QRect(96, 33, 76, 22) << "158";
    QTest::newRow("Text2") << "Text2" << QRect(6, 78, 76, 22) << "255,255,255";
    QTest::newRow("Text3") << "Text3" << QRect(6, 123, 166, 22) << "thumb_";
    QTest::newRow("Command1") << "Command1" << QRect(6, 150, 208, 25) << "&Bilder Verzeichnis wählen";
    QTest::newRow("File1") << "File1" << QRect(6, 180, 208, 344) << "";
    QTest::newRow("Command2") << "Command2" << QRect(6, 534, 208, 31) << "Als JPG &speichern";
    QTest::newRow("Command3") << "Command3" << QRect(6, 570, 208, 31) << "&Ende";
    QTest::newRow("Label1(0)") << "Label1_0" << QRect(6, 15, 202, 16) << "Ausgabegröße wählen";
    QTest::newRow("Label1(1)") << "Label1_1" << QRect(6, 60, 202, 16) << "Hintergrundfarbe wählen (R,G,B)";
    QTest::newRow("Label1(2)") << "Label1_2" << QRect(6, 105, 202, 16) << "Dateipräfix beim speichern";
    QTest::newRow("Label2(0)") << "Label2_0" << QRect(87, 39, 13, 13) << "x";
    QTest::newRow("Label2(1)") << "Label2_1" << QRect(177, 39, 28, 13) << "Pixel";
}

void TestForm1::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    auto* widget = form().findChild<QWidget*>(control);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        QCOMPARE(edit->text(), text);
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
}

void TestForm1::tabOrder()
{
    Form1& f = form();
    QCOMPARE(f.Text1(0)->objectName(), QString("Text1_0"));
    QCOMPARE(f.Label2(1)->objectName(), QString("Label2_1"));
    const QList<QWidget*> expected{f.Text2(), f.Text1(1), f.Text1(0), f.Command3(), f.Command2(), f.Command1(), f.File1(), f.Text3()};
    f.Text2()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), f.Text2());
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[i]);
    }
    QCOMPARE(f.Picture1()->focusPolicy(), Qt::NoFocus);
    QCOMPARE(f.Label1(0)->focusPolicy(), Qt::NoFocus);
}

void TestForm1::labelsAreBrown()
{
    for (int i = 0; i < 3; ++i)
        QCOMPARE(form().Label1(i)->palette().color(QPalette::WindowText), QColor(128, 64, 0));
    QVERIFY(form().Label2(0)->palette().color(QPalette::WindowText) != QColor(128, 64, 0));
}

void TestForm1::resizeKeepsFrameAtRightEdge()
{
    const QList<int> widths{1300, 1000, 500, 100};
    for (int width : widths) {
        form().resize(width, 614);
        QCOMPARE(form().Frame1()->x(), width - 223);
        QCOMPARE(form().Frame1()->size(), QSize(223, 610));
        QCOMPARE(form().Picture1()->geometry(), QRect(0, 0, 799, 611));
    }
}

void TestForm1::listShowsMatchingFiles()
{
    QCOMPARE(form().File1()->Path(), QDir(m_fx->folder->path()).canonicalPath());
    QStringList names;
    for (int i = 0; i < form().File1()->ListCount(); ++i)
        names << form().File1()->List(i);
    QCOMPARE(names, (QStringList{"A_tall.BMP", "b_wide.bmp", "broken.gif", "c.jpg"}));
    QCOMPARE(form().File1()->selectionMode(), QAbstractItemView::ExtendedSelection);
}

void TestForm1::clickRendersFile_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QPoint>("background"); // a point the picture does not cover
    QTest::addColumn<QPoint>("red");
    QTest::addColumn<QPoint>("blue");
    QTest::addColumn<QRgb>("backgroundColour");
    // 200x100 into 158x158: drawn at (0, 39), 158 x 79.
    QTest::newRow("wide on white") << "b_wide.bmp" << "255,255,255" << QPoint(5, 38) << QPoint(5, 39) << QPoint(150, 117) << qRgb(255, 255, 255);
    QTest::newRow("wide on green") << "b_wide.bmp" << "0,128,0" << QPoint(100, 118) << QPoint(70, 60) << QPoint(90, 60) << qRgb(0, 128, 0);
    // 100x300 into 158x158: width nearest(53.33) = 53, drawn at (52, 0).
    QTest::newRow("tall") << "A_tall.BMP" << "10,20,30" << QPoint(51, 80) << QPoint(52, 80) << QPoint(104, 80) << qRgb(10, 20, 30);
}

void TestForm1::clickRendersFile()
{
    QFETCH(QString, entry);
    QFETCH(QString, colour);
    QFETCH(QPoint, background);
    QFETCH(QPoint, red);
    QFETCH(QPoint, blue);
    QFETCH(QRgb, backgroundColour);

    form().Text2()->setText(colour);
    const auto items = form().File1()->findItems(entry, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    const QRect rect = form().File1()->visualItemRect(items.first());
    QTest::mouseClick(form().File1()->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(m_fx->waitForPreview());

    QCOMPARE(form().File1()->List(form().File1()->ListIndex()), entry);
    QCOMPARE(form().Picture1()->geometry(), QRect(0, 0, 158, 158));
    QCOMPARE(canvasPixel(form(), background.x(), background.y()), backgroundColour);
    QCOMPARE(canvasPixel(form(), red.x(), red.y()), qRgb(255, 0, 0));
    QCOMPARE(canvasPixel(form(), blue.x(), blue.y()), qRgb(0, 0, 255));
    // What the window shows is what the canvas holds.
    const QImage shown = form().Picture1()->grab().toImage();
    QCOMPARE(shown.pixel(red), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(background), backgroundColour);
}

void TestForm1::arrowKeysPreview()
{
    FileListBox* list = form().File1();
    list->setFocus();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(canvasPixel(form(), 60, 5), qRgb(255, 0, 0)); // A_tall: red left half from x 52
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(list->ListIndex(), 1);
    QCOMPARE(canvasPixel(form(), 60, 5), qRgb(255, 255, 255)); // b_wide leaves the top rows white
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(list->Selected(1) && list->Selected(2));
}

void TestForm1::settingsTakeEffectOnlyOnNextRendering()
{
    FileListBox* list = form().File1();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QVERIFY(m_fx->waitForPreview());
    form().Text1(0)->setText("300");
    form().Text1(1)->setText("100.5");
    form().Text2()->setText("255,0,0");
    QCOMPARE(form().Picture1()->size(), QSize(158, 158));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(form().Picture1()->size(), QSize(300, 100)); // 100.5 rounds to even
    QCOMPARE(form().Picture1()->canvas().BackColor(), Colour(255));
}

void TestForm1::unreadableFileKeepsPicture()
{
    FileListBox* list = form().File1();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QVERIFY(m_fx->waitForPreview());
    const QImage before = form().Picture1()->canvas().picture();
    form().Text2()->setText("0,0,255");
    form().Text1(0)->setText("200");
    form().Text1(1)->setText("-5"); // rejected: the height stays
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center()); // broken.gif
    QVERIFY(m_fx->waitForPreview());
    QCOMPARE(form().Picture1()->canvas().picture(), before);
    QCOMPARE(form().Picture1()->size(), QSize(158, 158)); // width and height move together: the move is rejected
    QCOMPARE(form().Picture1()->canvas().BackColor(), Colour(0xFF0000));
    QVERIFY(m_fx->messages.isEmpty());
}

void TestForm1::enterAndEscape()
{
    form().Text1(0)->setFocus();
    QTest::keyClick(form().Text1(0), Qt::Key_Return);
    QCOMPARE(m_fx->calls.size(), 1);
    QCOMPARE(m_fx->calls.first().title, QString("Bildordner wählen"));
    QVERIFY(form().isVisible());
    QTest::keyClick(form().Text1(0), Qt::Key_Escape);
    QVERIFY(!form().isVisible());
}

void TestForm1::accelerators()
{
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    // A mnemonic clicks its button after a short press animation.
    QTest::keyClick(form().windowHandle(), Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(m_fx->calls.size(), 1);
    QTest::keyClick(form().windowHandle(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(m_fx->calls.size(), 2);
    QCOMPARE(m_fx->calls[0].title, QString("Bildordner wählen"));
    QCOMPARE(m_fx->calls[1].title, QString("Zielordner wählen"));
    QVERIFY(form().isVisible());
    QTest::keyClick(form().windowHandle(), Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(!form().isVisible());
}

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
