#pragma once
// The only place that calls libjpeg (with BaselineScan, which it hands a
// sequential scan to). Its errors unwind by longjmp, so each
// call into it is made from a member function that holds nothing needing a
// destructor, and a failed step leaves the session unusable but destructible.

#include "picture/jpegdec/BaselineScan.h"
#include "picture/jpegdec/ByteSpan.h"

#include <QSize>

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <memory>
#include <vector>

namespace ostrovel::jpegdec {

/// What the marker segments before the first scan say.
struct JpegHeader {
    QSize stored;             ///< size as stored, before any orientation
    bool progressive = false;
    bool arithmetic = false;
    bool cmyk = false;        ///< four colour components, decoded as CMYK
    bool adobeMarker = false; ///< an Adobe APP14 segment was seen
};

class JpegSession {
public:
    JpegSession();
    ~JpegSession();
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    /// Reads `whole` up to its first scan, keeping the Exif and ICC segments.
    /// `whole` must outlive the session. False on any failure.
    bool readHeader(ByteSpan whole);
    const JpegHeader& header() const { return m_header; }
    /// The TIFF data of the first Exif APP1 segment; empty when there is none.
    ByteSpan exifTiff() const { return m_exif; }
    /// The embedded ICC profile; empty when there is none or it is damaged.
    ByteSpan iccProfile() const { return {m_icc, m_iccSize}; }
    /// Offset in `whole` of the first byte libjpeg has not read yet.
    std::size_t position() const;

    /// Selects the 1/`denominator` DCT scale and returns the output size in
    /// pixels (invalid on failure). Allocates nothing.
    QSize setScale(int denominator);
    int componentCount() const { return m_cinfo.num_components; }
    int componentId(int index) const { return m_cinfo.comp_info[index].component_id; }
    /// Size of the inverse DCT a component gets at the chosen scale (1..8).
    int componentDctSize(int index) const { return m_cinfo.comp_info[index].DCT_scaled_size; }

    /// Lowers libjpeg's limit on its own working memory (a progressive
    /// file's coefficients) to `bytes`; beyond it, start() fails instead of
    /// allocating.
    void limitWorkingMemory(long bytes);

    /// Replaces the unread rest of the input with `spans` (in order), which
    /// must outlive the session. Call between readHeader and start.
    void continueWith(const ByteSpan* spans, std::size_t count);

    /// Lets start() hand a sequential file's scan to our own Huffman
    /// decoder (BaselineScan). Call before start().
    void useOwnEntropyDecoder();
    /// Starts decompressing; a progressive file is read whole here.
    bool start();
    /// Whether start() handed the scan to our own decoder.
    bool ownEntropyDecoder() const { return m_cinfo.client_data != nullptr; }
    /// Whether our own decoder met data it does not read (the decode failed
    /// then; libjpeg alone is to decode the file again).
    bool ownDecoderGaveUp() const { return m_errors.gaveUp; }
    /// After start(): whether a progressive file held every coefficient the
    /// chosen scale uses, fully refined (true for sequential files, whose
    /// missing data shows as a premature end instead).
    bool coefficientsComplete() const;
    /// libjpeg's words for the failure that ended the last step; empty if none.
    const char* failure() const { return m_errors.text; }
    /// Decodes every row, 4 bytes a pixel (blue, green, red, 255 or, for
    /// CMYK, C, M, Y, K as stored), the first row at `first`, rows
    /// `bytesPerLine` apart. Then reads to the end of the image.
    bool readRows(unsigned char* first, std::ptrdiff_t bytesPerLine);

    /// The source state libjpeg sees, with the spans it is fed from.
    struct Source {
        jpeg_source_mgr mgr;
        const ByteSpan* spans;
        std::size_t count;
        std::size_t next;
    };
    /// The error manager with the place failures jump back to.
    struct Errors {
        jpeg_error_mgr mgr;
        std::jmp_buf jump;
        char text[JMSG_LENGTH_MAX];
        /// Coefficients (component index, zigzag index) of a progressive
        /// scan whose data ended early: made up, unless the scale never uses them.
        bool incomplete[MAX_COMPONENTS][DCTSIZE2];
        bool gaveUp; ///< our own Huffman decoder gave up
    };

    /// Whether our own Huffman decoder decodes a built-in picture exactly as
    /// libjpeg does, at full and 1/8 scale; tried once per process. start()
    /// uses it only then.
    static bool ownDecoderAgrees();

private:
    void noteHeader();
    static bool probeDecode(bool own, int denominator, std::vector<unsigned char>& pixels);

    jpeg_decompress_struct m_cinfo{};
    Errors m_errors{};
    Source m_source{};
    jpeg_progress_mgr m_progress{};
    JpegHeader m_header;
    ByteSpan m_whole;
    ByteSpan m_exif;
    unsigned char* m_icc = nullptr;
    unsigned int m_iccSize = 0;
    bool m_created = false;
    std::unique_ptr<BaselineScan> m_scan;
    bool m_probing = false; ///< the self-test's own session
};

} // namespace ostrovel::jpegdec
