#pragma once
// The headless front end of the batch export.

#include <QStringList>

namespace ostrovel {

/// Exit statuses of ostrovel-batch.
enum BatchStatus : int {
    kBatchOk = 0,          ///< every file written
    kBatchUnreadable = 1,  ///< some sources could not be read; the others written
    kBatchWriteError = 2,  ///< a write failed; nothing after it written
    kBatchUsage = 64,      ///< bad usage
};

/// Runs `ostrovel-batch [--size WxH] [--background R,G,B] TARGET SOURCE...`
/// (arguments[0] is the program). Messages go to stderr, progress too when
/// stderr is a terminal. Returns a BatchStatus.
int RunBatch(const QStringList& arguments);

} // namespace ostrovel
