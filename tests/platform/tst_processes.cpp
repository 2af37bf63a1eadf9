#include "platform/commandline.h"
#include "platform/datafolder.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "testfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace corvatek;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

bool running(const QString& name)
{
    return platform::isRunning(name.toStdString());
}

bool start(const TestFolder& folder, const QString& name, const std::vector<std::string>& arguments = {})
{
    return platform::startDetached(folder.file(name).toStdString(), arguments);
}

// Where a copy of the data folder helper placed in `folder` keeps its files:
// folder, "beside" or "elsewhere", problem.
QStringList dataFolderOf(const TestFolder& folder, const QProcessEnvironment& environment, QStringList wrapper = {})
{
    const QString program = folder.file(QFileInfo(QStringLiteral(CORVATEK_DATA_FOLDER)).fileName());
    if (!QFile::exists(program) && !QFile::copy(QStringLiteral(CORVATEK_DATA_FOLDER), program))
        return {};
    QProcess process;
    process.setProcessEnvironment(environment);
    wrapper.append(program);
    process.start(wrapper.takeFirst(), wrapper);
    if (!process.waitForFinished(30000))
        return {};
    // Windows's text mode ends lines with CR LF.
    QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    lines.resize(3);
    lines[0] = QDir::fromNativeSeparators(lines[0]);
    return lines;
}

#ifdef Q_OS_LINUX
char processState(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const auto close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text[close + 2] : 0;
}

// How this machine makes a network namespace of its own (root may; others
// through a user namespace), or nothing when it cannot.
QStringList privateNetworkCommand()
{
    for (const QStringList& command : {QStringList {"unshare", "--net", "--mount"},
             QStringList {"unshare", "--user", "--map-root-user", "--net", "--mount"}}) {
        QProcess probe;
        probe.start(command.first(), command.mid(1) << "true");
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return command;
    }
    return {};
}
#endif

} // namespace

class TestProcesses : public QObject {
    Q_OBJECT

private slots:
    void splitsParametersLikeWindows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("blanks only") << "  \t " << QStringList();
        QTest::newRow("words") << "vkprobe.exe  0\t1" << QStringList {"vkprobe.exe", "0", "1"};
        QTest::newRow("quotes group") << "a \"b c\" d" << QStringList {"a", "b c", "d"};
        QTest::newRow("quotes inside a word") << "x\"y z\"w" << QStringList {"xy zw"};
        QTest::newRow("empty quoted") << "\"\" a" << QStringList {"", "a"};
        QTest::newRow("escaped quote") << "a\\\"b" << QStringList {"a\"b"};
        QTest::newRow("backslashes before quote") << "\"c:\\dir\\\\\" x" << QStringList {"c:\\dir\\", "x"};
        QTest::newRow("plain backslashes") << "c:\\a\\b" << QStringList {"c:\\a\\b"};
        QTest::newRow("doubled quote in quotes") << "\"a\"\"b\"" << QStringList {"a\"b"};
        QTest::newRow("unclosed quote") << "\"a b" << QStringList {"a b"};
        QTest::newRow("semicolons stay") << "my;tool.exe" << QStringList {"my;tool.exe"};
    }
    void splitsParametersLikeWindows()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, arguments);
        QStringList got;
        for (const auto& argument : platform::splitCommandLine(text.toStdString()))
            got.append(QString::fromStdString(argument));
        QCOMPARE(got, arguments);
    }

    // Blanks, quotes, trailing backslashes and non-ASCII text survive the
    // command line on every system.
    void startedProgramsGetTheirArgumentsUnchanged()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkguard.exe"), {QStringLiteral("exit")});
        const QStringList arguments {QStringLiteral("a b"), QString(), QStringLiteral("\u00e9 \u00fc"),
            QStringLiteral("q\"uote"), QStringLiteral("back\\"), QStringLiteral("tail\\\\"), QStringLiteral("x;y")};
        std::vector<std::string> native;
        for (const QString& argument : arguments)
            native.push_back(argument.toStdString());
        QVERIFY(start(folder, QStringLiteral("vkguard.exe"), native));
        QVERIFY(waitUntil([&] { return folder.starts().size() == 1; }));
        QCOMPARE(folder.starts().first().arguments, arguments);
    }

    void startOfMissingProgramFails()
    {
        TestFolder folder;
        QVERIFY(!start(folder, QStringLiteral("vknothere.exe")));
        folder.write(QStringLiteral("notexecutable.exe"), "data");
        QVERIFY(!start(folder, QStringLiteral("notexecutable.exe")));
    }

    void runningCheckIgnoresCaseAndStopEndsEveryInstance()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkguard.exe"));
        QVERIFY(!running(QStringLiteral("VKGUARD.EXE")));
        QVERIFY(!platform::terminateByName("vkguard.exe"));
        QVERIFY(start(folder, QStringLiteral("vkguard.exe")));
        QVERIFY(start(folder, QStringLiteral("vkguard.exe")));
        // Journalled: the companion runs its own code, so its exec is complete
        // and the system shows its name.
        QVERIFY(waitUntil([&] { return folder.starts().size() == 2; }));
        QVERIFY(running(QStringLiteral("VKGUARD.EXE")));
        QVERIFY(running(QStringLiteral("VkGuard.Exe")));
        QVERIFY(!running(QStringLiteral("vkguard")));
        QVERIFY(!running(QStringLiteral("kguard.exe")));

        QVERIFY(platform::terminateByName("VKGuard.exe"));
        // A killed process still ending is listed until it is reaped; its
        // program file may be gone from /proc before that.
        QVERIFY(waitUntil([&] { return !running(QStringLiteral("vkguard.exe")); }));
        QVERIFY(folder.processes().isEmpty());
    }

    void processListHasNamesAndIds()
    {
        const auto list = platform::processList();
        bool self = false;
        for (const auto& process : list) {
            QVERIFY(process.id > 0);
            QVERIFY(!process.name.empty());
            self = self || process.id == QCoreApplication::applicationPid();
        }
        QVERIFY(self);
    }

    void resolvesFromProgramFolderThenSearchPath()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkprobe.exe"));
        const std::string dir = folder.path().toStdString();
        QCOMPARE(platform::resolveExecutable("vkprobe.exe", dir), dir + "vkprobe.exe");
