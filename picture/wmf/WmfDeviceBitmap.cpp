#include "picture/Limits.h"
#include "picture/ReadBmp.h"
#include "picture/wmf/WmfDevice.h" // libwmf last: its macros break Qt's headers

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace ostrovel::wmf {
namespace {

constexpr std::uint32_t kBitfields = 3;

// A decoded device-independent bitmap. Most are stored bottom-up, and
// libwmf counts the source rectangle's rows from the bottom for those.
struct Dib {
    QImage image;
    bool topDown = false;
};

struct DibHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: rows stored top-down
    unsigned bitCount = 0;
    std::uint32_t compression = 0;
    std::int64_t colours = 0;
    std::int64_t paletteBytes = 0;
    std::int64_t headerBytes = 0;
};

std::uint32_t u32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

unsigned u16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

// Reads and checks the info header, so that nothing is allocated from a
// claim that the record cannot back.
std::optional<DibHeader> readHeader(const unsigned char* p, std::int64_t length)
{
    if (length < 12)
        return std::nullopt;
    DibHeader h;
    h.headerBytes = u32(p);
    int entryBytes = 4;
    if (h.headerBytes == 12) { // OS/2 core header
        h.width = u16(p + 4);
        h.height = u16(p + 6);
        h.bitCount = u16(p + 10);
        entryBytes = 3;
    } else if (h.headerBytes >= 40 && length >= 40) {
        h.width = std::int32_t(u32(p + 4));
        h.height = std::int32_t(u32(p + 8));
        h.bitCount = u16(p + 14);
        h.compression = u32(p + 16);
        h.colours = u32(p + 32);
    } else {
        return std::nullopt;
    }
    const std::int64_t rows = std::abs(h.height);
    if (h.width <= 0 || rows == 0 || h.width > kMaxWmfBitmapSide || rows > kMaxWmfBitmapSide
        || h.width * rows > kMaxWmfBitmapPixels)
        return std::nullopt;
    if (h.colours == 0 && h.bitCount <= 8)
        h.colours = std::int64_t(1) << h.bitCount;
    if (h.colours > 65536)
        return std::nullopt;
    h.paletteBytes = h.colours * entryBytes + (h.headerBytes == 40 && h.compression == kBitfields ? 12 : 0);
    if (h.headerBytes + h.paletteBytes > length)
        return std::nullopt;
    return h;
}

bool uncompressedFits(const DibHeader& h, std::int64_t length)
{
    const std::int64_t rowBytes = (h.width * h.bitCount + 31) / 32 * 4;
    return rowBytes * std::abs(h.height) <= length - h.headerBytes - h.paletteBytes;
}

// Decodes a packed DIB (header, palette, bits) with Qt's BMP reader by
// putting the file header in front that a .bmp file would have.
std::optional<Dib> decodeDib(const unsigned char* p, std::int64_t length)
{
    const std::optional<DibHeader> h = readHeader(p, length);
    if (!h)
        return std::nullopt;
    const bool knownDepth = h->bitCount == 1 || h->bitCount == 4 || h->bitCount == 8 || h->bitCount == 16
        || h->bitCount == 24 || h->bitCount == 32;
    if (!knownDepth || ((h->compression == 0 || h->compression == kBitfields) && !uncompressedFits(*h, length)))
        return std::nullopt;
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("BM", 2);
    out << quint32(14 + length) << quint32(0) << quint32(14 + h->headerBytes + h->paletteBytes);
    out.writeRawData(reinterpret_cast<const char*>(p), static_cast<int>(length));
    Dib dib{ReadBmp(file, kWmfBitmapAllocationLimitMb), h->height < 0};
    if (dib.image.isNull())
        return std::nullopt;
    return dib;
}

BlitOp blitOpOf(std::uint32_t rop)
{
    switch (rop) {
    case SRCAND: return BlitOp::And;
    case SRCPAINT: return BlitOp::Or;
    case SRCINVERT: return BlitOp::Xor;
    case NOTSRCCOPY: return BlitOp::NotCopy;
    default: return BlitOp::Copy;
    }
}

} // namespace

const QImage* bitmapImage(const wmfBMP& bmp)
{
    return bmp.data ? &static_cast<const Dib*>(bmp.data)->image : nullptr;
}

void readBitmap(wmfAPI*, wmfBMP_Read_t* read)
{
    read->bmp.data = nullptr;
    read->bmp.width = 0;
    read->bmp.height = 0;
    if (!read->buffer || read->length <= 0)
        return;
    std::optional<Dib> dib = decodeDib(read->buffer, read->length);
    if (!dib)
        return;
    read->bmp.width = static_cast<unsigned short>(dib->image.width());
    read->bmp.height = static_cast<unsigned short>(dib->image.height());
    read->bmp.data = new Dib(std::move(*dib));
}

void freeBitmap(wmfAPI*, wmfBMP* bmp)
{
    delete static_cast<Dib*>(bmp->data);
    bmp->data = nullptr;
}

void drawBitmap(wmfAPI* api, wmfBMP_Draw_t* draw)
{
    WmfCanvas* canvas = prepareCanvas(api, draw->dc);
    const auto* dib = static_cast<const Dib*>(draw->bmp.data);
    if (!canvas || !dib)
        return;
    const int rows = dib->image.height();
    const int top = dib->topDown ? draw->crop.y : rows - draw->crop.y - draw->crop.h;
    const QRect source(draw->crop.x, top, draw->crop.w, draw->crop.h);
    // libwmf hands over unsigned sizes; a flipped mapping flips the bitmap.
    const QPointF direction = pixelDirection(draw->dc);
    const QSizeF size(direction.x() * draw->crop.w * draw->pixel_width, direction.y() * draw->crop.h * draw->pixel_height);
    canvas->drawBitmap(QRectF(QPointF(draw->pt.x, draw->pt.y), size), dib->image, source, blitOpOf(draw->type));
}

} // namespace ostrovel::wmf
