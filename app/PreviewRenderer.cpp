#include "app/PreviewRenderer.h"

#include <QMetaObject>

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
    m_pool.waitForDone();
}

void PreviewRenderer::request(QSize size, Colour colour, const ThumbnailSettings& settings, const QString& file,
                              qreal ratio)
{
    const Job job{++m_generation, size, colour, settings, file, ratio};
    m_pending = true;
    if (m_running < kMaxRunning) {
        start(job);
        m_queued.reset();
    } else {
        m_queued = job;
    }
}

void PreviewRenderer::drop()
{
    ++m_generation;
    m_queued.reset();
    if (m_pending) {
        m_pending = false;
        Q_EMIT settled();
    }
}

void PreviewRenderer::start(const Job& job)
{
    ++m_running;
    m_pool.start([this, job, render = m_render] {
        Canvas canvas(job.size, job.colour);
        QImage picture, display;
        try {
            const RenderOutcome outcome = render(canvas, job.settings, job.file, job.ratio);
            if (outcome.loaded) {
                picture = canvas.picture();
                if (job.ratio != 1.0 && outcome.picture)
                    display = SharpDisplay(canvas, *outcome.picture, job.ratio);
            }
        } catch (...) {
            // A preview fails silently, like any unreadable picture.
        }
        // The destructor waits for this task, so `this` outlives the call.
        QMetaObject::invokeMethod(
            this, [this, g = job.generation, picture, display] { finished(g, picture, display); },
            Qt::QueuedConnection);
    });
}

void PreviewRenderer::finished(int generation, const QImage& picture, const QImage& display)
{
    --m_running;
    if (m_queued) {
        start(*m_queued);
        m_queued.reset();
    }
    if (generation != m_generation)
        return; // overtaken by a newer click, or dropped
    m_pending = false;
    if (!picture.isNull())
        Q_EMIT ready(picture, display);
    Q_EMIT settled();
}

} // namespace ostrovel
