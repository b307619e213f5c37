#pragma once
// How much of a file is the JPEG: reading stops at its end marker, so what
// follows it (padding, appended data) is never read into memory.

#include <QByteArray>
#include <QString>

namespace ostrovel::jpegdec {

/// Reads the JPEG at the start of `fd` up to and including its end marker,
/// keeping at most `cap` bytes ("too large" beyond). Extraneous bytes where
/// a marker belongs are skipped up to the next marker and not kept, as
/// libjpeg skips them. A file that ends without its end marker gets one
/// appended: whether its rows are complete is then the decoder's to find
/// out. Reading stops where the marker structure is found broken: what was
/// read goes to the decoder as it is. Empty with `reason` set on failure.
QByteArray ReadJpegExtent(int fd, qint64 cap, QString& reason);

/// Offset just past the end marker of the JPEG in `data`; -1 when `data`
/// ends before it, -2 when its marker structure is not understood.
qsizetype JpegEnd(const QByteArray& data);

} // namespace ostrovel::jpegdec
