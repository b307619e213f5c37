#pragma once
// The export's progress dialog: it appears only when an export takes longer
// than about half a second, and offers to cancel.

#include "ExportJob.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <functional>

namespace ostrovel {

class ExportProgress {
public:
    /// The dialog appears once the export has run `delayMs` milliseconds.
    ExportProgress(QWidget* owner, int total, int delayMs);
    ~ExportProgress();

    /// Callbacks for ExportJob::run; `written` is called after each file lands.
    ExportCallbacks callbacks(std::function<void(int task)> written);

    /// The dialog once it has appeared; null before (tests use it).
    QProgressDialog* dialog() const { return m_dialog; }

private:
    void idle();
    void step(int task);

    QWidget* m_owner;
    int m_total;
    int m_delayMs;
    int m_done = 0;
    QElapsedTimer m_clock;
    QPointer<QProgressDialog> m_dialog;
    std::function<void(int)> m_written;
};

} // namespace ostrovel
