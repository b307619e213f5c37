#pragma once
// Plays a metafile held in memory with libwmf and our device layer. Used by
// the helper process only.

#include "picture/wmf/WmfClient.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>

namespace ostrovel::wmf {

/// The natural size in HIMETRIC: from the placeable header when there is
/// one, else from the extents libwmf finds the records drawing, at 72 of
/// its device units (points) to the inch. Nothing when the bytes are not a
/// metafile libwmf can scan, or the size is empty or beyond 32 bits.
std::optional<WmfSize> probeMetafile(QByteArray bytes);

/// The metafile drawn into a transparent image of exactly `size` pixels,
/// its frame (the placeable header's rectangle, else the drawn extents)
/// stretched over the whole image. A null image when scanning or playing
/// fails.
QImage renderMetafile(QByteArray bytes, QSize size);

} // namespace ostrovel::wmf
