#pragma once
// Reads Windows metafiles through a separate helper process, so that a
// hostile file can only kill the helper.

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrovel::wmf {

struct WmfSize {
    std::int32_t widthHimetric = 0;
    std::int32_t heightHimetric = 0;
};

/// The natural size of the metafile in HIMETRIC, or nothing when the file is
/// not a metafile the helper can read (or the helper failed or timed out);
/// `reason` (when given) then says why in English, e.g. "damaged data",
/// "not a regular file" or "metafile helper not found (looked for PATH)".
std::optional<WmfSize> ProbeWmf(const QString& file, QString* reason = nullptr);

/// The whole metafile drawn into an image of exactly `size` pixels
/// (Format_ARGB32_Premultiplied), anti-aliased, transparent where the
/// metafile draws nothing. A null image on any failure, with `reason` as
/// for ProbeWmf ("too large" for a size the helper does not draw).
QImage RenderWmf(const QString& file, QSize size, QString* reason = nullptr);

} // namespace ostrovel::wmf
