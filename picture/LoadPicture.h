#pragma once
// The loader: a picture file in, a picture to draw out.

#include "picture/Picture.h"

#include <QSize>
#include <QString>

#include <memory>

namespace ostrovel {

/// Loads a JPEG, BMP, GIF, WMF, PNG, WebP, TIFF, HEIF/AVIF or JPEG XL file,
/// recognised by its content. `fitBox` is the size of the box it will be
/// fitted into: a large JPEG or WebP is then decoded only about as large as
/// it will be drawn. Only regular files are read, and only
/// as far as the picture goes. Null on a missing, unreadable or undecodable
/// file, with `reason` (when given) saying why in English.
std::unique_ptr<Picture> LoadPicture(const QString& file, QSize fitBox = QSize(), QString* reason = nullptr);

} // namespace ostrovel
