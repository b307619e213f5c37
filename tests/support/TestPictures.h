#pragma once
// Pictures made by the tests themselves.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

namespace testpics {

/// A smooth, photo-like picture with some sharp edges; deterministic in `seed`.
QImage photoLike(int width, int height, int seed = 1);

/// The picture encoded as JPEG at `quality`.
QByteArray jpeg(const QImage& image, int quality = 92, bool progressive = false);
/// The JPEG with an Exif APP1 segment carrying `orientation` (1..8) after SOI.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
/// The picture encoded as BMP.
QByteArray bmp(const QImage& image);

/// One GIF frame: indices into the global palette.
struct GifFrame {
    QImage image; ///< Format_Indexed8 of the logical screen's size
};
/// A GIF with a global palette; `transparentIndex` -1 for none; more than one
/// frame makes an animation.
QByteArray gif(const QList<QImage>& indexedFrames, const QList<QRgb>& palette, int transparentIndex = -1);

/// A placeable metafile of `inchesW` x `inchesH` inches at 1440 units per
/// inch, with one filled rectangle in `colour` over the given unit box.
QByteArray wmfWithRectangle(double inchesW, double inchesH, QRect unitsBox, QColor colour);

/// Writes `bytes` to `path`; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

/// Largest difference of any channel between two same-sized images.
int maxChannelDifference(const QImage& a, const QImage& b);

} // namespace testpics
