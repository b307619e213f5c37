#include "batch/BatchCommand.h"

#include "export/Export.h"
#include "common/FileNames.h"
#include "common/SystemReason.h"
#include "export/Paths.h"
#include "export/PictureFiles.h"
#include "batch/SourceNames.h"
#include "export/StopSignals.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrovel {
namespace {

const char* const kHelp =
    "Usage: ostrovel-batch [OPTION]... TARGET_FOLDER [SOURCE]...\n"
    "Write thumb_<name>.jpg into TARGET_FOLDER for every SOURCE picture, fitted into\n"
    "WIDTH x HEIGHT pixels on the background colour, byte for byte as the window\n"
    "writes it. Pictures are read by their content: JPEG, BMP, GIF, WMF, PNG, WebP,\n"
    "TIFF, HEIC/HEIF, AVIF and JPEG XL. A SOURCE folder stands for its *.jpg, *.bmp,\n"
    "*.gif and *.wmf files, in the window's list order.\n"
    "\n"
    "  -s, --size WIDTHxHEIGHT     thumbnail size, each side 1 to 16384\n"
    "                              (default 158x158)\n"
    "  -b, --background R,G,B      background colour, each 0 to 255, or #RRGGBB\n"
    "                              (default 255,255,255)\n"
    "  -j, --jobs N                worker threads (default: the cores this process\n"
    "                              may use)\n"
    "      --files-from FILE       read more SOURCE names from FILE, one a line\n"
    "                              (- reads standard input); each is exported\n"
    "                              as it comes\n"
    "  -0, --null                  names in --files-from end with NUL, not newline\n"
    "      --skip-existing         leave out sources whose thumbnail was there\n"
    "                              before this run as a non-empty regular file\n"
    "      --all-formats           a SOURCE folder stands for every picture format\n"
    "                              read (also *.png, *.webp, *.tif, *.tiff, *.heic,\n"
    "                              *.heif, *.avif, *.jxl)\n"
    "  -v, --verbose               print a summary line at the end\n"
    "  -h, --help                  print this help and exit\n"
    "  -V, --version               print the name and version and exit\n"
    "      --                      end of options: every later argument is a name\n"
    "\n"
    "A name ending in .jpg, .bmp, .gif or .wmf (any case) loses its last four\n"
    "characters, as in the window; another name loses its last extension, if any.\n"
    "When two sources give one thumbnail name, the later wins (said on stderr).\n"
    "\n"
    "Exit status: 0 all written; 1 some sources unreadable or their thumbnail's\n"
    "name too long for the target (named on stderr, the others written); 2 a\n"
    "write failed (nothing after it written); 64 bad usage; 128+N stopped by\n"
    "signal N (no temporary file left).\n";

bool g_progressOpen = false; // a progress line without its line feed yet
int g_messageFd = STDERR_FILENO; // standard error, or its copy once libraries are kept off it


// One line on stderr; names keep the bytes they were given as.
void say(const QString& text)
{
    QByteArray line = EncodeFileName(QStringLiteral("ostrovel-batch: ") + text);
    line += '\n';
    if (g_progressOpen)
        line.prepend('\n');
    g_progressOpen = false;
    WriteMessage(line);
}

bool isFolder(const QString& path)
{
    struct stat st {};
    return ::stat(EncodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A moment before anything of this run was written, on the clock the file
// system stamps files with.
timespec runStart()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
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

// The export of one run, fed source by source as the names come.
class BatchRun {
public:
    BatchRun(const BatchOptions& options, QString cwd, QString target, SourceNames& names);
    /// Exports every name; false when the list could not be read to its end.
    bool run();
    int status() const;
    qint64 written = 0, unreadable = 0, skipped = 0;

private:
    struct Pending {
        QString path;  // absolute
        QString name;  // the thumbnail is named after it
        QString shown; // as the user named the source
    };
    std::optional<ExportSource> nextSource();
    void expand(const QString& given);
    std::optional<ExportSource> take(const Pending& source);
    bool doneBefore(const QString& thumbnail) const;
    bool writtenByThisRun(const QString& thumbnail) const;
    void finished(bool read, const QString& reason = {});
    void reportFailure(const WriteFailure& failure);

    const BatchOptions& m_options;
    QString m_cwd, m_target;
    SourceNames& m_names;
    timespec m_start = runStart();
    std::deque<Pending> m_waiting;   // a folder's pictures, not yet handed on
    std::deque<Pending> m_inFlight;  // handed to the export, not yet told of
    QHash<QString, int> m_inFlightThumbnails;
    ExportRequest m_request;
    Canvas m_canvas{kInitialCanvasSize, InitialCanvasColour()};
    qint64 m_queued = 0, m_done = 0;
    bool m_writeFailed = false;
};

BatchRun::BatchRun(const BatchOptions& options, QString cwd, QString target, SourceNames& names)
    : m_options(options), m_cwd(std::move(cwd)), m_target(std::move(target)), m_names(names)
{
    m_request.targetFolder = m_target;
    m_request.settings = options.settings;
    m_request.threads = options.jobs;
    m_request.moreSources = [this] { return nextSource(); };
    const bool progress = isatty(g_messageFd);
    m_request.callbacks.written = [this, progress](int) {
        finished(true);
        if (!progress)
            return;
        WriteMessage(QStringLiteral("\r%1/%2").arg(++m_done).arg(m_queued).toLatin1());
        g_progressOpen = true;
    };
    m_request.callbacks.unreadable = [this](int, const QString& reason) { finished(false, reason); };
}

bool BatchRun::run()
{
    const ExportResult result = RunExport(m_request, m_canvas);
    written += result.written;
    if (result.writeFailure)
        reportFailure(*result.writeFailure);
    if (m_names.error().isEmpty())
        return true;
    say(m_names.error());
    return false;
}

// The next source for the export, as its name comes; nothing at the end, or
// once a write has failed.
std::optional<ExportSource> BatchRun::nextSource()
{
    for (;;) {
        if (!m_waiting.empty()) {
            const Pending source = std::move(m_waiting.front());
            m_waiting.pop_front();
            if (std::optional<ExportSource> taken = take(source))
                return taken;
            continue;
        }
        const std::optional<QString> name = m_names.next();
        if (!name)
            return std::nullopt;
        expand(*name);
    }
}

// A folder stands for the files its list would show, in the list's order.
void BatchRun::expand(const QString& given)
{
    const QString path = AbsoluteName(given, m_cwd);
    if (!isFolder(path)) {
        m_waiting.push_back(Pending{path, lastComponent(given), given});
        return;
    }
    const QString reason = unlistable(path);
    if (!reason.isEmpty()) {
        say(QStringLiteral("cannot read %1: %2").arg(given, reason));
        ++unreadable;
        return;
    }
    const auto kinds = m_options.allFormats ? FolderPictures::AllFormats : FolderPictures::ListPatterns;
    for (const QString& name : MatchingPictureFiles(path, kinds))
        m_waiting.push_back(Pending{joined(path, name), name, joined(given, name)});
}

// The source, unless it is left out: a thumbnail name no folder can hold,
// or (--skip-existing) a thumbnail done before this run.
std::optional<ExportSource> BatchRun::take(const Pending& source)
{
    const QString thumbnail = ThumbnailPath(m_target, source.name);
    if (const QString fault = NameFault(thumbnail); !fault.isEmpty()) {
        say(QStringLiteral("cannot write %1: %2").arg(joined(m_options.target, ThumbnailName(source.name)), fault));
        ++unreadable;
        return std::nullopt;
    }
    if (m_options.skipExisting && doneBefore(thumbnail)) {
        ++skipped;
        return std::nullopt;
    }
    if (m_inFlightThumbnails.contains(thumbnail) || writtenByThisRun(thumbnail))
        say(QStringLiteral("%1: %2 also comes from an earlier source; the later wins")
                .arg(source.shown, ThumbnailName(source.name)));
    ++m_inFlightThumbnails[thumbnail];
    m_inFlight.push_back(source);
    ++m_queued;
    return ExportSource{source.path, source.name};
}

// A regular, non-empty file that was there before this run began: every
// source of that name is decided alike, and nothing is kept per name.
bool BatchRun::doneBefore(const QString& thumbnail) const
{
    struct stat st {};
    return ::lstat(EncodeFileName(thumbnail).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
           && before(st.st_ctim, m_start);
}

bool BatchRun::writtenByThisRun(const QString& thumbnail) const
{
    struct stat st {};
    return ::lstat(EncodeFileName(thumbnail).constData(), &st) == 0 && S_ISREG(st.st_mode)
           && !before(st.st_ctim, m_start);
}

// The export is done with the oldest source in flight (in list order).
void BatchRun::finished(bool read, const QString& reason)
{
    const Pending source = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    const QString thumbnail = ThumbnailPath(m_target, source.name);
    if (--m_inFlightThumbnails[thumbnail] <= 0)
        m_inFlightThumbnails.remove(thumbnail);
    if (read)
        return;
    ++unreadable;
    say(reason.isEmpty() ? QStringLiteral("cannot read %1").arg(source.shown)
                         : QStringLiteral("cannot read %1: %2").arg(source.shown, reason));
}

// The failing source is the oldest in flight: every earlier one was told of.
void BatchRun::reportFailure(const WriteFailure& failure)
{
    m_writeFailed = true;
    const QString name = m_inFlight.empty() ? QFileInfo(failure.path).fileName() : ThumbnailName(m_inFlight.front().name);
    say(QStringLiteral("cannot write %1: %2").arg(joined(m_options.target, name), failure.reason));
}

int BatchRun::status() const
{
    if (m_writeFailed)
        return kBatchWriteError;
    return unreadable > 0 ? kBatchUnreadable : kBatchOk;
}

// The help or version text is out only once stdout took it: a full disk or
// a closed pipe is a failure, as in GNU tools.
int flushedOutput()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return kBatchOk;
    say(QStringLiteral("write error: %1").arg(SystemReason(errno != 0 ? errno : EIO)));
    return kBatchUnreadable;
}

} // namespace

void KeepStderrForMessages()
{
    const int copy = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (copy < 0)
        return; // no standard error to keep
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || ::dup2(null, STDERR_FILENO) < 0) {
        if (null >= 0)
            ::close(null);
        ::close(copy);
        return;
    }
    ::close(null);
    g_messageFd = copy;
}

void WriteMessage(const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(g_messageFd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to say it
        done += n;
    }
}

int AnswerWithoutRunning(const ParsedArguments& parsed)
{
    switch (parsed.action) {
    case ParsedArguments::Help:
        std::fputs(kHelp, stdout);
        return flushedOutput();
    case ParsedArguments::Version:
        std::printf("ostrovel-batch %d.%d.%d\n", OSTROVEL_VERSION_MAJOR, OSTROVEL_VERSION_MINOR, OSTROVEL_VERSION_PATCH);
        return flushedOutput();
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
    BatchRun run(options, cwd, target, names);
    const bool listRead = run.run();
    if (options.verbose || isatty(STDERR_FILENO))
        say(QStringLiteral("%1 written, %2 unreadable, %3 skipped in %4 s")
                .arg(run.written).arg(run.unreadable).arg(run.skipped)
                .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1));
    const int status = run.status();
    return status == kBatchOk && !listRead ? kBatchUnreadable : status;
}

} // namespace ostrovel
