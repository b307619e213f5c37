// ostrovel-make-seeds ROOT: writes the seed corpora of the fuzz targets into
// ROOT/jpeg, ROOT/bmp, ROOT/gif, ROOT/wmf and ROOT/settings. The output
// depends on nothing but this program, so the committed seeds can be made
// again at any time (fuzz/make_seeds.sh).

#include "fuzz/seeds/Seeds.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

namespace ostrovel::seeds {

void SeedSink::add(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString folder = m_root + u'/' + QLatin1String(target);
    QFile file(folder + u'/' + name);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        m_ok = false;
        return;
    }
    ++m_count;
}

QByteArray patched(QByteArray bytes, qsizetype at, char value, qsizetype count)
{
    for (qsizetype i = at; i < at + count && i < bytes.size(); ++i)
        bytes[i] = value;
    return bytes;
}

} // namespace ostrovel::seeds

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv); // fonts and colour spaces
    ostrovel::seeds::SeedSink sink(QString::fromLocal8Bit(argv[1]));
    ostrovel::seeds::makeJpegSeeds(sink);
    ostrovel::seeds::makeBmpSeeds(sink);
    ostrovel::seeds::makeGifSeeds(sink);
    ostrovel::seeds::makeWmfSeeds(sink);
    ostrovel::seeds::makeSettingsSeeds(sink);
    std::printf("%d seeds written\n", sink.count());
    return sink.ok() ? 0 : 1;
}
