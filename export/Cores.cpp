#include "export/Cores.h"

#include <QFile>
#include <QList>
#include <QThread>

#include <algorithm>
#include <sched.h>

namespace ostrovel {
namespace {

// A whole number > 0, or 0 for anything else ("max", "-1", garbage).
qint64 positive(const QByteArray& text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok && value > 0 ? value : 0;
}

int roundedUp(qint64 quota, qint64 period)
{
    if (quota <= 0 || period <= 0)
        return 0;
    const qint64 cores = (quota + period - 1) / period;
    return int(std::min<qint64>(cores, 1 << 20));
}

QByteArray readSmall(const QByteArray& path, qint64 limit = 256)
{
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly) ? file.read(limit) : QByteArray();
}

// The cgroup path of this process for the v2 hierarchy ("0::/x") or for the
// v1 hierarchy that holds the cpu controller ("4:cpu,cpuacct:/x").
QByteArray cgroupPath(bool v2)
{
    for (const QByteArray& line : readSmall("/proc/self/cgroup", 65536).split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3)
            continue;
        const bool match = v2 ? fields[0] == "0" : fields[1].split(',').contains("cpu");
        if (match)
            return fields[2].trimmed();
    }
    return "/";
}

// The smallest quota on the way from the process's cgroup up to the root:
// a parent's quota limits its children too.
int quotaOfHierarchy(const QByteArray& root, QByteArray path, bool v2)
{
    int smallest = 0;
    for (;;) {
        const QByteArray folder = root + (path == "/" ? QByteArray() : path);
        const int quota = v2 ? CoresOfQuota(readSmall(folder + "/cpu.max"), {}, {})
                             : CoresOfQuota({}, readSmall(folder + "/cpu.cfs_quota_us"),
                                            readSmall(folder + "/cpu.cfs_period_us"));
        if (quota > 0)
            smallest = smallest > 0 ? std::min(smallest, quota) : quota;
        const qsizetype slash = path.lastIndexOf('/');
        if (path == "/" || slash < 0)
            return smallest;
        path = slash == 0 ? QByteArray("/") : path.left(slash);
    }
}

int affinityCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1, QThread::idealThreadCount());
}

} // namespace

int CoresOfQuota(const QByteArray& cpuMax, const QByteArray& cfsQuota, const QByteArray& cfsPeriod)
{
    const QList<QByteArray> parts = cpuMax.simplified().split(' ');
    if (!cpuMax.trimmed().isEmpty())
        return parts.size() == 2 ? roundedUp(positive(parts[0]), positive(parts[1])) : 0;
    return roundedUp(positive(cfsQuota), positive(cfsPeriod));
}

int UsableCores()
{
    int cores = affinityCores();
    // A container usually sees its own cgroup as the root; outside one, the
    // process's cgroup and its parents may each carry a quota.
    for (const bool v2 : {true, false}) {
        const QByteArray root = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/cpu";
        const int quota = quotaOfHierarchy(root, cgroupPath(v2), v2);
        if (quota > 0)
            cores = std::min(cores, quota);
    }
    return std::max(1, cores);
}

} // namespace ostrovel
