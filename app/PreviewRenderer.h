#pragma once
// Renders previews on a worker thread so that a slow picture never holds up
// the window; only the newest request's result is handed back.

#include "picture/Canvas.h"
#include "export/Render.h"
#include "export/Settings.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace ostrovel {

class PreviewRenderer : public QObject {
    Q_OBJECT
public:
    /// How a picture is rendered; RenderThumbnail unless a test slows it.
    using RenderFunction
        = std::function<RenderOutcome(Canvas&, const ThumbnailSettings&, const QString& file, qreal detail)>;

    explicit PreviewRenderer(QObject* parent = nullptr);
    /// Waits for renderings still running; their results are dropped.
    ~PreviewRenderer() override;

    void setRenderFunction(RenderFunction render) { m_render = std::move(render); }

    /// Renders `file` into a canvas of `size` and `colour` (the window's
    /// canvas after the settings were applied) on a worker thread. Results of
    /// earlier requests that have not landed yet are dropped. `ratio` > 1
    /// also draws a sharper image for a high-density screen.
    void request(QSize size, Colour colour, const ThumbnailSettings& settings, const QString& file, qreal ratio);

    /// Drops the results of every request made so far.
    void drop();

    /// True until the newest request has landed or was dropped.
    bool pending() const { return m_pending; }
    /// True while any rendering runs, a dropped one included.
    bool busy() const { return m_running > 0; }

Q_SIGNALS:
    /// The newest request's picture (canvas-sized) and, on a high-density
    /// screen, its sharper image for the display (else null). Not sent when
    /// the file could not be read: the canvas keeps its picture then.
    void ready(const QImage& picture, const QImage& display);
    /// The newest request has landed, whether or not it could be read.
    void settled();

private:
    struct Job {
        int generation = 0;
        QSize size;
        Colour colour = 0;
        ThumbnailSettings settings;
        QString file;
        qreal ratio = 1.0;
    };
    void start(const Job& job);
    void finished(int generation, const QImage& picture, const QImage& display);

    RenderFunction m_render;
    QThreadPool m_pool;
    int m_generation = 0;
    int m_running = 0;
    bool m_pending = false;
    std::optional<Job> m_queued;
};

/// The canvas's picture drawn again at `ratio` times its size, so that a
/// high-density screen shows it sharp instead of enlarged.
QImage SharpDisplay(const Canvas& canvas, const Picture& picture, qreal ratio);

} // namespace ostrovel
