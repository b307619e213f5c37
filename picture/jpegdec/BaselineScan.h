#pragma once
// Huffman decoding of a sequential file's one scan in place of libjpeg's own.
// Almost all of a reduced decode is spent reading the entropy-coded data, and
// at 1/8 scale most of it is coefficients that are read only to be thrown
// away: this decoder skips such a coefficient with its code in one table
// lookup, reads from a wide bit buffer over data with the stuffed bytes
// already taken out, and writes the same coefficients libjpeg would, so that
// libjpeg's inverse DCT and colour conversion give the same pixels.
//
// It accepts only what a sound file holds. A code no table has, a restart
// marker out of turn, data that ends early or runs into a marker: it gives up
// through the callback, and the caller decodes the file again with libjpeg
// alone, whose verdict then stands.

#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace ostrovel::jpegdec {

// The entries of BaselineScan::Table, packed into 32 bits each so that one
// load serves the hot loop; read and written only through these.

/// `fast` entry: the symbol (bits 0-7) and its code length (bits 8-12, 0
/// for a code longer than the table's bits).
constexpr inline std::uint32_t fastEntry(unsigned symbol, unsigned length) { return symbol | length << 8; }
constexpr inline unsigned fastSymbol(std::uint32_t entry) { return entry & 0xFF; }
constexpr inline unsigned fastLength(std::uint32_t entry) { return (entry >> 8) & 31; }

/// `skip` entry: the codes (with their magnitude bits) lying wholly in the
/// looked-up bits, up to and with an end of block: their bits (bits 0-4, 0
/// for none), how far they move along the block (bits 8-15), the last
/// position they may start at (bits 16-23) and whether they end it (bit 24).
constexpr inline std::uint32_t skipEntry(unsigned bits, unsigned advance, unsigned lastStart, bool ends)
{
    return bits | advance << 8 | lastStart << 16 | (ends ? 1u << 24 : 0);
}
constexpr inline unsigned skipBits(std::uint32_t entry) { return entry & 31; }
constexpr inline unsigned skipAdvance(std::uint32_t entry) { return (entry >> 8) & 0xFF; }
constexpr inline unsigned skipLastStart(std::uint32_t entry) { return (entry >> 16) & 0xFF; }
constexpr inline bool skipEnds(std::uint32_t entry) { return (entry >> 24) != 0; }

/// `coded` entry: a code and its magnitude bits lying both in the looked-up
/// bits: the value (bits 0-15), the zeros before it (bits 16-19) and the
/// bits (bits 20-24); for an end of block its bits and bit 25; 0 otherwise.
constexpr inline std::uint32_t codedEntry(std::int16_t value, unsigned zeros, unsigned bits)
{
    return std::uint16_t(value) | zeros << 16 | bits << 20;
}
constexpr inline std::uint32_t codedEndOfBlock(unsigned bits) { return bits << 20 | 1u << 25; }
constexpr inline std::int16_t codedValue(std::uint32_t entry) { return std::int16_t(entry & 0xFFFF); }
constexpr inline unsigned codedZeros(std::uint32_t entry) { return (entry >> 16) & 15; }
constexpr inline unsigned codedBits(std::uint32_t entry) { return (entry >> 20) & 31; }
constexpr inline bool codedEnds(std::uint32_t entry) { return (entry >> 25) != 0; }

class BaselineScan {
public:
    /// Codes up to this long are decoded by one table lookup.
    static constexpr int kFastBits = 10;
    /// The bits one lookup skips several unwanted coefficients in.
    static constexpr int kSkipBits = 12;

    /// One Huffman table as the decoder uses it.
    struct Table {
        /// By the next kFastBits bits: a fastEntry.
        std::uint32_t fast[1 << kFastBits];
        /// AC tables only, by the next kSkipBits bits: a skipEntry.
        std::uint32_t skip[1 << kSkipBits];
        /// AC tables only, by the next kFastBits bits: a codedEntry.
        std::uint32_t coded[1 << kFastBits];
        std::int32_t maxCode[18];   ///< largest code of each length, -1 if none
        std::int32_t valueOffset[17];
        std::uint8_t values[256];
    };

    /// Whether `cinfo`, just started, has the kind of scan this decoder
    /// reads: sequential, Huffman-coded, 8 bits, every component in one
    /// scan of all 64 coefficients at full precision (Ss 0, Se 63, Ah = Al
    /// = 0: a lossless file has other values), the rest of the data in
    /// memory and nothing of it read yet.
    static bool fits(j_decompress_ptr cinfo);

    /// Takes over the entropy decoding of `cinfo` (which must fit) through
    /// `cinfo->client_data`, which must point to this object until the
    /// decompression ends. `giveUp` must not return. False, with nothing
    /// changed, when a table is unusable.
    bool takeOver(j_decompress_ptr cinfo, void (*giveUp)(j_decompress_ptr));

    /// Window of unstuffed data, and the zeros after it that reads of a whole
    /// MCU beyond its end may touch.
    static constexpr std::size_t kWindow = 64 * 1024;
    static constexpr std::size_t kPad = 4096;

private:
    struct Reader {
        const std::uint8_t* next; ///< the next byte to load
        std::uint64_t bits;       ///< unread bits, the first in bit 63
        unsigned count;           ///< how many of them are valid
    };
    struct Block {
        const Table* dc;
        const Table* ac;
        int component; ///< index into last DC values
        bool storeDc;
        bool storeAc;
    };

    static boolean decodeMcu(j_decompress_ptr cinfo, JBLOCKROW* blocks);
    void decodeOne(JBLOCKROW* blocks);
    void startInterval(j_decompress_ptr cinfo);
    void unstuff();
    void slide();
    std::size_t consumedBits() const;
    [[noreturn]] void giveUp() const;
    void finish(j_decompress_ptr cinfo);

    j_decompress_ptr m_cinfo = nullptr;
    void (*m_giveUp)(j_decompress_ptr) = nullptr;
    Table m_dc[NUM_HUFF_TBLS];
    Table m_ac[NUM_HUFF_TBLS];
    Block m_blocks[D_MAX_BLOCKS_IN_MCU];
    int m_blockCount = 0;
    int m_lastDc[MAX_COMPS_IN_SCAN] = {};

    // The original data: where unstuffing goes on, and its end.
    const std::uint8_t* m_source = nullptr;
    const std::uint8_t* m_sourceEnd = nullptr;
    // The marker that ends the current interval, once it is found.
    bool m_intervalEnds = false;
    int m_marker = -1;                         ///< -1: the data ended
    const std::uint8_t* m_markerAt = nullptr;  ///< its first 0xFF

    std::uint8_t m_window[kWindow + kPad];
    std::size_t m_filled = 0;
    Reader m_reader{};

    std::uint64_t m_mcusLeft = 0;
    unsigned m_restartsToGo = 0;
    int m_nextRestart = 0;
};

} // namespace ostrovel::jpegdec
