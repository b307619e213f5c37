#include "picture/jpegdec/NeededScans.h"

#include "picture/Limits.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ostrovel::jpegdec {
namespace {

constexpr int kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kSof2 = 0xC2, kDht = 0xC4;
constexpr std::size_t kNone = std::size_t(-1);

struct ScanHeader {
    int components = 0;
    std::array<unsigned char, 4> ids{};
    int acTable = 0; ///< AC Huffman table slot of the first component
    int spectralStart = 0;
    int spectralEnd = 0;
    int high = 0; ///< successive approximation: bit position of the previous scan
    int low = 0;  ///< and of this one

    bool isDcFirst() const { return spectralStart == 0 && spectralEnd == 0 && high == 0 && low <= 13; }
    // An AC scan with parameters libjpeg accepts (it rejects the file otherwise).
    bool isValidAc() const
    {
        return components == 1 && spectralStart >= 1 && spectralStart <= spectralEnd && spectralEnd <= 63
            && (high == 0 || low == high - 1) && low <= 13;
    }
};

// Marker segments that may stand between the scans of a progressive file
// and need nothing from us: quantization tables, restart interval,
// comments, APPn. (Huffman tables are followed, see AcTables.)
bool isPlainSegment(int marker)
{
    return marker == 0xDB || marker == 0xDD || marker == 0xFE || (marker >= 0xE0 && marker <= 0xEF);
}

// Whether the code lengths make a Huffman code libjpeg accepts: no length
// may run out of codes (its jpeg_make_d_derived_tbl check).
bool isValidCode(const unsigned char* countsByLength)
{
    unsigned code = 0;
    for (int length = 1; length <= 16; ++length) {
        code += countsByLength[length - 1];
        if (code >= (1u << length))
            return false;
        code <<= 1;
    }
    return true;
}

// The AC Huffman tables a scan could use without libjpeg failing on it: DHT
// segments define slots 0..3 (a progressive decode has no standard tables),
// and a table is checked when a scan uses it. A skipped scan must not be one
// libjpeg would have failed on.
class AcTables {
public:
    // Follows the DHT segment whose length field is at `p`; false when
    // libjpeg would reject it.
    bool read(const unsigned char* p, std::size_t length)
    {
        std::size_t left = length - 2;
        p += 2;
        while (left > 16) {
            const int index = p[0];
            std::size_t count = 0;
            for (int i = 1; i <= 16; ++i)
                count += p[i];
            left -= 17;
            const bool ac = index & 0x10;
            const int slot = ac ? index - 0x10 : index;
            if (count > 256 || count > left || slot >= 4)
                return false;
            if (ac)
                m_usable[std::size_t(slot)] = isValidCode(p + 1);
            p += 17 + count;
            left -= count;
        }
        return left == 0;
    }
    bool usable(int slot) const { return slot < 4 && m_usable[std::size_t(slot)]; }

private:
    std::array<bool, 4> m_usable{};
};

class Parser {
public:
    explicit Parser(ByteSpan whole) : m_data(whole.data), m_size(whole.size) {}

    const unsigned char* at(std::size_t offset) const { return m_data + offset; }

    // The length of the segment whose length field is at `at`; 0 if it does
    // not fit in the file.
    std::size_t segmentLength(std::size_t at) const
    {
        if (at + 2 > m_size)
            return 0;
        const std::size_t length = std::size_t(m_data[at]) << 8 | m_data[at + 1];
        return length >= 2 && length <= m_size - at ? length : 0;
    }

    std::optional<ScanHeader> scanHeader(std::size_t at, std::size_t length) const
    {
        const unsigned char* p = m_data + at + 2;
        ScanHeader scan;
        scan.components = p[0];
        if (scan.components < 1 || scan.components > 4 || length != std::size_t(6 + 2 * scan.components))
            return std::nullopt;
        for (int i = 0; i < scan.components; ++i)
            scan.ids[std::size_t(i)] = p[1 + 2 * i];
        scan.acTable = p[2] & 0x0F;
        const unsigned char* params = p + 1 + 2 * scan.components;
        scan.spectralStart = params[0];
        scan.spectralEnd = params[1];
        scan.high = params[2] >> 4;
        scan.low = params[2] & 0x0F;
        return scan;
    }

