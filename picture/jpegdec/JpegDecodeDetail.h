#pragma once
// Knobs of the decoder that its tests and benchmark use; its limits are in
// Limits.h.

#include "picture/jpegdec/JpegDecoder.h"
#include "picture/Limits.h"

namespace ostrovel::jpegdec {

struct DecodeOptions {
    /// Leave unread the scans of a progressive file that the chosen scale
    /// does not use; off reads every scan.
    bool skipUnusedScans = true;
    /// When set, receives how many scans were left unread.
    int* skippedScans = nullptr;
    /// When set, receives why the decode failed.
    QString* reason = nullptr;
    /// Read a sequential file's scan with our own Huffman decoder; off (or
    /// when it gives up on odd data) libjpeg reads it.
    bool ownEntropyDecoder = true;
    /// When set, receives whether our own Huffman decoder read the whole scan.
    bool* ownEntropyUsed = nullptr;
};

/// DecodeJpeg with explicit options.
std::optional<DecodedJpeg> decodeJpeg(const QByteArray& data, const DenominatorChooser& chooseDenominator,
                                      const DecodeOptions& options);

} // namespace ostrovel::jpegdec
