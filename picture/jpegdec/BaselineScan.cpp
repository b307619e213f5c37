#include "picture/jpegdec/BaselineScan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace ostrovel::jpegdec {
namespace {

// The coefficient's place in its block, by its index in the data.
constexpr int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                              12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                              35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                              58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The head of libjpeg's entropy decoder object (struct jpeg_entropy_decoder
// in jpegint.h). That header is private: the library's ABI (libjpeg.so.62)
// covers only the public structs and calls, so what is relied on here is
// that these two members lead the object, as they have since libjpeg 6
// (1995); that the one-pass coefficient controller calls decode_mcu once
// per MCU with the blocks in MCU_membership order; and the public fields
// fits() checks. takeOver() checks that both members point into libjpeg, and
// JpegSession decodes a built-in picture both ways once per process before
// trusting any of it.
struct EntropyHead {
    void (*startPass)(j_decompress_ptr);
    boolean (*decodeMcu)(j_decompress_ptr, JBLOCKROW*);
};

// Whether `code` lies in the library (or program) that holds libjpeg: a
// check that the two members above really are libjpeg's functions.
bool inLibjpeg(const void* code)
{
    Dl_info libjpeg{}, other{};
    return code != nullptr && dladdr(reinterpret_cast<const void*>(&jpeg_start_decompress), &libjpeg) != 0
           && dladdr(code, &other) != 0 && libjpeg.dli_fbase == other.dli_fbase;
}

// The libjpeg way of building a canonical Huffman code from its lengths,
// with the same checks. False for a table libjpeg would not accept.
bool buildTable(const JHUFF_TBL* source, bool dc, BaselineScan::Table& t)
{
    if (!source)
        return false;
    int sizes[257];
    unsigned codes[256];
    int count = 0;
    for (int length = 1; length <= 16; ++length)
        for (int i = 0; i < source->bits[length]; ++i) {
            if (count >= 256)
                return false;
            sizes[count++] = length;
        }
    sizes[count] = 0;
    unsigned code = 0;
    for (int p = 0, size = sizes[0]; sizes[p] != 0; ++size) {
        while (sizes[p] == size)
            codes[p++] = code++;
        if (code >= (1u << size))
            return false;
        code <<= 1;
    }
    for (int i = 0; i < count; ++i)
        if (dc && source->huffval[i] > 15)
            return false;
    std::memset(t.fast, 0, sizeof t.fast);
    int p = 0;
    for (int length = 1; length <= 16; ++length) {
        const int n = source->bits[length];
        if (n == 0) {
            t.maxCode[length] = -1;
            continue;
        }
        t.valueOffset[length] = p - int(codes[p]);
        t.maxCode[length] = int(codes[p + n - 1]);
        for (int i = 0; i < n && length <= BaselineScan::kFastBits; ++i) {
            const unsigned symbol = source->huffval[p + i];
            const int free = BaselineScan::kFastBits - length;
            const std::uint32_t entry = fastEntry(symbol, unsigned(length));
            const unsigned first = codes[p + i] << free;
            for (unsigned j = 0; j < (1u << free); ++j)
                t.fast[first + j] = entry;
        }
        p += n;
    }
    std::memcpy(t.values, source->huffval, sizeof t.values);
    return true;
}

// A coefficient's value from its `size` magnitude bits.
inline int extend(unsigned value, unsigned size)
{
    return value < (1u << (size - 1)) ? int(value) - int((1u << size) - 1) : int(value);
}

void buildAcTables(BaselineScan::Table& t)
{
    constexpr unsigned fast = BaselineScan::kFastBits;
    for (unsigned i = 0; i < (1u << fast); ++i) {
        const std::uint32_t entry = t.fast[i];
        const unsigned length = fastLength(entry), symbol = fastSymbol(entry), size = symbol & 15;
        t.coded[i] = 0;
        if (length != 0 && size == 0 && symbol != 0xF0) {
            t.coded[i] = codedEndOfBlock(length);
            continue;
        }
        if (length == 0 || size == 0 || length + size > fast)
            continue;
        const unsigned magnitude = (i >> (fast - length - size)) & ((1u << size) - 1);
        t.coded[i] = codedEntry(std::int16_t(extend(magnitude, size)), symbol >> 4, length + size);
    }
    constexpr unsigned bits = BaselineScan::kSkipBits, mask = (1u << bits) - 1;
    for (unsigned i = 0; i <= mask; ++i) {
        unsigned used = 0, advance = 0;
        bool ends = false;
        for (;;) {
            const unsigned from = (i << used) & mask;
            const std::uint32_t entry = t.fast[from >> (bits - BaselineScan::kFastBits)];
            const unsigned length = fastLength(entry), symbol = fastSymbol(entry);
            if (length == 0 || used + length + (symbol & 15) > bits)
                break;
            used += length + (symbol & 15);
            if ((symbol & 15) == 0 && symbol != 0xF0) {
                ends = true;
                break;
            }
            advance += (symbol >> 4) + 1;
        }
        // Each code must start inside the block: before an end of block at
        // most at 63, otherwise the last one at most at 63 too.
        const int lastStart = (ends ? 63 : 64) - int(advance);
        t.skip[i] = used == 0 || lastStart < 1
                        ? 0
                        : skipEntry(used, advance, unsigned(lastStart), ends);
    }
}

// The reader's buffer holds at least 56 bits after this; it may read 8
// bytes beyond the next one, which the window's padding provides.
inline void refill(std::uint64_t& bits, unsigned& count, const std::uint8_t*& next)
{
    std::uint64_t word;
    std::memcpy(&word, next, sizeof word);
    bits |= __builtin_bswap64(word) >> count;
    next += (63 - count) >> 3;
    count |= 56;
}

inline void drop(std::uint64_t& bits, unsigned& count, unsigned n)
{
    bits <<= n;
    count -= n;
}

// The next `n` (1..16) bits as a number.
inline unsigned take(std::uint64_t& bits, unsigned& count, unsigned n)
{
    const auto value = unsigned(bits >> (64 - n));
    drop(bits, count, n);
    return value;
}

} // namespace

