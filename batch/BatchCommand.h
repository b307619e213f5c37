#pragma once
// The headless front end of the batch export.

#include "batch/BatchOptions.h"

namespace ostrovel {

/// Exit statuses of ostrovel-batch; a stop by signal N ends as the signal
/// does (the shell sees 128 + N).
enum BatchStatus : int {
    kBatchOk = 0,          ///< every file written
    kBatchUnreadable = 1,  ///< some sources could not be read or named, the others written; or --help could not be written
    kBatchWriteError = 2,  ///< a write failed; nothing after it written
    kBatchUsage = 64,      ///< bad usage
};

/// Keeps standard error for our messages alone: they go on to a copy of it
/// (closed for child processes), while descriptor 2 itself is pointed at
/// /dev/null, where the libraries' own prints (libjxl's failure traces) go.
/// Called once at start, before any thread.
void KeepStderrForMessages();

/// Writes `bytes` where our messages go: standard error, or its copy.
void WriteMessage(const QByteArray& bytes);

/// Answers --help, --version and bad usage (stdout for the first two, one
/// line on stderr for the last). Returns the exit status.
int AnswerWithoutRunning(const ParsedArguments& parsed);

/// Runs the export the options ask for; needs a QGuiApplication. Messages go
/// to stderr, in English, naming each file as given; progress too when stderr
/// is a terminal. Returns a BatchStatus.
int RunBatch(const BatchOptions& options);

} // namespace ostrovel
