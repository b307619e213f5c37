// The export's progress dialog in the window: absent for a quick export,
// shown for a long one, and its cancel stops after the files in flight.

#include "tests/app/WindowFixture.h"
#include "app/ExportProgress.h"
#include "tests/support/EventLoopWatch.h"
#include "tests/support/TestFiles.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

using namespace ostrovel;

namespace {

// Counts progress dialogs that were shown anywhere in the application.
class ShowSpy : public QObject {
public:
    ShowSpy() { qApp->installEventFilter(this); }
    ~ShowSpy() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(watched))
            dialogs.insert(watched);
        return false;
    }
    QSet<QObject*> dialogs;
};

} // namespace

class TestExportProgress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_fx.reset(); }
    void quickExportShowsNoDialog();
    void cancelStopsAfterFilesInFlight();
    void barCountsToEntries();
    void cancelRefusesInputUntilExportEnds();
    void escapeCancels_data();
    void escapeCancels();
    void escapeAsQuickExportEndsIsDropped();
    void dialogClosedBeforeMessages();
    void slowSourceMountKeepsWindowServed_data();
    void slowSourceMountKeepsWindowServed();

private:
    std::unique_ptr<WindowFixture> m_fx;
    QTemporaryDir m_out;
};

void TestExportProgress::init()
{
    m_fx = std::make_unique<WindowFixture>();
    m_fx->populate = [this] {
        for (int i = 0; i < 16; ++i)
            m_fx->write(QString("p%1.jpg").arg(i, 2, 10, QChar('0')), testpics::jpeg(testpics::photoLike(1600, 1200, i), 90));
    };
    m_fx->openWindow();
}

void TestExportProgress::quickExportShowsNoDialog()
{
    ShowSpy spy;
    // The window's delay, scaled: a sanitizer build on a busy machine may
    // take longer than it for one file.
    m_fx->form->setProgressDelay(500 * test::kSanitizerSlowdown);
    m_fx->form->File1()->SetSelected(0, true);
    m_fx->answers << m_out.path();
    QTest::mouseClick(m_fx->form->Command2(), Qt::LeftButton);
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files).size(), 1);
    QCOMPARE(spy.dialogs.size(), 0);
}

void TestExportProgress::cancelStopsAfterFilesInFlight()
{
    Form1& form = *m_fx->form;
    form.setProgressDelay(0);
    form.setExportThreads(2);
    form.File1()->selectAll();
    ShowSpy spy;
    QString label;
    // The writer holds the second file until "Abbrechen" is clicked: exactly
    // one file is written then, whatever the speed of the machine.
    std::atomic<bool> clicked{false}, firstWriting{false};
    ExportHooks hooks;
    hooks.beforeWrite = [&](int task) {
        firstWriting = true;
        while (task >= 1 && !clicked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    form.setExportHooks(hooks);
    QTimer::singleShot(0, [&] {
        // The first file is on its way before the click: a cancel before any
        // file is taken (sources resolved slowly) would write none.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!firstWriting && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto* dialog = form.findChild<QProgressDialog*>();
        QVERIFY(dialog);
        label = dialog->labelText();
        QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton); // "Abbrechen"
        // The export polls the cancel before it serves events again.
        QTimer::singleShot(0, [&] { clicked = true; });
    });
    m_fx->answers << m_out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);

    QCOMPARE(spy.dialogs.size(), 1);
    QCOMPARE(label, QString("Speichere Vorschaubilder ..."));
    const QStringList written = QDir(m_out.path()).entryList(QDir::Files);
    QVERIFY2(written.size() >= 1 && written.size() <= 4, qPrintable(written.join(",")));
    for (int i = 0; i < form.File1()->ListCount(); ++i) {
        const bool wasWritten = i < written.size();
        QCOMPARE(written.contains("thumb_" + form.File1()->List(i).chopped(4) + ".jpg"), wasWritten);
        QCOMPARE(form.File1()->Selected(i), !wasWritten);
    }
    QVERIFY(form.Picture1()->canvas().picture().isNull());
    QVERIFY(!form.findChild<QProgressDialog*>());
}

