#include "picture/jpegdec/JpegDecoder.h"

#include "picture/jpegdec/ExifOrientation.h"
#include "picture/jpegdec/JpegExtent.h"
#include "picture/jpegdec/JpegSession.h"
#include "picture/jpegdec/NeededScans.h"
#include "picture/Limits.h"
#include "picture/LargeImage.h"

#include <QColorSpace>

#include <algorithm>
#include <new>
#include <vector>

namespace ostrovel {
namespace jpegdec {
namespace {

int clampDenominator(int wanted)
{
    for (int d : {8, 4, 2})
        if (wanted >= d)
            return d;
    return 1;
}

bool withinLimits(QSize stored, QSize output)
{
    if (stored.isEmpty() || output.isEmpty())
        return false;
    if (stored.width() > kMaxJpegSide || stored.height() > kMaxJpegSide)
        return false;
    return qint64(output.width()) * output.height() * 4 <= kMaxJpegOutputBytes;
}

// Adobe's CMYK, as Photoshop writes it, is stored inverted (255 = no ink),
// so red is C * K / 255 of the stored values; converted in place.
void cmykToRgb32(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x, p += 4) {
            const unsigned k = p[3];
            const auto times = [k](unsigned c) {
                const unsigned t = c * k + 128;
                return uchar((t + (t >> 8)) >> 8); // t / 255, rounded
            };
            const uchar r = times(p[0]), g = times(p[1]), b = times(p[2]);
            p[0] = b;
            p[1] = g;
            p[2] = r;
            p[3] = 0xFF;
        }
    }
}

void convertToSrgb(QImage& image, ByteSpan icc)
{
    if (icc.size > 0) {
        const QColorSpace embedded = QColorSpace::fromIccProfile(
            QByteArray::fromRawData(reinterpret_cast<const char*>(icc.data), qsizetype(icc.size)));
        if (embedded.isValid() && embedded != QColorSpace(QColorSpace::SRgb)) {
            image.setColorSpace(embedded);
            image.convertToColorSpace(QColorSpace::SRgb);
        }
    }
    image.setColorSpace(QColorSpace());
}

void setReason(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
}

// libjpeg's words for a failed step, as the reason.
void damaged(QString* reason, const JpegSession& session)
{
    const QString words = QString::fromLatin1(session.failure());
    if (words.contains(QLatin1String("Premature end")) || words.contains(QLatin1String("premature end")))
        setReason(reason, QStringLiteral("the data ends before the picture is complete"));
    else if (words.startsWith(QLatin1String("Insufficient memory")))
        setReason(reason, QStringLiteral("not enough memory"));
    else
        setReason(reason, QStringLiteral("damaged data (%1)").arg(words));
}

// Allocates the picture only once libjpeg has accepted the whole setup, and
// decodes straight into its scanlines.
std::optional<QImage> decodePixels(JpegSession& session, QSize output, QString* reason)
{
    if (!session.start()) {
        damaged(reason, session);
        return std::nullopt;
    }
    if (!session.coefficientsComplete()) {
        setReason(reason, QStringLiteral("the data ends before the picture is complete"));
        return std::nullopt;
    }
    QImage image = MakeLargeImage(output, QImage::Format_RGB32);
    if (image.isNull()) {
        setReason(reason, QStringLiteral("not enough memory"));
        return std::nullopt;
    }
    if (!session.readRows(image.bits(), image.bytesPerLine())) {
        damaged(reason, session);
        return std::nullopt;
    }
    if (session.header().cmyk)
        cmykToRgb32(image);
    else
        convertToSrgb(image, session.iccProfile());
    return image;
}

// Points libjpeg past the scans of a progressive file that this scale does
// not use; `needed` must outlive the session. The number of scans left out.
int skipUnusedScans(JpegSession& session, ByteSpan whole, std::optional<NeededScans>& needed)
{
    if (!session.header().progressive || session.header().arithmetic)
        return 0;
    std::vector<int> ids, dcOnly;
    for (int i = 0; i < session.componentCount(); ++i) {
        ids.push_back(session.componentId(i));
        if (session.componentDctSize(i) == 1)
            dcOnly.push_back(session.componentId(i));
    }
    std::sort(ids.begin(), ids.end());
    if (std::adjacent_find(ids.begin(), ids.end()) != ids.end())
        return 0; // a scan's component would be ambiguous
    needed = findNeededScans(whole, session.position(), dcOnly);
    if (!needed)
        return 0;
    session.continueWith(needed->spans.data(), needed->spans.size());
    return needed->skippedScans;
}

// `gaveUp` is set when our Huffman decoder met data it does not read: the
// caller decodes again with libjpeg alone, once this session is gone.
std::optional<DecodedJpeg> decodeBytes(const QByteArray& data, const JpegDecodeOptions& options, bool& gaveUp)
{
    const ByteSpan whole{reinterpret_cast<const unsigned char*>(data.constData()), std::size_t(data.size())};
    std::optional<NeededScans> needed;
    JpegSession session;
    if (options.ownEntropyDecoder)
        session.useOwnEntropyDecoder();
    if (whole.size == 0 || !session.readHeader(whole)) {
        if (whole.size == 0)
            setReason(options.reason, QStringLiteral("empty file"));
        else
            damaged(options.reason, session);
        return std::nullopt;
    }
    const ByteSpan exif = session.exifTiff();
    const int orientation = exifOrientation(exif.data, exif.size);
    const QSize natural = uprightSize(session.header().stored, orientation);
    const int denominator = clampDenominator(options.chooseDenominator ? options.chooseDenominator(natural) : 1);
    const QSize output = session.setScale(denominator);
    if (!withinLimits(session.header().stored, output)) {
        setReason(options.reason, QStringLiteral("too large"));
        return std::nullopt;
    }
    // The picture and libjpeg's buffers share the 1 GB: a small progressive
    // file can claim both the largest picture and coefficients for it.
    session.limitWorkingMemory(long(kMaxJpegOutputBytes - qint64(output.width()) * output.height() * 4));
    const int skipped = options.skipUnusedScans ? skipUnusedScans(session, whole, needed) : 0;
    if (options.skippedScans)
        *options.skippedScans = skipped;
    std::optional<QImage> image = decodePixels(session, output, options.reason);
    if (!image && session.ownDecoderGaveUp()) { // odd data: libjpeg alone decides
        gaveUp = true;
        return std::nullopt;
    }
    if (!image)
        return std::nullopt;
    if (options.ownEntropyUsed)
        *options.ownEntropyUsed = session.ownEntropyDecoder();
    const QSize stored = session.header().stored;
    const QRectF covered(0, 0, double(stored.width()) / denominator, double(stored.height()) / denominator);
    const QRectF area = uprightArea(covered, output, orientation);
    return DecodedJpeg{turnUpright(std::move(*image), orientation), natural, area};
}

// Our Huffman decoder when asked, and libjpeg alone when it gives up: only
// once the first session is gone, so that its memory is not held twice.
std::optional<DecodedJpeg> decodeWithFallback(const QByteArray& data, const JpegDecodeOptions& options)
{
    bool gaveUp = false;
    std::optional<DecodedJpeg> decoded = decodeBytes(data, options, gaveUp);
    if (!gaveUp)
        return decoded;
    JpegDecodeOptions plain = options;
    plain.ownEntropyDecoder = false;
    setReason(options.reason, QString());
    return decodeBytes(data, plain, gaveUp);
}

} // namespace

} // namespace jpegdec

std::optional<DecodedJpeg> DecodeJpeg(const QByteArray& data, const JpegDecodeOptions& options)
{
    try {
        // A cheap look first: data read by ReadJpegExtent always ends with its marker.
        if (!data.endsWith("\xFF\xD9") && jpegdec::JpegEnd(data) == -1)
            return jpegdec::decodeWithFallback(data + QByteArrayLiteral("\xFF\xD9"), options);
        return jpegdec::decodeWithFallback(data, options);
    } catch (const std::bad_alloc&) {
        jpegdec::setReason(options.reason, QStringLiteral("not enough memory"));
        return std::nullopt;
    }
}

} // namespace ostrovel
