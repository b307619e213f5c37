#pragma once
// At a 1/8 DCT scale libjpeg gives a component whose blocks shrink to one
// pixel a 1x1 inverse DCT, which reads only the DC coefficient. A
// progressive file keeps the AC coefficients in scans of their own, so those
// scans can be left out unread: most of the file's bytes.

#include "picture/jpegdec/ByteSpan.h"

#include <optional>
#include <vector>

namespace ostrovel::jpegdec {

struct NeededScans {
    std::vector<ByteSpan> spans; ///< what is left to read, in order
    int skippedScans = 0;
};

/// The rest of the progressive JPEG `whole`, from offset `from` (inside the
/// first scan) to its EOI, without the AC scans of the components whose ids
/// are in `dcOnlyIds`. Every other segment (tables, restart intervals, DC
/// scans, refinements) is kept as it is, and so is any AC scan libjpeg
/// would fail on, so that leaving scans out never turns a failing file into
/// a picture. Nothing when no scan can be left out, or the file is anything
/// but a Huffman-coded progressive file whose every marker this parse
/// understands, ending in EOI.
std::optional<NeededScans> findNeededScans(ByteSpan whole, std::size_t from, const std::vector<int>& dcOnlyIds);

} // namespace ostrovel::jpegdec
