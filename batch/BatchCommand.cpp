#include "batch/BatchCommand.h"

#include "export/Export.h"
#include "common/FileNames.h"
#include "common/SystemReason.h"
#include "export/Paths.h"
#include "export/PictureFiles.h"
#include "batch/SourceNames.h"
#include "export/StopSignals.h"

#include <QElapsedTimer>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel {
namespace {

const char* const kHelp =
    "Usage: ostrovel-batch [OPTION]... TARGET_FOLDER [SOURCE]...\n"
    "Write thumb_<name>.jpg into TARGET_FOLDER for every SOURCE picture (JPEG, BMP,\n"
    "GIF, WMF), fitted into WIDTH x HEIGHT pixels on the background colour, byte for\n"
    "byte as the window writes it. A SOURCE folder stands for its *.jpg, *.bmp,\n"
    "*.gif and *.wmf files, in the window's list order.\n"
    "\n"
    "  -s, --size WIDTHxHEIGHT     thumbnail size, each side 1 to 16384\n"
    "                              (default 158x158)\n"
    "  -b, --background R,G,B      background colour, each 0 to 255, or #RRGGBB\n"
    "                              (default 255,255,255)\n"
    "  -j, --jobs N                worker threads (default: the cores this process\n"
    "                              may use)\n"
    "      --files-from FILE       read more SOURCE names from FILE, one a line\n"
    "                              (- reads standard input)\n"
    "  -0, --null                  names in --files-from end with NUL, not newline\n"
    "      --skip-existing         leave out sources whose thumbnail already exists\n"
    "  -v, --verbose               print a summary line at the end\n"
    "  -h, --help                  print this help and exit\n"
    "  -V, --version               print the name and version and exit\n"
    "      --                      end of options: every later argument is a name\n"
    "\n"
    "A name ending in .jpg, .bmp, .gif or .wmf (any case) loses its last four\n"
    "characters, as in the window; another name loses its last extension, if any.\n"
    "When two sources give one thumbnail name, the later wins (said on stderr).\n"
    "\n"
    "Exit status: 0 all written; 1 some sources unreadable (named on stderr, the\n"
    "others written); 2 a write failed (nothing after it written); 64 bad usage;\n"
    "128+N stopped by signal N (no temporary file left).\n";

// Sources handed to one export at a time: a list of millions of names is
// exported in pieces of this many, in order, so memory stays bounded.
constexpr qsizetype kPieceSize = 4096;

bool g_progressOpen = false; // a progress line without its line feed yet

// One line on stderr; names keep the bytes they were given as.
void say(const QString& text)
{
    QByteArray line = EncodeFileName(QStringLiteral("ostrovel-batch: ") + text);
    line += '\n';
    if (g_progressOpen)
        line.prepend('\n');
    g_progressOpen = false;
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(EncodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const QString& path)
{
    struct stat st {};
    return ::lstat(EncodeFileName(path).constData(), &st) == 0;
}

// Why a folder cannot be listed; empty when it can.
QString unlistable(const QString& path)
{
    DIR* dir = ::opendir(EncodeFileName(path).constData());
    if (!dir)
        return SystemReason(errno);
    ::closedir(dir);
    return {};
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString lastComponent(const QString& name)
{
    return name.mid(name.lastIndexOf(u'/') + 1);
}

// The export of one run, fed source by source and run piece by piece.
class BatchRun {
public:
    BatchRun(const BatchOptions& options, QString cwd, QString target);
    void add(const QString& given);
    bool pieceFull() const { return m_request.sources.size() >= kPieceSize; }
    /// Exports the sources added so far; false once a write has failed.
    bool flush();
    int status() const;
    qint64 written = 0, unreadable = 0, skipped = 0;

private:
    void addSource(const QString& path, const QString& name, const QString& shown);
    void report(const ExportResult& result);

    const BatchOptions& m_options;
    QString m_cwd, m_target;
    ExportRequest m_request;
    QStringList m_shown; // each source of the piece as the user named it
    QSet<size_t> m_thumbnails; // hashes of the thumbnail names of this run so far
    Canvas m_canvas{kInitialCanvasSize, InitialCanvasColour()};
    qint64 m_queued = 0, m_done = 0;
    bool m_writeFailed = false;
};

BatchRun::BatchRun(const BatchOptions& options, QString cwd, QString target)
    : m_options(options), m_cwd(std::move(cwd)), m_target(std::move(target))
{
    m_request.targetFolder = m_target;
    m_request.settings = options.settings;
    m_request.threads = options.jobs;
    if (isatty(STDERR_FILENO)) {
        m_request.callbacks.written = [this](int) {
            std::fprintf(stderr, "\r%lld/%lld", static_cast<long long>(++m_done), static_cast<long long>(m_queued));
            g_progressOpen = true;
        };
    }
}

// A folder stands for the files its list would show, in the list's order.
void BatchRun::add(const QString& given)
{
    const QString path = AbsoluteName(given, m_cwd);
    if (!isFolder(path)) {
        addSource(path, lastComponent(given), given);
        return;
    }
    const QString reason = unlistable(path);
    if (!reason.isEmpty()) {
        say(QStringLiteral("cannot read %1: %2").arg(given, reason));
        ++unreadable;
        return;
    }
    for (const QString& name : MatchingPictureFiles(path))
        addSource(joined(path, name), name, joined(given, name));
}

void BatchRun::addSource(const QString& path, const QString& name, const QString& shown)
{
    const QString thumbnail = ThumbnailName(name);
    const size_t key = qHash(thumbnail);
    const bool again = m_thumbnails.contains(key);
    if (again)
        say(QStringLiteral("%1: %2 also comes from an earlier source; the later wins").arg(shown, thumbnail));
    m_thumbnails.insert(key);
    // A thumbnail of this very run is no reason to skip: the later source wins.
    if (m_options.skipExisting && !again && exists(ThumbnailPath(m_target, name))) {
        ++skipped;
        return;
    }
    m_request.sources << ExportSource{path, name};
    m_shown << shown;
    ++m_queued;
}

bool BatchRun::flush()
{
    if (m_writeFailed || m_request.sources.isEmpty())
        return !m_writeFailed;
    const ExportResult result = RunExport(m_request, m_canvas);
    written += result.written;
    report(result);
    m_request.sources.clear();
    m_shown.clear();
    return !m_writeFailed;
}

void BatchRun::report(const ExportResult& result)
{
    for (const UnreadableTask& u : result.unreadable) {
        const QString& shown = m_shown[u.task];
        say(u.reason.isEmpty() ? QStringLiteral("cannot read %1").arg(shown)
                               : QStringLiteral("cannot read %1: %2").arg(shown, u.reason));
    }
    unreadable += result.unreadable.size();
    if (!result.writeFailure)
        return;
    m_writeFailed = true;
    const ExportSource& failed = m_request.sources[result.writeFailure->task];
    say(QStringLiteral("cannot write %1: %2")
            .arg(joined(m_options.target, ThumbnailName(failed.name)), result.writeFailure->reason));
}

int BatchRun::status() const
{
    if (m_writeFailed)
        return kBatchWriteError;
    return unreadable > 0 ? kBatchUnreadable : kBatchOk;
}

// Runs the names through the export; false when the list could not be read to its end.
bool exportAll(SourceNames& names, BatchRun& run)
{
    while (const std::optional<QString> name = names.next()) {
        run.add(*name);
        if (run.pieceFull() && !run.flush())
            return true;
    }
    run.flush();
    if (names.error().isEmpty())
        return true;
    say(names.error());
    return false;
}

} // namespace

int AnswerWithoutRunning(const ParsedArguments& parsed)
{
    switch (parsed.action) {
    case ParsedArguments::Help:
        std::fputs(kHelp, stdout);
        return kBatchOk;
    case ParsedArguments::Version:
        std::printf("ostrovel-batch %d.%d.%d\n", OSTROVEL_VERSION_MAJOR, OSTROVEL_VERSION_MINOR, OSTROVEL_VERSION_PATCH);
        return kBatchOk;
    case ParsedArguments::Usage:
        say(parsed.error);
        return kBatchUsage;
    case ParsedArguments::Run:
        break;
    }
    return kBatchUsage;
}

int RunBatch(const BatchOptions& options)
{
    QElapsedTimer clock;
    clock.start();
    // Every name is made absolute once, here: "t" must never become "" (the current folder).
    const QString cwd = CurrentFolder();
    if (cwd.isEmpty()) {
        say(QStringLiteral("cannot find the current folder: %1").arg(SystemReason(errno)));
        return kBatchUsage;
    }
    const QString target = AbsoluteName(options.target, cwd);
    if (!isFolder(target)) {
        say(QStringLiteral("%1: no such folder").arg(options.target));
        return kBatchUsage;
    }
    SourceNames names(options.sources, options.filesFrom, options.nullSeparated);
    if (!names.open()) {
        say(names.error());
        return kBatchUsage;
    }
    InstallStopHandlers();
    BatchRun run(options, cwd, target);
    const bool listRead = exportAll(names, run);
    if (options.verbose || isatty(STDERR_FILENO))
        say(QStringLiteral("%1 written, %2 unreadable, %3 skipped in %4 s")
                .arg(run.written).arg(run.unreadable).arg(run.skipped)
                .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    const int status = run.status();
    return status == kBatchOk && !listRead ? kBatchUnreadable : status;
}

} // namespace ostrovel