void TestExportProgress::barCountsToEntries()
{
    QTemporaryDir many;
    QImage small(8, 6, QImage::Format_RGB32);
    small.fill(qRgb(10, 20, 30));
    const QByteArray bytes = testpics::bmp(small);
    for (int i = 0; i < 130; ++i)
        testpics::writeFile(many.filePath(QString("k%1.bmp").arg(i, 3, 10, QChar('0'))), bytes);
    Form1& form = *m_fx->form;
    m_fx->answers << many.path();
    QTest::mouseClick(form.Command1(), Qt::LeftButton);
    QVERIFY(m_fx->waitForList());
    QCOMPARE(form.File1()->ListCount(), 130);
    form.File1()->selectAll();
    form.setProgressDelay(0);
    ShowSpy spy;
    QStringList texts;
    int maximum = 0;
    QString name;
    QTimer::singleShot(0, [&] {
        auto* bar = form.findChild<QProgressDialog*>()->findChild<QProgressBar*>();
        maximum = bar->maximum();
        name = QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Name);
        QObject::connect(bar, &QProgressBar::valueChanged, [&texts, bar] { texts << bar->text(); });
    });
    QTemporaryDir out;
    m_fx->answers << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QCOMPARE(spy.dialogs.size(), 1);
    QCOMPARE(maximum, 130);
    QCOMPARE(name, QString("Gespeicherte Vorschaubilder")); // for screen readers
    QVERIFY(!texts.isEmpty());
    QCOMPARE(texts.last(), QString("130 von 130"));
    QVERIFY(texts.contains("101 von 130") || texts.size() < 30);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 130);
}

void TestExportProgress::cancelRefusesInputUntilExportEnds()
{
    Form1& form = *m_fx->form;
    form.setProgressDelay(0);
    form.setExportThreads(2);
    form.File1()->selectAll();
    QTemporaryDir out;
    bool visibleAfterCancel = false, buttonDisabled = false, exportingAfterCancel = false;
    QString label;
    qsizetype callsAfterCancel = -1;
    qsizetype filesWhenClosed = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = form.findChild<QProgressDialog*>();
        QVERIFY(dialog);
        QObject::connect(dialog, &QObject::destroyed,
                         [&] { filesWhenClosed = QDir(out.path()).entryList(QDir::Files).size(); });
        auto* button = dialog->findChild<QPushButton*>();
        QTest::mouseClick(button, Qt::LeftButton); // "Abbrechen"
        visibleAfterCancel = dialog->isVisible();
        buttonDisabled = !button->isEnabled();
        label = dialog->labelText();
        // Right after Abbrechen the window refuses the folder choice, a
        // second export, Enter and the list.
        QTest::mouseClick(form.Command1(), Qt::LeftButton);
        QTest::mouseClick(form.Command2(), Qt::LeftButton);
        QTest::keyClick(&form, Qt::Key_Return);
        callsAfterCancel = m_fx->calls.size();
        exportingAfterCancel = form.exporting();
    });
    m_fx->answers << out.path() << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);

    QVERIFY(visibleAfterCancel);
    QVERIFY(buttonDisabled);
    QCOMPARE(label, ExportProgressText(true));
    QCOMPARE(callsAfterCancel, 1); // only the first export's chooser
    QVERIFY(exportingAfterCancel);
    QVERIFY(!form.exporting());
    const qsizetype written = QDir(out.path()).entryList(QDir::Files).size();
    QVERIFY(written < 16);
    QCOMPARE(filesWhenClosed, written); // the dialog stayed until the last file was in place
    // Once it has ended, the window takes input again.
    m_fx->answers.clear();
    QTest::mouseClick(form.Command1(), Qt::LeftButton);
    QCOMPARE(m_fx->calls.size(), 2);
}

void TestExportProgress::escapeCancels_data()
{
    QTest::addColumn<bool>("toDialog");
    QTest::newRow("window") << false;
    QTest::newRow("dialog") << true;
}

