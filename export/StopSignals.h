#pragma once
// A signal that ends the process (TERM, INT, HUP, QUIT, USR1, ALRM, ...)
// stops an export, the window's or the command line's, without leaving
// temporary files; a file size limit or a closed pipe is a failed write.

namespace ostrovel {

/// Installs handlers for the terminating signals: the process ends by the
/// signal (the shell sees 128 + N) once no file is half written. SIGXFSZ
/// and SIGPIPE are ignored, so the write fails with its error instead.
void InstallStopHandlers();

} // namespace ostrovel
