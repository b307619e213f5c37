#pragma once
// Which files of a folder are pictures to export.

#include <QString>
#include <QStringList>

namespace ostrovel {

/// The names of the files in `folder` that the file list shows: "*.jpg",
/// "*.bmp", "*.gif" and "*.wmf" without regard to case, no folders, no hidden
/// files except one named only by its extension (".jpg"); sorted by name
/// without regard to case. Anything else named like a picture (a FIFO, a
/// dangling link) is listed, so that reading it reports why it failed. Names
/// keep their bytes (see DecodeFileName).
QStringList MatchingPictureFiles(const QString& folder);

} // namespace ostrovel
