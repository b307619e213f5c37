#include "Picture.h"

#include "BmpCheck.h"
#include "GifDecode.h"
#include "JpegDecoder.h"
#include "WmfClient.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cmath>

namespace ostrovel {
namespace {

enum class Kind { Unknown, Jpeg, Bmp, Gif, Wmf };

constexpr qint64 kMaxFileBytes = qint64(1) << 30;

// Recognises the four formats by their first bytes, whatever the extension.
Kind sniff(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return Kind::Unknown;
    const QByteArray head = f.read(16);
    const auto byte = [&](int i) { return static_cast<unsigned char>(head.at(i)); };
    if (head.size() >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
        return Kind::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return Kind::Gif;
    if (head.startsWith("BM"))
        return Kind::Bmp;
    if (head.size() >= 4 && byte(0) == 0xD7 && byte(1) == 0xCD && byte(2) == 0xC6 && byte(3) == 0x9A)
        return Kind::Wmf; // placeable header
    if (head.size() >= 4 && (byte(0) == 1 || byte(0) == 2) && byte(1) == 0 && byte(2) == 9 && byte(3) == 0)
        return Kind::Wmf; // plain header: type, header size 9 words
    return Kind::Unknown;
}

// The largest DCT scale denominator at which the decoded picture is still
// larger than the picture will be drawn when fitted into `box`.
int reductionFor(QSize upright, QSize box)
{
    if (box.isEmpty() || upright.isEmpty())
        return 1;
    const double scale = std::min(double(box.width()) / upright.width(), double(box.height()) / upright.height());
    for (int d : {8, 4, 2}) {
        if (upright.width() / d >= std::ceil(upright.width() * scale) + 1
            && upright.height() / d >= std::ceil(upright.height() * scale) + 1)
            return d;
    }
    return 1;
}

class WmfPicture : public Picture {
public:
    WmfPicture(const QString& file, wmf::WmfSize size) : Picture(size.widthHimetric, size.heightHimetric), m_file(file) {}
    QImage render(QSize size) const override { return wmf::RenderWmf(m_file, size); }

private:
    QString m_file;
};

std::unique_ptr<Picture> loadJpeg(const QString& file, QSize fitBox)
{
    auto decoded = DecodeJpegFile(file, [fitBox](QSize upright) { return reductionFor(upright, fitBox); });
    if (!decoded)
        return nullptr;
    return std::make_unique<RasterPicture>(decoded->natural, std::move(decoded->image));
}

// Qt's decoder on the whole file in `bytes`. The reader is gone on return:
// the GIF reader keeps a reference to the frame it returned, which made the
// conversion to premultiplied pixels copy the largest pictures (1 GB then).
QImage decodeRaster(QByteArray& bytes, Kind kind)
{
    if (kind == Kind::Gif)
        return DecodeGif(bytes); // the first frame on a transparent screen
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, kind == Kind::Gif ? "gif" : "bmp");
    reader.setAllocationLimit(1024); // MB
    return reader.read();
}

// BMP and GIF through Qt's decoders.
std::unique_ptr<Picture> loadRaster(const QString& file, Kind kind)
{
    // Checked in full first: the decoders would fill in what a damaged
    // file lacks, or allocate what a header claims.
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return nullptr;
    QByteArray bytes = f.readAll();
    if (!(kind == Kind::Gif ? PlausibleGif(bytes) : PlausibleBmp(bytes)))
        return nullptr;
    QImage image = decodeRaster(bytes, kind);
    bytes = QByteArray();
    if (image.isNull())
        return nullptr;
    // The decoded size: Qt's reader.size() gives a top-down BMP's height
    // as negative.
    const QSize natural = image.size();
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        image.convertToColorSpace(QColorSpace::SRgb);
        image.setColorSpace(QColorSpace());
    }
    return std::make_unique<RasterPicture>(natural, std::move(image));
}

} // namespace

std::unique_ptr<Picture> LoadPicture(const QString& file, QSize fitBox)
{
    const Kind kind = sniff(file);
    switch (kind) {
    case Kind::Unknown:
        return nullptr;
    case Kind::Wmf: {
        const auto size = wmf::ProbeWmf(file);
        if (!size)
            return nullptr;
        return std::make_unique<WmfPicture>(file, *size);
    }
    case Kind::Jpeg:
        return loadJpeg(file, fitBox);
    default:
        return loadRaster(file, kind);
    }
}

} // namespace ostrovel
