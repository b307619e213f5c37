#include "app/PreviewRenderer.h"

#include "picture/wmf/WmfClient.h"

#include <QMetaObject>
#include <QRunnable>

#include <algorithm>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace ostrovel {
namespace {

// Qt's pool and event queue hand a job over through locks ThreadSanitizer
// cannot see (Qt is not built with it): say that the hand-over orders
// what was written before it.
void handOver([[maybe_unused]] void* token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(token);
#endif
}

void takeOver([[maybe_unused]] void* token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(token);
#endif
}

// Two at a time: a click after a slow picture starts at once, while a burst
// of clicks cannot pile up renderings that will be dropped anyway.
constexpr int kMaxRunning = 2;

} // namespace

QImage SharpDisplay(const Canvas& canvas, const Picture& picture, qreal ratio)
{
    Canvas display((QSizeF(canvas.size()) * ratio).toSize(), canvas.BackColor());
    StretchPicture(display, &picture, true, true, canvas.BackColor());
    QImage image = display.Image();
    image.setDevicePixelRatio(ratio);
    return image;
}

PreviewRenderer::PreviewRenderer(QObject* parent) : QObject(parent), m_render(&RenderThumbnail)
{
    m_pool.setMaxThreadCount(kMaxRunning);
}

PreviewRenderer::~PreviewRenderer()
{
    stop();
    m_pool.waitForDone();
    takeOver(this);
}

void PreviewRenderer::request(QSize size, Colour colour, const ThumbnailSettings& settings, const QString& file,
                              qreal ratio)
{
    m_open.push_back(Job{++m_generation, size, colour, settings, file, ratio});
    startWaiting();
}

void PreviewRenderer::drop()
{
    const bool wasPending = pending();
    m_open.clear();
    settleIfDone(wasPending);
}

void PreviewRenderer::stop()
{
    m_stop->store(true);
    m_stop = std::make_shared<std::atomic<bool>>(false); // for later requests
    drop();
}

// The newest request first: it is the likeliest to be shown; an older one is
// rendered only if every newer one turns out unreadable.
void PreviewRenderer::startWaiting()
{
    for (auto job = m_open.rbegin(); job != m_open.rend() && m_running < kMaxRunning; ++job) {
        if (!job->started)
            start(*job);
    }
}

// One preview rendered on the pool; what it needs is all set before it is
// handed over, and its result is handed back through Qt's event queue.
class PreviewRenderer::Task : public QRunnable {
public:
    Task(PreviewRenderer* owner, const Job& job, RenderFunction render, std::shared_ptr<std::atomic<bool>> stop)
        : m_owner(owner), m_job(job), m_render(std::move(render)), m_stop(std::move(stop))
    {
    }

    void run() override
    {
        takeOver(this);
        bool read = false;
        QImage picture, display;
        {
            const wmf::HelperStop helperStop(m_stop.get());
            Canvas canvas(m_job.size, m_job.colour);
            try {
                const RenderOutcome outcome = m_render(canvas, m_job.settings, m_job.file, m_job.ratio);
                read = outcome.loaded;
                if (read) {
                    picture = canvas.picture();
                    if (m_job.ratio != 1.0 && outcome.picture)
                        display = SharpDisplay(canvas, *outcome.picture, m_job.ratio);
                }
            } catch (...) {
                // A preview fails silently, like any unreadable picture.
                read = false;
            }
        }
        handOver(m_owner);
        QMetaObject::invokeMethod(m_owner, "finished", Qt::QueuedConnection, Q_ARG(int, m_job.generation),
                                  Q_ARG(bool, read), Q_ARG(QImage, picture), Q_ARG(QImage, display));
        // What the call read of the owner, and the job's strings let go here,
        // come before the owner's end (its destructor waits for this task).
        m_job = Job{};
        m_render = nullptr;
        m_stop.reset();
        handOver(m_owner);
    }

private:
    PreviewRenderer* m_owner;
    Job m_job;
    RenderFunction m_render;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

void PreviewRenderer::start(Job& job)
{
    job.started = true;
    ++m_running;
    auto* task = new Task(this, job, m_render, m_stop);
    handOver(task);
    m_pool.start(task);
}

void PreviewRenderer::finished(int generation, bool read, const QImage& picture, const QImage& display)
{
    takeOver(this);
    --m_running;
    const bool wasPending = pending();
    const auto job = std::find_if(m_open.begin(), m_open.end(),
                                  [generation](const Job& j) { return j.generation == generation; });
    if (job != m_open.end()) {
        if (read && !picture.isNull()) {
            Q_EMIT ready(picture, display);
            m_open.erase(m_open.begin(), job + 1); // older requests are overtaken by this one
        } else {
            m_open.erase(job); // an unreadable picture leaves the canvas as it is
        }
    }
    startWaiting();
    settleIfDone(wasPending);
}

void PreviewRenderer::settleIfDone(bool wasPending)
{
    if (wasPending && !pending())
        Q_EMIT settled();
}

} // namespace ostrovel
