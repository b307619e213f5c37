#pragma once
// Folder paths and the names of the files an export writes.

#include <QString>

namespace ostrovel {

/// A folder path ready for a file name to be appended: "/" added unless it
/// ends in one; texts shorter than 2 characters give the empty text, except
/// the root "/" itself, which stays "/". Callers with relative paths must make
/// them absolute first: "t" would become "" (the current folder).
QString ProperPfad(const QString& pfad);

/// "thumb_" + the name without its last four characters + ".jpg" for a name
/// ending in ".jpg", ".bmp", ".gif" or ".wmf" (any case), the only names the
/// window's list holds. Another name loses its last extension, if it has one
/// ("x.jpeg" -> "thumb_x.jpg", "photo" -> "thumb_photo.jpg").
QString ThumbnailName(const QString& entryName);

/// Why a file cannot be made at `path` whatever its contents: its own name
/// is longer than its folder's file system allows, or the whole path longer
/// than the system takes ("File name too long"). Empty when the name fits.
QString NameFault(const QString& path);

/// The thumbnail's full path in `targetFolder`.
QString ThumbnailPath(const QString& targetFolder, const QString& entryName);

} // namespace ostrovel
