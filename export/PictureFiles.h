#pragma once
// Which files of a folder are pictures to export.

#include <QString>
#include <QStringList>

namespace ostrovel {

/// Which names of a folder count as pictures: the file list's four patterns,
/// or every format the loader reads (the command line's --all-formats).
enum class FolderPictures { ListPatterns, AllFormats };

/// The names of the files in `folder` that the file list shows: "*.jpg",
/// "*.bmp", "*.gif" and "*.wmf" without regard to case (with AllFormats also
/// "*.png", "*.webp", "*.tif", "*.tiff", "*.heic", "*.heif", "*.avif" and
/// "*.jxl"), no folders, no hidden
/// files except one named only by its extension (".jpg"); sorted by name
/// without regard to case. Anything else named like a picture (a FIFO, a
/// dangling link) is listed, so that reading it reports why it failed. Names
/// keep their bytes (see DecodeFileName).
QStringList MatchingPictureFiles(const QString& folder, FolderPictures kinds = FolderPictures::ListPatterns);

} // namespace ostrovel
