#pragma once
// The seed generator's parts: each writes the seeds of one fuzz target,
// small valid files and slightly broken ones, into a SeedSink.

#include "tests/support/LittleEndian.h"
#include "tests/support/TestPictures.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>

namespace ostrovel::seeds {

/// Writes seeds into ROOT/<target>/<name>.
class SeedSink {
public:
    explicit SeedSink(QString root) : m_root(std::move(root)) {}
    /// Writes one seed; a failure is remembered for ok().
    void add(const char* target, const QString& name, const QByteArray& bytes);
    int count() const { return m_count; }
    bool ok() const { return m_ok; }

private:
    QString m_root;
    int m_count = 0;
    bool m_ok = true;
};

// Pictures and little-endian values come from the tests' support library.
using test::appendLe16;
using test::appendLe32;
using test::photoLike;

/// `bytes` with `count` bytes from `at` replaced by `value` repeated.
QByteArray patched(QByteArray bytes, qsizetype at, char value, qsizetype count = 1);

void makeJpegSeeds(SeedSink& sink);
void makeBmpSeeds(SeedSink& sink);
void makeGifSeeds(SeedSink& sink);
void makeWmfSeeds(SeedSink& sink);
void makeSettingsSeeds(SeedSink& sink);

} // namespace ostrovel::seeds
