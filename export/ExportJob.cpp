#include "export/ExportJob.h"

#include "export/Cores.h"
#include "jpeg/JpegFile.h"
#include "common/ReadableFile.h"
#include "common/SystemReason.h"
#include "export/Render.h"
#include "jpeg/SaveError.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace ostrovel {
namespace {

// Renderings in flight share this much memory; one is always allowed, so a
// canvas larger than all of it is rendered alone.
constexpr qint64 kDefaultMemoryBudget = qint64(1) << 30;

struct Rendered {
    bool readable = false;
    QString reason;
    PreparedJpeg jpeg;
    qint64 reserved = 0; // bytes counted against the budget until written
};

// What one rendering holds at its peak: the canvas, the picture drawn into
// it at about the same size, the encoder's copy, and a margin.
qint64 renderingBytes(QSize canvas)
{
    return qint64(canvas.width()) * canvas.height() * 4 * 3 + (qint64(8) << 20);
}

// Where a file to be written will be: its folder resolved, its own name kept
// (a symbolic link there is replaced, not followed).
QString outputIdentity(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
}

// Where a file to be read really is: every link on the way resolved, the
// file's own too, even when it points at a thumbnail not written yet.
QString sourceIdentity(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            return resolved;
        info = QFileInfo(info.symLinkTarget()); // dangling: where it will point
    }
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? outputIdentity(info.filePath()) : resolved;
}

// For each task, the last earlier task whose output is this task's source:
// that file must be written before this one is read.
std::vector<int> readAfter(const std::vector<ExportTask>& tasks)
{
    std::vector<int> after(tasks.size(), -1);
    std::map<QString, int> lastOutput;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const auto found = lastOutput.find(sourceIdentity(tasks[i].source));
        if (found != lastOutput.end())
            after[i] = found->second;
        lastOutput[outputIdentity(tasks[i].output)] = int(i);
    }
    return after;
}

} // namespace

struct ExportJob::Shared {
    // Never changed once the threads run: read by them without the lock.
    std::vector<ExportTask> tasks;
    ThumbnailSettings settings;
    QSize canvasSize;
    Colour canvasColour = 0;
    std::vector<int> readAfter;
    qint64 renderBytes = 0;
    qint64 memoryBudget = kDefaultMemoryBudget;
    ExportHooks hooks;

    std::mutex mutex;
    std::condition_variable workAvailable; // workers wait here
    std::condition_variable resultReady;   // the writer waits here
    std::condition_variable progress;      // the calling thread waits here
    int next = 0;        // next task to render
    int limit = 0;       // tasks from here on are not rendered (cancel, write error)
    int toWrite = 0;     // next task the writer lands; all before it are done with
    int aheadLimit = 1;  // how far rendering may run ahead of writing
    int rendering = 0;   // renderings in flight
    qint64 reserved = 0; // bytes counted against the memory budget
    bool stop = false;
    bool writerDone = false;
    std::map<int, Rendered> results;
    std::deque<int> landed; // written, not yet reported to the calling thread
    ExportResult result;

    bool mayStart(int task) const
    {
        return task < limit && task - toWrite < aheadLimit && readAfter[std::size_t(task)] < toWrite
               && (reserved == 0 || reserved + renderBytes <= memoryBudget);
    }
    bool writeReady() const { return !writerDone && (toWrite >= limit || results.count(toWrite)); }

    Rendered render(int task, QImage* canvasOut = nullptr) const noexcept;
    void renderStep(std::unique_lock<std::mutex>& lock);
    void writeStep(std::unique_lock<std::mutex>& lock);
    bool land(int task, Rendered& r, int& errnum) const noexcept;
    void recordFailure(int task, int status, int errnum, QImage canvas);
    void work();
    void write();

    // Stops and joins every thread of a run, however run() is left.
    class Threads {
    public:
        explicit Threads(Shared& shared) : m_shared(shared) {}
        ~Threads();
        Threads(const Threads&) = delete;
        Threads& operator=(const Threads&) = delete;
        /// False when the system refuses another thread.
        bool start(std::function<void()> body);

    private:
        Shared& m_shared;
        std::vector<std::thread> m_threads;
    };
};

ExportJob::Shared::Threads::~Threads()
{
    {
        std::lock_guard lock(m_shared.mutex);
        m_shared.stop = true;
    }
    m_shared.workAvailable.notify_all();
    m_shared.resultReady.notify_all();
    for (auto& thread : m_threads)
        thread.join();
}

