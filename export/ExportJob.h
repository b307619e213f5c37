#pragma once
// The batch export's engine: pictures are rendered and encoded on worker
// threads while their files are written strictly in list order on the
// calling thread.

#include "Canvas.h"
#include "RuntimeError.h"
#include "Settings.h"

#include <QImage>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace ostrovel {

/// One picture to export: where it is read from and where its thumbnail goes.
struct ExportTask {
    QString source;
    QString output;
};

/// What the calling thread hears while the export runs.
struct ExportCallbacks {
    std::function<void(int task)> written;  ///< task's file is in place
    std::function<bool()> cancelRequested;  ///< polled between files
    std::function<void()> idle;             ///< called about every 15 ms while waiting; none: just wait
};

/// How an export ended.
struct ExportResult {
    int written = 0;
    QList<int> unreadable;                ///< tasks whose picture could not be read (nothing written)
    std::optional<int> failedTask;        ///< the task whose file could not be written
    std::optional<RuntimeError> error;    ///< error 5 for that task
    QImage failedCanvas;                  ///< the canvas as that task's rendering left it
    QString failedPath;                   ///< the file that could not be written; empty if none
    int failedErrno = 0;                  ///< errno of the failed write; 0 if none or unknown
    bool cancelled = false;
};

class ExportJob {
public:
    /// `canvasSize` and `canvasColour` are the canvas's state before the first
    /// rendering; every rendering starts from it, as the canvas the window
    /// keeps would after applying the same settings.
    ExportJob(QList<ExportTask> tasks, ThumbnailSettings settings, QSize canvasSize, Colour canvasColour);
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    /// Runs to the end on the calling thread with `threads` workers (0: one per core).
    /// A write error at task k ends the export there: nothing after k is written.
    /// A cancel stops after the files already in flight.
    ExportResult run(const ExportCallbacks& callbacks, int threads = 0);

private:
    struct Shared;
    std::unique_ptr<Shared> m_shared;
};

} // namespace ostrovel
