#include "app/ExportProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

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

} // namespace

QString ExportProgressText(bool stopping)
{
    return stopping ? QStringLiteral("Wird abgebrochen: die begonnenen Vorschaubilder werden noch gespeichert ...")
                    : QStringLiteral("Speichere Vorschaubilder ...");
}

ExportProgress::ExportProgress(QWidget* owner, int total, int delayMs)
    : m_owner(owner), m_total(total), m_delayMs(delayMs)
{
    m_clock.start();
}

ExportProgress::~ExportProgress()
{
    close();
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
    dialog->setLabelText(ExportProgressText(false));
    dialog->setCancelButton(new QPushButton(QStringLiteral("Abbrechen"), dialog));
    // Its own cancel would hide the dialog and lift the window's block
    // while files are still being written.
    QObject::disconnect(dialog, SIGNAL(canceled()), dialog, SLOT(cancel()));
    QObject::connect(dialog, &QProgressDialog::canceled, dialog, [this] { requestCancel(); });
    dialog->setWindowModality(Qt::WindowModal);
    auto* bar = new QProgressBar(dialog);
    bar->setFormat(QStringLiteral("%v von %m")); // n of m files
    dialog->setBar(bar);
    dialog->setRange(0, m_total); // a new bar counts to 100
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setValue(m_done);
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
    // Before the dialog is there to block the window, keep the user's input
    // out: the export must not see the list or the fields change under it.
    QCoreApplication::processEvents(m_dialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
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
