// All of libjpeg lives in this file, and so does its setjmp/longjmp error
// handling: libjpeg reports errors by calling error_exit, which must not
// return, and unwinding C++ frames through libjpeg's C frames is not allowed.

#include "jpeg/JpegCompress.h"

#include "jpeg/JpegEncode.h"
#include "jpeg/Picturebox_2_jpg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <limits>
#include <new>
#include <jpeglib.h>
#include <jerror.h>

namespace ostrovel::detail {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub; // first, so libjpeg's pointer to it is one to us
    std::jmp_buf jump;
};

// A growing malloc'd buffer, like jpeg_mem_dest's, except that the buffer
// stays reachable after an error: jpeg_mem_dest (libjpeg-turbo 2.1) leaves
// the caller's pointer at a freed block and leaks the live one when an error
// follows a growth of its buffer.
struct MemoryDestination {
    jpeg_destination_mgr pub; // first, so libjpeg's pointer to it is one to us
    JOCTET* data = nullptr;
    size_t capacity = 0;
    size_t size = 0;
};

// Everything the setjmp function touches lives here, in the caller's frame,
// so nothing it needs after a longjmp is an indeterminate local.
struct CompressJob {
    const PixelRows* rows = nullptr;
    int quality = 0;
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    MemoryDestination dest{};
    int libjpegError = 0; // msg_code of the error that ended the job
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// Warnings are not failures here, and a library must not print.
void outputMessage(j_common_ptr) {}

MemoryDestination* destinationOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<MemoryDestination*>(cinfo->dest);
}

void initDestination(j_compress_ptr cinfo)
{
    MemoryDestination* d = destinationOf(cinfo);
    // About one byte a pixel covers a thumbnail at quality 100 with room to
    // spare; larger output grows the buffer.
    const size_t pixels = size_t(cinfo->image_width) * cinfo->image_height;
    d->capacity = std::min<size_t>(size_t(4096) + pixels, size_t(64) << 20);
    d->data = static_cast<JOCTET*>(std::malloc(d->capacity));
    if (d->data == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    d->pub.next_output_byte = d->data;
    d->pub.free_in_buffer = d->capacity;
}

boolean growDestination(j_compress_ptr cinfo)
{
    MemoryDestination* d = destinationOf(cinfo);
    if (d->capacity > std::numeric_limits<size_t>::max() / 2)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 11);
    const size_t grown = d->capacity * 2;
    auto* data = static_cast<JOCTET*>(std::realloc(d->data, grown));
    if (data == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 12); // d->data is still ours to free
    d->data = data;
    d->pub.next_output_byte = data + d->capacity;
    d->pub.free_in_buffer = grown - d->capacity;
    d->capacity = grown;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo)
{
    MemoryDestination* d = destinationOf(cinfo);
    d->size = d->capacity - d->pub.free_in_buffer;
}

J_COLOR_SPACE colorSpaceOf(PixelLayout layout, int& components)
{
    components = 4;
    switch (layout) {
#ifdef JCS_EXTENSIONS
    case PixelLayout::Bgr:
        components = 3;
        return JCS_EXT_BGR;
    case PixelLayout::Rgbx:
        return JCS_EXT_RGBX;
    case PixelLayout::Bgrx:
        return JCS_EXT_BGRX;
    case PixelLayout::Xrgb:
        return JCS_EXT_XRGB;
#endif
    default:
        components = 3;
        return JCS_RGB;
    }
}

void setParameters(CompressJob& job)
{
    jpeg_compress_struct& c = job.cinfo;
    c.image_width = static_cast<JDIMENSION>(job.rows->width);
    c.image_height = static_cast<JDIMENSION>(job.rows->height);
    c.in_color_space = colorSpaceOf(job.rows->layout, c.input_components);
    jpeg_set_defaults(&c); // JFIF APP0, YCbCr, sequential (baseline) scan
    // force_baseline keeps the quantizers within 8 bits even at quality 0,
    // so the frame stays SOF0.
    jpeg_set_quality(&c, job.quality, TRUE);
    // Optimised tables make libjpeg hold every coefficient of the picture
    // (6 bytes a pixel at 4:4:4) until the end; a huge canvas is written with
    // the standard tables instead, the same pixels in a somewhat larger file.
    c.optimize_coding = qint64(c.image_width) * c.image_height <= kMaxOptimizedPixels;
    for (int i = 0; i < c.num_components; ++i) {
        c.comp_info[i].h_samp_factor = 1;
        c.comp_info[i].v_samp_factor = 1;
    }
}

void writeRows(CompressJob& job)
{
    constexpr int kBatch = 16;
    JSAMPROW batch[kBatch];
    const PixelRows& r = *job.rows;
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        const JDIMENSION first = job.cinfo.next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kBatch, job.cinfo.image_height - first);
        for (JDIMENSION i = 0; i < count; ++i) {
            // libjpeg's row type is not const-qualified; it only reads input rows.
            batch[i] = const_cast<JSAMPROW>(r.bits + qsizetype(first + i) * r.bytesPerLine);
        }
        jpeg_write_scanlines(&job.cinfo, batch, count);
    }
}

// Only plain data lives in this frame: a longjmp out of libjpeg lands here.
bool runCompress(CompressJob* job)
{
    job->cinfo.err = jpeg_std_error(&job->err.pub);
    job->err.pub.error_exit = errorExit;
    job->err.pub.output_message = outputMessage;
    if (setjmp(job->err.jump) != 0) {
        job->libjpegError = job->err.pub.msg_code;
        jpeg_destroy_compress(&job->cinfo);
        return false;
    }
    jpeg_create_compress(&job->cinfo);
    job->dest.pub.init_destination = initDestination;
    job->dest.pub.empty_output_buffer = growDestination;
    job->dest.pub.term_destination = termDestination;
    job->cinfo.dest = &job->dest.pub;
    setParameters(*job);
    jpeg_start_compress(&job->cinfo, TRUE);
    writeRows(*job);
    jpeg_finish_compress(&job->cinfo);
    jpeg_destroy_compress(&job->cinfo);
    return true;
}

int copyOut(const CompressJob& job, QByteArray& out)
{
    if (job.dest.size > static_cast<size_t>(std::numeric_limits<qsizetype>::max()))
        return kStatusOutOfMemory;
    try {
        out = QByteArray(reinterpret_cast<const char*>(job.dest.data), static_cast<qsizetype>(job.dest.size));
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return kStatusOk;
}

} // namespace

bool layoutSupported(PixelLayout layout)
{
#ifdef JCS_EXTENSIONS
    Q_UNUSED(layout);
    return true;
#else
    return layout == PixelLayout::Rgb;
#endif
}

int compressJpeg(const PixelRows& rows, int quality, QByteArray& out)
{
    out.clear();
    CompressJob job;
    job.rows = &rows;
    job.quality = quality;
    const bool ok = runCompress(&job);
    int status = kStatusOk;
    if (!ok)
        status = job.libjpegError == JERR_OUT_OF_MEMORY ? kStatusOutOfMemory : kStatusInvalidParameter;
    else
        status = copyOut(job, out);
    std::free(job.dest.data);
    return status;
}

} // namespace ostrovel::detail
