#include "export/Render.h"

#include "picture/LargeImage.h"
#include "picture/LoadPicture.h"

#include <cmath>

namespace ostrovel {
namespace {

// A drawing fails for memory when a picture of the canvas's size cannot be
// had either: the drawing needs one, and the picture drawn up to as much.
bool outOfMemory(QSize canvas)
{
    return MakeLargeImage(canvas, QImage::Format_RGB32).isNull();
}

} // namespace

void ApplyCanvasSettings(Canvas& canvas, const ThumbnailSettings& settings)
{
    if (const auto colour = ParseColour(settings.colour))
        canvas.SetBackColor(*colour);
    canvas.Move(0, 0, Val(settings.width), Val(settings.height));
}

RenderOutcome RenderThumbnail(Canvas& canvas, const ThumbnailSettings& settings, const QString& file, qreal detail)
{
    ApplyCanvasSettings(canvas, settings);
    QString reason;
    std::shared_ptr<const Picture> picture = LoadPicture(file, canvas.size() * detail, &reason);
    RenderOutcome outcome = FitLoaded(canvas, picture.get());
    outcome.picture = std::move(picture);
    if (!outcome.loaded)
        outcome.reason = outcome.reason.isEmpty() ? reason : outcome.reason;
    return outcome;
}

RenderOutcome FitLoaded(Canvas& canvas, const Picture* picture)
{
    RenderOutcome outcome;
    if (!picture)
        return outcome;
    outcome.fitted = StretchPicture(canvas, picture, true, true, canvas.BackColor());
    // A picture with no extent draws nothing, and one whose drawing fails
    // into a canvas with room for it could not really be read either.
    const bool empty = std::nearbyint(canvas.ScaleX(picture->Width(), kUnitHimetric, canvas.ScaleMode())) <= 0
                       || std::nearbyint(canvas.ScaleY(picture->Height(), kUnitHimetric, canvas.ScaleMode())) <= 0;
    const bool drawingFailed = !outcome.fitted && !canvas.size().isEmpty();
    outcome.loaded = !empty && !drawingFailed;
    if (empty)
        outcome.reason = QStringLiteral("the picture is empty");
    else if (drawingFailed && outOfMemory(canvas.size()))
        outcome.reason = QStringLiteral("not enough memory");
    else if (drawingFailed)
        outcome.reason = picture->drawFailure().isEmpty() ? QStringLiteral("the picture could not be drawn at this size")
                                                          : picture->drawFailure();
    return outcome;
}

} // namespace ostrovel
