#include "picture/LoadPicture.h"

#include "common/SystemReason.h"
#include "picture/DecodeScale.h"
#include "picture/Limits.h"
#include "picture/RasterChecks.h"
#include "picture/GifDecode.h"
#include "picture/jpegdec/JpegDecoder.h"
#include "picture/jpegdec/JpegExtent.h"
#include "picture/PictureBytes.h"
#include "picture/ReadBmp.h"
#include "picture/wmf/WmfClient.h"
#include "picture/formats/OtherFormats.h"

#include <QColorSpace>
#include <QMutex>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <unistd.h>

namespace ostrovel {
namespace {

class WmfPicture : public Picture {
public:
    WmfPicture(const QString& file, wmf::WmfSize size) : Picture(size.widthHimetric, size.heightHimetric), m_file(file) {}
    QImage render(QSize size) const override
    {
        QString reason;
        QImage image = wmf::RenderWmf(m_file, size, &reason);
        const QMutexLocker lock(&m_mutex);
        m_failure = image.isNull() ? reason : QString();
        return image;
    }
    // A time limit reached while drawing is worth telling apart.
    QString drawFailure() const override
    {
        const QMutexLocker lock(&m_mutex);
        return m_failure;
    }

private:
    QString m_file;
    mutable QMutex m_mutex;
    mutable QString m_failure;
};

std::unique_ptr<Picture> loadJpeg(int fd, QSize fitBox, QString& reason)
{
    const QByteArray bytes = jpegdec::ReadJpegExtent(fd, kMaxJpegFileBytes, reason);
    if (bytes.isEmpty())
        return nullptr;
    JpegDecodeOptions options;
    options.chooseDenominator = [fitBox](QSize upright) { return ReductionFor(upright, fitBox); };
    options.reason = &reason;
    auto decoded = DecodeJpeg(bytes, options);
    if (!decoded)
        return nullptr;
    return std::make_unique<RasterPicture>(decoded->natural, std::move(decoded->image), decoded->area);
}

// The decoder on the whole picture in `bytes`: Qt's for BMP, our own for a
// GIF's first frame. The reader is gone on return:
// the GIF reader keeps a reference to the frame it returned, which made the
// conversion to premultiplied pixels copy the largest pictures (1 GB then).
QImage decodeRaster(QByteArray& bytes, PictureKind kind)
{
    if (kind == PictureKind::Gif)
        return DecodeGif(bytes); // the first frame on a transparent screen
    return ReadBmp(bytes, kRasterAllocationLimitMb);
}

// BMP and GIF, after our own checks.
std::unique_ptr<Picture> loadRaster(int fd, PictureKind kind, QString& reason)
{
    QByteArray bytes = ReadRasterExtent(fd, kind, kMaxRasterFileBytes, reason);
    if (bytes.isEmpty())
        return nullptr;
    // Checked in full first: the decoders would fill in what a damaged
    // file lacks, or allocate what a header claims.
    if (!(kind == PictureKind::Gif ? PlausibleGif(bytes) : PlausibleBmp(bytes))) {
        reason = QStringLiteral("damaged data, or too large");
        return nullptr;
    }
    QImage image = decodeRaster(bytes, kind);
    bytes = QByteArray();
    if (image.isNull()) {
        reason = QStringLiteral("damaged data");
        return nullptr;
    }
    // The decoded size: Qt's reader.size() gives a top-down BMP's height
    // as negative.
    const QSize natural = image.size();
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        image.convertToColorSpace(QColorSpace::SRgb);
        image.setColorSpace(QColorSpace());
    }
    // A GIF holds a palette even though its decoder gives full colour.
    return std::make_unique<RasterPicture>(natural, std::move(image), QRectF(), kind == PictureKind::Gif);
}

std::unique_ptr<Picture> loadWmf(const QString& file, QString& reason)
{
    const auto size = wmf::ProbeWmf(file, &reason);
    if (!size)
        return nullptr;
    return std::make_unique<WmfPicture>(file, *size);
}

// PNG, WebP, TIFF, HEIF/AVIF and JPEG XL.
std::unique_ptr<Picture> loadOther(int fd, QSize fitBox, QString& reason)
{
    auto decoded = formats::ReadOtherFormat(fd, fitBox, reason);
    if (!decoded)
        return nullptr;
    return std::make_unique<RasterPicture>(decoded->natural, std::move(decoded->image));
}

// The first bytes, to tell the format by.
QByteArray head(int fd, QString& reason)
{
    QByteArray bytes(16, '\0');
    ssize_t got;
    do
        got = ::pread(fd, bytes.data(), std::size_t(bytes.size()), 0);
    while (got < 0 && errno == EINTR);
    if (got < 0) {
        reason = SystemReason(errno);
        return {};
    }
    bytes.truncate(got);
    if (bytes.isEmpty())
        reason = QStringLiteral("empty file");
    return bytes;
}

std::unique_ptr<Picture> load(const QString& file, QSize fitBox, QString& reason)
{
    const FileHandle handle = OpenPictureFile(file, reason);
    if (!handle.isOpen())
        return nullptr;
    const QByteArray first = head(handle.fd(), reason);
    if (first.isEmpty())
        return nullptr;
    switch (const PictureKind kind = SniffPicture(first)) {
    case PictureKind::Unknown:
        return loadOther(handle.fd(), fitBox, reason);
    case PictureKind::Wmf:
        return loadWmf(file, reason);
    case PictureKind::Jpeg:
        return loadJpeg(handle.fd(), fitBox, reason);
    default:
        return loadRaster(handle.fd(), kind, reason);
    }
}

} // namespace

std::unique_ptr<Picture> LoadPicture(const QString& file, QSize fitBox, QString* reason)
{
    QString why;
    std::unique_ptr<Picture> picture;
    try {
        picture = load(file, fitBox, why);
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("not enough memory");
    }
    if (!picture && reason)
        *reason = why.isEmpty() ? QStringLiteral("damaged data") : why;
    return picture;
}

} // namespace ostrovel
