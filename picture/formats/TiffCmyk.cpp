#include "picture/formats/TiffCmyk.h"
#include "picture/formats/Decoders.h"
#include "picture/LargeImage.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace ostrovel::formats {
namespace {

struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 0;
};

// The same naive conversion as libtiff's for 8-bit CMYK, on the high bytes.
void cmykRow(const uint16_t* in, uchar* out, uint32_t count, uint16_t samples)
{
    for (uint32_t x = 0; x < count; ++x, in += samples, out += 4) {
        const int k = 255 - (in[3] >> 8);
        out[0] = uchar(k * (255 - (in[0] >> 8)) / 255);
        out[1] = uchar(k * (255 - (in[1] >> 8)) / 255);
        out[2] = uchar(k * (255 - (in[2] >> 8)) / 255);
        out[3] = 255;
    }
}

// Copies a block of `rows` x `columns` pixels at (x, y) from `block`, whose
// rows are `blockWidth` pixels long, clipped to the image.
void putBlock(QImage& image, const Layout& layout, const QByteArray& block, uint32_t x, uint32_t y,
              uint32_t blockWidth, uint32_t rows)
{
    const auto* samples = reinterpret_cast<const uint16_t*>(block.constData());
    const uint32_t columns = std::min(blockWidth, layout.width - x);
    for (uint32_t row = 0; row < rows && y + row < layout.height; ++row) {
        const uint16_t* in = samples + std::size_t(row) * blockWidth * layout.samples;
        cmykRow(in, image.scanLine(int(y + row)) + 4 * std::size_t(x), columns, layout.samples);
    }
}

bool readStrips(TIFF* tiff, const Layout& layout, QImage& image)
{
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, layout.height);
    QByteArray strip(qsizetype(TIFFStripSize(tiff)), '\0');
    for (uint32_t y = 0; y < layout.height; y += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, layout.height - y);
        const tmsize_t need = tmsize_t(rows) * layout.width * layout.samples * 2;
        if (strip.size() < need || TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, 0), strip.data(), need) != need)
            return false;
        putBlock(image, layout, strip, 0, y, layout.width, rows);
    }
    return true;
}

bool readTiles(TIFF* tiff, const Layout& layout, QImage& image)
{
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t size = TIFFTileSize(tiff);
    if (tileWidth == 0 || tileHeight == 0 || size != tmsize_t(tileWidth) * tileHeight * layout.samples * 2)
        return false;
    QByteArray tile(qsizetype(size), '\0');
    for (uint32_t y = 0; y < layout.height; y += tileHeight) {
        for (uint32_t x = 0; x < layout.width; x += tileWidth) {
            if (TIFFReadTile(tiff, tile.data(), x, y, 0, 0) != size)
                return false;
            putBlock(image, layout, tile, x, y, tileWidth, tileHeight);
        }
    }
    return true;
}

} // namespace

bool IsCmyk16(TIFF* tiff)
{
    uint16_t photometric = 0;
    uint16_t bits = 0;
    uint16_t samples = 0;
    uint16_t planar = 0;
    uint16_t inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    return TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_SEPARATED
           && TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits) && bits == 16
           && TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples) && samples >= 4
           && planar == PLANARCONFIG_CONTIG && inkSet == INKSET_CMYK;
}

QImage ReadCmyk16(TIFF* tiff, QString& reason)
{
    Layout layout;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
    if (!DecodeAllowed(layout.width, layout.height)) {
        reason = QStringLiteral("too large");
        return {};
    }
    QImage image = MakeLargeImage(QSize(int(layout.width), int(layout.height)), QImage::Format_RGBX8888);
    if (image.isNull()) {
        reason = QStringLiteral("not enough memory");
        return {};
    }
    const bool read = TIFFIsTiled(tiff) ? readTiles(tiff, layout, image) : readStrips(tiff, layout, image);
    return read ? image : QImage();
}

} // namespace ostrovel::formats