// Escape cancels, never ends the program, whichever window has the focus.
void TestExportProgress::escapeCancels()
{
    QFETCH(bool, toDialog);
    Form1& form = *m_fx->form;
    form.setProgressDelay(0);
    form.setExportThreads(2);
    form.File1()->selectAll();
    // The writer holds the second file until Escape was pressed (a failure
    // must not hang the run).
    std::atomic<bool> pressed{false};
    ExportHooks hooks;
    hooks.beforeWrite = [&](int task) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (task >= 1 && !pressed && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    form.setExportHooks(hooks);
    QTimer::singleShot(0, [&] {
        auto* dialog = form.findChild<QProgressDialog*>();
        QVERIFY(dialog);
        QWidget* target = toDialog ? static_cast<QWidget*>(dialog) : form.File1();
        QTest::keyClick(target, Qt::Key_Escape);
        QTimer::singleShot(0, [&] { pressed = true; });
    });
    m_fx->answers << m_out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QTest::qWait(50); // anything held back would arrive now
    QVERIFY(!form.exporting());
    QVERIFY(form.isVisible());
    QVERIFY(QDir(m_out.path()).entryList(QDir::Files).size() < form.File1()->ListCount());
}

// An Escape that comes in as a quick export ends, after its last turn of the
// event loop and before any dialog, is dropped like all input during the
// export: it must not reach the window afterwards and end the program.
void TestExportProgress::escapeAsQuickExportEndsIsDropped()
{
    Form1& form = *m_fx->form;
    form.File1()->SetSelected(0, true);
    int posted = 0;
    QObject context;
    // The file's entry is deselected as the last thing the export does.
    connect(form.File1(), &QListWidget::itemSelectionChanged, &context, [&] {
        if (form.exporting() && posted++ == 0)
            QCoreApplication::postEvent(form.File1(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    QTemporaryDir out;
    m_fx->answers << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QCOMPARE(posted, 1);
    QTest::qWait(50); // anything held back would arrive now
    QVERIFY(form.isVisible());
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 1);
}

void TestExportProgress::dialogClosedBeforeMessages()
{
    m_fx->write("zz_kaputt.jpg", "not a picture");
    Form1& form = *m_fx->form;
    m_fx->answers << m_fx->folder->path();
    QTest::mouseClick(form.Command1(), Qt::LeftButton); // read the folder again
    QVERIFY(m_fx->waitForList());
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.setProgressDelay(0);
    form.File1()->selectAll();
    bool dialogShownWithMessage = true;
    form.setMessageSink([&](const WindowMessage& m) {
        m_fx->messages << m.text;
        const auto* dialog = form.findChild<QProgressDialog*>();
        dialogShownWithMessage = dialog && dialog->isVisible();
    });
    form.Command2()->setFocus();
    QTemporaryDir out;
    m_fx->answers << out.path();
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    QCOMPARE(m_fx->messages.size(), 1);
    QVERIFY(m_fx->messages.first().endsWith("zz_kaputt.jpg"));
    QVERIFY(!dialogShownWithMessage);
    QTRY_COMPARE(QApplication::focusWidget(), form.File1());
}

void TestExportProgress::slowSourceMountKeepsWindowServed_data()
{
    QTest::addColumn<int>("identityMs"); // how long each task's identities take
    QTest::addColumn<bool>("hung");      // the first one never answers until the test lets go
    QTest::newRow("slow mount") << 40 << false;
    QTest::newRow("hung mount, Abbrechen") << 0 << true;
}

// A source whose identity takes long, or forever, must not hold the window:
// the dialog comes up, Abbrechen works, and a slow export still completes.
void TestExportProgress::slowSourceMountKeepsWindowServed()
{
    QFETCH(int, identityMs);
    QFETCH(bool, hung);
    Form1& form = *m_fx->form;
    form.setProgressDelay(0);
    form.File1()->selectAll();
    // Shared with the resolver, which outlives an abandoned export.
    const auto letGo = std::make_shared<std::atomic<bool>>(!hung);
    const auto slow = std::make_shared<test::SlowCalls>();
    ExportHooks hooks;
    hooks.beforeIdentity = [letGo, slow, identityMs](int) {
        const test::SlowCalls::Scope scope(*slow);
        for (int ms = 0; !*letGo && ms < 5000; ++ms) // at most 5 s: a failure is no hang
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(identityMs));
    };
    form.setExportHooks(hooks);
    ShowSpy spy;
    if (hung) {
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(form.findChild<QProgressDialog*>()->findChild<QPushButton*>(), Qt::LeftButton);
        });
    }
    QTemporaryDir out;
    m_fx->answers << out.path();
    const test::EventLoopWatch watch(slow);
    QTest::mouseClick(form.Command2(), Qt::LeftButton);
    const qint64 gap = watch.longestGap();
    *letGo = true;

    QVERIFY2(gap <= test::kServedWithinMs, qPrintable(QString("the window stood still for %1 ms").arg(gap)));
    QCOMPARE(spy.dialogs.size(), 1);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), hung ? 0 : 16);
    QCOMPARE(form.File1()->selectedItems().size(), hung ? 16 : 0);
}

QTEST_MAIN(TestExportProgress)
#include "test_export_progress.moc"
