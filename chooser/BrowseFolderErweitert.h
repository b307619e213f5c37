#pragma once
// The modal folder chooser.

#include <QString>

#include <optional>

class QWidget;

namespace ostrovel {

/// Asks for one folder in a modal dialog owned by `owner`. Returns the chosen
/// path exactly as the dialog holds it, or the empty text on cancel.
/// `rootPath` empty or absent: no root restriction.
QString BrowseFolder(const QString& title, const QString& startPath, QWidget* owner, bool showStatus,
                     const std::optional<QString>& rootPath, bool newStyle, bool includeFiles);

} // namespace ostrovel
