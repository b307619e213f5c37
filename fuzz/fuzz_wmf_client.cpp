// WMF through the real client: the file is sniffed, probed and drawn by the
// helper process, as the program does it. The client hides how the helper
// ended (any failure is just "unreadable"), so when a step fails on a
// metafile that passes the byte checks, the helper is run again directly
// and a crash, a sanitizer report, more than the client's time or more than
// 1 GB of memory is reported as a finding.

#include "fuzz/FuzzSupport.h"
#include "picture/LoadPicture.h"
#include "picture/wmf/WmfFile.h"
#include "picture/wmf/WmfProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <span>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace ostrovel;

namespace {

// A helper run by the sanitizers ends with this status on a report.
constexpr int kSanitizerExit = 86;
constexpr auto kClientTimeLimit = std::chrono::seconds(5);
constexpr long kMemoryLimitKb = 1024L * 1024;

// The helper run to its end (killed after twice the client's time limit).
struct HelperEnd {
    int status = 0;
    std::chrono::steady_clock::duration took{};
    long maxRssKb = 0;
};

// The helper reads the metafile from its standard input, as the client
// hands it over.
pid_t spawnHelper(const std::vector<std::string>& args, const std::string& file)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, file.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

std::optional<HelperEnd> runHelper(const std::vector<std::string>& args, const std::string& file)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawnHelper(args, file);
    if (pid < 0)
        return std::nullopt;
    HelperEnd end;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &end.status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() - start > 2 * kClientTimeLimit)
            ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    end.took = std::chrono::steady_clock::now() - start;
    end.maxRssKb = usage.ru_maxrss;
    return end;
}

// Runs the helper directly with `args` (its mode) on `file` and fails on a
// crash, a sanitizer report, more than the client's time or 1 GB.
void checkHelper(std::vector<std::string> args, const QString& file)
{
    static const std::string helper = QCoreApplication::applicationDirPath().toStdString() + '/'
        + wmf::protocol::kHelperName;
    args.insert(args.begin(), helper);
    const std::optional<HelperEnd> end = runHelper(args, QFile::encodeName(file).toStdString());
    if (!end)
        fuzz::Fail("cannot run the helper");
    if (end->took > kClientTimeLimit)
        fuzz::Fail("the helper took longer than the client waits");
    if (WIFSIGNALED(end->status))
        fuzz::Fail("the helper crashed");
    if (WIFEXITED(end->status) && WEXITSTATUS(end->status) == kSanitizerExit)
        fuzz::Fail("the helper's sanitizers reported an error");
    if (end->maxRssKb > kMemoryLimitKb)
        fuzz::Fail("the helper used more than 1 GB");
}

// Passes the drawing on to the client's picture and notes a failed one.
class WatchedPicture : public Picture {
public:
    explicit WatchedPicture(const Picture& inner) : Picture(inner.Width(), inner.Height()), m_inner(inner) {}
    QImage render(QSize size) const override
    {
        QImage image = m_inner.render(size);
        if (image.isNull() && wmf::protocol::sizeAllowed(size.width(), size.height()))
            m_failed = size;
        return image;
    }
    std::optional<QSize> failedSize() const { return m_failed; }

private:
    const Picture& m_inner;
    mutable std::optional<QSize> m_failed;
};

bool passesByteChecks(const std::uint8_t* data, std::size_t size)
{
    return wmf::inspectWmf(std::span(data, size)).has_value();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Sanitizer reports in the helper end it with a status of their own;
    // a short-lived helper's leaks do not matter.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        const char* old = std::getenv(name);
        const std::string value = std::string(old ? old : "") + ":exitcode=86:detect_leaks=0:halt_on_error=1";
        ::setenv(name, value.c_str(), 1);
    }
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString file = fuzz::WriteScratchFile(data, size, "wmf");
    const QSize canvas = fuzz::CanvasSizeFor(size);
    const auto picture = LoadPicture(file, canvas);
    const bool checked = passesByteChecks(data, size);
    if (!picture) {
        if (checked)
            checkHelper({"--probe"}, file);
        return 0;
    }
    const WatchedPicture watched(*picture);
    fuzz::FitIntoCanvas(&watched, canvas);
    if (const std::optional<QSize> failed = watched.failedSize(); failed && checked)
        checkHelper({"--render", std::to_string(failed->width()), std::to_string(failed->height())}, file);
    return 0;
}
