#pragma once
// Reads a picture file's bytes: only regular files, and only as far as the
// picture itself goes, so padding or appended data is never held in memory.

#include "common/ReadableFile.h"

#include <QByteArray>
#include <QString>

namespace ostrovel {

enum class PictureKind { Unknown, Jpeg, Bmp, Gif, Wmf };

/// The format `head` (the file's first 16 bytes or fewer) starts like.
PictureKind SniffPicture(const QByteArray& head);

/// The BMP or GIF in `fd`, read up to where its picture ends: the pixel
/// data a BMP's header describes, a GIF's first image (a trailer is put
/// after it). At most `cap` bytes ("too large" beyond). Empty with `reason`
/// set on failure.
QByteArray ReadRasterExtent(int fd, PictureKind kind, qint64 cap, QString& reason);

/// Offset just past the first image of the GIF in `data`; -1 when `data`
/// ends before it, -2 when its block structure is not understood.
qsizetype GifFirstImageEnd(const QByteArray& data);

/// Bytes of the BMP whose first bytes are `head` as its header describes
/// them; -1 when the header does not say.
qint64 BmpExtent(const QByteArray& head);

} // namespace ostrovel
