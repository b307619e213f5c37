#pragma once
// How many cores this process may really use: its CPU affinity, limited by a
// container's CPU quota, which idealThreadCount() knows nothing of.

#include <QByteArray>

namespace ostrovel {

/// The cores a CPU quota grants, rounded up, from the texts of cgroup v2's
/// cpu.max ("max 100000", "150000 100000") or, when that is empty, of cgroup
/// v1's cpu.cfs_quota_us ("-1" or "200000") and cpu.cfs_period_us
/// ("100000"). 0 when there is no quota or the texts make no sense.
int CoresOfQuota(const QByteArray& cpuMax, const QByteArray& cfsQuota, const QByteArray& cfsPeriod);

/// The worker threads worth starting: the CPUs in this process's affinity
/// mask (taskset), limited by the cgroup's quota; at least 1.
int UsableCores();

} // namespace ostrovel
