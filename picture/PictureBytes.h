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
/// after it). At most `cap` bytes ("too large" beyond). Reading stops where
/// the file is found unreadable; what was read is returned for the checks to
/// refuse. Linear in the bytes read. Empty with `reason` set on failure.
QByteArray ReadRasterExtent(int fd, PictureKind kind, qint64 cap, QString& reason);

/// Bytes the GIF walks of ReadRasterExtent have stepped over in this
/// process: about the bytes read when each chunk continues the walk.
qint64 GifBytesWalked();

/// Bytes of the BMP whose first bytes are `head` as its header describes
/// them (every header: an unknown one, or one with no pixels, gives its
/// first 26 bytes, enough to refuse it); -1 when more of it is needed.
qint64 BmpExtent(const QByteArray& head);

} // namespace ostrovel
