#include "picture/wmf/WmfClient.h"
#include "common/SystemReason.h"

#include "picture/Limits.h"
#include "picture/wmf/WmfProtocol.h"
#include "common/ReadableFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ostrovel::wmf {
namespace {

// The helper may use this much processor time to start, read, draw and write,
// and is then killed. Counted on the helper's own clock: several helpers
// drawing at once on a busy machine each still get their full share.
std::atomic<qint64> g_timeLimitMs{5000};
// A helper that waits instead of working (it uses no processor time) is
// given up on after this many times the limit of real time.
constexpr int kRealTimeFactor = 6;
// How often a running helper's clock and the stop request are looked at.
constexpr int kWatchMs = 20;

// The stop request of the calling thread's HelperStop, if any.
thread_local const std::atomic<bool>* t_stop = nullptr;
// Address space allowed to the helper: a hostile file cannot take the machine.
constexpr long long kMemoryLimit = static_cast<long long>(kWmfHelperAddressSpaceBytes);

// The sanitizers reserve terabytes of address space: no limit under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
#else
constexpr bool kLimitAddressSpace = true;
#endif

// Where the helper may be: next to the running program, or where an
// installation keeps it; never looked up through PATH.
QStringList helperCandidates()
{
    const QString name = QString::fromLatin1(protocol::kHelperName);
    if (!QCoreApplication::instance())
        return {name};
    const QString dir = QCoreApplication::applicationDirPath();
    return {dir + u'/' + name, dir + QLatin1String("/../libexec/ostrovel/") + name};
}

// Found once: applicationDirPath() fills a cache of its own that is not
// safe to fill from several threads at once. Empty with `lookedFor` set
// when there is none.
QString helperPath(QString& lookedFor)
{
    static QMutex mutex;
    static QString found;
    static QStringList candidates;
    const QMutexLocker lock(&mutex);
    if (found.isEmpty()) {
        candidates = helperCandidates();
        for (const QString& candidate : std::as_const(candidates)) {
            const QFileInfo info(candidate);
            if (found.isEmpty() && info.isFile() && info.isExecutable())
                found = info.absoluteFilePath();
        }
    }
    lookedFor = candidates.join(QLatin1String(", "));
    return found;
}

void setReason(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
}

// A started helper: killed with its process group and reaped on every way
// out unless it was reaped already.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    pid_t pid() const { return m_pid; }
    // The exit status once the helper ended before `deadline`; nothing when
    // it did not (then it is killed on destruction).
    std::optional<int> wait(const QDeadlineTimer& deadline)
    {
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                return status;
            }
            if ((done < 0 && errno != EINTR) || deadline.hasExpired())
                return std::nullopt;
            ::usleep(2000);
        }
    }

private:
    pid_t m_pid;
};

