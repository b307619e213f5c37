// The cores a container's CPU quota grants, read from the cgroup files' texts.

#include "export/Cores.h"

#include <QTest>

#include <sched.h>

using namespace ostrovel;

class TestCores : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void quota_data();
    void quota();
    void usableCores();
    void followsAffinity();
};

void TestCores::quota_data()
{
    QTest::addColumn<QByteArray>("cpuMax"); // cgroup v2
    QTest::addColumn<QByteArray>("cfsQuota"); // cgroup v1
    QTest::addColumn<QByteArray>("cfsPeriod");
    QTest::addColumn<int>("cores"); // 0: no quota
    QTest::newRow("v2 no quota") << QByteArray("max 100000\n") << QByteArray() << QByteArray() << 0;
    QTest::newRow("v2 one core") << QByteArray("100000 100000\n") << QByteArray() << QByteArray() << 1;
    QTest::newRow("v2 two cores") << QByteArray("200000 100000\n") << QByteArray() << QByteArray() << 2;
    QTest::newRow("v2 one and a half, rounded up") << QByteArray("150000 100000") << QByteArray() << QByteArray() << 2;
    QTest::newRow("v2 a tenth") << QByteArray("10000 100000\n") << QByteArray() << QByteArray() << 1;
    QTest::newRow("v2 other period") << QByteArray("300000 50000\n") << QByteArray() << QByteArray() << 6;
    QTest::newRow("v2 quota only") << QByteArray("200000\n") << QByteArray() << QByteArray() << 0;
    QTest::newRow("v2 garbage") << QByteArray("lots 100000\n") << QByteArray() << QByteArray() << 0;
    QTest::newRow("v2 zero period") << QByteArray("100000 0\n") << QByteArray() << QByteArray() << 0;
    QTest::newRow("v2 wins over v1") << QByteArray("100000 100000\n") << QByteArray("400000\n") << QByteArray("100000\n") << 1;
    QTest::newRow("v1 no quota") << QByteArray() << QByteArray("-1\n") << QByteArray("100000\n") << 0;
    QTest::newRow("v1 three cores") << QByteArray() << QByteArray("300000\n") << QByteArray("100000\n") << 3;
    QTest::newRow("v1 half a core") << QByteArray() << QByteArray("50000\n") << QByteArray("100000\n") << 1;
    QTest::newRow("v1 period missing") << QByteArray() << QByteArray("300000\n") << QByteArray() << 0;
    QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray() << 0;
}

void TestCores::quota()
{
    QFETCH(QByteArray, cpuMax);
    QFETCH(QByteArray, cfsQuota);
    QFETCH(QByteArray, cfsPeriod);
    QFETCH(int, cores);
    QCOMPARE(CoresOfQuota(cpuMax, cfsQuota, cfsPeriod), cores);
}

void TestCores::usableCores()
{
    // Never more than the affinity mask allows, never less than one.
    cpu_set_t set;
    CPU_ZERO(&set);
    QCOMPARE(sched_getaffinity(0, sizeof set, &set), 0);
    const int cores = UsableCores();
    QVERIFY(cores >= 1);
    QVERIFY(cores <= CPU_COUNT(&set));
}

// As under "taskset -c N": one CPU allowed, one core usable, whatever the machine has.
void TestCores::followsAffinity()
{
    cpu_set_t all;
    CPU_ZERO(&all);
    QCOMPARE(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    QCOMPARE(sched_setaffinity(0, sizeof one, &one), 0);
    const int cores = UsableCores();
    QCOMPARE(sched_setaffinity(0, sizeof all, &all), 0);
    QCOMPARE(cores, 1);
}

QTEST_MAIN(TestCores)
#include "test_cores.moc"
