#pragma once
// BMP layouts Qt's decoder gets wrong: bit fields (it scales a field by
// shifting, so 5-bit white is 248 and an 11-bit field comes out black) and
// the 52- and 56-byte headers (it refuses them as damaged).

#include <QByteArray>
#include <QImage>

namespace ostrovel {

/// True when the BMP in `bytes` (checked by PlausibleBmp) stores its pixels
/// in bit fields: 16 or 32 bits with masks, or 16 bits without compression
/// (5 bits a channel).
bool IsBitfieldBmp(const QByteArray& bytes);

/// The bit-field BMP in `bytes`, each field scaled to 8 bits, rounded
/// (ARGB32 when there is an alpha mask, else RGB32). Null when a mask is not
/// one run of bits, the masks lie beyond the header, or memory runs out.
QImage DecodeBitfieldBmp(const QByteArray& bytes);

/// Rewrites a 52- or 56-byte header in place as the 40-byte header Qt's
/// decoder reads (its masks matter only for bit fields, read by us).
void NormalizeBmpHeader(QByteArray& bytes);

} // namespace ostrovel
