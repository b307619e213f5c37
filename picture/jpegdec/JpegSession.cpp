#include "picture/jpegdec/JpegSession.h"

#include "picture/Limits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <jerror.h>

namespace ostrovel::jpegdec {
namespace {

// Row pointers handed to libjpeg per call.
constexpr int kRowBatch = 16;

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kApp2 = JPEG_APP0 + 2;

[[noreturn]] void fail(j_common_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegSession::Errors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->text);
    std::longjmp(errors->jump, 1);
}

// A progressive scan ran out of data: its coefficients are noted as made up.
bool noteIncompleteScan(j_common_ptr common)
{
    if (common->is_decompressor == FALSE)
        return false;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (!cinfo->progressive_mode || cinfo->Ss < 0 || cinfo->Se >= DCTSIZE2)
        return false;
    auto* errors = reinterpret_cast<JpegSession::Errors*>(cinfo->err);
    for (int i = 0; i < cinfo->comps_in_scan; ++i)
        for (int k = cinfo->Ss; k <= cinfo->Se; ++k)
            errors->incomplete[cinfo->cur_comp_info[i]->component_index][k] = true;
    return true;
}

// Warnings are ignored and never printed, except data that ends before the
// picture does, at the end of the file or at a marker where a scan's data
// should go on: the rest of the image would be made up. In a progressive
// file that matters only if the scale uses the scan's coefficients.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        fail(cinfo);
    if (level < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER && !noteIncompleteScan(cinfo))
        fail(cinfo);
    if (level < 0)
        ++cinfo->err->num_warnings;
}

// The zigzag index of each coefficient, by row and column of its block.
constexpr int kZigzag[8][8] = {
    {0, 1, 5, 6, 14, 15, 27, 28},     {2, 4, 7, 13, 16, 26, 29, 42},    {3, 8, 12, 17, 25, 30, 41, 43},
    {9, 11, 18, 24, 31, 40, 44, 53},  {10, 19, 23, 32, 39, 45, 52, 54}, {20, 22, 33, 38, 46, 51, 55, 60},
    {21, 34, 37, 47, 50, 56, 59, 61}, {35, 36, 48, 49, 57, 58, 62, 63}};

void silently(j_common_ptr) {}

[[noreturn]] void ownDecoderGivesUp(j_decompress_ptr cinfo)
{
    auto* errors = reinterpret_cast<JpegSession::Errors*>(cinfo->err);
    errors->gaveUp = true;
    std::strcpy(errors->text, "data our Huffman decoder does not read");
    std::longjmp(errors->jump, 1);
}

void onProgress(j_common_ptr cinfo)
{
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans)
        fail(cinfo);
}

void startSource(j_decompress_ptr) {}
void endSource(j_decompress_ptr) {}

JpegSession::Source& sourceOf(j_decompress_ptr cinfo)
{
    return *reinterpret_cast<JpegSession::Source*>(cinfo->src);
}

boolean nextSpan(j_decompress_ptr cinfo)
{
    JpegSession::Source& src = sourceOf(cinfo);
    while (src.next < src.count) {
        const ByteSpan& span = src.spans[src.next++];
        if (span.size > 0) {
            src.mgr.next_input_byte = span.data;
            src.mgr.bytes_in_buffer = span.size;
            return TRUE;
        }
    }
    WARNMS(cinfo, JWRN_JPEG_EOF); // does not return: onMessage fails
    static const JOCTET endOfImage[2] = {0xFF, JPEG_EOI};
    src.mgr.next_input_byte = endOfImage;
    src.mgr.bytes_in_buffer = 2;
    return TRUE;
}

void skipBytes(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto left = static_cast<std::size_t>(count);
    jpeg_source_mgr& mgr = sourceOf(cinfo).mgr;
    while (left > mgr.bytes_in_buffer) {
        left -= mgr.bytes_in_buffer;
        nextSpan(cinfo);
    }
    mgr.next_input_byte += left;
    mgr.bytes_in_buffer -= left;
}

// The TIFF data of the first APP1 segment that is Exif.
ByteSpan findExif(jpeg_saved_marker_ptr marker)
{
    for (; marker; marker = marker->next) {
        if (marker->marker == kApp1 && marker->data_length >= 6 && std::memcmp(marker->data, "Exif\0", 5) == 0)
            return {marker->data + 6, marker->data_length - 6};
    }
    return {};
}

} // namespace

JpegSession::JpegSession()
{
    m_cinfo.err = jpeg_std_error(&m_errors.mgr);
    m_errors.mgr.error_exit = fail;
    m_errors.mgr.emit_message = onMessage;
    m_errors.mgr.output_message = silently;
    if (setjmp(m_errors.jump))
        return;
    jpeg_create_decompress(&m_cinfo);
    m_created = true;
    m_cinfo.mem->max_memory_to_use = kJpegWorkingMemoryBytes;
    m_progress.progress_monitor = onProgress;
    m_cinfo.progress = &m_progress;
    m_source.mgr.init_source = startSource;
    m_source.mgr.fill_input_buffer = nextSpan;
    m_source.mgr.skip_input_data = skipBytes;
    m_source.mgr.resync_to_restart = jpeg_resync_to_restart;
    m_source.mgr.term_source = endSource;
    m_cinfo.src = &m_source.mgr;
}

