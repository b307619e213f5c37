#pragma once
// A JPEG file in two steps, encode then replace, so that the encoding can run
// on another thread than the writing; every JPEG file is written this way.

#include "jpeg/JpegStatus.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ostrovel {

/// A picture encoded for a file: the encoder's status and, on success, its bytes.
struct PreparedJpeg {
    int status = kStatusInvalidParameter;
    QByteArray bytes;
};

/// The encode step: `pic` at `quality` (see EncodeJpeg).
PreparedJpeg PrepareJpeg(const QImage& pic, int quality);

/// The replace step: a failed encoding is returned as it is and leaves
/// `outfile` untouched; otherwise the bytes replace `outfile` (see
/// WriteFileReplacing). Returns a status; `errnum` as WriteFileReplacing's.
int ReplaceWithJpeg(const QString& outfile, const PreparedJpeg& jpeg, int* errnum = nullptr);

/// Both steps at once. Returns a status.
int WriteJpegFile(const QImage& pic, const QString& outfile, int quality);

} // namespace ostrovel
