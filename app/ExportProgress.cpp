#include "app/ExportProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>

namespace ostrovel {
namespace {

// Escape and the window's close button ask to cancel like "Abbrechen"; the
// dialog itself stays until the export has ended.
class StoppableProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void reject() override { Q_EMIT canceled(); }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        Q_EMIT canceled();
    }
};

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

bool isEscape(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return key->key() == Qt::Key_Escape
           && (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier);
}

} // namespace

// While an export runs, Escape anywhere in the program asks to cancel, and
// other input goes only to the progress dialog. Input to the window is
// dropped, not held back: held input would reach the window after the export
// (an Escape then would end the program).
class ExportProgress::InputGate : public QObject {
public:
    explicit InputGate(ExportProgress& progress) : m_progress(progress) { qApp->installEventFilter(this); }
    ~InputGate() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!isUserInput(event->type()))
            return false;
        if (isEscape(event)) {
            // Accepted, an override turns into a key press instead of
            // reaching the dialog's own Escape shortcut.
            event->accept();
            if (event->type() == QEvent::KeyPress)
                m_progress.requestCancel();
            return true;
        }
        if (inDialog(watched))
            return false;
        if (event->type() == QEvent::ShortcutOverride)
            event->accept(); // no shortcut of the window fires
        return true;
    }

private:
    bool inDialog(QObject* watched) const
    {
        const QProgressDialog* dialog = m_progress.m_dialog;
        if (!dialog)
            return false;
        if (auto* widget = qobject_cast<QWidget*>(watched))
            return widget->window() == dialog;
        return watched == dialog->windowHandle();
    }

    ExportProgress& m_progress;
};

QString ExportProgressText(bool stopping)
{
    return stopping ? QStringLiteral("Wird abgebrochen: die begonnenen Vorschaubilder werden noch gespeichert ...")
                    : QStringLiteral("Speichere Vorschaubilder ...");
}

ExportProgress::ExportProgress(QWidget* owner, int total, int delayMs)
    : m_owner(owner), m_total(total), m_delayMs(delayMs), m_gate(std::make_unique<InputGate>(*this))
{
    m_clock.start();
}

ExportProgress::~ExportProgress()
{
    close();
    // Input that came in as the export ended, after its last turn of the
    // event loop, is dropped by the gate too: held back, it would reach the
    // window afterwards (an Escape would end the program).
    QCoreApplication::processEvents();
}

void ExportProgress::close()
{
    delete m_dialog.data();
}

ExportCallbacks ExportProgress::callbacks(std::function<void(int task)> written)
{
    m_written = std::move(written);
    ExportCallbacks c;
    c.written = [this](int task) { step(task); };
    c.cancelRequested = [this] { return m_cancel; };
    c.idle = [this] { idle(); };
    return c;
}

void ExportProgress::show()
{
    auto* dialog = new StoppableProgressDialog(m_owner);
    m_dialog = dialog;
    dialog->setObjectName(QStringLiteral("ExportProgress"));
    dialog->setWindowTitle(QStringLiteral("Ostrovel"));
    dialog->setLabelText(ExportProgressText(m_cancel));
    // The dialog's own button, renamed: a second button would bring a second
    // Escape shortcut, and two make Escape do nothing.
    dialog->setCancelButtonText(QStringLiteral("Abbrechen"));
    // Its own cancel would hide the dialog and lift the window's block
    // while files are still being written.
    QObject::disconnect(dialog, SIGNAL(canceled()), dialog, SLOT(cancel()));
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [this] { requestCancel(); });
    // Not modal: the gate already keeps input away from the window, and Qt
    // would drop a key pressed in a blocked window before any filter saw it,
    // an Escape included.
    dialog->setWindowModality(Qt::NonModal);
    auto* bar = new QProgressBar(dialog);
    bar->setFormat(QStringLiteral("%v von %m")); // n of m files
    bar->setAccessibleName(QStringLiteral("Gespeicherte Vorschaubilder"));
    dialog->setBar(bar);
    dialog->setRange(0, m_total); // a new bar counts to 100
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setValue(m_done);
    if (m_cancel)
        requestCancel(); // asked by Escape before the dialog was there
    dialog->show();
}

void ExportProgress::requestCancel()
{
    m_cancel = true;
    if (!m_dialog)
        return;
    m_dialog->setLabelText(ExportProgressText(true));
    if (auto* button = m_dialog->findChild<QPushButton*>())
        button->setEnabled(false);
}

void ExportProgress::idle()
{
    if (!m_dialog && m_clock.elapsed() >= m_delayMs)
        show();
    // The gate keeps the user's input away from the window: the export must
    // not see the list or the fields change under it.
    QCoreApplication::processEvents();
}

void ExportProgress::step(int task)
{
    ++m_done;
    if (m_written)
        m_written(task);
    if (m_dialog)
        m_dialog->setValue(m_done);
}

} // namespace ostrovel
