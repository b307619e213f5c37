#pragma once
// TERM, INT and HUP stop an export (the window or the command line) without
// leaving temporary files.

namespace ostrovel {

/// Installs handlers that remove the temporary files of writes in progress
/// and then end the process by the same signal (the shell sees 128 + N).
/// A finished thumbnail is never partial: files are renamed into place whole.
void InstallStopHandlers();

} // namespace ostrovel
