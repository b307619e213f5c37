#pragma once
// The first frame of a GIF, decoded by us: Qt's reader paints the logical
// screen outside a smaller first frame in the background colour (opaque),
// where browsers and common decoders leave it transparent.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ostrovel {

/// The first frame of the GIF in `file` (the whole file) placed at its
/// offset on a transparent logical screen, as browsers show it. The screen
/// grows to hold a frame that reaches beyond it. LZW minimum code sizes of
/// 2..11 are read; an index beyond the colour table is black. Format_RGB32
/// when every pixel is opaque, else Format_ARGB32_Premultiplied. A null
/// image when the data is damaged or incomplete, or the screen exceeds
/// kMaxRasterPixels; `reason` (when given) then says why in English.
QImage DecodeGif(const QByteArray& file, QString* reason = nullptr);

} // namespace ostrovel
