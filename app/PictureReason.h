#pragma once
// The export core's English reasons for an unreadable picture, in German for
// the window.

#include <QString>

namespace ostrovel {

/// The German text for a reason the export core gives in English ("damaged
/// data", a system reason such as "Permission denied", ...); the English
/// text itself for one it does not know.
QString GermanPictureReason(const QString& english);

} // namespace ostrovel