bool BaselineScan::fits(j_decompress_ptr cinfo)
{
    return !cinfo->progressive_mode && !cinfo->arith_code && cinfo->data_precision == 8 && !cinfo->buffered_image
           && !jpeg_has_multiple_scans(cinfo) && cinfo->comps_in_scan == cinfo->num_components
           && cinfo->blocks_in_MCU > 0 && cinfo->blocks_in_MCU <= D_MAX_BLOCKS_IN_MCU && cinfo->unread_marker == 0
           && cinfo->output_scanline == 0 && cinfo->src != nullptr && cinfo->src->bytes_in_buffer > 0
           && cinfo->MCUs_per_row > 0 && cinfo->MCU_rows_in_scan > 0
           && cinfo->Ss == 0 && cinfo->Se == DCTSIZE2 - 1 && cinfo->Ah == 0 && cinfo->Al == 0;
}

bool BaselineScan::takeOver(j_decompress_ptr cinfo, void (*giveUp)(j_decompress_ptr))
{
    auto* entropy = reinterpret_cast<EntropyHead*>(cinfo->entropy);
    if (!entropy || !inLibjpeg(reinterpret_cast<const void*>(entropy->startPass))
        || !inLibjpeg(reinterpret_cast<const void*>(entropy->decodeMcu)))
        return false;
    bool builtDc[NUM_HUFF_TBLS] = {}, builtAc[NUM_HUFF_TBLS] = {};
    m_blockCount = cinfo->blocks_in_MCU;
    for (int b = 0; b < m_blockCount; ++b) {
        const int inScan = cinfo->MCU_membership[b];
        const jpeg_component_info* component = cinfo->cur_comp_info[inScan];
        const int dc = component->dc_tbl_no, ac = component->ac_tbl_no;
        if (dc < 0 || dc >= NUM_HUFF_TBLS || ac < 0 || ac >= NUM_HUFF_TBLS)
            return false;
        if (!builtDc[dc] && !(builtDc[dc] = buildTable(cinfo->dc_huff_tbl_ptrs[dc], true, m_dc[dc])))
            return false;
        if (!builtAc[ac]) {
            if (!buildTable(cinfo->ac_huff_tbl_ptrs[ac], false, m_ac[ac]))
                return false;
            buildAcTables(m_ac[ac]);
            builtAc[ac] = true;
        }
        // As libjpeg: a component's coefficients are kept only if its pixels
        // are wanted, and beyond the first only if its inverse DCT reads them.
        const bool needed = component->component_needed;
        m_blocks[b] = {&m_dc[dc], &m_ac[ac], inScan, needed, needed && component->DCT_scaled_size > 1};
    }
    m_cinfo = cinfo;
    m_giveUp = giveUp;
    m_mcusLeft = std::uint64_t(cinfo->MCUs_per_row) * cinfo->MCU_rows_in_scan;
    m_source = cinfo->src->next_input_byte;
    m_sourceEnd = m_source + cinfo->src->bytes_in_buffer;
    m_restartsToGo = cinfo->restart_interval;
    m_nextRestart = 0;
    m_filled = 0;
    m_intervalEnds = false;
    unstuff();
    m_reader = {m_window, 0, 0};
    entropy->decodeMcu = decodeMcu;
    return true;
}

