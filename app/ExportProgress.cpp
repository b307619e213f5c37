#include "ExportProgress.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace ostrovel {

ExportProgress::ExportProgress(QWidget* owner, int total, int delayMs)
    : m_owner(owner), m_total(total), m_delayMs(delayMs)
{
    m_clock.start();
}

ExportProgress::~ExportProgress()
{
    delete m_dialog.data();
}

ExportCallbacks ExportProgress::callbacks(std::function<void(int task)> written)
{
    m_written = std::move(written);
    ExportCallbacks c;
    c.written = [this](int task) { step(task); };
    c.cancelRequested = [this] { return m_dialog && m_dialog->wasCanceled(); };
    c.idle = [this] { idle(); };
    return c;
}

void ExportProgress::idle()
{
    if (!m_dialog && m_clock.elapsed() >= m_delayMs) {
        m_dialog = new QProgressDialog(QStringLiteral("Speichere Vorschaubilder ..."), QStringLiteral("Abbrechen"), 0,
                                       m_total, m_owner);
        m_dialog->setObjectName(QStringLiteral("ExportProgress"));
        m_dialog->setWindowTitle(QStringLiteral("Ostrovel"));
        m_dialog->setWindowModality(Qt::WindowModal);
        auto* bar = new QProgressBar(m_dialog);
        bar->setFormat(QStringLiteral("%v von %m")); // n of m files
        m_dialog->setBar(bar);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setValue(m_done);
        m_dialog->show();
    }
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
