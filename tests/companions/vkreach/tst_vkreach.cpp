#include "localisation/timeformat.h"
#include "testfolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <list>
#include <tuple>

using namespace corvatek;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;

namespace {

constexpr uid_t kOtherUser = 65534;
// Two rounds and a little.
constexpr int kRoundsWait = 12000;

void becomeOtherUser()
{
    if (::setgroups(0, nullptr) != 0 || ::syscall(SYS_setresgid, kOtherUser, kOtherUser, kOtherUser) != 0 ||
        ::syscall(SYS_setresuid, kOtherUser, kOtherUser, kOtherUser) != 0)
        ::_exit(3);
}

// The test's listeners and the monitor, each a process of the test's own,
// with the listener program copied in under the names it should be listed by.
class Scene {
public:
    Scene()
    {
        QFile::setPermissions(programs_.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        QFile::copy(QStringLiteral(CORVATEK_VKREACH), folder.file(QStringLiteral("vkreach.exe")));
    }

    ~Scene()
    {
        for (QProcess& process : processes_) {
            process.kill();
            process.waitForFinished();
        }
    }

    // Starts the listener as `name`; the "<kind>/<port>" it listens on, or
    // nothing when it did not start.
    QStringList listen(const QString& name, bool asOtherUser = false)
    {
        const QString program = programs_.filePath(name);
        if (!QFile::exists(program)) {
            QFile::copy(QStringLiteral(CORVATEK_LISTENER), program);
            QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
        }
        QProcess& listener = processes_.emplace_back();
        if (asOtherUser)
            listener.setChildProcessModifier(becomeOtherUser);
        listener.start(program, {});
        QStringList ports;
        while (listener.waitForReadyRead(5000) || listener.canReadLine()) {
            while (listener.canReadLine()) {
                const QString line = QString::fromUtf8(listener.readLine()).trimmed();
                if (line == QLatin1String("ready"))
                    return ports;
                ports.append(line);
            }
        }
        return {};
    }

    void stopLast()
    {
        processes_.back().kill();
        processes_.back().waitForFinished();
    }

    void startMonitor(bool asOtherUser = false)
    {
        QProcess& monitor = processes_.emplace_back();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), folder.path());
        monitor.setProcessEnvironment(environment);
        if (asOtherUser)
            monitor.setChildProcessModifier(becomeOtherUser);
        monitor.start(folder.file(QStringLiteral("vkreach.exe")), {});
        monitor.waitForStarted();
    }

    // portappli.txt's lines, the moment last.
    QStringList lines() const
    {
        QStringList lines =
            QString::fromUtf8(folder.read(QStringLiteral("portappli.txt"))).split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }

    bool lists(const QStringList& wanted) const
    {
        return waitUntil(
            [&] {
                const QStringList now = lines();
                return std::all_of(
                    wanted.begin(), wanted.end(), [&](const QString& line) { return now.contains(line); });
            },
            kRoundsWait);
    }

    QString log() const { return QString::fromUtf8(folder.read(QStringLiteral("vkreach.log"))); }

    TestFolder folder;

private:
    QTemporaryDir programs_;
    std::list<QProcess> processes_;
};

QStringList linesOf(const QString& program, const QStringList& ports)
{
    QStringList lines;
    for (const QString& port : ports)
        lines.append(program + u' ' + port);
    return lines;
}

// Sorted by program, then tcp, tcp6, udp, udp6, then port, each line once.
bool isSortedOnce(const QStringList& lines)
{
    const QStringList kinds {
        QStringLiteral("tcp"), QStringLiteral("tcp6"), QStringLiteral("udp"), QStringLiteral("udp6")};
    std::tuple<QByteArray, int, int> previous;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype blank = lines[i].lastIndexOf(u' ');
        const QStringList port = lines[i].mid(blank + 1).split(u'/');
        const std::tuple<QByteArray, int, int> key {
            lines[i].left(blank).toUtf8(), kinds.indexOf(port.value(0)), port.value(1).toInt()};
        if (blank <= 0 || std::get<1>(key) < 0 || std::get<2>(key) <= 0 || (i > 0 && !(previous < key)))
            return false;
        previous = key;
    }
    return true;
}

} // namespace

