#include "supervision/statusmonitor.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "testfolder.h"

#include <QSet>
#include <QTest>
#include <algorithm>

using namespace corvatek;
using namespace corvatek::supervision;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

// A monitor on a temporary program folder, with the clock and the machine's
// address set by the test.
struct Monitor {
    explicit Monitor(ProtectionLevel level = ProtectionLevel::Low)
    {
        state.protectionLevel = level;
        for (const char* name : {"vkmail.exe", "vkupdate.exe", "vknotify.exe"})
            folder.installCompanion(QString::fromLatin1(name), {QStringLiteral("exit")});
        folder.installCompanion(QStringLiteral("vkreach.exe"));
        files.createTable(data::TableId::Quarantine);
    }

    void tickAt(int hour, int minute, int second = 0)
    {
        now = QDateTime(QDate(2026, 12, 7), QTime(hour, minute, second));
        monitor.tick();
        settle();
    }

    // Every process started so far has written its journal line.
    void settle() const
    {
        QVERIFY(waitUntil([this] {
            QSet<int> journaled;
            for (const auto& start : folder.starts())
                journaled.insert(start.pid);
            for (const int pid : folder.processes()) {
                if (!journaled.contains(pid))
                    return false;
            }
            return true;
        }));
    }

    int starts(const QString& name) const { return int(folder.argumentsOf(name).size()); }
    QList<QStringList> argumentsOf(const QString& name) const { return folder.argumentsOf(name); }

    void run(const QString& name) const
    {
        if (!folder.exists(name))
            folder.installCompanion(name);
        QVERIFY(platform::startDetached(folder.file(name).toStdString(), {}));
        QVERIFY(waitUntil([&] { return companions.isRunning(name); }));
        settle();
    }

    void quarantine(const QStringList& names) const
    {
        data::Table table = data::defaultTable(data::TableId::Quarantine);
        for (const QString& name : names)
            table.appendRow({name});
        QVERIFY(files.saveTable(data::TableId::Quarantine, table).ok());
    }

    TestFolder folder;
    ProcessState state;
    data::ProgramFiles files {folder.path()};
    Companions companions {folder.path()};
    QDateTime now;
    QString address = QStringLiteral("192.168.1.20");
    int idleCalls = 0;
    int lookups = 0;
    StatusMonitor monitor {state, files, companions,
        {.now = [this] { return now; },
            .lookup =
                [this] {
                    ++lookups;
                    return HostAddress {QStringLiteral("host"), address};
                }}};
    const QMetaObject::Connection idle =
        QObject::connect(&monitor, &StatusMonitor::scannerIdle, [this] { ++idleCalls; });
};

} // namespace

class TestStatusMonitor : public QObject {
    Q_OBJECT

private slots:
    void theHourlyScanStartsOnceAtTheFullHour()
    {
        Monitor m;
        m.folder.installCompanion(QStringLiteral("vkprobe.exe"), {QStringLiteral("exit")});
        m.tickAt(10, 58);
        m.tickAt(10, 59);
        QCOMPARE(m.starts(QStringLiteral("vkprobe.exe")), 0);
        m.tickAt(11, 0);
        m.tickAt(11, 0, 2);
        m.tickAt(11, 0, 3);
        QCOMPARE(m.argumentsOf(QStringLiteral("vkprobe.exe")), QList<QStringList> {{QStringLiteral("0")}});
        m.state.hourlyScanFlag = false;
        m.tickAt(11, 59);
        m.tickAt(12, 0);
        QCOMPARE(m.starts(QStringLiteral("vkprobe.exe")), 1);
    }