JpegSession::~JpegSession()
{
    std::free(m_icc);
    if (m_created)
        jpeg_destroy_decompress(&m_cinfo);
}

bool JpegSession::readHeader(ByteSpan whole)
{
    if (!m_created)
        return false;
    m_whole = whole;
    continueWith(&m_whole, 1);
    if (setjmp(m_errors.jump))
        return false;
    jpeg_save_markers(&m_cinfo, kApp1, 0xFFFF);
    jpeg_save_markers(&m_cinfo, kApp2, 0xFFFF);
    if (jpeg_read_header(&m_cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    jpeg_read_icc_profile(&m_cinfo, &m_icc, &m_iccSize);
    noteHeader();
    return true;
}

void JpegSession::noteHeader()
{
    m_header.stored = QSize(int(m_cinfo.image_width), int(m_cinfo.image_height));
    m_header.progressive = m_cinfo.progressive_mode;
    m_header.arithmetic = m_cinfo.arith_code;
    m_header.cmyk = m_cinfo.jpeg_color_space == JCS_CMYK || m_cinfo.jpeg_color_space == JCS_YCCK;
    m_header.adobeMarker = m_cinfo.saw_Adobe_marker;
    m_exif = findExif(m_cinfo.marker_list);
    // BGRA rather than BGRX: only it promises 255 in the fourth byte, which
    // Format_RGB32 requires; libjpeg-turbo runs the same code for both.
    m_cinfo.out_color_space = m_header.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    m_cinfo.dct_method = JDCT_ISLOW;
    // Only matters for incomplete coefficients, which a complete file has not.
    m_cinfo.do_block_smoothing = FALSE;
}

std::size_t JpegSession::position() const
{
    return std::size_t(m_source.mgr.next_input_byte - m_whole.data);
}

QSize JpegSession::setScale(int denominator)
{
    if (setjmp(m_errors.jump))
        return {};
    m_cinfo.scale_num = 1;
    m_cinfo.scale_denom = unsigned(denominator);
    jpeg_calc_output_dimensions(&m_cinfo);
    return QSize(int(m_cinfo.output_width), int(m_cinfo.output_height));
}

void JpegSession::limitWorkingMemory(long bytes)
{
    // 0 would mean no limit at all.
    if (m_created)
        m_cinfo.mem->max_memory_to_use = std::clamp(bytes, 1L, m_cinfo.mem->max_memory_to_use);
}

void JpegSession::continueWith(const ByteSpan* spans, std::size_t count)
{
    m_source.spans = spans;
    m_source.count = count;
    m_source.next = 0;
    m_source.mgr.next_input_byte = nullptr;
    m_source.mgr.bytes_in_buffer = 0;
    while (m_source.next < count && m_source.mgr.bytes_in_buffer == 0) {
        m_source.mgr.next_input_byte = spans[m_source.next].data;
        m_source.mgr.bytes_in_buffer = spans[m_source.next].size;
        ++m_source.next;
    }
}

void JpegSession::useOwnEntropyDecoder()
{
    m_scan = std::make_unique<BaselineScan>();
}

bool JpegSession::start()
{
    if (setjmp(m_errors.jump))
        return false;
    if (!jpeg_start_decompress(&m_cinfo) || m_cinfo.output_components != 4)
        return false;
    // Only when the rest of the file is the one span in memory.
    if (m_scan && m_source.next == m_source.count && BaselineScan::Fits(&m_cinfo)) {
        m_cinfo.client_data = m_scan.get();
        if (!m_scan->TakeOver(&m_cinfo, ownDecoderGivesUp))
            m_cinfo.client_data = nullptr;
    }
    return true;
}

bool JpegSession::coefficientsComplete() const
{
    if (!m_cinfo.progressive_mode || !m_cinfo.coef_bits)
        return true;
    for (int c = 0; c < m_cinfo.num_components; ++c) {
        // A reduced inverse DCT of size n reads the n x n lowest frequencies.
        const int n = std::clamp(m_cinfo.comp_info[c].DCT_scaled_size, 1, 8);
        for (int row = 0; row < n; ++row)
            for (int col = 0; col < n; ++col)
                if (m_cinfo.coef_bits[c][kZigzag[row][col]] != 0 || m_errors.incomplete[c][kZigzag[row][col]])
                    return false; // never sent, not refined to its last bit, or cut short
    }
    return true;
}

bool JpegSession::readRows(unsigned char* first, std::ptrdiff_t bytesPerLine)
{
    if (setjmp(m_errors.jump))
        return false;
    JSAMPROW rows[kRowBatch];
    while (m_cinfo.output_scanline < m_cinfo.output_height) {
        const JDIMENSION y = m_cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, m_cinfo.output_height - y);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = first + std::ptrdiff_t(y + i) * bytesPerLine;
        jpeg_read_scanlines(&m_cinfo, rows, count);
    }
    jpeg_finish_decompress(&m_cinfo);
    return true;
}

} // namespace ostrovel::jpegdec
