#pragma once
// The JPEG writer's test class; its encoding tests are in
// test_jpeg_writer.cpp, its file tests in test_jpeg_files.cpp.

#include "jpeg/Picturebox_2_jpg.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace ostrovel::test {

/// What SavePictureAsJpg threw, if anything.
struct SaveOutcome {
    bool thrown = false;
    int number = 0;
    QString description;
};

/// Calls SavePictureAsJpg and catches its RuntimeError.
inline SaveOutcome trySave(const QImage& picture, const QString& outfile, int quality)
{
    SaveOutcome outcome;
    try {
        SavePictureAsJpg(picture, outfile, quality);
    } catch (const RuntimeError& error) {
        outcome = {true, error.number(), error.description()};
    }
    return outcome;
}

/// EncodeJpeg's bytes, or an empty array when it fails.
inline QByteArray encoded(const QImage& picture, int quality)
{
    QByteArray bytes;
    return EncodeJpeg(picture, quality, bytes) == kStatusOk ? bytes : QByteArray();
}

} // namespace ostrovel::test

class TestJpegWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void fileLayout_data();
    void fileLayout();
    void qualityClamped_data();
    void qualityClamped();
    void qualityChangesSize();
    void inputFormats_data();
    void inputFormats();
    void paddedRows();
    void transparencyDropped();
    void emptyImage_data();
    void emptyImage();
    void tooLargeForJpeg();
    void outOfMemory();
    void hugePictureInLittleMemory();

    void replacesExistingFile();
    void unicodePath_data();
    void unicodePath();
    void symlinkReplaced_data();
    void symlinkReplaced();
    void newFileMode_data();
    void newFileMode();
    void relativePath();
    void emptyBytes();
    void failures_data();
    void failures();
    void errorText_data();
    void errorText();

    void concurrentWriters();
    void concurrentSameTarget();
    void noTemporaryOutlives_data();
    void noTemporaryOutlives();

private:
    QString path(const QString& name) const;
    std::function<void()> prepareFailure(int kind, const QString& folder, QString& outfile, QImage& picture);

    std::unique_ptr<QTemporaryDir> m_dir;
};