    // While the scanner runs the network tool is left alone and nothing is
    // enforced; the first tick after it ended frees the scan button.
    void aRunningScannerHoldsTheRestOfTheTick()
    {
        Monitor m(ProtectionLevel::High);
        m.folder.installCompanion(QStringLiteral("vkwall.exe"));
        m.quarantine({QStringLiteral("bad.exe")});
        m.run(QStringLiteral("bad.exe"));
        m.run(QStringLiteral("vkprobe.exe"));
        m.tickAt(10, 0);
        m.tickAt(10, 1);
        QCOMPARE(m.starts(QStringLiteral("vkwall.exe")), 0);
        QCOMPARE(m.idleCalls, 0);
        QVERIFY(m.companions.isRunning(QStringLiteral("bad.exe")));
        QCOMPARE(m.starts(QStringLiteral("vkmail.exe")), 2); // steps before the gate still run

        QVERIFY(m.companions.stop(QStringLiteral("vkprobe.exe")));
        QVERIFY(waitUntil([&] { return !m.companions.isRunning(QStringLiteral("vkprobe.exe")); }));
        m.tickAt(10, 1, 2);
        QCOMPARE(m.idleCalls, 1);
        QCOMPARE(m.starts(QStringLiteral("vkwall.exe")), 1);
    }

