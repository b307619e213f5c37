#pragma once
// Names and messages of the batch export.

#include <QString>
#include <QStringList>

namespace ostrovel {

/// The quality value every thumbnail is written with.
inline constexpr int kExportQuality = 200;

/// The names of the files in `folder` that the file list shows: "*.jpg",
/// "*.bmp", "*.gif" and "*.wmf" without regard to case, no folders, no hidden
/// files except one named only by its extension (".jpg"); sorted by name
/// without regard to case.
QStringList MatchingPictureFiles(const QString& folder);

/// "thumb_" + the entry's name without its last four characters + ".jpg".
QString ThumbnailName(const QString& entryName);

/// The thumbnail's full path in `targetFolder`.
QString ThumbnailPath(const QString& targetFolder, const QString& entryName);

/// The closing message that names the pictures that could not be read.
QString UnreadableMessage(const QStringList& names);

} // namespace ostrovel
