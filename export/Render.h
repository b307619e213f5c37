#pragma once
// Renders one picture file into the canvas with the typed settings.

#include "picture/Canvas.h"
#include "picture/Picture.h"
#include "export/Settings.h"

#include <memory>

namespace ostrovel {

/// What a rendering achieved.
struct RenderOutcome {
    bool loaded = false; ///< the file was read and drawn (an empty picture does not count)
    bool fitted = false; ///< the fitting ran to its end
    std::shared_ptr<const Picture> picture; ///< what was loaded; null when nothing could be
    QString reason; ///< why it was not loaded, in English; empty when it was
};

/// The first two steps of a rendering: the typed colour (kept when it does
/// not convert), then the typed size (kept when the canvas rejects it).
void ApplyCanvasSettings(Canvas& canvas, const ThumbnailSettings& settings);

/// Applies the colour, then the size, then loads `file` and fits it into
/// `canvas`. Each step is tried on its own: a colour or size that does not
/// convert leaves the canvas's earlier colour or size, a file that does not
/// load leaves the earlier picture. Nothing is thrown. `detail` > 1 loads the
/// picture with that much more detail than the canvas needs (a high-density
/// screen shows it sharper); the canvas itself is the same.
RenderOutcome RenderThumbnail(Canvas& canvas, const ThumbnailSettings& settings, const QString& file,
                              qreal detail = 1.0);

/// The last step of a rendering: fits a loaded picture (null: none could be
/// loaded) into the canvas as it stands.
RenderOutcome FitLoaded(Canvas& canvas, const Picture* picture);

} // namespace ostrovel
