#include "export/ExportJob.h"

#include "export/Cores.h"
#include "export/IdentityResolver.h"
#include "jpeg/JpegFile.h"
#include "common/ReadableFile.h"
#include "common/SystemReason.h"
#include "export/Paths.h"
#include "export/Render.h"
#include "picture/LargeImage.h"
#include "picture/LoadFootprint.h"
#include "jpeg/SaveError.h"

#include <QThread>

#include <chrono>
#include <climits>
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
constexpr QLatin1StringView kNoMemory("not enough memory");

struct Rendered {
    bool readable = false;
    QString reason;
    PreparedJpeg jpeg;
    qint64 reserved = 0; // bytes counted against the budget until written
};

// A task landed by the writer, not yet told to the calling thread.
struct Landed {
    int task = 0;
    bool written = false;
    QString reason; // why not
    QString output;
};

} // namespace

qint64 RenderingBytes(const QString& source, QSize canvasSize)
{
    const qint64 canvas = qint64(canvasSize.width()) * canvasSize.height() * 4;
    return EstimateLoadFootprint(source, canvasSize).bytes + 3 * canvas + (qint64(8) << 20);
}

struct ExportJob::Shared {
    // One task not yet written, with what its start waits for.
    struct Entry {
        ExportTask task;
        QString outputId;
        int readAfter = -1; // the last earlier task whose output is this task's source
        qint64 cost = -1;   // bytes its rendering holds; -1: not estimated yet
    };

    // Never changed once the threads run: read by them without the lock.
    ThumbnailSettings settings;
    QSize canvasSize;
    Colour canvasColour = 0;
    qint64 memoryBudget = kDefaultMemoryBudget;
    ExportHooks hooks;
    // The calling thread's alone.
    QList<ExportTask> given;
    qsizetype givenTaken = 0;
    std::function<std::optional<ExportTask>()> more;

    std::mutex mutex;
    std::condition_variable workAvailable; // workers wait here
    std::condition_variable resultReady;   // the writer waits here
    std::condition_variable progress;      // the calling thread waits here
    std::deque<Entry> entries; // tasks from `base` on
    int base = 0;
    int count = 0;          // tasks known
    int resolving = 0;      // tasks taken, their identities not yet known
    bool exhausted = false; // the list and `more` gave their last
    std::map<QString, int> lastOutput; // outputs of tasks not yet written
    int next = 0;        // next task to render
    int limit = INT_MAX; // tasks from here on are not rendered (cancel, write error)
    int toWrite = 0;     // next task the writer lands; all before it are done with
    int aheadLimit = 1;  // how far rendering may run ahead of writing
    int rendering = 0;   // renderings in flight
    bool estimating = false; // a worker reads the next task's header
    qint64 reserved = 0; // bytes counted against the memory budget
    bool stop = false;
    bool writerDone = false;
    bool keepUnreadable = true; // in the result; else only told
    int memoryFailure = -1;      // the task whose outcome could not be recorded
    QString memoryFailureOutput; // its file
    std::map<int, Rendered> results;
    std::deque<Landed> landed; // not yet told to the calling thread
    ExportResult result;

    Entry& entry(int task) { return entries[std::size_t(task - base)]; }
    const Entry& entry(int task) const { return entries[std::size_t(task - base)]; }
    bool complete() const { return exhausted && resolving == 0; } // no more tasks come
    int end() const { return complete() ? std::min(limit, count) : limit; }
    // In list order, within reach of the writer, its source written.
    bool mayTake(int task) const
    {
        return task < count && task < limit && task - toWrite < aheadLimit && entry(task).readAfter < toWrite;
    }
    bool mayEstimate(int task) const { return !estimating && mayTake(task) && entry(task).cost < 0; }
    bool mayStart(int task) const
    {
        if (!mayTake(task) || entry(task).cost < 0)
            return false;
        return reserved == 0 || reserved + entry(task).cost <= memoryBudget;
    }
    bool hasWork() const { return mayStart(next) || mayEstimate(next); }
    bool writeReady() const { return !writerDone && (toWrite >= end() || results.count(toWrite)); }