bool ExportJob::Shared::Threads::start(std::function<void()> body)
{
    try {
        m_threads.emplace_back(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

Rendered ExportJob::Shared::render(int task, QImage* canvasOut) const noexcept
{
    Rendered r;
    try {
        if (hooks.beforeRender)
            hooks.beforeRender(task);
        Canvas canvas(canvasSize, canvasColour);
        const RenderOutcome outcome = RenderThumbnail(canvas, settings, tasks[std::size_t(task)].source);
        r.readable = outcome.loaded;
        r.reason = outcome.reason;
        if (!r.readable)
            return r;
        r.jpeg = PrepareJpeg(canvas.Image(), kExportQuality);
        if (canvasOut)
            *canvasOut = canvas.Image();
        // Memory that runs out for one picture skips that picture; the
        // export goes on (the file itself was never touched).
        if (r.jpeg.status == kStatusOutOfMemory && !canvasOut) {
            r = Rendered{};
            r.reason = QStringLiteral("not enough memory");
        }
    } catch (const std::bad_alloc&) {
        r = Rendered{};
        r.reason = QStringLiteral("not enough memory");
    }
    return r;
}

// One rendering, from the lock's holder; the lock is let go meanwhile.
void ExportJob::Shared::renderStep(std::unique_lock<std::mutex>& lock)
{
    const int task = next++;
    ++rendering;
    reserved += renderBytes;
    lock.unlock();
    Rendered r = render(task);
    lock.lock();
    --rendering;
    reserved -= renderBytes;
    r.reserved = r.jpeg.bytes.size();
    reserved += r.reserved;
    results[task] = std::move(r);
    resultReady.notify_all();
    workAvailable.notify_all();
    progress.notify_all();
}

void ExportJob::Shared::work()
{
    std::unique_lock lock(mutex);
    for (;;) {
        workAvailable.wait(lock, [this] { return stop || mayStart(next); });
        if (stop)
            return;
        renderStep(lock);
    }
}

// Writes one rendered task; false when the file could not be written.
bool ExportJob::Shared::land(int task, Rendered& r, int& errnum) const noexcept
{
    if (hooks.beforeWrite)
        hooks.beforeWrite(task);
    try {
        r.jpeg.status = ReplaceWithJpeg(tasks[std::size_t(task)].output, r.jpeg, &errnum);
    } catch (const std::bad_alloc&) {
        r.jpeg.status = kStatusOutOfMemory;
    }
    return r.jpeg.status == kStatusOk;
}

void ExportJob::Shared::recordFailure(int task, int status, int errnum, QImage canvas)
{
    const RuntimeError error = SaveError(status);
    QString reason;
    if (errnum != 0)
        reason = SystemReason(errnum);
    else if (status == kStatusOutOfMemory)
        reason = QStringLiteral("not enough memory");
    else if (status == kStatusInvalidParameter)
        reason = QStringLiteral("the picture cannot be encoded");
    else
        reason = error.description();
    result.writeFailure = WriteFailure{task, error, tasks[std::size_t(task)].output, errnum, reason, std::move(canvas)};
}

// Lands the next task in list order, from the lock's holder.
void ExportJob::Shared::writeStep(std::unique_lock<std::mutex>& lock)
{
    if (toWrite >= limit) {
        writerDone = true;
        progress.notify_all();
        return;
    }
    const int task = toWrite;
    Rendered r = std::move(results[task]);
    results.erase(task);
    bool ok = true;
    int errnum = 0;
    QImage failedCanvas;
    lock.unlock();
    if (r.readable) {
        ok = land(task, r, errnum);
        if (!ok)
            render(task, &failedCanvas); // rare: drawn again rather than kept for every file
    }
    lock.lock();
    reserved -= r.reserved;
    if (!r.readable) {
        result.unreadable << UnreadableTask{task, r.reason};
    } else if (ok) {
        ++result.written;
        landed.push_back(task);
    } else {
        recordFailure(task, r.jpeg.status, errnum, std::move(failedCanvas));
        limit = next; // nothing more is started; what is in flight is dropped
        writerDone = true;
    }
    toWrite = task + 1;
    workAvailable.notify_all();
    progress.notify_all();
}

void ExportJob::Shared::write()
{
    std::unique_lock lock(mutex);
    while (!writerDone) {
        resultReady.wait(lock, [this] { return stop || writeReady(); });
        if (stop)
            return;
        writeStep(lock);
    }
}

ExportJob::ExportJob(const QList<ExportTask>& tasks, ThumbnailSettings settings, QSize canvasSize,
                     Colour canvasColour)
    : m_shared(std::make_unique<Shared>())
{
    Shared& s = *m_shared;
    s.tasks.assign(tasks.cbegin(), tasks.cend());
    s.readAfter = readAfter(s.tasks);
    s.limit = int(s.tasks.size());
    s.settings = std::move(settings);
    s.canvasSize = canvasSize;
    s.canvasColour = canvasColour;
}

ExportJob::~ExportJob() = default;

void ExportJob::setHooks(ExportHooks hooks)
{
    m_shared->hooks = std::move(hooks);
    if (m_shared->hooks.memoryBudget > 0)
        m_shared->memoryBudget = m_shared->hooks.memoryBudget;
}

ExportResult ExportJob::run(const ExportCallbacks& callbacks, int threads)
{
    Shared& s = *m_shared;
    if (threads <= 0)
        threads = UsableCores(); // honours taskset and a container's CPU quota
    s.aheadLimit = threads + 1; // bounded memory, whatever the number of files
    s.renderBytes = renderingBytes(s.canvasSize);

    Shared::Threads running(s);
    int workers = 0;
    while (workers < threads && running.start([&s] { s.work(); }))
        ++workers;
    const bool writer = running.start([&s] { s.write(); });
    bool cancelled = false;

    std::unique_lock lock(s.mutex);
    for (;;) {
        while (!s.landed.empty()) {
            const int task = s.landed.front();
            s.landed.pop_front();
            lock.unlock();
            if (callbacks.written)
                callbacks.written(task);
            lock.lock();
        }
        if (s.writerDone && s.rendering == 0)
            break;
        // Roles no thread could be started for are done here.
        if (workers == 0 && s.mayStart(s.next))
            s.renderStep(lock);
        else if (!writer && s.writeReady())
            s.writeStep(lock);
        else
            s.progress.wait_for(lock, std::chrono::milliseconds(15));
        lock.unlock();
        if (!cancelled && callbacks.cancelRequested && callbacks.cancelRequested()) {
            cancelled = true;
            std::lock_guard relock(s.mutex);
            s.limit = std::min(s.limit, s.next);
            s.resultReady.notify_all();
        }
        if (callbacks.idle)
            callbacks.idle();
        lock.lock();
    }
    ExportResult result = std::move(s.result);
    result.cancelled = cancelled;
    return result;
}

} // namespace ostrovel
