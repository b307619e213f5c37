#pragma once
// Renders one picture file into the canvas with the typed settings.

#include "Canvas.h"
#include "Settings.h"

namespace ostrovel {

/// What a rendering achieved.
struct RenderOutcome {
    bool loaded = false; ///< the file could be loaded as a picture
    bool fitted = false; ///< the fitting ran to its end
};

/// Applies the colour, then the size, then loads `file` and fits it into
/// `canvas`. Each step is tried on its own: a colour or size that does not
/// convert leaves the canvas's earlier colour or size, a file that does not
/// load leaves the earlier picture. Nothing is thrown.
RenderOutcome Bildanpassen(Canvas& canvas, const ThumbnailSettings& settings, const QString& file);

} // namespace ostrovel
