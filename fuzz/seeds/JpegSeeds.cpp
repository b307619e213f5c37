// JPEG seeds, encoded with libjpeg directly so that every coding variant the
// decoder meets can be made: sampling, progressive, arithmetic, restart
// markers, grey, Adobe CMYK, Exif orientation and ICC profiles. The last
// byte of a JPEG seed picks the fuzz target's scale and canvas; a few seeds
// get an extra byte after the image for the other choices.

#include "fuzz/seeds/Seeds.h"

#include <QColorSpace>

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstdlib>
#include <jpeglib.h>
#include <vector>

namespace ostrovel::seeds {
namespace {

struct JpegOptions {
    int quality = 85;
    bool progressive = false;
    bool arithmetic = false;
    bool grey = false;
    bool cmyk = false;
    int lumaH = 1; // luma sampling factors; chroma stays at 1
    int lumaV = 1;
    int restartRows = 0;
    int restartMcus = 0;
    QByteArray exifTiff; // written as an Exif APP1 segment when not empty
    QByteArray icc;      // written as ICC APP2 segments when not empty
};

// One scanline in the colour layout libjpeg is given.
void fillRow(const QImage& image, int y, const JpegOptions& o, unsigned char* row)
{
    for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (o.grey) {
            row[x] = static_cast<unsigned char>(qGray(p));
        } else if (o.cmyk) { // Adobe's inverted CMYK: 255 is no ink
            unsigned char* q = row + 4 * x;
            q[0] = static_cast<unsigned char>(qRed(p));
            q[1] = static_cast<unsigned char>(qGreen(p));
            q[2] = static_cast<unsigned char>(qBlue(p));
            q[3] = static_cast<unsigned char>(200 + x % 56);
        } else {
            unsigned char* q = row + 3 * x;
            q[0] = static_cast<unsigned char>(qRed(p));
            q[1] = static_cast<unsigned char>(qGreen(p));
            q[2] = static_cast<unsigned char>(qBlue(p));
        }
    }
}

void setUp(jpeg_compress_struct& cinfo, const QImage& image, const JpegOptions& o)
{
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = o.grey ? 1 : o.cmyk ? 4 : 3;
    cinfo.in_color_space = o.grey ? JCS_GRAYSCALE : o.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = o.lumaH;
    cinfo.comp_info[0].v_samp_factor = o.lumaV;
    for (int c = 1; c < cinfo.num_components; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = o.restartRows;
    if (o.restartMcus > 0)
        cinfo.restart_interval = unsigned(o.restartMcus);
    cinfo.write_JFIF_header = o.exifTiff.isEmpty() ? TRUE : FALSE; // cameras write Exif instead
    if (o.progressive)
        jpeg_simple_progression(&cinfo);
}

// libjpeg's default error handler ends the program: the options here are
// all valid, so an error is a bug of this generator.
QByteArray encode(const QImage& image, const JpegOptions& o = {})
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    setUp(cinfo, image, o);
    jpeg_start_compress(&cinfo, TRUE);
    if (!o.exifTiff.isEmpty()) {
        const QByteArray app1 = QByteArray("Exif\0\0", 6) + o.exifTiff;
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.constData()),
                          static_cast<unsigned>(app1.size()));
    }
    if (!o.icc.isEmpty())
        jpeg_write_icc_profile(&cinfo, reinterpret_cast<const JOCTET*>(o.icc.constData()),
                               static_cast<unsigned>(o.icc.size()));
    std::vector<unsigned char> row(std::size_t(image.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        fillRow(image, int(cinfo.next_scanline), o, row.data());
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// A TIFF block with one IFD holding Orientation; `ifdOffset` lets it point
// elsewhere, `count` lets the entry claim more values than there are.
QByteArray exifTiff(int orientation, bool bigEndian = true, std::uint32_t ifdOffset = 8, std::uint32_t count = 1)
{
    QByteArray t;
    const auto be16 = [&](unsigned v) {
        if (!bigEndian)
            return appendLe16(t, v);
        t += char((v >> 8) & 0xFF);
        t += char(v & 0xFF);
    };
    const auto be32 = [&](std::uint32_t v) {
        be16(bigEndian ? v >> 16 : v & 0xFFFF);
        be16(bigEndian ? v & 0xFFFF : v >> 16);
    };
    t += bigEndian ? "MM" : "II";
    be16(42);
    be32(ifdOffset);
    be16(1);          // one entry
    be16(0x0112);     // Orientation
    be16(3);          // SHORT
    be32(count);
    be16(unsigned(orientation));
    be16(0);
    be32(0);          // no next IFD
    return t;
}

// Offset of the first start-of-frame marker's segment, or -1.
qsizetype sofOffset(const QByteArray& jpeg)
{
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i) {
        const auto m = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8
            && m != 0xCC)
            return i;
    }
    return -1;
}

