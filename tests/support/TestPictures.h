#pragma once
// Pictures made by the tests themselves, and the files holding them.

#include "tests/support/ImageCompare.h"
#include "tests/support/TestFiles.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>

namespace ostrovel::test {

/// Like a photograph: smooth light across the frame, sensor-like noise and
/// one hard edge; deterministic in `seed`, which shifts the colours and the
/// noise. Format_RGB32.
QImage photoLike(int width, int height, int seed = 0);
/// Four flat quadrants, by default red top left, green top right, blue
/// bottom left, yellow bottom right, so every turn and mirror looks
/// different. Format_RGB32.
QImage quadrants(int width, int height, QRgb topLeft = qRgb(255, 0, 0), QRgb topRight = qRgb(0, 255, 0),
                 QRgb bottomLeft = qRgb(0, 0, 255), QRgb bottomRight = qRgb(255, 255, 0));
/// Smooth gradients in all three channels around a middle third of
/// saturated colour blocks meeting in sharp edges, so that both
/// quantization and chroma subsampling would show. Format_RGB32.
QImage gradientWithBlocks(int width, int height);

/// The picture encoded by Qt's own JPEG writer (ends the test run when the
/// writer fails).
QByteArray jpeg(const QImage& image, int quality = 92, bool progressive = false);
/// The JPEG with an Exif APP1 segment carrying `orientation` after SOI.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation);
/// The picture encoded as BMP.
QByteArray bmp(const QImage& image);
/// An 8-bit run-length (RLE8) BMP claiming `size`, with a 256-entry palette
/// (`palette` first, the rest black) and `data` as its pixel data, as given.
QByteArray rle8Bmp(QSize size, const QList<QRgb>& palette, const QByteArray& data);
/// A GIF89a of Format_Indexed8 frames of the same size with a global
/// palette; `transparentIndex` -1 for none; more than one frame makes an
/// animation.
QByteArray gif(const QList<QImage>& indexedFrames, const QList<QRgb>& palette, int transparentIndex = -1);
/// A placeable metafile of `inchesW` x `inchesH` inches at 1440 units per
/// inch, with one filled rectangle in `colour` over the given unit box.
QByteArray wmfWithRectangle(double inchesW, double inchesH, QRect unitsBox, QColor colour);

} // namespace ostrovel::test

/// The name the window's tests know these helpers by.
namespace testpics = ostrovel::test;
