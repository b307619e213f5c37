#include "ExportJob.h"

#include "Cores.h"
#include "Export.h"
#include "JpegFile.h"
#include "Render.h"
#include "SaveError.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace ostrovel {
namespace {

struct Rendered {
    bool readable = false;
    PreparedJpeg jpeg;
};

// The same file reached by two spellings counts as one.
QString identity(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// For each task, the last earlier task whose output is this task's source:
// that file must be written before this one is read.
std::vector<int> readAfter(const QList<ExportTask>& tasks)
{
    std::vector<int> after(std::size_t(tasks.size()), -1);
    std::map<QString, int> lastOutput;
    for (int i = 0; i < int(tasks.size()); ++i) {
        const auto found = lastOutput.find(identity(tasks[i].source));
        if (found != lastOutput.end())
            after[std::size_t(i)] = found->second;
        lastOutput[identity(tasks[i].output)] = i;
    }
    return after;
}

} // namespace

struct ExportJob::Shared {
    QList<ExportTask> tasks;
    ThumbnailSettings settings;
    QSize canvasSize;
    Colour canvasColour = 0;
    std::vector<int> readAfter;

    std::mutex mutex;
    std::condition_variable workAvailable;
    std::condition_variable resultReady;
    int next = 0;        // next task to hand out
    int limit = 0;       // tasks from here on are not handed out (cancel)
    int handled = 0;     // tasks the writer is done with, in order
    int aheadLimit = 1;  // how far rendering may run ahead of writing
    bool stop = false;
    std::map<int, Rendered> results;

    Rendered render(int task, QImage* canvasOut = nullptr) const;
    bool mayStart(int task) const
    {
        return task < limit && task - handled < aheadLimit && readAfter[std::size_t(task)] < handled;
    }
    void work();
    Rendered waitFor(int task, const ExportCallbacks& callbacks);
    int cancel();
    void finish(int task);
    bool land(int task, Rendered& r, const ExportCallbacks& callbacks, ExportResult& result);
};

Rendered ExportJob::Shared::render(int task, QImage* canvasOut) const
{
    Rendered r;
    Canvas canvas(canvasSize, canvasColour);
    r.readable = RenderThumbnail(canvas, settings, tasks[task].source).loaded;
    if (!r.readable)
        return r;
    const QImage image = canvas.Image();
    r.jpeg = PrepareJpeg(image, kExportQuality);
    if (canvasOut)
        *canvasOut = image;
    return r;
}

void ExportJob::Shared::work()
{
    std::unique_lock lock(mutex);
    for (;;) {
        workAvailable.wait(lock, [this] { return stop || mayStart(next); });
        if (stop)
            return;
        const int task = next++;
        lock.unlock();
        Rendered r = render(task);
        lock.lock();
        results[task] = std::move(r);
        resultReady.notify_all();
    }
}

ExportJob::ExportJob(QList<ExportTask> tasks, ThumbnailSettings settings, QSize canvasSize, Colour canvasColour)
    : m_shared(std::make_unique<Shared>())
{
    m_shared->readAfter = readAfter(tasks);
    m_shared->tasks = std::move(tasks);
    m_shared->limit = int(m_shared->tasks.size());
    m_shared->settings = std::move(settings);
    m_shared->canvasSize = canvasSize;
    m_shared->canvasColour = canvasColour;
}

ExportJob::~ExportJob() = default;

Rendered ExportJob::Shared::waitFor(int task, const ExportCallbacks& callbacks)
{
    std::unique_lock lock(mutex);
    while (!results.count(task)) {
        if (!callbacks.idle) {
            resultReady.wait(lock);
            continue;
        }
        resultReady.wait_for(lock, std::chrono::milliseconds(15));
        lock.unlock();
        callbacks.idle();
        lock.lock();
    }
    Rendered r = std::move(results[task]);
    results.erase(task);
    return r;
}

// Stops handing out work; what is already in flight still lands.
int ExportJob::Shared::cancel()
{
    std::lock_guard lock(mutex);
    limit = next;
    return limit;
}

void ExportJob::Shared::finish(int task)
{
    std::lock_guard lock(mutex);
    handled = task + 1;
    workAvailable.notify_all();
}

// Writes one rendered task; false when the export must end here.
bool ExportJob::Shared::land(int task, Rendered& r, const ExportCallbacks& callbacks, ExportResult& result)
{
    if (!r.readable) {
        result.unreadable << task;
        return true;
    }
    const int status = ReplaceWithJpeg(tasks[task].output, r.jpeg);
    if (status != kStatusOk) {
        result.failedTask = task;
        result.error = SaveError(status);
        render(task, &result.failedCanvas); // rare: drawn again rather than kept for every file
        return false;
    }
    ++result.written;
    if (callbacks.written)
        callbacks.written(task);
    return true;
}

ExportResult ExportJob::run(const ExportCallbacks& callbacks, int threads)
{
    Shared& s = *m_shared;
    if (threads <= 0)
        threads = UsableCores(); // honours taskset and a container's CPU quota
    s.aheadLimit = threads + 1; // bounded memory, whatever the number of files
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([&s] { s.work(); });

    ExportResult result;
    int end = int(s.tasks.size());
    for (int task = 0; task < end; ++task) {
        if (!result.cancelled && callbacks.cancelRequested && callbacks.cancelRequested()) {
            result.cancelled = true;
            end = s.cancel();
            if (task >= end)
                break;
        }
        Rendered r = s.waitFor(task, callbacks);
        if (!s.land(task, r, callbacks, result))
            break;
        s.finish(task);
    }
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
        s.workAvailable.notify_all();
    }
    for (auto& worker : workers)
        worker.join();
    return result;
}

} // namespace ostrovel