void BaselineScan::giveUp() const
{
    m_giveUp(m_cinfo);
    std::abort(); // the callback does not return
}

std::size_t BaselineScan::consumedBits() const
{
    return std::size_t(m_reader.next - m_window) * 8 - m_reader.count;
}

// Copies the data from where it stopped into the window, without the zero
// byte stuffed after each 0xFF, up to the window's end or the marker that
// ends the interval. As libjpeg, a run of 0xFF bytes before a 0 counts as one.
void BaselineScan::unstuff()
{
    std::uint8_t* out = m_window + m_filled;
    std::uint8_t* const outEnd = m_window + kWindow;
    const std::uint8_t* p = m_source;
    while (!m_intervalEnds && out < outEnd) {
        const std::size_t n = std::min(std::size_t(outEnd - out), std::size_t(m_sourceEnd - p));
        const auto* ff = n ? static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, n)) : nullptr;
        if (!ff) {
            std::memcpy(out, p, n);
            out += n;
            p += n;
            if (p == m_sourceEnd) {
                m_intervalEnds = true;
                m_marker = -1;
                m_markerAt = p;
            }
            continue;
        }
        std::memcpy(out, p, std::size_t(ff - p));
        out += ff - p;
        const std::uint8_t* q = ff + 1;
        while (q < m_sourceEnd && *q == 0xFF)
            ++q;
        if (q < m_sourceEnd && *q == 0) {
            *out++ = 0xFF;
            p = q + 1;
            continue;
        }
        m_intervalEnds = true;
        m_marker = q < m_sourceEnd ? *q : -1;
        m_markerAt = ff;
        p = q < m_sourceEnd ? q + 1 : q; // past the marker: where the next interval starts
    }
    m_source = p;
    m_filled = std::size_t(out - m_window);
    std::memset(m_window + m_filled, 0, kPad);
}

// Moves the unread data to the window's start and fills the rest.
void BaselineScan::slide()
{
    const std::size_t used = consumedBits();
    const std::size_t first = used / 8;
    std::memmove(m_window, m_window + first, m_filled - first);
    m_filled -= first;
    unstuff();
    m_reader = {m_window, 0, 0};
    refill(m_reader.bits, m_reader.count, m_reader.next);
    drop(m_reader.bits, m_reader.count, unsigned(used % 8));
}

// The next restart interval: libjpeg's sound case only (every bit of the
// last one read, its marker the expected RSTn).
void BaselineScan::startInterval(j_decompress_ptr cinfo)
{
    if (!m_intervalEnds || m_marker != JPEG_RST0 + m_nextRestart)
        giveUp();
    m_nextRestart = (m_nextRestart + 1) & 7;
    m_filled = 0;
    m_intervalEnds = false;
    unstuff();
    m_reader = {m_window, 0, 0};
    for (int& dc : m_lastDc)
        dc = 0;
    m_restartsToGo = cinfo->restart_interval;
}

// After the last MCU libjpeg reads on from the marker that ends the scan
// (or from where the data goes on, which it skips as libjpeg does).
void BaselineScan::finish(j_decompress_ptr cinfo)
{
    const std::uint8_t* at = m_intervalEnds ? m_markerAt : m_source;
    cinfo->src->next_input_byte = at;
    cinfo->src->bytes_in_buffer = std::size_t(m_sourceEnd - at);
}

