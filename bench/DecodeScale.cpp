// bench-decode-scale: the same photo decoded at each DCT scale (1, 1/2, 1/4,
// 1/8) and resampled as the export does to widths that leave a given margin
// (decoded width over drawn width), written as PNG for bench/decode_scale.py
// to score against the full decode's rendering at the same size.

#include "picture/Picture.h"
#include "picture/jpegdec/JpegDecoder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cmath>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3) {
        std::fputs("Usage: bench-decode-scale OUT MARGIN,... FILE...\n"
                   "Writes OUT/<name>_<denominator>_<width>.png for each margin and scale,\n"
                   "and the same widths from the full decode (denominator 1).\n",
                   stderr);
        return 64;
    }
    const QDir out(args[0]);
    QList<double> margins;
    for (const QString& m : args[1].split(','))
        margins << m.toDouble();
    for (const QString& file : args.mid(2)) {
        const QString name = QFileInfo(file).completeBaseName();
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = in.readAll();
        std::optional<ostrovel::DecodedJpeg> decoded[4];
        for (int k = 0; k < 4; ++k) {
            decoded[k] = ostrovel::DecodeJpeg(bytes, {.chooseDenominator = [k](QSize) { return 1 << k; }});
            if (!decoded[k])
                return 1;
        }
        const QSize natural = decoded[0]->natural;
        for (int k = 1; k < 4; ++k) {
            for (double margin : margins) {
                const int width = int(std::lround(natural.width() / double(1 << k) / margin));
                const QSize size(width, std::max(1, int(std::lround(double(width) * natural.height() / natural.width()))));
                for (int j : {0, k}) {
                    const ostrovel::RasterPicture picture(natural, decoded[j]->image, decoded[j]->area);
                    const QString path = out.filePath(QString("%1_%2_%3.png").arg(name).arg(1 << j).arg(width));
                    if (!QFileInfo::exists(path) && !picture.render(size).convertToFormat(QImage::Format_RGB888).save(path))
                        return 1;
                }
                std::printf("%s\t%d\t%.3f\t%d\t%d\n", qPrintable(name), 1 << k, margin, size.width(), size.height());
            }
        }
    }
    return 0;
}
