#pragma once
// The export's progress dialog: it appears only when an export takes longer
// than about half a second, and offers to cancel. A cancel keeps it up,
// saying so, until the files already in flight are written.

#include "export/ExportJob.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

#include <functional>
#include <memory>

namespace ostrovel {

class ExportProgress {
public:
    /// The dialog appears once the export has run `delayMs` milliseconds.
    ExportProgress(QWidget* owner, int total, int delayMs);
    ~ExportProgress();
    ExportProgress(const ExportProgress&) = delete;
    ExportProgress& operator=(const ExportProgress&) = delete;

    /// Callbacks for ExportJob::run; `written` is called after each file lands.
    ExportCallbacks callbacks(std::function<void(int task)> written);

    /// The dialog once it has appeared; null before and after (tests use it).
    QProgressDialog* dialog() const { return m_dialog; }

    /// Closes the dialog; call before any message about the export.
    void close();

private:
    class InputGate;
    void idle();
    void step(int task);
    void show();
    void requestCancel();

    QWidget* m_owner;
    int m_total;
    int m_delayMs;
    int m_done = 0;
    bool m_cancel = false;
    QElapsedTimer m_clock;
    QPointer<QProgressDialog> m_dialog;
    std::function<void(int)> m_written;
    std::unique_ptr<InputGate> m_gate;
};

/// The dialog's text while files are written, and after "Abbrechen".
QString ExportProgressText(bool stopping);

} // namespace ostrovel
