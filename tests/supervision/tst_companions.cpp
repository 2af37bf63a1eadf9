#include "supervision/companions.h"
#include "testfolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

using namespace corvatek;
using namespace corvatek::supervision;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

class TestCompanions : public QObject {
    Q_OBJECT

private slots:
    void startsFromTheProgramFolder()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkprobe.exe"), {QStringLiteral("exit")});
        folder.installCompanion(QStringLiteral("vksave.exe"), {QStringLiteral("exit")});
        const Companions companions(folder.path());
        QVERIFY(companions.consoleStart(QStringLiteral("vkprobe.exe 0")));
        QVERIFY(companions.shellStart(QStringLiteral("vksave.exe"), QStringLiteral("\"/home/a b\" /backup")));
        QVERIFY(waitUntil([&] { return folder.starts().size() == 2; }));
        for (const auto& start : folder.starts()) {
            if (start.name == QLatin1String("vkprobe.exe"))
                QCOMPARE(start.arguments, QStringList {QStringLiteral("0")});
            else
                QCOMPARE(start.arguments, (QStringList {QStringLiteral("/home/a b"), QStringLiteral("/backup")}));
        }
        QVERIFY(!companions.consoleStart(QStringLiteral("vkcheck.exe 1")));
        QVERIFY(!companions.consoleStart(QString()));
        QVERIFY(!companions.shellStart(QStringLiteral("vkupdate.exe")));
    }

    void runningCheckAndStop()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkguard.exe"));
        const Companions companions(folder.path());
        QVERIFY(companions.shellStart(QStringLiteral("vkguard.exe")));
        QVERIFY(companions.shellStart(QStringLiteral("vkguard.exe")));
        QVERIFY(waitUntil([&] { return folder.processes().size() == 2; }));
        QVERIFY(companions.isRunning(QStringLiteral("VKGUARD.EXE")));
        QVERIFY(companions.stop(QStringLiteral("vkguard.exe")));
        QVERIFY(waitUntil([&] { return !companions.isRunning(QStringLiteral("vkguard.exe")); }));
        QVERIFY(!companions.stop(QStringLiteral("vkguard.exe")));

        // Its own name in a stop list never ends the control centre.
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(!companions.stop(self));
        QVERIFY(companions.isRunning(self));
    }

    void snapshotListsNamesWithTheirIds()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkmail.exe"));
        const Companions companions(folder.path());
        QVERIFY(companions.shellStart(QStringLiteral("vkmail.exe")));
        QVERIFY(waitUntil([&] { return folder.starts().size() == 1; }));
        const int pid = folder.starts().first().pid;
        const ProcessSnapshot snapshot = companions.snapshot();
        QCOMPARE(snapshot.names.size(), snapshot.ids.size());
        const auto at = snapshot.ids.indexOf(QString::number(pid));
        QVERIFY(at >= 0);
        QCOMPARE(snapshot.names[at], QStringLiteral("vkmail.exe"));
        QVERIFY(snapshot.ids.contains(QString::number(::getpid())));
    }

    void notificationsJoinWordsWithSemicolons()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
        const Companions companions(folder.path());
        companions.notify(QStringLiteral("erreur creation configuration"), ProtectionLevel::Low);
        companions.notify(QStringLiteral("my tool.exe"), ProtectionLevel::Normal);
        companions.notify(QStringLiteral(" two  blanks "), ProtectionLevel::High);
        // Every start has ended, so every start is in the journal.
        QVERIFY(waitUntil([&] { return folder.processes().isEmpty(); }));
        QStringList received;
        for (const auto& start : folder.starts())
            received.append(start.arguments.join(QLatin1Char('|')));
        received.sort();
        QCOMPARE(received, (QStringList {QStringLiteral(";two;;blanks;"), QStringLiteral("my;tool.exe")}));
    }
};

QTEST_GUILESS_MAIN(TestCompanions)
#include "tst_companions.moc"
