#pragma once
// Reads Windows metafiles through a separate helper process, so that a
// hostile file can only kill the helper.

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace ostrovel::wmf {

struct WmfSize {
    std::int32_t widthHimetric = 0;
    std::int32_t heightHimetric = 0;
};

/// Why a metafile was given up on when its drawing used up the helper's time
/// limit: processor time of the helper itself, so that a busy machine does
/// not make a metafile unreadable.
inline constexpr char kTimeLimitReason[] = "time limit reached: the metafile takes too long to draw";

/// While it lives, metafile helpers started on the calling thread are ended
/// with their process group within a few milliseconds once `*stop` is true;
/// their call then fails with the reason "cancelled".
class HelperStop {
public:
    explicit HelperStop(const std::atomic<bool>* stop);
    ~HelperStop();
    HelperStop(const HelperStop&) = delete;
    HelperStop& operator=(const HelperStop&) = delete;

private:
    const std::atomic<bool>* m_previous;
};

/// The processor time one helper may use; 5 s unless a test shortens it.
void SetHelperTimeLimit(std::chrono::milliseconds limit);

/// The natural size of the metafile in HIMETRIC, or nothing when the file is
/// not a metafile the helper can read (or the helper failed or reached its
/// time limit); `reason` (when given) then says why in English, e.g. "damaged data",
/// "not a regular file" or "metafile helper not found (looked for PATH)".
std::optional<WmfSize> ProbeWmf(const QString& file, QString* reason = nullptr);

/// The whole metafile drawn into an image of exactly `size` pixels
/// (Format_ARGB32_Premultiplied), anti-aliased, transparent where the
/// metafile draws nothing. A null image on any failure, with `reason` as
/// for ProbeWmf ("too large" for a size the helper does not draw).
QImage RenderWmf(const QString& file, QSize size, QString* reason = nullptr);

} // namespace ostrovel::wmf
