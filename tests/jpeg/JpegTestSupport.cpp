#include "JpegTestSupport.h"

#include "Picturebox_2_jpg.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <cstdlib>

#include <sys/stat.h>

namespace ostrovel::test {

namespace {

QRgb testPixel(int x, int y, int width, int height)
{
    // Solid blocks of saturated colours meet in sharp edges in the middle
    // third; the rest is a smooth gradient in all three channels.
    const bool middleX = 3 * x >= width && 3 * x < 2 * width;
    const bool middleY = 3 * y >= height && 3 * y < 2 * height;
    if (middleX && middleY) {
        static const std::array<QRgb, 4> blocks = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 255, 0),
                                                   qRgb(255, 0, 255)};
        return blocks[size_t(((x / 4) + (y / 4)) % 4)];
    }
    const int r = width > 1 ? x * 255 / (width - 1) : 128;
    const int g = height > 1 ? y * 255 / (height - 1) : 64;
    const int b = 255 - (r + g) / 2;
    return qRgb(r, g, b);
}

using HuffmanCounts = std::array<quint8, 16>;

// The example tables of JPEG Annex K (K.3), which libjpeg writes unless the
// Huffman coding is optimized: DC luminance, DC chrominance, AC luminance,
// AC chrominance; only the code counts per length are compared.
bool isAnnexKTable(const HuffmanCounts& counts)
{
    static const std::array<HuffmanCounts, 4> annexK = {{
        {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
        {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
        {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
        {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    }};
    return std::find(annexK.begin(), annexK.end(), counts) != annexK.end();
}

int byteAt(const QByteArray& data, qsizetype i)
{
    return static_cast<quint8>(data.at(i));
}

void readFrame(const QByteArray& segment, JpegLayout& layout)
{
    if (segment.size() < 6)
        return;
    layout.precision = byteAt(segment, 0);
    layout.height = byteAt(segment, 1) << 8 | byteAt(segment, 2);
    layout.width = byteAt(segment, 3) << 8 | byteAt(segment, 4);
    const int components = byteAt(segment, 5);
    for (int c = 0; c < components && 6 + 3 * c + 2 < segment.size(); ++c)
        layout.sampling.append(byteAt(segment, 6 + 3 * c + 1));
}

void readHuffmanTables(const QByteArray& segment, JpegLayout& layout)
{
    qsizetype at = 0;
    while (at + 17 <= segment.size()) {
        HuffmanCounts counts{};
        int symbols = 0;
        for (int i = 0; i < 16; ++i) {
            counts[size_t(i)] = quint8(byteAt(segment, at + 1 + i));
            symbols += counts[size_t(i)];
        }
        ++layout.huffmanTables;
        if (isAnnexKTable(counts))
            ++layout.standardHuffmanTables;
        at += 17 + symbols;
    }
}

bool isFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

SaveOutcome trySave(const QImage& picture, const QString& outfile, int quality)
{
    SaveOutcome outcome;
    try {
        SavePictureAsJpg(picture, outfile, quality);
    } catch (const RuntimeError& error) {
        outcome = {true, error.number(), error.description()};
    }
    return outcome;
}

QByteArray encoded(const QImage& picture, int quality)
{
    QByteArray bytes;
    return EncodeJpeg(picture, quality, bytes) == kStatusOk ? bytes : QByteArray();
}

QImage makeTestPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = testPixel(x, y, width, height);
    }
    return picture;
}

JpegLayout readJpegLayout(const QByteArray& jpeg)
{
    JpegLayout layout;
    if (jpeg.size() < 4 || byteAt(jpeg, 0) != 0xFF || byteAt(jpeg, 1) != 0xD8)
        return layout;
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byteAt(jpeg, at) == 0xFF) {
        const int marker = byteAt(jpeg, at + 1);
        const int length = byteAt(jpeg, at + 2) << 8 | byteAt(jpeg, at + 3);
        const QByteArray segment = jpeg.mid(at + 4, length - 2);
        layout.markers.append(marker);
        if (isFrameMarker(marker)) {
            layout.frameMarker = marker;
            readFrame(segment, layout);
        } else if (marker == 0xC4) {
            readHuffmanTables(segment, layout);
        } else if (marker == 0xDA) {
            layout.valid = true;
            break;
        }
        at += 2 + length;
    }
    return layout;
}

int maxChannelDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool isRegularFile(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

quint64 addressSpaceInUse()
{
    const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmSize:")) // "VmSize:   123456 kB"
            return line.mid(7).trimmed().split(' ').first().toULongLong() * 1024;
    }
    return 0;
}

QStringList folderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace ostrovel::test
