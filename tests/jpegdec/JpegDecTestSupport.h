#pragma once
// Pictures and JPEG files made by the decoder's tests.

#include <QByteArray>
#include <QImage>

namespace ostrovel::test {

/// Smooth gradients with hard-edged stripes, like a photo. Format_RGB32.
QImage photoLike(int width, int height);
/// Four flat quadrants: red top left, green top right, blue bottom left,
/// yellow bottom right, so every turn and mirror looks different.
QImage quadrants(int width, int height);

/// Encoded by Qt's own JPEG writer.
QByteArray qtJpeg(const QImage& image, int quality = 90, bool progressive = false);

enum class Colour { Rgb, Gray, Cmyk, Ycck };
struct EncodeOptions {
    int quality = 90;
    Colour colour = Colour::Rgb;
    int lumaH = 2;           ///< luma sampling factors: 2, 2 make 4:2:0
    int lumaV = 2;           ///< and 1, 1 make 4:4:4 (RGB only)
    bool progressive = false; ///< libjpeg's standard progression
    int restartRows = 0;     ///< a restart marker every so many MCU rows
    bool arithmetic = false; ///< arithmetic rather than Huffman coding
};
/// Encoded by libjpeg's compressor; CMYK is written inverted, as Adobe does.
QByteArray libjpegJpeg(const QImage& image, const EncodeOptions& options);

/// `jpeg` with a marker segment `marker` (0xE1 for APP1, ...) after SOI.
QByteArray withSegment(const QByteArray& jpeg, int marker, const QByteArray& payload);
/// An Exif APP1 payload holding an orientation in IFD0 after another tag.
QByteArray exifPayload(int orientation, bool littleEndian);
/// An APP2 payload carrying `profile` as the only ICC chunk.
QByteArray iccPayload(const QByteArray& profile);
/// Offset of the first marker segment `marker` before the first scan; -1
/// when there is none.
qsizetype segmentAt(const QByteArray& jpeg, int marker);
/// `jpeg` with the frame header's height and width set (baseline or
/// progressive).
QByteArray withFrameSize(const QByteArray& jpeg, int width, int height);

/// Qt's own decode with EXIF orientation applied, as Format_RGB32, colour
/// space kept.
QImage qtDecode(const QByteArray& jpeg);
/// Largest difference of a red, green or blue value; -1 when sizes differ.
int maxDifference(const QImage& a, const QImage& b);

} // namespace ostrovel::test