    bool feed(std::unique_lock<std::mutex>& lock, IdentityResolver& resolver);
    void add(ExportTask task, const QString& sourceId, const QString& outputId);
    Rendered render(const ExportTask& task, int index, QImage* canvasOut = nullptr) const noexcept;
    Rendered draw(const ExportTask& task, QImage* canvasOut) const;
    void estimateStep(std::unique_lock<std::mutex>& lock);
    void renderStep(std::unique_lock<std::mutex>& lock);
    void workStep(std::unique_lock<std::mutex>& lock);
    void writeStep(std::unique_lock<std::mutex>& lock);
    bool land(int task, const QString& output, Rendered& r, int& errnum) const noexcept;
    void recordFailure(int task, const QString& output, int status, int errnum, QImage canvas);
    void endForMemory(int task, const QString& output) noexcept;
    void finishTask(int task);
    void tell(const ExportCallbacks& callbacks, std::unique_lock<std::mutex>& lock);
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

// Takes tasks from the list, then from `more`, while the workers have room
// for them, and hands them to the resolver; the lock is let go while `more`
// is asked. False when none came.
bool ExportJob::Shared::feed(std::unique_lock<std::mutex>& lock, IdentityResolver& resolver)
{
    bool fed = false;
    while (!exhausted && count + resolving < limit && count + resolving - toWrite < aheadLimit) {
        std::optional<ExportTask> task;
        if (givenTaken < given.size()) {
            task = given[givenTaken++];
        } else if (more) {
            lock.unlock();
            task = more();
            lock.lock();
        }
        if (!task) {
            exhausted = true;
            resultReady.notify_all();
            break;
        }
        const int index = count + resolving++;
        lock.unlock();
        resolver.give(index, std::move(*task));
        lock.lock();
        fed = true;
    }
    return fed;
}

// A task whose identities are known joins the list; one whose source an
// earlier output is waits for it. Called by the resolver, in list order.
void ExportJob::Shared::add(ExportTask task, const QString& sourceId, const QString& outputId)
{
    {
        std::lock_guard lock(mutex);
        const QString output = task.output;
        try {
            Entry e;
            e.task = std::move(task);
            e.outputId = outputId;
            const auto found = lastOutput.find(sourceId);
            if (found != lastOutput.end())
                e.readAfter = found->second;
            lastOutput[e.outputId] = count;
            entries.push_back(std::move(e));
            ++count;
        } catch (const std::bad_alloc&) {
            endForMemory(count, output); // never joins: the export ends before it
        }
        --resolving;
    }
    workAvailable.notify_all();
    resultReady.notify_all();
    progress.notify_all();
}

Rendered ExportJob::Shared::render(const ExportTask& task, int index, QImage* canvasOut) const noexcept
{
    Rendered r;
    try {
        if (hooks.beforeRender)
            hooks.beforeRender(index);
        // A name its folder cannot hold fails this task alone, before any work.
        r.reason = NameFault(task.output);
        if (!r.reason.isEmpty())
            return r;
        r = draw(task, canvasOut);
        // Pages kept for later pictures give way to this one.
        if (r.reason == kNoMemory && DropKeptPages())
            r = draw(task, canvasOut);
    } catch (const std::bad_alloc&) {
        r = Rendered{};
        r.reason = kNoMemory;
    }
    return r;
}

Rendered ExportJob::Shared::draw(const ExportTask& task, QImage* canvasOut) const
{
    Rendered r;
    try {
        Canvas canvas(canvasSize, canvasColour);
        const RenderOutcome outcome = RenderThumbnail(canvas, settings, task.source);
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
            r.reason = kNoMemory;
        }
    } catch (const std::bad_alloc&) {
        r = Rendered{};
        r.reason = kNoMemory;
    }
    return r;
}

