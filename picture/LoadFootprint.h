#pragma once
// What loading a picture will hold in memory, told from its header alone, so
// that work can be planned before any pixel is decoded.

#include <QSize>
#include <QString>
#include <QtGlobal>

namespace ostrovel {

/// The memory one LoadPicture call needs at its peak.
struct LoadFootprint {
    /// The size in pixels the picture is decoded to: a JPEG at its reduced
    /// DCT scale, a BMP or GIF whole, a metafile at most at the box's size.
    /// Empty when the header does not tell (the load fails early then).
    QSize decoded;
    /// Bytes held at the peak: the file's bytes read, the decoded pixels
    /// with the decoder's intermediate copies and working memory.
    qint64 bytes = 0;
};

/// The footprint of LoadPicture(`file`, `fitBox`), from the file's header
/// alone (a few kilobytes are read; never the pixel data). A file that
/// cannot be opened or is not a picture costs nothing: its load fails
/// before it allocates.
LoadFootprint EstimateLoadFootprint(const QString& file, QSize fitBox);

} // namespace ostrovel
