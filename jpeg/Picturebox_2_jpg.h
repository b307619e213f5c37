#pragma once
// Writes a picture as a JPEG file.

#include "RuntimeError.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ostrovel {

/// Statuses in GDI+'s numbering; 0 is success.
enum JpegStatus : int {
    kStatusOk = 0,
    kStatusInvalidParameter = 2, // an empty picture
    kStatusOutOfMemory = 3,
    kStatusWin32Error = 7, // the file could not be created or written
};

/// Encodes `image` as a baseline JPEG with 4:4:4 chroma and optimized Huffman
/// tables at `quality` (above 100 counts as 100, below 0 as 0) into `out`.
/// Returns a status; `out` is only meaningful on kStatusOk.
int EncodeJpeg(const QImage& image, int quality, QByteArray& out);

/// Writes `bytes` to `outfile` through a temporary file in the same folder
/// that is renamed over `outfile` only when complete: on failure an earlier
/// file of that name is untouched and no partial file is left. A symbolic
/// link at `outfile` is replaced, not followed. Returns a status.
int WriteFileReplacing(const QString& outfile, const QByteArray& bytes);

/// The writer's error 5 for `status`.
RuntimeError SaveError(int status);

/// Encodes `pic` and writes it to `outfile`; throws SaveError(status) on failure.
void SavePictureAsJpg(const QImage& pic, const QString& outfile, int quality);

} // namespace ostrovel
