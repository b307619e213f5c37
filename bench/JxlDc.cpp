// bench-jxl-dc: how a JPEG XL photo's thumbnail from its DC alone (libjxl
// 0.7 stops at the DC progression and flushes the frame, upsampled to full
// size) compares with the full decode's: both rendered as the export renders
// them at widths leaving a given room (DC width over drawn width), written as
// PNG for bench/decode_scale.py; the CPU time of each decode on stderr.
// Colour is taken as sRGB (the generated photos are).

#include "picture/Picture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <jxl/decode.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct JxlFree {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};

// The first frame upright as RGBX; from its DC alone when `dcOnly` (null
// image when the file has no DC progression).
QImage decode(const QByteArray& bytes, bool dcOnly)
{
    const std::unique_ptr<JxlDecoder, JxlFree> decoder(JxlDecoderCreate(nullptr));
    JxlDecoder* d = decoder.get();
    JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE | (dcOnly ? JXL_DEC_FRAME_PROGRESSION : 0));
    JxlDecoderSetInput(d, reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    JxlDecoderCloseInput(d);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QImage image;
    for (;;) {
        switch (JxlDecoderProcessInput(d)) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info{};
            JxlDecoderGetBasicInfo(d, &info);
            const bool turned = info.orientation > 4;
            image = QImage(int(turned ? info.ysize : info.xsize), int(turned ? info.xsize : info.ysize),
                           QImage::Format_RGBX8888);
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            JxlDecoderSetImageOutBuffer(d, &format, image.bits(), std::size_t(image.sizeInBytes()));
            break;
        case JXL_DEC_FRAME_PROGRESSION:
            if (JxlDecoderGetIntendedDownsamplingRatio(d) == 8 && JxlDecoderFlushImage(d) == JXL_DEC_SUCCESS)
                return image;
            break;
        case JXL_DEC_FULL_IMAGE:
            return dcOnly ? QImage() : image;
        default:
            return {};
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fputs("Usage: bench-jxl-dc OUT ROOM,... FILE.jxl...\n"
                   "Writes OUT/<name>_8_<width>.png (from the DC) and OUT/<name>_1_<width>.png (the full\n"
                   "decode) for each room; prints the lines bench/decode_scale.py reads.\n",
                   stderr);
        return 64;
    }
    const QDir out(args[0]);
    for (const QString& file : args.mid(2)) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = in.readAll();
        const double start = cpuSeconds();
        const QImage full = decode(bytes, false);
        const double middle = cpuSeconds();
        const QImage dc = decode(bytes, true);
        const double end = cpuSeconds();
        if (full.isNull() || dc.isNull()) {
            std::fprintf(stderr, "%s: no full decode or no DC progression\n", qPrintable(file));
            return 1;
        }
        std::fprintf(stderr, "%s\tfull %.3f s\tDC %.3f s\n", qPrintable(file), middle - start, end - middle);
        const QString name = QFileInfo(file).completeBaseName();
        for (const QString& room : args[1].split(',')) {
            const int width = int(std::lround(full.width() / 8.0 / room.toDouble()));
            const QSize size(width, std::max(1, int(std::lround(double(width) * full.height() / full.width()))));
            for (const auto& [d, image] : {std::pair{1, &full}, std::pair{8, &dc}}) {
                const ostrovel::RasterPicture picture(full.size(), *image);
                const QString path = out.filePath(QString("%1_%2_%3.png").arg(name).arg(d).arg(width));
                if (!picture.render(size).convertToFormat(QImage::Format_RGB888).save(path))
                    return 1;
            }
            std::printf("%s\t8\t%s\t%d\t%d\n", qPrintable(name), qPrintable(room), size.width(), size.height());
        }
    }
    return 0;
}
