#pragma once
// The one entry point of an export, for the window and the command line alike.

#include "picture/Canvas.h"
#include "export/ExportJob.h"
#include "export/Settings.h"

#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace ostrovel {

/// The canvas's size when the window opens; an export without a window
/// starts from the same canvas.
inline constexpr QSize kInitialCanvasSize{799, 611};

/// The canvas's colour when the window opens: the desktop's window colour.
Colour InitialCanvasColour();

/// One picture to export: the file to read, and the name its thumbnail is
/// named after ("thumb_" + name less its extension + ".jpg").
struct ExportSource {
    QString path;
    QString name;
};

/// Everything an export needs.
struct ExportRequest {
    QList<ExportSource> sources; ///< in the order their files are written
    /// More sources after `sources`, asked for on the calling thread as the
    /// export has room for them, until it gives nothing; may block.
    std::function<std::optional<ExportSource>()> moreSources;
    QString targetFolder;        ///< absolute
    ThumbnailSettings settings;  ///< the three texts, read by the window's rules
    int threads = 0;             ///< worker threads; 0: one per usable core
    ExportCallbacks callbacks;
    ExportHooks hooks;           ///< tests only
};

/// Renders every source from `canvas` as it stands (the settings are applied
/// to it first, as every rendering does) and writes the thumbnails in order.
/// Afterwards the canvas's picture is cleared, or after a write error shows
/// the failing source's rendering. The result's tasks are the sources' indices,
/// those of `moreSources` counted on after `sources`.
ExportResult RunExport(const ExportRequest& request, Canvas& canvas);

/// Where source `index` of `request` is written.
QString ExportOutput(const ExportRequest& request, int index);

} // namespace ostrovel
