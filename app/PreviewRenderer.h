#pragma once
// Renders previews on a worker thread so that a slow picture never holds up
// the window. The canvas ends up as one click at a time would leave it: with
// the newest readable picture among the clicks since the one last shown.

#include "picture/Canvas.h"
#include "export/Render.h"
#include "export/Settings.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

namespace ostrovel {

class PreviewRenderer : public QObject {
    Q_OBJECT
public:
    /// How a picture is rendered; RenderThumbnail unless a test slows it.
    using RenderFunction
        = std::function<RenderOutcome(Canvas&, const ThumbnailSettings&, const QString& file, qreal detail)>;

    explicit PreviewRenderer(QObject* parent = nullptr);
    /// Stops the renderings still running and waits for them; their results
    /// are dropped.
    ~PreviewRenderer() override;

    void setRenderFunction(RenderFunction render) { m_render = std::move(render); }

    /// Renders `file` into a canvas of `size` and `colour` (the window's
    /// canvas after the settings were applied) on a worker thread. Results of
    /// earlier requests that have not landed yet are dropped. `ratio` > 1
    /// also draws a sharper image for a high-density screen.
    void request(QSize size, Colour colour, const ThumbnailSettings& settings, const QString& file, qreal ratio);

    /// Drops the results of every request made so far.
    void drop();
    /// Drops them and ends the metafile helpers of the renderings still
    /// running at once (the window is closing).
    void stop();

    /// True until the canvas shows what the requests so far call for, or
    /// they were dropped.
    bool pending() const { return !m_open.empty(); }
    /// True while any rendering runs, a dropped one included.
    bool busy() const { return m_running > 0; }

Q_SIGNALS:
    /// A requested picture (canvas-sized) and, on a high-density screen, its
    /// sharper image for the display (else null). Not sent when the file
    /// could not be read: the canvas keeps its picture then.
    void ready(const QImage& picture, const QImage& display);
    /// Nothing requested is pending any more (see pending()).
    void settled();

private:
    struct Job {
        int generation = 0;
        QSize size;
        Colour colour = 0;
        ThumbnailSettings settings;
        QString file;
        qreal ratio = 1.0;
        bool started = false;
    };
    void startWaiting();
    class Task;
    void start(Job& job);
    Q_INVOKABLE void finished(int generation, bool read, const QImage& picture, const QImage& display);
    void settleIfDone(bool wasPending);

    RenderFunction m_render;
    QThreadPool m_pool;
    int m_generation = 0;
    int m_running = 0;
    // Requests since the picture last shown, oldest first: any of them may
    // still be the one to show, until a newer one has been shown.
    std::deque<Job> m_open;
    // Set to end the helpers of the renderings started before a stop().
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
};

/// The canvas's picture drawn again at `ratio` times its size, so that a
/// high-density screen shows it sharp instead of enlarged.
QImage SharpDisplay(const Canvas& canvas, const Picture& picture, qreal ratio);

} // namespace ostrovel
