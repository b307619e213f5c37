#pragma once
// GIF files for the tests: frames of any size at any place on the logical
// screen and any LZW minimum code size, compressed by a real LZW encoder so
// that the table's strings are exercised, not only literal codes.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRgb>

namespace giftest {

struct Frame {
    QImage indices;          ///< Format_Indexed8; its size is the frame's size
    QPoint offset;           ///< where the frame sits on the logical screen
    int minCodeSize = 8;     ///< as written, even where it is not valid
    int transparentIndex = -1;
    bool interlaced = false; ///< rows stored in the four passes
};

/// A GIF89a of `screen` size with a global palette of 256 entries (missing
/// ones black) and the frames in order.
QByteArray gif(QSize screen, const QList<QRgb>& palette, const QList<Frame>& frames);

/// The frame's pixels as LZW data sub-blocks, after the code size byte.
QByteArray lzwBlocks(const QImage& indices, int minCodeSize);

} // namespace giftest
