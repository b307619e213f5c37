#include "Render.h"

#include "Picture.h"

namespace ostrovel {

RenderOutcome Bildanpassen(Canvas& canvas, const ThumbnailSettings& settings, const QString& file)
{
    if (const auto colour = ParseColour(settings.colour))
        canvas.SetBackColor(*colour);

    canvas.Move(0, 0, Val(settings.width), Val(settings.height));

    RenderOutcome outcome;
    const auto picture = LoadPicture(file, canvas.size());
    if (!picture)
        return outcome;
    outcome.loaded = true;
    outcome.fitted = StretchPicture(canvas, picture.get(), true, true, canvas.BackColor());
    return outcome;
}

} // namespace ostrovel
