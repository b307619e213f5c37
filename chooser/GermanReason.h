#pragma once
// The system's reason for a failed file operation, in German.

#include <QString>

namespace ostrovel {

/// A short German text for `errnum` (an errno value): "Keine Berechtigung"
/// for EACCES, "Dateiname zu lang" for ENAMETOOLONG, ...; the system's own
/// text for values without one; the empty text for 0.
QString GermanReason(int errnum);

} // namespace ostrovel
