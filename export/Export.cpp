#include "export/Export.h"

#include "export/Paths.h"
#include "export/Render.h"

#include <QGuiApplication>
#include <QPalette>

namespace ostrovel {

Colour InitialCanvasColour()
{
    return FromQColor(QGuiApplication::palette().color(QPalette::Window));
}

QString ExportOutput(const ExportRequest& request, int index)
{
    return ThumbnailPath(request.targetFolder, request.sources[index].name);
}

ExportResult RunExport(const ExportRequest& request, Canvas& canvas)
{
    QList<ExportTask> tasks;
    tasks.reserve(request.sources.size());
    for (int i = 0; i < int(request.sources.size()); ++i)
        tasks << ExportTask{request.sources[i].path, ExportOutput(request, i)};
    if (!tasks.isEmpty() || request.moreSources)
        ApplyCanvasSettings(canvas, request.settings); // what every rendering does to the canvas
    ExportJob job(tasks, request.settings, canvas.size(), canvas.BackColor());
    job.setHooks(request.hooks);
    if (request.moreSources) {
        job.setMoreTasks([&request]() -> std::optional<ExportTask> {
            const std::optional<ExportSource> source = request.moreSources();
            if (!source)
                return std::nullopt;
            return ExportTask{source->path, ThumbnailPath(request.targetFolder, source->name)};
        });
    }
    ExportResult result = job.run(request.callbacks, request.threads);
    if (result.writeFailure)
        canvas.setPicture(result.writeFailure->canvas);
    else
        canvas.ClearPicture();
    return result;
}

} // namespace ostrovel