    // Where the entropy-coded data starting at `at` ends: the first 0xFF of
    // the next marker that is neither a stuffed zero nor RSTn.
    std::size_t entropyEnd(std::size_t at) const
    {
        while (at < m_size) {
            const void* found = std::memchr(m_data + at, 0xFF, m_size - at);
            if (!found)
                return kNone;
            const std::size_t ff = std::size_t(static_cast<const unsigned char*>(found) - m_data);
            std::size_t next = ff + 1;
            while (next < m_size && m_data[next] == 0xFF)
                ++next;
            if (next >= m_size)
                return kNone;
            if (m_data[next] != 0x00 && (m_data[next] < 0xD0 || m_data[next] > 0xD7))
                return ff;
            at = next + 1;
        }
        return kNone;
    }

    // The marker code at `at`, after any fill bytes; `at` moves past it.
    int marker(std::size_t& at) const
    {
        if (at >= m_size || m_data[at] != 0xFF)
            return -1;
        while (at + 1 < m_size && m_data[at + 1] == 0xFF)
            ++at;
        if (at + 1 >= m_size)
            return -1;
        at += 2;
        return m_data[at - 1];
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
};

class Planner {
public:
    Planner(ByteSpan whole, std::size_t from, const std::vector<int>& dcOnlyIds)
        : m_whole(whole), m_parser(whole), m_keptFrom(from), m_dcOnly(dcOnlyIds) {}

    std::optional<NeededScans> run()
    {
        std::size_t at = 0;
        if (m_parser.marker(at) != kSoi)
            return std::nullopt;
        for (;;) {
            const std::size_t start = at;
            const int code = m_parser.marker(at);
            if (code == kEoi)
                return finish(at);
            if (!step(code, start, at))
                return std::nullopt;
        }
    }

private:
    // Handles the segment of marker `code` that began at `start`; `at` is
    // just past the marker and moves past the segment.
    bool step(int code, std::size_t start, std::size_t& at)
    {
        const std::size_t length = m_parser.segmentLength(at);
        if (length == 0)
            return false;
        if (code == kSof2 && !m_sawFrame)
            m_sawFrame = true;
        else if (code == kSos && m_sawFrame)
            return scan(start, at, length);
        else if (code == kDht && !m_acTables.read(m_parser.at(at), length))
            return false;
        else if (code != kDht && !isPlainSegment(code))
            return false;
        at += length;
        return true;
    }

    bool scan(std::size_t start, std::size_t& at, std::size_t length)
    {
        const std::optional<ScanHeader> header = m_parser.scanHeader(at, length);
        if (!header || ++m_scans > kMaxJpegScans)
            return false;
        const std::size_t end = m_parser.entropyEnd(at + length);
        if (end == kNone)
            return false;
        at = end;
        if (header->isDcFirst())
            for (int i = 0; i < header->components; ++i)
                m_dcSeen[header->ids[std::size_t(i)]] = true;
        if (!isUnused(*header))
            return true;
        if (start < m_keptFrom)
            return false; // libjpeg has read it already
        keep(start);
        m_keptFrom = end;
        ++m_result.skippedScans;
        return true;
    }

    // An AC scan of a component that needs only DC, which libjpeg would
    // read without complaint: its DC came first and its table is usable.
    bool isUnused(const ScanHeader& scan) const
    {
        const int id = scan.ids[0];
        return scan.isValidAc() && m_dcSeen[std::size_t(id)] && m_acTables.usable(scan.acTable)
            && std::find(m_dcOnly.begin(), m_dcOnly.end(), id) != m_dcOnly.end();
    }

    void keep(std::size_t until)
    {
        if (until > m_keptFrom)
            m_result.spans.push_back({m_whole.data + m_keptFrom, until - m_keptFrom});
    }

    std::optional<NeededScans> finish(std::size_t end)
    {
        if (m_result.skippedScans == 0)
            return std::nullopt;
        keep(end);
        return std::move(m_result);
    }

    ByteSpan m_whole;
    Parser m_parser;
    std::size_t m_keptFrom;
    const std::vector<int>& m_dcOnly;
    NeededScans m_result;
    AcTables m_acTables;
    std::array<bool, 256> m_dcSeen{};
    bool m_sawFrame = false;
    int m_scans = 0;
};

} // namespace

std::optional<NeededScans> findNeededScans(ByteSpan whole, std::size_t from, const std::vector<int>& dcOnlyIds)
{
    if (!whole.data || from > whole.size || dcOnlyIds.empty())
        return std::nullopt;
    return Planner(whole, from, dcOnlyIds).run();
}

} // namespace ostrovel::jpegdec
