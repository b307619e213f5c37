#pragma once
// The folder dialog's status line text, apart from the dialog so that the
// dialog and the chooser's entry point do not include each other.

#include <QString>

class QFontMetrics;

namespace ostrovel {

/// The status line's text for a selection: "Auswahl: " followed by `path`
/// shortened in the middle to (statusLineWidth - caption width + 80) pixels,
/// measured with `metrics`. The empty text when `path` is empty (a selection
/// without a file-system path).
QString StatusLineText(const QString& path, int statusLineWidth, const QFontMetrics& metrics);

} // namespace ostrovel
