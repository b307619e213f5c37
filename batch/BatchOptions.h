#pragma once
// ostrovel-batch's arguments, read strictly and GNU style: short options may
// be grouped and take attached values ("-j4"), long ones "--name=value",
// options may follow names, and "--" ends the options.

#include "export/Settings.h"

#include <QString>
#include <QStringList>

namespace ostrovel {

/// The largest side of a thumbnail, in pixels.
inline constexpr int kMaxSide = 16384;
/// The most worker threads --jobs accepts.
inline constexpr int kMaxJobs = 1024;

/// What the arguments ask for.
struct BatchOptions {
    ThumbnailSettings settings; ///< the texts the window would hold for the same values
    int jobs = 0;               ///< 0: the cores this process may use
    QStringList filesFrom;      ///< lists of more source names; "-" is standard input
    bool nullSeparated = false; ///< names in those lists end with NUL
    bool skipExisting = false;
    bool allFormats = false;    ///< a source folder stands for every picture format read, not the four patterns
    bool verbose = false;
    QString target;             ///< as given
    QStringList sources;        ///< as given
};

/// The outcome of reading the arguments.
struct ParsedArguments {
    enum Action { Run, Help, Version, Usage };
    Action action = Run;
    BatchOptions options;
    QString error; ///< for Usage: one line naming the option and the fault, without the program's name
};

/// Reads the arguments (without the program's name). Never fails otherwise:
/// every fault is a Usage result with its line.
ParsedArguments ParseBatchArguments(const QStringList& arguments);

} // namespace ostrovel
