#include "app/PreviewRenderer.h"

#include "picture/wmf/WmfClient.h"

#include <QMetaObject>

#include <algorithm>

namespace ostrovel {
namespace {

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

void PreviewRenderer::start(Job& job)
{
    job.started = true;
    ++m_running;
    m_pool.start([this, job, render = m_render, stop = m_stop] {
        const wmf::HelperStop helperStop(stop.get());
        Canvas canvas(job.size, job.colour);
        bool read = false;
        QImage picture, display;
        try {
            const RenderOutcome outcome = render(canvas, job.settings, job.file, job.ratio);
            read = outcome.loaded;
            if (read) {
                picture = canvas.picture();
                if (job.ratio != 1.0 && outcome.picture)
                    display = SharpDisplay(canvas, *outcome.picture, job.ratio);
            }
        } catch (...) {
            // A preview fails silently, like any unreadable picture.
            read = false;
        }
        // The destructor waits for this task, so `this` outlives the call.
        QMetaObject::invokeMethod(
            this, [this, g = job.generation, read, picture, display] { finished(g, read, picture, display); },
            Qt::QueuedConnection);
    });
}

void PreviewRenderer::finished(int generation, bool read, const QImage& picture, const QImage& display)
{
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
