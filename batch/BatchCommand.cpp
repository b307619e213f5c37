#include "BatchCommand.h"

#include "Export.h"
#include "PictureFiles.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace ostrovel {
namespace {

const char* const kHelp =
    "Usage: ostrovel-batch [--size WIDTHxHEIGHT] [--background R,G,B] TARGET_FOLDER SOURCE...\n"
    "Writes thumb_<name>.jpg into TARGET_FOLDER for every SOURCE picture (JPEG, BMP, GIF, WMF),\n"
    "fitted into WIDTH x HEIGHT pixels on the background colour, exactly as the window does.\n"
    "A SOURCE folder stands for its *.jpg, *.bmp, *.gif and *.wmf files.\n"
    "Defaults: --size 158x158 --background 255,255,255.\n"
    "Exit status: 0 all written, 1 some sources unreadable (named on stderr),\n"
    "2 a write failed (nothing after it written), 64 bad usage.\n";

struct Request {
    ThumbnailSettings settings;
    QString target;
    QStringList sources;
};

void printErr(const QString& text)
{
    std::fputs(qPrintable(text), stderr);
    std::fputc('\n', stderr);
}

// The value of an option given as "--name value" or "--name=value".
bool takeOption(const QStringList& args, int& i, const QString& name, QString& value)
{
    if (args[i] == name && i + 1 < args.size()) {
        value = args[++i];
        return true;
    }
    if (args[i].startsWith(name + u'=')) {
        value = args[i].mid(name.size() + 1);
        return true;
    }
    return false;
}

std::optional<Request> parse(const QStringList& args, bool& help)
{
    Request r;
    QStringList positional;
    for (int i = 1; i < args.size(); ++i) {
        QString value;
        if (args[i] == QLatin1String("--help") || args[i] == QLatin1String("-h")) {
            help = true;
            return std::nullopt;
        } else if (takeOption(args, i, QStringLiteral("--size"), value)) {
            const qsizetype x = value.indexOf(u'x', 0, Qt::CaseInsensitive);
            if (x < 0)
                return std::nullopt;
            r.settings.width = value.left(x);
            r.settings.height = value.mid(x + 1);
        } else if (takeOption(args, i, QStringLiteral("--background"), value)) {
            r.settings.colour = value;
        } else if (args[i] == QLatin1String("--")) {
            positional += args.mid(i + 1);
            break;
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return std::nullopt;
        } else {
            positional << args[i];
        }
    }
    if (positional.size() < 2)
        return std::nullopt;
    r.target = positional.takeFirst();
    r.sources = positional;
    return r;
}

// A folder stands for the files its list would show, in the list's order.
QList<ExportSource> sourcesFor(const Request& r)
{
    QList<ExportSource> sources;
    for (const QString& source : r.sources) {
        const QFileInfo info(source);
        if (info.isDir()) {
            const QDir dir(source);
            for (const QString& name : MatchingPictureFiles(source))
                sources << ExportSource{dir.filePath(name), name};
        } else {
            sources << ExportSource{source, info.fileName()};
        }
    }
    return sources;
}

} // namespace

int RunBatch(const QStringList& arguments)
{
    bool help = false;
    const auto request = parse(arguments, help);
    if (!request) {
        std::fputs(kHelp, help ? stdout : stderr);
        return help ? kBatchOk : kBatchUsage;
    }
    if (!QFileInfo(request->target).isDir()) {
        printErr(QStringLiteral("ostrovel-batch: no such folder: %1").arg(request->target));
        return kBatchUsage;
    }
    ExportRequest export_;
    export_.sources = sourcesFor(*request);
    export_.targetFolder = request->target;
    export_.settings = request->settings;

    const bool terminal = isatty(STDERR_FILENO);
    int done = 0;
    export_.callbacks.written = [&](int) {
        if (terminal)
            std::fprintf(stderr, "\r%d/%lld", ++done, static_cast<long long>(export_.sources.size()));
    };
    // The canvas as the window opens it: every rendering starts from there.
    Canvas canvas(kInitialCanvasSize, InitialCanvasColour());
    const ExportResult result = RunExport(export_, canvas);
    if (terminal && done > 0)
        std::fputc('\n', stderr);
    for (int task : result.unreadable)
        printErr(QStringLiteral("ostrovel-batch: cannot read %1").arg(export_.sources[task].path));
    if (result.error) {
        printErr(QStringLiteral("ostrovel-batch: %1: %2").arg(ExportOutput(export_, *result.failedTask), result.error->description()));
        return kBatchWriteError;
    }
    return result.unreadable.isEmpty() ? kBatchOk : kBatchUnreadable;
}

} // namespace ostrovel