#ifdef Q_OS_WIN
        const std::string onSearchPath = "cmd.exe";
#else
        const std::string onSearchPath = "sh";
#endif
        QVERIFY(QFileInfo(QString::fromStdString(platform::resolveExecutable(onSearchPath, dir))).isAbsolute());
        QCOMPARE(platform::resolveExecutable("vknothere.exe", dir), std::string("vknothere.exe"));
    }

    void hostNameAndAddress()
    {
        const auto host = platform::hostName();
        QVERIFY(host && !host->empty());
        const auto address = platform::machineAddress();
        static const QRegularExpression fourBytes(
            QStringLiteral("^((25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)\\.){3}(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)$"));
        QVERIFY(address && fourBytes.match(QString::fromStdString(*address)).hasMatch());
    }

    void programFolderIsTheExecutablesFolder()
    {
        const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + QLatin1Char('/');
        QCOMPARE(QDir::fromNativeSeparators(QString::fromStdString(platform::programFolder())), expected);
    }

    // A writable copy keeps its files beside it; a folder handed over wins,
    // and is made when missing.
    void dataFolderFollowsTheCopy()
    {
        TestFolder folder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QString::fromLatin1(platform::kDataFolderVariable));
        QCOMPARE(dataFolderOf(folder, environment), QStringList({folder.path(), QStringLiteral("beside"), {}}));

        const QString handed = folder.file(QStringLiteral("handed/over/"));
        environment.insert(QString::fromLatin1(platform::kDataFolderVariable), QDir::toNativeSeparators(handed));
        QCOMPARE(dataFolderOf(folder, environment), QStringList({handed, QStringLiteral("elsewhere"), {}}));
        QVERIFY(QFileInfo(handed).isDir());
        // A relative folder names nothing for sure: the rule holds.
        environment.insert(QString::fromLatin1(platform::kDataFolderVariable), QStringLiteral("relative"));
        QCOMPARE(dataFolderOf(folder, environment).value(1), QStringLiteral("beside"));
    }

