// The export's progress dialog in the window: absent for a quick export,
// shown for a long one, and its cancel stops after the files in flight.

#include "WindowFixture.h"

#include <QProgressDialog>
#include <QTest>
#include <QTimer>

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
    QTimer::singleShot(0, [&] {
        auto* dialog = form.findChild<QProgressDialog*>();
        QVERIFY(dialog);
        label = dialog->labelText();
        QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton); // "Abbrechen"
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

QTEST_MAIN(TestExportProgress)
#include "test_export_progress.moc"
