#include "picture/LargeImage.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace ostrovel {
namespace {

constexpr std::size_t kHuge = std::size_t(2) << 20;
// Smaller pictures come from malloc, which keeps and reuses them itself.
constexpr std::size_t kLarge = 2 * kHuge;
// Two threads' decoded 12-megapixel photos and canvases at 1920 x 1080.
constexpr std::size_t kKeptBlocks = 4;
constexpr std::size_t kKeptBytes = std::size_t(128) << 20;

struct Block {
    void* pages;
    std::size_t bytes;
};

void unmap(Block* block)
{
    ::munmap(block->pages, block->bytes);
    delete block;
}

void* mapPlain(std::size_t bytes)
{
    void* const pages = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

// Whole huge pages, aligned to one, so that the kernel can back them all;
// where the address space is too tight for the extra page to align with,
// the plain pages.
void* map(std::size_t bytes)
{
    void* const raw = mapPlain(bytes + kHuge);
    if (!raw)
        return mapPlain(bytes);
    const auto at = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (at + kHuge - 1) & ~(kHuge - 1);
    if (aligned > at)
        ::munmap(raw, aligned - at);
    if (const std::size_t tail = at + kHuge - aligned)
        ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    void* const pages = reinterpret_cast<void*>(aligned);
    ::madvise(pages, bytes, MADV_HUGEPAGE); // a hint only
    return pages;
}

// Blocks given back, for the next picture of any thread. A leak at exit, on
// purpose: images may still die after static destructors.
class Kept {
public:
    // The smallest kept block that fits. If none does, the largest goes back
    // to the system, so that the blocks grow to the largest picture instead
    // of adding up.
    Block* take(std::size_t bytes)
    {
        Block* chosen = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_blocks.empty())
                return nullptr;
            // Blocks that fit first, smallest first; then the rest, largest first.
            const auto rank = [bytes](const Block* b) {
                const bool fits = b->bytes >= bytes;
                return std::pair{!fits, fits ? b->bytes : ~b->bytes};
            };
            const auto it = std::min_element(m_blocks.begin(), m_blocks.end(),
                                             [&](const Block* a, const Block* b) { return rank(a) < rank(b); });
            chosen = *it;
            m_blocks.erase(it);
            m_bytes -= chosen->bytes;
        }
        if (chosen->bytes >= bytes)
            return chosen;
        unmap(chosen);
        return nullptr;
    }

    /// Keeps `block` if there is room, else unmaps it.
    void give(Block* block)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_blocks.size() < kKeptBlocks && m_bytes + block->bytes <= kKeptBytes) {
                m_blocks.push_back(block);
                m_bytes += block->bytes;
                return;
            }
        }
        unmap(block);
    }

    /// Gives every kept block back to the system; false when none was kept.
    bool drop()
    {
        std::vector<Block*> blocks;
        {
            const std::lock_guard lock(m_mutex);
            blocks.swap(m_blocks);
            m_bytes = 0;
        }
        for (Block* block : blocks)
            unmap(block);
        return !blocks.empty();
    }

private:
    std::mutex m_mutex;
    std::vector<Block*> m_blocks;
    std::size_t m_bytes = 0;
};

Kept& kept()
{
    static auto* const blocks = new Kept;
    return *blocks;
}

// Unused in the address sanitizer's build, which keeps to malloc.
[[maybe_unused]] void giveBack(void* info)
{
    kept().give(static_cast<Block*>(info));
}

[[maybe_unused]] Block* newBlock(std::size_t bytes)
{
    if (Block* block = kept().take(bytes))
        return block;
    void* pages = map(bytes);
    if (!pages) {
        // Pages kept for later are worth less than this picture.
        kept().drop();
        pages = map(bytes);
    }
    return pages ? new Block{pages, bytes} : nullptr;
}

} // namespace

bool DropKeptPages()
{
    return kept().drop();
}

QImage MakeLargeImage(QSize size, QImage::Format format)
{
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer watches malloc's memory only.
    return QImage(size, format);
#else
    if (size.isEmpty())
        return QImage(size, format);
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const std::int64_t bytesPerLine = ((std::int64_t(size.width()) * depth + 31) / 32) * 4;
    const std::int64_t bytes = bytesPerLine * size.height();
    if (depth <= 0 || bytes < std::int64_t(kLarge) || bytesPerLine > INT32_MAX)
        return QImage(size, format);
    Block* const block = newBlock((std::size_t(bytes) + kHuge - 1) & ~(kHuge - 1));
    if (!block)
        return QImage();
    return QImage(static_cast<uchar*>(block->pages), size.width(), size.height(), qsizetype(bytesPerLine), format,
                  giveBack, block);
#endif
}

} // namespace ostrovel
