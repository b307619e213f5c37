#pragma once
// The batch export's engine: pictures are rendered and encoded on worker
// threads, their files written strictly in list order on a writer thread,
// while the calling thread only hears of the progress.

#include "picture/Canvas.h"
#include "common/RuntimeError.h"
#include "export/Settings.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace ostrovel {

/// One picture to export: where it is read from and where its thumbnail goes.
struct ExportTask {
    QString source;
    QString output;
};

/// What the calling thread hears while the export runs; every callback is
/// called on the calling thread.
struct ExportCallbacks {
    std::function<void(int task)> written;  ///< task's file is in place (in list order)
    /// task's picture could not be read, or its thumbnail cannot be named
    /// (in list order). When set, such tasks are told here only and not kept
    /// in the result: a list of any length then holds no memory for them.
    std::function<void(int task, const QString& reason)> unreadable;
    std::function<bool()> cancelRequested;  ///< polled about every 15 ms
    std::function<void()> idle;             ///< called about every 15 ms while the export runs
};

/// A task whose picture could not be read, or whose thumbnail's name is
/// longer than its folder allows: nothing was written for it.
struct UnreadableTask {
    int task = 0;
    QString reason; ///< in English ("not a regular file", "File name too long")
};

/// The write that ended an export.
struct WriteFailure {
    int task = 0;       ///< the task whose file could not be written
    RuntimeError error; ///< error 5 for it
    QString path;       ///< the file that could not be written
    int errnum = 0;     ///< the system's error number; 0 when it was not the system's
    QString reason;     ///< in English ("File name too long"); never empty
    QImage canvas;      ///< the canvas as that task's rendering left it
};

/// How an export ended.
struct ExportResult {
    int written = 0;
    QList<UnreadableTask> unreadable;         ///< in list order
    std::optional<WriteFailure> writeFailure; ///< nothing after its task was written
    bool cancelled = false;
};

/// Test hooks: slow parts of an export on purpose.
struct ExportHooks {
    std::function<void(int task)> beforeIdentity; ///< on its own thread, before each task's files are resolved
    std::function<void(int task)> beforeRender; ///< on a worker, before each rendering
    std::function<void(int task)> afterRender;  ///< on a worker, after each rendering
    std::function<void(int task)> beforeWrite;  ///< on the writer, before each file is written
    qint64 memoryBudget = 0;                    ///< bytes renderings in flight may share; 0: the default
};

/// Bytes a rendering of `source` into a canvas of `canvasSize` holds at its
/// peak: the picture as it will be decoded (told from its header), the
/// canvas, the encoder's copy and a margin.
qint64 RenderingBytes(const QString& source, QSize canvasSize);

class ExportJob {
public:
    /// `canvasSize` and `canvasColour` are the canvas's state before the first
    /// rendering; every rendering starts from it, as the canvas the window
    /// keeps would after applying the same settings.
    ExportJob(const QList<ExportTask>& tasks, ThumbnailSettings settings, QSize canvasSize, Colour canvasColour);
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    /// Runs to the end with `threads` workers (0: one per usable core) and a
    /// writer; the calling thread waits, calling back. A rendering starts
    /// only when what it will hold (its picture as decoded, told from the
    /// header, the canvas and the encoder) fits in the memory budget beside
    /// those in flight; one alone always may. Threads that cannot be
    /// started are done without (at worst everything runs on the calling
    /// thread). A write error at task k ends the export there: nothing after
    /// k is written. A cancel stops after the files already in flight. Every
    /// thread has ended when run() returns or throws.
    ExportResult run(const ExportCallbacks& callbacks, int threads = 0);

    /// Replaces the test hooks.
    void setHooks(ExportHooks hooks);

    /// More tasks after the list given: `more` is asked on the calling
    /// thread, only as far as the job has room for them, until it gives
    /// nothing. It may block (a slow pipe); the tasks in flight go on
    /// meanwhile, the callbacks wait.
    void setMoreTasks(std::function<std::optional<ExportTask>()> more);

private:
    struct Shared;
    std::unique_ptr<Shared> m_shared;
};

} // namespace ostrovel
