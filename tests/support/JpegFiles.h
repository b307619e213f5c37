#pragma once
// JPEG files made and read by the tests: libjpeg's compressor with the
// options Qt's writer lacks, marker segments added or changed, and a reader
// of the segments before the first scan.

#include <QByteArray>
#include <QImage>
#include <QList>

namespace ostrovel::test {

enum class Colour { Rgb, Gray, Cmyk, Ycck };
struct EncodeOptions {
    int quality = 90;
    Colour colour = Colour::Rgb;
    int lumaH = 2;           ///< luma sampling factors: 2, 2 make 4:2:0
    int lumaV = 2;           ///< and 1, 1 make 4:4:4 (RGB only; up to 4)
    bool progressive = false; ///< libjpeg's standard progression
    int restartRows = 0;     ///< a restart marker every so many MCU rows
    int restartMcus = 0;     ///< or every so many MCUs
    bool optimizeCoding = false; ///< Huffman tables made for the picture, not the standard's
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

/// What the marker segments before the first scan say about a JPEG file.
struct JpegLayout {
    bool valid = false;           // starts with SOI and reaches an SOS
    QList<int> markers;           // second marker bytes in file order, up to SOS
    int frameMarker = -1;         // 0xC0 for baseline, 0xC2 for progressive, ...
    int precision = 0;
    int width = 0;
    int height = 0;
    QList<int> sampling;          // one byte per component, 0x11 = 1x1
    int huffmanTables = 0;
    int standardHuffmanTables = 0; // tables equal to the example tables of JPEG Annex K
};

/// Reads the segments of `jpeg` from SOI to the first SOS.
JpegLayout readJpegLayout(const QByteArray& jpeg);

} // namespace ostrovel::test
