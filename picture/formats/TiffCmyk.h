#pragma once
// 16-bit CMYK TIFF, which libtiff's RGBA interface does not read.

#include <QImage>
#include <QString>

#include <tiffio.h>

namespace ostrovel::formats {

/// True for a page of 16-bit CMYK samples, interleaved, that ReadCmyk16 reads.
bool IsCmyk16(TIFF* tiff);

/// The page's pixels as stored (no orientation applied), the inks turned
/// into RGB as libtiff does for 8 bits. Null on failure, with `reason` set
/// when it is not simply damaged data.
QImage ReadCmyk16(TIFF* tiff, QString& reason);

} // namespace ostrovel::formats
