// The module Picturebox_2_jpg: the picture is encoded in memory and then
// written through a temporary file, so a failed save never leaves a partial
// JPEG behind.

#include "jpeg/Picturebox_2_jpg.h"

namespace ostrovel {

RuntimeError SaveError(int status)
{
    return RuntimeError(5, QStringLiteral("Speicherung des Bildes fehlgeschlagen. GDI+ Error:")
                               + QString::number(status));
}

PreparedJpeg PrepareJpeg(const QImage& pic, int quality)
{
    PreparedJpeg jpeg;
    jpeg.status = EncodeJpeg(pic, quality, jpeg.bytes);
    return jpeg;
}

int ReplaceWithJpeg(const QString& outfile, const PreparedJpeg& jpeg, int* errnum)
{
    if (errnum)
        *errnum = 0;
    return jpeg.status != kStatusOk ? jpeg.status : WriteFileReplacing(outfile, jpeg.bytes, errnum);
}

int WriteJpegFile(const QImage& pic, const QString& outfile, int quality)
{
    return ReplaceWithJpeg(outfile, PrepareJpeg(pic, quality));
}

void SavePictureAsJpg(const QImage& pic, const QString& outfile, int quality)
{
    const int status = WriteJpegFile(pic, outfile, quality);
    if (status != kStatusOk)
        throw SaveError(status);
}

} // namespace ostrovel