#ifdef Q_OS_LINUX
    // What only Linux has: /proc's short names, scripts, zombies, users and
    // network namespaces.

    // A copy the user cannot write to keeps its files in the user's data
    // folder, made closed to others; root is stripped of its power over
    // permissions for the look, as an installed copy's user is.
    void unwritableCopiesKeepTheirFilesInTheUsersFolder()
    {
        TestFolder folder;
        const QString data = folder.file(QStringLiteral("data home/"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QString::fromLatin1(platform::kDataFolderVariable));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
        TestFolder program;
        QVERIFY(!dataFolderOf(program, environment).isEmpty());
        QVERIFY(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner));
        const QStringList asUser = ::geteuid() == 0
            ? QStringList {QStringLiteral("setpriv"), QStringLiteral("--bounding-set"),
                  QStringLiteral("-dac_override,-dac_read_search")}
            : QStringList {};
        const QStringList answer = dataFolderOf(program, environment, asUser);
        QVERIFY(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(answer, QStringList({data + QStringLiteral("corvatek/"), QStringLiteral("elsewhere"), {}}));
        for (const QString& made : {data, data + QStringLiteral("corvatek")}) {
            struct stat info { };
            QCOMPARE(::stat(QFile::encodeName(made).constData(), &info), 0);
            QCOMPARE(info.st_mode & 07777, 0700u);
        }
    }

    // The started program gets its arguments unchanged, nothing of ours but
    // its standard streams on the null device, a session of its own, and is
    // never left as our zombie once it ends.
    void startsDetachedAndClean()
    {
        TestFolder folder;
        folder.installCompanion(QStringLiteral("vkguard.exe"), {QStringLiteral("exit")});
        QVERIFY(start(folder, QStringLiteral("vkguard.exe"), {"a b", "", "\xc3\xa9"}));
        QVERIFY(waitUntil([&] { return folder.starts().size() == 1; }));
        const auto entry = folder.starts().first();
        QCOMPARE(entry.arguments, (QStringList {QStringLiteral("a b"), QString(), QStringLiteral("\u00e9")}));
        QCOMPARE(entry.standardInput, QStringLiteral("/dev/null"));
        QCOMPARE(entry.openDescriptors, 3);
        QVERIFY(entry.session > 0 && entry.session != ::getsid(0));
        QVERIFY(entry.pid != ::getpid());
        // It ended: no process of that name may remain, zombie or not.
        QVERIFY(waitUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(entry.pid)); }));
        QVERIFY(!running(QStringLiteral("vkguard.exe")));
        // Reaped as soon as it ended: no child of ours is left.
        QVERIFY(waitUntil([] { return ::waitpid(-1, nullptr, WNOHANG) == -1; }));
    }

    // The kernel keeps 15 characters of a name; longer names must still
    // match in full, and only in full.
    void longNamesMatchInFull()
    {
        TestFolder folder;
        const QString longName = QStringLiteral("vkverylongname20.exe");
        QCOMPARE(longName.size(), 20);
        folder.installCompanion(longName);
        QVERIFY(start(folder, longName));
        QVERIFY(waitUntil([&] { return folder.starts().size() == 1; }));
        QVERIFY(running(longName));
        QVERIFY(running(longName.toUpper()));
        QVERIFY(!running(QStringLiteral("vkverylongname21.exe")));
        QVERIFY(!running(longName.left(15)));
        bool listed = false;
        for (const auto& process : platform::processList())
            listed = listed || process.name == longName.toStdString();
        QVERIFY(listed);
        QVERIFY(!platform::terminateByName("vkverylongname21.exe"));
        QVERIFY(platform::terminateByName(longName.toStdString()));
        QVERIFY(waitUntil([&] { return !running(longName); }));
    }

    // A companion may be a script run through its #! line: it is known by
    // the script's name, as ps shows it, long names included.
    void scriptCompanionsAreKnownByTheirName()
    {
        TestFolder folder;
        const QStringList names {QStringLiteral("vkhost.exe"), QStringLiteral("vkscriptcompanion.sh")};
        for (const QString& name : names) {
            folder.write(name, "#!/bin/sh\nwhile :; do sleep 1; done\n");
            QFile::setPermissions(folder.file(name), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QVERIFY(start(folder, name));
        }
        for (const QString& name : names) {
            QVERIFY(waitUntil([&] { return running(name); }));
            QVERIFY(platform::terminateByName(name.toStdString()));
            QVERIFY(waitUntil([&] { return !running(name); }));
        }
    }

    void zombiesAreNotRunning()
    {
        TestFolder folder;
        const QString name = QStringLiteral("vkzombie.exe");
        folder.installCompanion(name, {QStringLiteral("exit")});
        const QByteArray path = folder.file(name).toLocal8Bit();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(path.constData(), path.constData(), nullptr);
            ::_exit(127);
        }
        QVERIFY(child > 0);
        QVERIFY(waitUntil([&] { return processState(child) == 'Z'; }));
        QVERIFY(!running(name));
        QVERIFY(!platform::terminateByName(name.toStdString()));
        ::waitpid(child, nullptr, 0);
    }

    // Whatever a list names, the control centre never terminates itself, nor
    // another user's program: run by root, it must not end other users'.
    void stopsOnlyThisUsersOtherProcesses()
    {
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(running(self));
        QVERIFY(!platform::terminateByName(self.toStdString()));
        QVERIFY(running(self));

        if (::geteuid() != 0)
            QSKIP("only root can start another user's program here");
        QTemporaryDir shared;
        const QString program = shared.filePath(QStringLiteral("vkother.exe"));
        QVERIFY(QFile::copy(test::fakeCompanionPath(), program));
        QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        QProcess other;
        other.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
        });
        other.start(program, {});
        QVERIFY(other.waitForStarted());
        QVERIFY(waitUntil([] { return running(QStringLiteral("vkother.exe")); }));
        QVERIFY(!platform::terminateByName("vkother.exe"));
        QVERIFY(!other.waitForFinished(200));
        other.kill();
        other.waitForFinished();
    }

    void machineAddressIsThatOfTheNetwork_data()
    {
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("address");
        QTest::newRow("loopback only") << QString() << "127.0.0.1";
        QTest::newRow("first interface up") << "pair ct0 10.199.0.2; pair ct1 10.200.0.2; ip link set ct1 up"
                                            << "10.200.0.2";
        QTest::newRow("default route") << "pair ct0 10.200.0.2; pair ct1 10.201.0.2; ip link set ct0 up; "
                                          "ip link set ct1 up; ip route add default via 10.200.0.1 dev ct0 metric 200; "
                                          "ip route add default via 10.201.0.1 dev ct1 metric 100"
                                       << "10.201.0.2";
    }

    // Each case in a network namespace of its own, so nothing reaches the
    // machine's network, with /etc/hosts naming the machine 127.0.1.1 as
    // Debian's does.
    void machineAddressIsThatOfTheNetwork()
    {
        QFETCH(QString, network);
        QFETCH(QString, address);
        const QStringList command = privateNetworkCommand();
        if (command.isEmpty())
            QSKIP("no private network namespace can be made here");
        QTemporaryDir dir;
        QFile hosts(dir.filePath(QStringLiteral("hosts")));
        QVERIFY(hosts.open(QIODevice::WriteOnly));
        hosts.write(
            "127.0.0.1 localhost\n127.0.1.1 " + QByteArray::fromStdString(platform::hostName().value_or("")) + "\n");
        hosts.close();
        const QString script = QStringLiteral(
            "set -e; PATH=$PATH:/usr/sbin:/sbin; command -v ip >/dev/null || exit 77\n"
            "mount --bind \"$1\" /etc/hosts\n"
            "pair() { ip link add name $1 type veth peer name $1p; ip link set $1p up; ip addr add $2/24 dev $1; }\n"
            "ip link set lo up\n%1\nexec \"$2\"\n")
                                   .arg(network);
        QProcess lookup;
        lookup.start(command.first(),
            command.mid(1) + QStringList {"sh", "-c", script, "sh", hosts.fileName(), CORVATEK_MACHINE_ADDRESS});
        QVERIFY(lookup.waitForFinished(30000) && lookup.exitStatus() == QProcess::NormalExit);
        if (lookup.exitCode() == 77)
            QSKIP("ip (iproute2) is missing");
        QVERIFY2(lookup.exitCode() == 0, lookup.readAllStandardError().constData());
        QCOMPARE(QString::fromLocal8Bit(lookup.readAllStandardOutput()).trimmed(), address);
    }
#endif
};

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