// The frame header rewritten to claim `width` x `height`.
QByteArray claimSize(QByteArray jpeg, unsigned width, unsigned height)
{
    const qsizetype at = sofOffset(jpeg);
    jpeg[at + 5] = char(height >> 8);
    jpeg[at + 6] = char(height & 0xFF);
    jpeg[at + 7] = char(width >> 8);
    jpeg[at + 8] = char(width & 0xFF);
    return jpeg;
}

// The frame header's second component given the first one's id.
QByteArray duplicateComponentId(QByteArray jpeg)
{
    const qsizetype at = sofOffset(jpeg);
    jpeg[at + 13] = jpeg[at + 10];
    return jpeg;
}

// Choices for the fuzz target's last byte: scale 1/(1 << (b & 3)), canvas b >> 2.
QByteArray withChoice(const QByteArray& jpeg, unsigned char choice)
{
    return jpeg + char(choice);
}

void addCodings(SeedSink& sink)
{
    const QImage small = photoLike(24, 16);
    const QImage odd = photoLike(33, 17);
    sink.add("jpeg", "baseline-444.jpg", encode(small));
    sink.add("jpeg", "baseline-420.jpg", encode(odd, {.lumaH = 2, .lumaV = 2}));
    sink.add("jpeg", "baseline-422.jpg", encode(odd, {.lumaH = 2, .lumaV = 1}));
    sink.add("jpeg", "baseline-440.jpg", encode(small, {.lumaH = 1, .lumaV = 2}));
    sink.add("jpeg", "grey.jpg", encode(odd, {.grey = true}));
    sink.add("jpeg", "progressive-420.jpg", encode(odd, {.progressive = true, .lumaH = 2, .lumaV = 2}));
    sink.add("jpeg", "progressive-grey.jpg", encode(small, {.progressive = true, .grey = true}));
    sink.add("jpeg", "arithmetic.jpg", encode(small, {.arithmetic = true}));
    sink.add("jpeg", "arithmetic-progressive.jpg", encode(small, {.progressive = true, .arithmetic = true}));
    sink.add("jpeg", "restarts.jpg", encode(odd, {.restartRows = 1}));
    sink.add("jpeg", "cmyk-adobe.jpg", encode(small, {.cmyk = true}));
    sink.add("jpeg", "cmyk-progressive.jpg", encode(small, {.progressive = true, .cmyk = true}));
    sink.add("jpeg", "one-pixel.jpg", encode(photoLike(1, 1), {.quality = 50}));
    sink.add("jpeg", "quality-100.jpg", encode(photoLike(9, 9), {.quality = 100}));
    // The other scales and canvases of the fuzz target.
    sink.add("jpeg", "scale-1.jpg", withChoice(encode(odd), 0x00));
    sink.add("jpeg", "scale-4.jpg", withChoice(encode(odd, {.progressive = true}), 0x06));
    sink.add("jpeg", "scale-8.jpg", withChoice(encode(photoLike(64, 48), {.progressive = true}), 0x0B));
    // Sequential files at the scales where most coefficients are skipped
    // rather than kept, and the largest MCU with a restart after each.
    sink.add("jpeg", "baseline-420-scale-8.jpg", withChoice(encode(photoLike(64, 48), {.lumaH = 2, .lumaV = 2}), 0x0B));
    sink.add("jpeg", "baseline-422-scale-2.jpg", withChoice(encode(odd, {.lumaH = 2, .lumaV = 1}), 0x05));
    sink.add("jpeg", "ten-blocks-restart-every-mcu.jpg",
             withChoice(encode(photoLike(40, 24), {.lumaH = 4, .lumaV = 2, .restartMcus = 1}), 0x07));
}