// Reads the next task's header for what its rendering will hold; the lock is
// let go meanwhile. Tasks are estimated one at a time, in list order.
void ExportJob::Shared::estimateStep(std::unique_lock<std::mutex>& lock)
{
    const int task = next;
    const QString source = entry(task).task.source;
    estimating = true;
    lock.unlock();
    qint64 bytes = qint64(8) << 20;
    try {
        bytes = RenderingBytes(source, canvasSize);
    } catch (const std::bad_alloc&) {
        // the rendering itself will say so
    }
    lock.lock();
    estimating = false;
    entry(task).cost = bytes;
    workAvailable.notify_all();
}

// One rendering, from the lock's holder; the lock is let go meanwhile.
void ExportJob::Shared::renderStep(std::unique_lock<std::mutex>& lock)
{
    const int task = next++;
    const ExportTask job = entry(task).task;
    const qint64 cost = entry(task).cost;
    ++rendering;
    reserved += cost;
    lock.unlock();
    Rendered r = render(job, task);
    if (hooks.afterRender)
        hooks.afterRender(task);
    lock.lock();
    --rendering;
    reserved -= cost;
    r.reserved = r.jpeg.bytes.size();
    reserved += r.reserved;
    try {
        results[task] = std::move(r);
    } catch (const std::bad_alloc&) {
        reserved -= r.reserved; // never to be written
        endForMemory(task, job.output);
    }
    resultReady.notify_all();
    workAvailable.notify_all();
    progress.notify_all();
}

void ExportJob::Shared::workStep(std::unique_lock<std::mutex>& lock)
{
    if (mayStart(next))
        renderStep(lock);
    else
        estimateStep(lock);
}

void ExportJob::Shared::work()
{
    std::unique_lock lock(mutex);
    for (;;) {
        workAvailable.wait(lock, [this] { return stop || hasWork(); });
        if (stop)
            return;
        workStep(lock);
    }
}

// Writes one rendered task; false when the file could not be written.
bool ExportJob::Shared::land(int task, const QString& output, Rendered& r, int& errnum) const noexcept
{
    if (hooks.beforeWrite)
        hooks.beforeWrite(task);
    try {
        r.jpeg.status = ReplaceWithJpeg(output, r.jpeg, &errnum);
    } catch (const std::bad_alloc&) {
        r.jpeg.status = kStatusOutOfMemory;
    }
    return r.jpeg.status == kStatusOk;
}

void ExportJob::Shared::recordFailure(int task, const QString& output, int status, int errnum, QImage canvas)
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
    result.writeFailure = WriteFailure{task, error, output, errnum, reason, std::move(canvas)};
}

// Memory ran out while `task`'s outcome was recorded: the export ends there,
// as at a failed write; the failure is recorded once the threads are idle
// and memory is let go. Called with the lock held.
void ExportJob::Shared::endForMemory(int task, const QString& output) noexcept
{
    if (memoryFailure < 0 || task < memoryFailure) {
        memoryFailure = task;
        memoryFailureOutput = output;
    }
    limit = std::min(limit, task);
    workAvailable.notify_all();
    resultReady.notify_all();
    progress.notify_all();
}

// The writer is done with `task`: what it held is let go.
void ExportJob::Shared::finishTask(int task)
{
    toWrite = task + 1;
    while (base < toWrite && !entries.empty()) {
        const auto found = lastOutput.find(entries.front().outputId);
        if (found != lastOutput.end() && found->second == base)
            lastOutput.erase(found);
        entries.pop_front();
        ++base;
    }
}

