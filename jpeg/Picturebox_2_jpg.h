#pragma once
// Writes a picture as a JPEG file: the writer's entry point and its parts.

#include "jpeg/FileReplace.h"
#include "jpeg/JpegEncode.h"
#include "jpeg/JpegFile.h"
#include "jpeg/JpegStatus.h"
#include "jpeg/SaveError.h"

#include <QImage>
#include <QString>

namespace ostrovel {

/// Encodes `pic` and writes it to `outfile`; throws SaveError(status) on failure.
void SavePictureAsJpg(const QImage& pic, const QString& outfile, int quality);

} // namespace ostrovel
