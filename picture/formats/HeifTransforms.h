#pragma once
// The transformative properties (clean aperture, rotation, mirroring) of a
// HEIF/AVIF file's primary image, read from the file's own boxes: Debian's
// libheif 1.15 neither applies imir to pictures of more than 8 bits nor tells
// a caller the properties, so they are applied here after a decode that
// ignores them.

#include <QByteArray>
#include <QImage>
#include <QList>

#include <cstdint>
#include <optional>

namespace ostrovel::formats {

/// One transformative property, as the file stores it.
struct HeifTransform {
    enum class Kind { CleanAperture, Rotation, Mirror };
    Kind kind = Kind::Rotation;
    int quarterTurns = 0;   // Rotation: anticlockwise quarter turns, 0..3
    bool leftRight = false; // Mirror: about the vertical axis (axis 1), else top to bottom
    // CleanAperture: width, height, horizontal and vertical offset, each as
    // numerator and denominator.
    std::int64_t clap[8] = {};
};

/// The primary item's id and the transformative properties associated with
/// it, in the order its `ipma` entry lists them; nothing when the boxes are
/// not as expected (a size past its parent's end, a 64-bit size on a box
/// that is read, a box that must be single appearing twice, the item or a
/// property missing, a property too short).
struct HeifPrimaryTransforms {
    std::uint32_t itemId = 0;
    QList<HeifTransform> transforms;
};
std::optional<HeifPrimaryTransforms> ReadHeifPrimaryTransforms(const QByteArray& file);

/// `image` with `transforms` applied in order, the clean aperture cropped
/// with libheif 1.15's own rounding; null when a crop is empty or cannot be
/// computed exactly as libheif does.
QImage ApplyHeifTransforms(QImage image, const QList<HeifTransform>& transforms);

} // namespace ostrovel::formats