// Lands the next task in list order, from the lock's holder.
void ExportJob::Shared::writeStep(std::unique_lock<std::mutex>& lock)
{
    if (toWrite >= end()) {
        writerDone = true;
        progress.notify_all();
        return;
    }
    const int task = toWrite;
    const ExportTask job = entry(task).task;
    Rendered r = std::move(results[task]);
    results.erase(task);
    bool ok = true;
    int errnum = 0;
    QImage failedCanvas;
    lock.unlock();
    if (r.readable) {
        ok = land(task, job.output, r, errnum);
        if (!ok)
            render(job, task, &failedCanvas); // rare: drawn again rather than kept for every file
    }
    lock.lock();
    reserved -= r.reserved;
    try {
        if (!r.readable) {
            landed.push_back(Landed{task, false, r.reason, job.output});
        } else if (ok) {
            landed.push_back(Landed{task, true, {}, job.output});
            ++result.written;
        } else {
            recordFailure(task, job.output, r.jpeg.status, errnum, std::move(failedCanvas));
            limit = next; // nothing more is started; what is in flight is dropped
            writerDone = true;
        }
    } catch (const std::bad_alloc&) {
        endForMemory(task, job.output);
    }
    finishTask(task);
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

// Tells the calling thread what has landed, in list order.
void ExportJob::Shared::tell(const ExportCallbacks& callbacks, std::unique_lock<std::mutex>& lock)
{
    while (!landed.empty()) {
        const Landed l = std::move(landed.front());
        landed.pop_front();
        if (!l.written && (keepUnreadable || !callbacks.unreadable)) {
            try {
                result.unreadable << UnreadableTask{l.task, l.reason};
            } catch (const std::bad_alloc&) {
                endForMemory(l.task, l.output);
                continue;
            }
        }
        lock.unlock();
        if (l.written && callbacks.written)
            callbacks.written(l.task);
        else if (!l.written && callbacks.unreadable)
            callbacks.unreadable(l.task, l.reason);
        lock.lock();
    }
}

ExportJob::ExportJob(const QList<ExportTask>& tasks, ThumbnailSettings settings, QSize canvasSize,
                     Colour canvasColour)
    : m_shared(std::make_unique<Shared>())
{
    Shared& s = *m_shared;
    s.given = tasks;
    s.settings = std::move(settings);
    s.canvasSize = canvasSize;
    s.canvasColour = canvasColour;
}

ExportJob::~ExportJob()
{
    DropKeptPages(); // a window that stays open does not hold the export's pages
}

void ExportJob::setHooks(ExportHooks hooks)
{
    m_shared->hooks = std::move(hooks);
    if (m_shared->hooks.memoryBudget > 0)
        m_shared->memoryBudget = m_shared->hooks.memoryBudget;
}

void ExportJob::setMoreTasks(std::function<std::optional<ExportTask>()> more)
{
    m_shared->more = std::move(more);
}

ExportResult ExportJob::run(const ExportCallbacks& callbacks, int threads)
{
    Shared& s = *m_shared;
    if (threads <= 0)
        threads = UsableCores(); // honours taskset and a container's CPU quota
    s.aheadLimit = threads + 1; // bounded memory, whatever the number of files
    s.keepUnreadable = !callbacks.unreadable;

    // Abandoned however run() is left, after the threads are joined; a
    // resolver stuck in the file system is never waited for.
    const auto resolver = std::make_shared<IdentityResolver>(
        s.hooks.beforeIdentity,
        [&s](ExportTask task, const QString& sourceId, const QString& outputId) {
            s.add(std::move(task), sourceId, outputId);
        });
    const std::unique_ptr<IdentityResolver, void (*)(IdentityResolver*)> abandon(
        resolver.get(), [](IdentityResolver* r) { r->abandon(); });
    resolver->start();

    Shared::Threads running(s);
    int workers = 0;
    while (workers < threads && running.start([&s] { s.work(); }))
        ++workers;
    const bool writer = running.start([&s] { s.write(); });
    bool cancelled = false;

    std::unique_lock lock(s.mutex);
    for (;;) {
        s.tell(callbacks, lock);
        if (s.writerDone && s.rendering == 0 && !s.estimating)
            break;
        // Roles no thread could be started for are done here.
        if (s.feed(lock, *resolver)) {
            // more tasks for the workers; told of on the next round
        } else if (workers == 0 && s.hasWork()) {
            s.workStep(lock);
        } else if (!writer && s.writeReady()) {
            s.writeStep(lock);
        } else {
            s.progress.wait_for(lock, std::chrono::milliseconds(15));
        }
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
    if (s.memoryFailure >= 0 && !s.result.writeFailure)
        s.recordFailure(s.memoryFailure, s.memoryFailureOutput, kStatusOutOfMemory, 0, QImage());
    ExportResult result = std::move(s.result);
    result.cancelled = cancelled;
    return result;
}

} // namespace ostrovel