class TestVkReach : public QObject {
    Q_OBJECT

private slots:
    void listsListenersAndTellsOfNewOnes()
    {
        Scene scene;
        scene.folder.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
        scene.folder.speak("GB");
        scene.folder.write(QStringLiteral("track.txt"), "2\r\n");
        const QStringList early = scene.listen(QStringLiteral("listener-test"));
        QVERIFY(!early.isEmpty());

        const localisation::DateTimeReader reader;
        const auto before = reader.key(localisation::shortDateLongTime(QDateTime::currentDateTime()));
        scene.startMonitor();
        QVERIFY(scene.lists(linesOf(QStringLiteral("listener-test"), early)));
        const auto after = reader.key(localisation::shortDateLongTime(QDateTime::currentDateTime()));
        QStringList lines = scene.lines();
        const auto moment = reader.key(lines.takeLast());
        QVERIFY(moment && *before <= *moment && *moment <= *after);
        QVERIFY2(isSortedOnce(lines), qPrintable(lines.join(u'\n')));

        // A name longer than the kernel keeps is completed as the process
        // list completes it.
        const QString lateName = QStringLiteral("corvatek-late-listener");
        const QStringList late = scene.listen(lateName);
        QVERIFY(scene.lists(linesOf(lateName, late)));
        // One message a round, blanks as ';': "<program>;listens;on;a;new;port:;
        // <port>" for one, "New;listening;ports:;<program>;<port>,;…" for more.
        const auto told = [&] {
            QString all;
            for (const QStringList& arguments : scene.folder.argumentsOf(QStringLiteral("vknotify.exe")))
                all += arguments.join(u' ') + u'\n';
            return all;
        };
        const auto toldOf = [&](const QString& port) {
            const QString all = told();
            for (const QString& lead : {lateName + u';', lateName + QStringLiteral(";listens;on;a;new;port:;")}) {
                if (all.contains(lead + port + u',') || all.contains(lead + port + u'\n'))
                    return true;
            }
            return false;
        };
        QVERIFY2(waitUntil([&] { return std::all_of(late.begin(), late.end(), toldOf); }), qPrintable(told()));
        QVERIFY2(!told().contains(QStringLiteral("listener-test")), qPrintable(told()));

        scene.stopLast();
        QVERIFY(waitUntil([&] { return !scene.lines().join(u'\n').contains(lateName); }, kRoundsWait));
        QVERIFY(scene.lines().join(u'\n').contains(QStringLiteral("listener-test")));
        QVERIFY2(!scene.folder.exists(QStringLiteral("vkreach.log")), qPrintable(scene.log()));
    }

    void anotherUsersSocketHasNoProgramAndAFailedWriteIsLoggedOnce()
    {
        if (::geteuid() != 0)
            QSKIP("only root can start another user's program here");
        Scene scene;
        const QString folder = scene.folder.path();
        QVERIFY(::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser) == 0);
        QVERIFY(::chown(QFile::encodeName(folder + QStringLiteral("vkreach.exe")).constData(), kOtherUser,
                    kOtherUser) == 0);
        scene.folder.speak("GB");
        QVERIFY(QDir(folder).mkdir(QStringLiteral("portappli.txt")));

        const QStringList roots = scene.listen(QStringLiteral("listener-test"));
        const QStringList others = scene.listen(QStringLiteral("other-listener"), true);
        QVERIFY(!roots.isEmpty() && !others.isEmpty());
        scene.startMonitor(true);
        QVERIFY(waitUntil(
            [&] { return scene.log().contains(QStringLiteral("portappli.txt could not be written")); }, kRoundsWait));
        QTest::qWait(6000); // a round more, that fails as well
        QCOMPARE(scene.log().count(QStringLiteral("could not be written")), 1);

        QVERIFY(QDir(folder).rmdir(QStringLiteral("portappli.txt")));
        QVERIFY(scene.lists(linesOf(QStringLiteral("-"), roots) + linesOf(QStringLiteral("other-listener"), others)));
        QVERIFY(!scene.lines().join(u'\n').contains(QStringLiteral("listener-test")));
    }
};

QTEST_MAIN(TestVkReach)
#include "tst_vkreach.moc"
