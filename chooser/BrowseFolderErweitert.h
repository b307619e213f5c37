#pragma once
// The modal folder chooser and its status line.

#include <QString>
#include <optional>

class QFontMetrics;
class QWidget;

namespace ostrovel {

/// Asks for one folder in a modal dialog owned by `owner`. Returns the chosen
/// path exactly as the dialog holds it, or the empty text on cancel.
/// `rootPath` empty or absent: no root restriction.
QString BrowseFolder(const QString& title, const QString& startPath, QWidget* owner, bool showStatus,
                     const std::optional<QString>& rootPath, bool newStyle, bool includeFiles);

/// The status line's text for a selection: "Auswahl: " followed by `path`
/// shortened in the middle to (statusLineWidth - caption width + 80) pixels,
/// measured with `metrics`. The empty text when `path` is empty (a selection
/// without a file-system path).
QString StatusLineText(const QString& path, int statusLineWidth, const QFontMetrics& metrics);

} // namespace ostrovel
