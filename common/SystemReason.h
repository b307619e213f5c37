#pragma once
// The system's words for an error number, always in English: messages of the
// command line and the reasons the export core records must not follow the
// locale (the window translates its own German reason from the number).

#include <QString>

namespace ostrovel {

/// The system's English description of `errnum` ("No such file or
/// directory"); "error N" for a number the system does not know.
QString SystemReason(int errnum);

} // namespace ostrovel
