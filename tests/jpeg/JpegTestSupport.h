#pragma once
// Helpers of the JPEG writer's tests: test pictures, a JPEG marker reader and
// small file utilities.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

namespace ostrovel::test {

/// What SavePictureAsJpg threw, if anything.
struct SaveOutcome {
    bool thrown = false;
    int number = 0;
    QString description;
};

/// Calls SavePictureAsJpg and catches its RuntimeError.
SaveOutcome trySave(const QImage& picture, const QString& outfile, int quality);

/// EncodeJpeg's bytes, or an empty array when it fails.
QByteArray encoded(const QImage& picture, int quality);

/// A picture with smooth gradients and sharp edges between saturated colours,
/// so that both quantization and chroma subsampling would show. Format_RGB32.
QImage makeTestPicture(int width, int height);

/// What the marker segments before the first scan say about a JPEG file.
struct JpegLayout {
    bool valid = false;           // starts with SOI and reaches an SOS
    QList<int> markers;           // second marker bytes in file order, up to SOS
    int frameMarker = -1;         // 0xC0 for baseline, 0xC2 for progressive, ...
    int precision = 0;
    int width = 0;
    int height = 0;
    QList<int> sampling;          // one byte per component, 0x11 = 1x1
    int huffmanTables = 0;
    int standardHuffmanTables = 0; // tables equal to the example tables of JPEG Annex K
};

/// Reads the segments of `jpeg` from SOI to the first SOS.
JpegLayout readJpegLayout(const QByteArray& jpeg);

/// The largest difference of a red, green or blue value between two pictures
/// of the same size; -1 when the sizes differ.
int maxChannelDifference(const QImage& a, const QImage& b);

/// The whole file, or a null array when it cannot be read.
QByteArray readFile(const QString& path);

/// Creates or truncates `path` and writes `bytes`; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

/// Whether `path` itself (not what a link there points to) is a regular file.
bool isRegularFile(const QString& path);

/// The process's mapped address space in bytes (VmSize), 0 if unknown.
quint64 addressSpaceInUse();

/// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

} // namespace ostrovel::test