boolean BaselineScan::decodeMcu(j_decompress_ptr cinfo, JBLOCKROW* blocks)
{
    auto& self = *static_cast<BaselineScan*>(cinfo->client_data);
    if (cinfo->restart_interval) {
        if (self.m_restartsToGo == 0)
            self.startInterval(cinfo);
        --self.m_restartsToGo;
    }
    // Half a window ahead is far more than one MCU can use (10 blocks of 64
    // codes of at most 31 bits), so only at the interval's end can the data run out.
    if (!self.m_intervalEnds && self.m_filled * 8 - self.consumedBits() < kWindow * 4)
        self.slide();
    self.decodeOne(blocks);
    if (self.m_intervalEnds && self.consumedBits() > self.m_filled * 8)
        self.giveUp(); // read into the marker: the data ended early
    if (--self.m_mcusLeft == 0)
        self.finish(cinfo);
    return TRUE;
}

namespace {

// The symbol of a code longer than the fast table holds, read the way libjpeg does.
inline int slowSymbol(std::uint64_t& bits, unsigned& count, const BaselineScan::Table& t)
{
    for (unsigned length = BaselineScan::kFastBits + 1; length <= 16; ++length) {
        const auto code = std::int32_t(bits >> (64 - length));
        if (code <= t.maxCode[length]) {
            const std::int32_t at = t.valueOffset[length] + code;
            if (at < 0 || at > 255)
                return -1;
            drop(bits, count, length);
            return t.values[at];
        }
    }
    return -1; // no such code
}

} // namespace

void BaselineScan::decodeOne(JBLOCKROW* blocks)
{
    std::uint64_t bits = m_reader.bits;
    unsigned count = m_reader.count;
    const std::uint8_t* next = m_reader.next;
    const auto symbol = [&](const Table& t) {
        const std::uint32_t entry = t.fast[bits >> (64 - kFastBits)];
        if (fastLength(entry) != 0) {
            drop(bits, count, fastLength(entry));
            return fastSymbol(entry);
        }
        const int slow = slowSymbol(bits, count, t);
        if (slow < 0)
            giveUp();
        return unsigned(slow);
    };
    for (int b = 0; b < m_blockCount; ++b) {
        const Block& block = m_blocks[b];
        JCOEF* coef = *blocks[b];
        std::memset(coef, 0, sizeof(JBLOCK)); // libjpeg's loop clears them too, today
        refill(bits, count, next);
        const unsigned dcSize = symbol(*block.dc);
        const int difference = dcSize ? extend(take(bits, count, dcSize), dcSize) : 0;
        // Unsigned, as libjpeg: a damaged file's sums may wrap.
        const int dc = int(unsigned(difference) + unsigned(m_lastDc[block.component]));
        m_lastDc[block.component] = dc;
        if (block.storeDc)
            coef[0] = JCOEF(dc);
        const Table& ac = *block.ac;
        if (block.storeAc) {
            for (int k = 1; k < 64;) {
                if (count < 32)
                    refill(bits, count, next);
                const std::uint32_t c = ac.coded[bits >> (64 - kFastBits)];
                if (c != 0) { // the common short code with its value in one lookup
                    if (codedEnds(c)) {
                        drop(bits, count, codedBits(c));
                        break; // end of block
                    }
                    k += int(codedZeros(c));
                    if (k > 63)
                        giveUp();
                    coef[kNatural[k]] = JCOEF(codedValue(c));
                    drop(bits, count, codedBits(c));
                    ++k;
                    continue;
                }
                const unsigned s = symbol(ac);
                const unsigned run = s >> 4, size = s & 15;
                if (size) {
                    k += int(run);
                    if (k > 63)
                        giveUp();
                    coef[kNatural[k]] = JCOEF(extend(take(bits, count, size), size));
                    ++k;
                } else if (run == 15) {
                    k += 16;
                } else {
                    break; // end of block
                }
            }
            continue;
        }
        // Only the codes are needed: one lookup skips a few codes with their
        // magnitude bits, or one code where they do not fit.
        for (int k = 1; k < 64;) {
            if (count < 32)
                refill(bits, count, next);
            const std::uint32_t several = ac.skip[bits >> (64 - kSkipBits)];
            if (several != 0 && k <= int(skipLastStart(several))) {
                drop(bits, count, skipBits(several));
                if (skipEnds(several))
                    break; // end of block
                k += int(skipAdvance(several));
                continue;
            }
            const unsigned s = symbol(ac);
            drop(bits, count, s & 15);
            if ((s & 15) == 0 && s != 0xF0)
                break; // end of block
            k += int(s >> 4) + 1;
        }
    }
    m_reader = {next, bits, count};
}

} // namespace ostrovel::jpegdec