// Starts the helper with `in` as its standard input and `out` as its
// standard output, in a process group of its own, with default signals.
pid_t spawnHelper(const QString& program, const QStringList& arguments, int in, int out, int& error)
{
    std::vector<std::string> args{QFile::encodeName(program).toStdString(), "--parent", std::to_string(::getpid())};
    if (kLimitAddressSpace)
        args.insert(args.end(), {"--memory", std::to_string(kMemoryLimit)});
    for (const QString& a : arguments)
        args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&files, out, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const QByteArray path = QFile::encodeName(program);
    error = posix_spawn(&pid, path.constData(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return error == 0 ? pid : -1;
}

// Watches a running helper: its processor time against the limit, real time
// against the backstop, and the calling thread's stop request.
class Watch {
public:
    explicit Watch(pid_t pid)
        : m_limitMs(g_timeLimitMs.load()), m_realDeadline(m_limitMs * kRealTimeFactor), m_stop(t_stop)
    {
        m_hasClock = pid > 0 && ::clock_getcpuclockid(pid, &m_clock) == 0;
    }
    // Why to give up on the helper now; empty while it may go on.
    QString verdict() const
    {
        if (m_stop && m_stop->load())
            return QStringLiteral("cancelled");
        if (m_realDeadline.hasExpired() || processorMs() > m_limitMs)
            return QString::fromLatin1(kTimeLimitReason);
        return {};
    }
    // How long to wait for the helper before looking again, in ms.
    int slice() const { return int(std::clamp<qint64>(m_realDeadline.remainingTime(), 0, kWatchMs)); }

private:
    qint64 processorMs() const
    {
        timespec used{};
        if (!m_hasClock || ::clock_gettime(m_clock, &used) != 0)
            return 0; // ended already: the exit status tells
        return qint64(used.tv_sec) * 1000 + used.tv_nsec / 1000000;
    }

    qint64 m_limitMs;
    QDeadlineTimer m_realDeadline;
    const std::atomic<bool>* m_stop;
    clockid_t m_clock{};
    bool m_hasClock = false;
};

// Reads `fd` to its end, at most `cap` bytes, while `watch` allows; false
// when it did not, the output was longer, or reading failed.
bool readOutput(int fd, qint64 cap, const Watch& watch, QByteArray& output, QString* reason)
{
    char chunk[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, watch.slice());
        if (ready <= 0) {
            if (const QString verdict = watch.verdict(); !verdict.isEmpty()) {
                setReason(reason, verdict);
                return false;
            }
            continue; // EINTR, or a look at the clocks
        }
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return true;
        if (n < 0 || output.size() + n > cap) {
            setReason(reason, QStringLiteral("damaged data"));
            return false;
        }
        output.append(chunk, n);
    }
}

// Why a helper that ended with `status` gave no answer.
QString failureOf(int status)
{
    if (WIFEXITED(status) && WEXITSTATUS(status) == protocol::kExitTooLarge)
        return QStringLiteral("too large");
    if (WIFEXITED(status) && WEXITSTATUS(status) == protocol::kExitNoMemory)
        return QStringLiteral("not enough memory");
    return QStringLiteral("damaged data");
}

// The helper's standard output when it ran to a successful end in time,
// never longer than `cap` bytes. Works without an event loop, so in any
// thread; the helper never outlives the call.
std::optional<QByteArray> runHelper(const QString& file, const QStringList& arguments, qint64 cap, QString* reason)
{
    QString lookedFor;
    const QString program = helperPath(lookedFor);
    if (program.isEmpty()) {
        setReason(reason, QStringLiteral("metafile helper not found (looked for %1)").arg(lookedFor));
        return std::nullopt;
    }
    QString why;
    const FileHandle in = OpenPictureFile(file, why);
    if (!in.isOpen()) {
        setReason(reason, why);
        return std::nullopt;
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        setReason(reason, SystemReason(errno));
        return std::nullopt;
    }
    const FileHandle readEnd(pipeFds[0]);
    FileHandle writeEnd(pipeFds[1]);
    if (t_stop && t_stop->load()) {
        setReason(reason, QStringLiteral("cancelled"));
        return std::nullopt;
    }
    int error = 0;
    Child child(spawnHelper(program, arguments, in.fd(), writeEnd.fd(), error));
    writeEnd = FileHandle(); // the helper's end: the pipe ends when the helper does
    if (error != 0) {
        setReason(reason, QStringLiteral("cannot start the metafile helper: %1").arg(SystemReason(error)));
        return std::nullopt;
    }
    const Watch watch(child.pid());
    QByteArray output;
    if (!readOutput(readEnd.fd(), cap, watch, output, reason))
        return std::nullopt;
    // It has closed its output: only a hostile helper lingers now.
    const std::optional<int> status = child.wait(QDeadlineTimer(g_timeLimitMs.load()));
    if (!status) {
        setReason(reason, QString::fromLatin1(kTimeLimitReason));
        return std::nullopt;
    }
    if (!WIFEXITED(*status) || WEXITSTATUS(*status) != protocol::kExitOk) {
        setReason(reason, failureOf(*status));
        return std::nullopt;
    }
    return output;
}
// "WIDTH HEIGHT\n", both positive decimal numbers.
std::optional<WmfSize> parseSize(const QByteArray& output)
{
    if (!output.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> fields = output.chopped(1).split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    bool wOk = false;
    bool hOk = false;
    const int width = fields[0].toInt(&wOk);
    const int height = fields[1].toInt(&hOk);
    if (!wOk || !hOk || width <= 0 || height <= 0)
        return std::nullopt;
    return WmfSize{width, height};
}

// The image in the helper's output when its header and length are exactly
// those of the requested size.
QImage parseImage(const QByteArray& output, QSize size)
{
    const qint64 pixelBytes = qint64(size.width()) * size.height() * 4;
    protocol::RenderHeader header{};
    if (output.size() != qint64(sizeof header) + pixelBytes)
        return {};
    std::memcpy(&header, output.constData(), sizeof header);
    if (std::memcmp(header.magic, protocol::kRenderMagic, sizeof header.magic) != 0 || header.bytesPerPixel != 4
        || header.width != std::uint32_t(size.width()) || header.height != std::uint32_t(size.height()))
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const char* pixels = output.constData() + sizeof header;
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), pixels + y * rowBytes, static_cast<std::size_t>(rowBytes));
    return image;
}

} // namespace

HelperStop::HelperStop(const std::atomic<bool>* stop) : m_previous(t_stop)
{
    t_stop = stop;
}

HelperStop::~HelperStop()
{
    t_stop = m_previous;
}

void SetHelperTimeLimit(std::chrono::milliseconds limit)
{
    g_timeLimitMs = limit.count();
}

std::optional<WmfSize> ProbeWmf(const QString& file, QString* reason)
{
    const std::optional<QByteArray> output = runHelper(file, {QStringLiteral("--probe")}, 64, reason);
    const std::optional<WmfSize> size = output ? parseSize(*output) : std::nullopt;
    if (output && !size)
        setReason(reason, QStringLiteral("damaged data"));
    return size;
}

QImage RenderWmf(const QString& file, QSize size, QString* reason)
{
    if (!protocol::sizeAllowed(size.width(), size.height())) {
        setReason(reason, QStringLiteral("too large"));
        return {};
    }
    const qint64 expected = qint64(sizeof(protocol::RenderHeader)) + qint64(size.width()) * size.height() * 4;
    const std::optional<QByteArray> output = runHelper(
        file, {QStringLiteral("--render"), QString::number(size.width()), QString::number(size.height())}, expected,
        reason);
    QImage image = output ? parseImage(*output, size) : QImage();
    if (output && image.isNull())
        setReason(reason, QStringLiteral("damaged data"));
    return image;
}

} // namespace ostrovel::wmf