    void theNetworkToolFollowsTheProtectionLevel()
    {
        {
            Monitor level1(ProtectionLevel::Low);
            level1.folder.installCompanion(QStringLiteral("vkwall.exe"));
            for (int minute = 0; minute < 3; ++minute)
                level1.tickAt(10, minute);
            QCOMPARE(level1.starts(QStringLiteral("vkwall.exe")), 0);
            // Running anyway, it takes the quarantine over.
            level1.quarantine({QStringLiteral("bad.exe")});
            level1.run(QStringLiteral("bad.exe"));
            level1.run(QStringLiteral("vkwall.exe"));
            level1.tickAt(10, 4);
            QVERIFY(level1.companions.isRunning(QStringLiteral("bad.exe")));
        }
        {
            Monitor level2(ProtectionLevel::Normal);
            level2.folder.installCompanion(QStringLiteral("vkwall.exe"));
            level2.tickAt(10, 0); // the first tick has no previous minute
            level2.tickAt(10, 0, 2);
            QCOMPARE(level2.starts(QStringLiteral("vkwall.exe")), 0);
            level2.tickAt(10, 1);
            level2.tickAt(10, 1, 2);
            QCOMPARE(level2.argumentsOf(QStringLiteral("vkwall.exe")).size(), 1);
            QVERIFY(level2.companions.stop(QStringLiteral("vkwall.exe")));
            QVERIFY(waitUntil([&] { return !level2.companions.isRunning(QStringLiteral("vkwall.exe")); }));
            level2.tickAt(10, 1, 4);
            QCOMPARE(level2.starts(QStringLiteral("vkwall.exe")), 1);
            level2.tickAt(10, 2);
            QCOMPARE(level2.starts(QStringLiteral("vkwall.exe")), 2);
            QCOMPARE(level2.argumentsOf(QStringLiteral("vkwall.exe")).last(),
                QStringList(networkOptionText(level2.state).split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        }
        {
            Monitor level3(ProtectionLevel::High);
            level3.folder.installCompanion(QStringLiteral("vkwall.exe"), {QStringLiteral("exit")});
            for (int second = 0; second < 6; second += 2) {
                level3.tickAt(10, 0, second);
                QVERIFY(waitUntil([&] { return !level3.companions.isRunning(QStringLiteral("vkwall.exe")); }));
            }
            QCOMPARE(level3.starts(QStringLiteral("vkwall.exe")), 3);
        }
    }

    void quarantinedProgramsAreEndedAndReported_data()
    {
        QTest::addColumn<ProtectionLevel>("level");
        QTest::newRow("low") << ProtectionLevel::Low;
        QTest::newRow("normal") << ProtectionLevel::Normal;
        QTest::newRow("high") << ProtectionLevel::High;
    }

    void quarantinedProgramsAreEndedAndReported()
    {
        QFETCH(ProtectionLevel, level);
        Monitor m(level);
        // Blanks around a stored name do not shield its program.
        m.quarantine({QStringLiteral("my tool.exe"), QStringLiteral(" BAD.EXE "), QStringLiteral("absent.exe")});
        m.run(QStringLiteral("my tool.exe"));
        m.run(QStringLiteral("bad.exe"));
        m.run(QStringLiteral("innocent.exe"));
        m.tickAt(10, 0);
        QVERIFY(waitUntil([&] {
            return !m.companions.isRunning(QStringLiteral("my tool.exe")) &&
                !m.companions.isRunning(QStringLiteral("bad.exe"));
        }));
        QVERIFY(m.companions.isRunning(QStringLiteral("innocent.exe")));
        QVERIFY(m.state.snapshot.names.contains(QStringLiteral("innocent.exe")));
        m.settle();
        QList<QStringList> expected;
        if (level != ProtectionLevel::Low)
            expected = {{QStringLiteral("my;tool.exe")}, {QStringLiteral("BAD.EXE")}};
        // Notifiers started back to back reach the journal in either order.
        // On Linux their process ids tell the order they were started in;
        // Windows hands ids out in no order.
        auto starts = m.folder.starts();
        std::sort(starts.begin(), starts.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
        QList<QStringList> notified;
        for (const auto& start : starts) {
            if (start.name == QLatin1String("vknotify.exe"))
                notified.append(start.arguments);
        }
#ifdef Q_OS_WIN
        std::sort(notified.begin(), notified.end());
        std::sort(expected.begin(), expected.end());
#endif
        QCOMPARE(notified, expected);
    }

    void aBusyQuarantineWaitsForTheNextTick()
    {
        Monitor m;
        m.quarantine({QStringLiteral("bad.exe")});
        m.run(QStringLiteral("bad.exe"));
        m.folder.installCompanion(QStringLiteral("vksites.exe"), {QStringLiteral("lock quarantaines.xml -1")});
        m.run(QStringLiteral("vksites.exe"));
        QVERIFY(waitUntil([&] { return m.folder.journalLines().contains(QStringLiteral("locked quarantaines.xml")); }));
        m.tickAt(10, 0);
        QVERIFY(m.companions.isRunning(QStringLiteral("bad.exe")));
        QVERIFY(m.companions.stop(QStringLiteral("vksites.exe")));
        QVERIFY(waitUntil([&] { return !platform::fileInUse(m.files.path(u"quarantaines.xml").toStdString()); }));
        m.tickAt(10, 0, 2);
        QVERIFY(waitUntil([&] { return !m.companions.isRunning(QStringLiteral("bad.exe")); }));
    }

    void theAddressGatesVkreachAndTheBaseUpdate_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("loopback") << QStringLiteral("127.0.0.1") << true;
        QTest::newRow("loopback's other address") << QStringLiteral("127.0.1.1") << true;
        QTest::newRow("network") << QStringLiteral("192.168.1.20") << false;
        QTest::newRow("none found") << QString() << false;
    }

    // The machine's address decides vkreach.exe and the base update; a
    // lookup that finds nothing does not count as loopback.
    void theAddressGatesVkreachAndTheBaseUpdate()
    {
        QFETCH(QString, address);
        QFETCH(bool, loopback);
        Monitor m;
        m.address = address;
        m.tickAt(10, 29);
        m.tickAt(10, 30);
        if (loopback) {
            m.tickAt(11, 30);
            QCOMPARE(m.starts(QStringLiteral("vkreach.exe")), 0);
            QCOMPARE(m.starts(QStringLiteral("vkupdate.exe")), 0);
            QVERIFY(!m.state.baseUpdateStarted);
            QCOMPARE(m.lookups, 3); // one a tick, though 10:30 asks twice
            return;
        }
        m.tickAt(10, 30, 2);
        m.tickAt(11, 30);
        QCOMPARE(m.starts(QStringLiteral("vkreach.exe")), 1);
        QCOMPARE(m.argumentsOf(QStringLiteral("vkupdate.exe")), QList<QStringList> {{QStringLiteral("0")}});
        QVERIFY(m.companions.stop(QStringLiteral("vkreach.exe")));
        QVERIFY(waitUntil([&] { return !m.companions.isRunning(QStringLiteral("vkreach.exe")); }));
        m.tickAt(11, 31);
        QCOMPARE(m.starts(QStringLiteral("vkreach.exe")), 2);
    }

    void theHostLookupAsksTheSystem()
    {
        const HostAddress real = localHostLookup();
        QCOMPARE(real.name.toStdString(), platform::hostName().value_or(""));
        QVERIFY(!real.name.isEmpty());
        QCOMPARE(real.address.toStdString(), platform::machineAddress().value_or(""));
    }

    void theMailFilterAndTheNetworkOptionText()
    {
        Monitor m;
        m.tickAt(10, 0);
        QCOMPARE(m.starts(QStringLiteral("vkmail.exe")), 2); // both minutes changed
        m.tickAt(10, 0, 2);
        QCOMPARE(m.starts(QStringLiteral("vkmail.exe")), 2);
        m.tickAt(10, 1);
        QCOMPARE(m.starts(QStringLiteral("vkmail.exe")), 4);

        ProcessState state;
        state.internetFlag = false;
        state.siteControlFlag = false;
        QCOMPARE(networkOptionText(state), QString(QStringLiteral(" 0")).repeated(13));
        state.firewall = FirewallMode::On;
        state.internetFlag = true;
        state.networkOption11 = true;
        QCOMPARE(networkOptionText(state), QStringLiteral(" 1 0 0 0 0 0 0 0 1 0 1 0 0"));
        state.protocolFlags[6] = true;
        state.configurationFlags[6] = true;
        QCOMPARE(networkOptionText(state), QStringLiteral(" 1 0 0 0 0 0 0 1 1 0 1 1 0"));
    }

    void backupsRunOnTheirScheduleOnly()
    {
        Monitor m;
        m.folder.installCompanion(QStringLiteral("vksave.exe"), {QStringLiteral("exit")});
        m.state.hourlyBackupFlag = true;
        m.tickAt(10, 59);
        m.tickAt(11, 0); // no entry chosen: nothing
        m.state.selectedBackupEntry = QStringLiteral("/home/a b;/backup");
        m.tickAt(11, 1);
        m.tickAt(11, 59);
        m.tickAt(12, 0);
        m.tickAt(12, 0, 2);
        m.tickAt(12, 1);
        // A folder with a blank stays one argument with the entry.
        QCOMPARE(m.argumentsOf(QStringLiteral("vksave.exe")),
            QList<QStringList> {(QStringList {QStringLiteral("/home/a b;/backup")})});

        // A backup still running skips the next run: let each end first.
        const auto ended = [&] {
            QVERIFY(waitUntil([&] { return !m.companions.isRunning(QStringLiteral("vksave.exe")); }));
        };
        m.state.hourlyBackupFlag = false;
        m.state.everyMinuteBackupFlag = true;
        ended();
        m.tickAt(12, 2);
        m.tickAt(12, 2, 2);
        ended();
        m.tickAt(12, 3);
        QCOMPARE(m.starts(QStringLiteral("vksave.exe")), 3);
        // Never while a backup still runs.
        m.folder.setBehaviour(QStringLiteral("vksave.exe"), {QStringLiteral("stay")});
        m.run(QStringLiteral("vksave.exe"));
        m.tickAt(12, 4);
        m.tickAt(12, 5);
        QCOMPARE(m.starts(QStringLiteral("vksave.exe")), 4); // only the one started by the test
    }
};

QTEST_GUILESS_MAIN(TestStatusMonitor)
#include "tst_statusmonitor.moc"