void addMetadata(SeedSink& sink)
{
    const QImage small = photoLike(24, 16);
    for (int orientation : {2, 3, 5, 6, 7, 8})
        sink.add("jpeg", QStringLiteral("exif-orientation-%1.jpg").arg(orientation),
                 encode(small, {.exifTiff = exifTiff(orientation)}));
    sink.add("jpeg", "exif-little-endian.jpg", encode(small, {.exifTiff = exifTiff(6, false)}));
    sink.add("jpeg", "exif-bad-ifd-offset.jpg", encode(small, {.exifTiff = exifTiff(6, true, 0xFFFFFFF0)}));
    sink.add("jpeg", "exif-huge-count.jpg", encode(small, {.exifTiff = exifTiff(6, true, 8, 0x40000000)}));
    sink.add("jpeg", "exif-orientation-99.jpg", encode(small, {.exifTiff = exifTiff(99)}));
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    sink.add("jpeg", "icc-display-p3.jpg", encode(small, {.icc = p3}));
    sink.add("jpeg", "icc-progressive-exif.jpg",
             encode(small, {.progressive = true, .exifTiff = exifTiff(8), .icc = p3}));
    sink.add("jpeg", "icc-damaged.jpg", encode(small, {.icc = patched(p3, 0, '\x7f', 40)}));
    sink.add("jpeg", "icc-cmyk.jpg", encode(small, {.cmyk = true, .icc = p3}));
}

void addBroken(SeedSink& sink)
{
    const QByteArray baseline = encode(photoLike(33, 17), {.lumaH = 2, .lumaV = 2});
    const QByteArray progressive = encode(photoLike(33, 17), {.progressive = true});
    sink.add("jpeg", "cut-in-header.jpg", baseline.left(120));
    sink.add("jpeg", "cut-in-data.jpg", baseline.left(baseline.size() * 2 / 3));
    sink.add("jpeg", "cut-progressive.jpg", progressive.left(progressive.size() / 2));
    sink.add("jpeg", "no-end-marker.jpg", baseline.chopped(2));
    sink.add("jpeg", "damaged-data.jpg", patched(baseline, baseline.size() - 60, '\x55', 8));
    sink.add("jpeg", "claims-60000-square.jpg", claimSize(baseline, 60000, 60000));
    sink.add("jpeg", "claims-60000-square-scale-8.jpg", withChoice(claimSize(progressive, 60000, 60000), 0x03));
    sink.add("jpeg", "claims-65535-wide.jpg", claimSize(baseline, 65535, 17));
    sink.add("jpeg", "claims-zero-height.jpg", claimSize(baseline, 33, 0));
    sink.add("jpeg", "duplicate-component-id.jpg", duplicateComponentId(progressive));
    const QByteArray restarts = encode(photoLike(33, 17), {.lumaH = 2, .lumaV = 2, .restartMcus = 1});
    const qsizetype rst = restarts.indexOf(QByteArray("\xFF\xD1", 2));
    QByteArray outOfTurn = restarts;
    outOfTurn[rst + 1] = char(0xD4);
    sink.add("jpeg", "restart-out-of-turn.jpg", outOfTurn);
    sink.add("jpeg", "stray-byte-before-restart.jpg", restarts.left(rst) + QByteArray("\x5A", 1) + restarts.mid(rst));
    sink.add("jpeg", "restart-dropped.jpg", restarts.left(rst) + restarts.mid(rst + 2));
    sink.add("jpeg", "garbage-after-soi.jpg", QByteArray("\xFF\xD8\xFF", 3) + QByteArray(64, '\xC4'));
}

} // namespace

void makeJpegSeeds(SeedSink& sink)
{
    addCodings(sink);
    addMetadata(sink);
    addBroken(sink);
}

} // namespace ostrovel::seeds
