// The network tool's service in a network namespace of the test's own, joined
// by a veth pair to another that plays the rest of the network: 10.77.0.0/24
// is the local network, 198.51.100.2 stands for the Internet. Nothing leaves
// the two namespaces.
#include "data/programfiles.h"
#include "data/tables.h"
#include "platform/files.h"
#include "privatemounts.h"
#include "processoutput.h"
#include "wall/policy.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <optional>
#include <sys/stat.h>

using corvatek::FirewallMode;
using corvatek::test::PrivateMounts;
namespace wall = corvatek::wall;

namespace {

const QString kWall = QStringLiteral(CORVATEK_WALL);
const QString kClient = QStringLiteral(CORVATEK_VKWALL);
const QString kProbe = QStringLiteral(CORVATEK_NETPROBE);
constexpr uid_t kUser = 64990;
const QString kLocal = QStringLiteral("10.77.0.2");
const QString kInternet = QStringLiteral("198.51.100.2");

bool run(const QStringList& command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QStringList inside(const QString& space, const QStringList& command)
{
    return QStringList {QStringLiteral("nsenter"), QStringLiteral("--net=/run/netns/") + space, QStringLiteral("--")} +
        command;
}

// What netprobe says, run in the namespace as the user.
QString probe(const QString& space, const QStringList& arguments, uid_t uid = 0)
{
    QStringList command = inside(space, {kProbe});
    if (uid != 0)
        command = inside(space,
            {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(uid), QStringLiteral("--regid=%1").arg(uid),
                QStringLiteral("--clear-groups"), kProbe});
    QProcess process;
    process.start(command.first(), command.mid(1) + arguments);
    process.waitForFinished(10000);
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

wall::Policy policy(const char* options, FirewallMode firewall = FirewallMode::On)
{
    wall::Policy policy;
    policy.firewall = firewall;
    for (std::size_t i = 0; i < policy.options.size(); ++i)
        policy.options[i] = options[i] == '1';
    return policy;
}

// A client of the service, as root: its policy lasts while it is connected.
class Client {
public:
    Client()
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, wall::kDefaultSocket.data(), sizeof address.sun_path - 1);
        fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Client() { close(); }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // The service's answer: "applied" (with what it adds), or why not.
    QString hand(const wall::Policy& policy)
    {
        const std::string text = wall::policyText(policy);
        if (fd_ < 0 || ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()))
            return QStringLiteral("not sent");
        for (;;) {
            const std::optional<std::string> said = receive(5000);
            if (!said)
                return QStringLiteral("no answer");
            if (wall::parseEvent(*said))
                continue;
            const auto answer = wall::parseAnswer(*said);
            return !answer        ? QStringLiteral("no answer")
                : answer->applied ? QStringLiteral("applied %1").arg(QString::fromStdString(answer->detail)).trimmed()
                                  : QString::fromStdString(answer->detail);
        }
    }
    // The connections told of within `wait` ms, by path.
    std::map<std::string, wall::ConnectionEvent> events(int wait = 500)
    {
        std::map<std::string, wall::ConnectionEvent> told;
        while (const std::optional<std::string> said = receive(wait))
            if (const auto event = wall::parseEvent(*said))
                told[event->path] = *event;
        return told;
    }
    std::optional<std::string> receive(int wait)
    {
        pollfd waiting {fd_, POLLIN, 0};
        std::string buffer(wall::kMaxMessage, '\0');
        const ssize_t n = ::poll(&waiting, 1, wait) == 1 ? ::recv(fd_, buffer.data(), buffer.size(), 0) : -1;
        return n > 0 ? std::optional(buffer.substr(0, std::size_t(n))) : std::nullopt;
    }

private:
    int fd_ = -1;
};

} // namespace

class TestWall : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateMounts> mounts_;
    std::unique_ptr<QProcess> service_;
    std::vector<std::unique_ptr<QProcess>> listeners_;

    void startService()
    {
        service_ = std::make_unique<QProcess>();
        service_->setProcessChannelMode(QProcess::MergedChannels);
        // With the unit's rights only.
        const QStringList command = inside(QStringLiteral("wallA"),
            {QStringLiteral("setpriv"), QStringLiteral("--bounding-set=-all,+net_admin,+bpf,+perfmon"),
                QStringLiteral("--"), kWall});
        service_->start(command.first(), command.mid(1));
        corvatek::test::ProcessOutput said(*service_);
        QVERIFY2(said.waitFor(QStringLiteral("listening on"), 10000), qPrintable(said.text()));
    }

    void listen(const QString& space, const QStringList& ports)
    {
        auto listener = std::make_unique<QProcess>();
        const QStringList command = inside(space, QStringList {kProbe, QStringLiteral("listen")} + ports);
        listener->start(command.first(), command.mid(1));
        QVERIFY(listener->waitForReadyRead(5000));
        listeners_.push_back(std::move(listener));
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("network namespaces and nftables need root");
        mounts_ = std::make_unique<PrivateMounts>();
        if (!mounts_->available())
            QSKIP(qPrintable(mounts_->problem()));
        // The namespaces' names and the service's socket, in this test's /run only.
        QVERIFY(mounts_->mountTmpfs(QStringLiteral("/run"), 16));
        QVERIFY(mounts_->mountCgroup2());
        for (const QStringList& command : QList<QStringList> {
                 {"ip", "netns", "add", "wallA"},
                 {"ip", "netns", "add", "wallB"},
                 {"ip", "-n", "wallA", "link", "add", "va", "type", "veth", "peer", "name", "vb", "netns", "wallB"},
                 {"ip", "-n", "wallA", "link", "set", "lo", "up"},
                 {"ip", "-n", "wallB", "link", "set", "lo", "up"},
                 {"ip", "-n", "wallA", "address", "add", "10.77.0.1/24", "dev", "va"},
                 {"ip", "-n", "wallB", "address", "add", "10.77.0.2/24", "dev", "vb"},
                 {"ip", "-n", "wallB", "address", "add", "198.51.100.2/24", "dev", "vb"},
                 {"ip", "-n", "wallA", "address", "add", "fd77::1/64", "dev", "va", "nodad"},
                 {"ip", "-n", "wallB", "address", "add", "fd77::2/64", "dev", "vb", "nodad"},
                 {"ip", "-n", "wallA", "link", "set", "va", "up"},
                 {"ip", "-n", "wallB", "link", "set", "vb", "up"},
                 {"ip", "-n", "wallA", "route", "add", "198.51.100.0/24", "dev", "va"},
             })
            QVERIFY2(run(command), qPrintable(command.join(u' ')));
        listen(QStringLiteral("wallB"), QStringLiteral("80 443 21 23 587 53 995").split(u' '));
        listen(QStringLiteral("wallA"), {QStringLiteral("7001"), QStringLiteral("7002")});
        QTRY_COMPARE_WITH_TIMEOUT(
            probe(QStringLiteral("wallA"), {QStringLiteral("connect"), kLocal, QStringLiteral("80")}),
            QStringLiteral("connected"), 5000);
        startService();
    }

    void cleanupTestCase()
    {
        service_.reset();
        listeners_.clear();
        run({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("del"), QStringLiteral("wallA")});
        run({QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("del"), QStringLiteral("wallB")});
        mounts_.reset();
    }

    // Closed ports refuse from the network, then in stealth say nothing,
    // and the machine no longer answers echo requests.
    void closesPortsAndHides()
    {
        Client client;
        wall::Policy open = policy("1000000010000");
        open.closedPorts = {7001};
        QCOMPARE(client.hand(open), QStringLiteral("applied"));
        const QString machine = QStringLiteral("10.77.0.1");
        QCOMPARE(probe(QStringLiteral("wallB"), {QStringLiteral("connect"), machine, QStringLiteral("7001")}),
            QStringLiteral("refused"));
        QCOMPARE(probe(QStringLiteral("wallB"), {QStringLiteral("connect"), machine, QStringLiteral("7002")}),
            QStringLiteral("connected"));
        QCOMPARE(probe(QStringLiteral("wallB"), {QStringLiteral("ping"), machine}), QStringLiteral("answered"));

        wall::Policy hidden = policy("1000000011000");
        hidden.closedPorts = {7001};
        QCOMPARE(client.hand(hidden), QStringLiteral("applied"));
        QCOMPARE(probe(QStringLiteral("wallB"), {QStringLiteral("connect"), machine, QStringLiteral("7001")}),
            QStringLiteral("timeout"));
        QCOMPARE(probe(QStringLiteral("wallB"), {QStringLiteral("ping"), machine}), QStringLiteral("silent"));
    }

    // Each outgoing option, for the user whose policy it is only.
    void refusesWhatTheUserChose_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("uid");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FTP blocked") << "1100000010000" << kLocal << 21 << 0 << "refused";
        QTest::newRow("Telnet blocked") << "1010000010000" << kLocal << 23 << 0 << "refused";
        QTest::newRow("SMTP blocked") << "1001000010000" << kLocal << 587 << 0 << "refused";
        QTest::newRow("DNS blocked") << "1000100010000" << kLocal << 53 << 0 << "refused";
        QTest::newRow("POP3 blocked") << "1000000110000" << kLocal << 995 << 0 << "refused";
        QTest::newRow("POP3 only, then") << "1000000110000" << kLocal << 587 << 0 << "connected";
        QTest::newRow("HTTPS blocked") << "1000001010000" << kLocal << 443 << 0 << "refused";
        QTest::newRow("HTTP not, then") << "1000001010000" << kLocal << 80 << 0 << "connected";
        QTest::newRow("HTTP blocked") << "1000010010000" << kLocal << 80 << 0 << "refused";
        QTest::newRow("another user's connection") << "1000001010000" << kLocal << 443 << int(kUser) << "connected";
        QTest::newRow("Internet off, the Internet") << "1000000000000" << kInternet << 80 << 0 << "refused";
        QTest::newRow("Internet off, the local network") << "1000000000000" << kLocal << 80 << 0 << "connected";
        QTest::newRow("Internet on") << "1000000010000" << kInternet << 80 << 0 << "connected";
        QTest::newRow("a site, by site control") << "1000000010010" << kInternet << 80 << 0 << "refused";
        QTest::newRow("a site, by the sites page") << "1000000010001" << kInternet << 80 << 0 << "refused";
        QTest::newRow("not a site") << "1000000010010" << kLocal << 80 << 0 << "connected";
        QTest::newRow("sites, control off") << "1000000010000" << kInternet << 80 << 0 << "connected";
    }
    void refusesWhatTheUserChose()
    {
        QFETCH(QString, options);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(int, uid);
        QFETCH(QString, expected);
        Client client;
        wall::Policy chosen = policy(options.toLatin1().constData());
        chosen.sites = {kInternet.toStdString()};
        QCOMPARE(client.hand(chosen), QStringLiteral("applied"));
        QCOMPARE(
            probe(QStringLiteral("wallA"), {QStringLiteral("connect"), address, QString::number(port)}, uid_t(uid)),
            expected);
    }

    // The real client hands over the user's files as they change; killed,
    // its rules go unless the firewall is always on. Without the service it
    // ends at once, saying so once.
    void theClientFollowsTheUsersFiles()
    {
        QTemporaryDir folder;
        const QString program = folder.path() + u'/';
        const auto write = [&](const char* name, const QByteArray& text) {
            QFile file(program + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        };
        write("firewall.txt", "1\r\n");
        write("portsfermes.txt", "");
        const QStringList https = QStringLiteral("1 0 0 0 0 0 1 0 1 0 0 0 0").split(u' ');
        const QStringList toHttps {QStringLiteral("connect"), kLocal, QStringLiteral("443")};
        const QStringList toClosed {QStringLiteral("connect"), QStringLiteral("10.77.0.1"), QStringLiteral("7001")};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program);
        const auto start = [&](QProcess& client) {
            client.setProcessEnvironment(environment);
            client.start(kClient, https);
            QVERIFY(client.waitForStarted());
        };
        {
            QProcess client;
            start(client);
            QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallA"), toHttps), QStringLiteral("refused"), 5000);
            QCOMPARE(probe(QStringLiteral("wallB"), toClosed), QStringLiteral("connected"));
            write("portsfermes.txt", "7001\r\n70000\r\n");
            QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallB"), toClosed), QStringLiteral("refused"), 3000);

            // A quarantined program is ended, and the user told, by the client.
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), program + QStringLiteral("quarantined-tool")));
            write("vknotify.exe", "#!/bin/sh\necho \"$1\" >>\"$(dirname \"$0\")/told.txt\"\n");
            QVERIFY(QFile::setPermissions(
                program + QStringLiteral("vknotify.exe"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            corvatek::data::Table quarantine = corvatek::data::defaultTable(corvatek::data::TableId::Quarantine);
            quarantine.appendRow({QStringLiteral("quarantined-tool")});
            QVERIFY(corvatek::data::ProgramFiles(folder.path())
                        .saveTable(corvatek::data::TableId::Quarantine, quarantine)
                        .ok());
            QProcess tool;
            tool.start(program + QStringLiteral("quarantined-tool"), {QStringLiteral("60")});
            QVERIFY(tool.waitForStarted());
            QVERIFY2(tool.waitForFinished(5000), "the quarantined program still runs");
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(program + QStringLiteral("told.txt")), 3000);
            client.kill();
            client.waitForFinished();
        }
        QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallA"), toHttps), QStringLiteral("connected"), 3000);

        write("firewall.txt", "3\r\n");
        {
            QProcess client;
            start(client);
            QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallA"), toHttps), QStringLiteral("refused"), 5000);
            client.kill();
            client.waitForFinished();
        }
        QTest::qWait(300);
        QCOMPARE(probe(QStringLiteral("wallA"), toHttps), QStringLiteral("refused"));
        write("firewall.txt", "2\r\n");
        {
            QProcess client;
            start(client);
            QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallA"), toHttps), QStringLiteral("connected"), 5000);
            client.kill();
            client.waitForFinished();
        }

        environment.insert(QStringLiteral("CORVATEK_WALL_SOCKET"), folder.path() + QStringLiteral("/none.socket"));
        for (int run = 0; run < 2; ++run) {
            QProcess client;
            start(client);
            QVERIFY(client.waitForFinished(5000));
            QCOMPARE(client.exitCode(), 1);
        }
        QFile log(program + QStringLiteral("vkwall.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("none.socket"), 1);
    }

    // On: the rules last while the client is connected. Always: they stay
    // when it goes, until the user turns the firewall off, and when the
    // service dies the protocol blocks stay too, while everything else
    // passes; the service back says since when nothing was decided.
    void rulesLastAsTheFirewallSays()
    {
        const QStringList https {QStringLiteral("connect"), kLocal, QStringLiteral("443")};
        {
            Client client;
            QCOMPARE(client.hand(policy("1000001010000")), QStringLiteral("applied"));
            QCOMPARE(probe(QStringLiteral("wallA"), https), QStringLiteral("refused"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(probe(QStringLiteral("wallA"), https), QStringLiteral("connected"), 5000);
        {
            Client client;
            QCOMPARE(client.hand(policy("1000001010000", FirewallMode::Always)), QStringLiteral("applied"));
        }
        QTest::qWait(300);
        QCOMPARE(probe(QStringLiteral("wallA"), https), QStringLiteral("refused"));
        {
            Client client;
            QCOMPARE(client.hand(policy("0000001010000", FirewallMode::Off)), QStringLiteral("applied"));
            QCOMPARE(probe(QStringLiteral("wallA"), https), QStringLiteral("connected"));
        }
        const QStringList web {QStringLiteral("connect"), kLocal, QStringLiteral("80")};
        for (const FirewallMode mode : {FirewallMode::On, FirewallMode::Always}) {
            Client client;
            wall::Policy kept = policy("1000001010100", mode); // unknown programs refused too
            QCOMPARE(client.hand(kept), QStringLiteral("applied"));
            QCOMPARE(probe(QStringLiteral("wallA"), web), QStringLiteral("forbidden"));
            ::kill(pid_t(service_->processId()), SIGKILL);
            service_->waitForFinished();
            QCOMPARE(probe(QStringLiteral("wallA"), web), QStringLiteral("connected"));
            QCOMPARE(probe(QStringLiteral("wallA"), https),
                QLatin1String(mode == FirewallMode::Always ? "refused" : "connected"));
            startService();
            Client again;
            QVERIFY(
                again.hand(policy("0000000010000", FirewallMode::Off)).startsWith(QStringLiteral("applied resumed ")));
            QCOMPARE(probe(QStringLiteral("wallA"), https), QStringLiteral("connected"));
        }
    }

    // Each connection is decided by the file of the program making it:
    // copies of one program under other names and paths are told apart, a
    // name in quarantine is refused whatever its file, and connections of
    // another network namespace are not this service's business.
    void decidesEachProgramByItsFile()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::setPermissions(folder.path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub")));
        const auto copy = [&](const QString& name) {
            const QString path = folder.path() + u'/' + name;
            QFile::copy(kProbe, path);
            return path;
        };
        const QString allowed = copy(QStringLiteral("netprobe")), refused = copy(QStringLiteral("sub/netprobe")),
                      unknown = copy(QStringLiteral("a-tool")), quarantined = copy(QStringLiteral("Quarantined-Tool")),
                      later = copy(QStringLiteral("later-tool"));
        const auto fileOf = [](const QString& path) {
            struct stat facts { };
            ::stat(QFile::encodeName(path).constData(), &facts);
            return wall::ProgramFile {std::uint64_t(facts.st_dev), std::uint64_t(facts.st_ino)};
        };
        const auto from = [](const QString& program, const QString& space, const char* how, const QString& to) {
            QProcess process;
            const QStringList command = inside(space, {program, QLatin1String(how), to, QStringLiteral("80")});
            process.start(command.first(), command.mid(1));
            process.waitForFinished(10000);
            return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
        };
        const QString wallA = QStringLiteral("wallA");
        Client client;
        wall::Policy chosen = policy("1000000011100");
        chosen.programs = {{fileOf(allowed), wall::Verdict::Allow}, {fileOf(refused), wall::Verdict::Refuse}};
        chosen.quarantined = {"quarantined-tool"};
        QCOMPARE(client.hand(chosen), QStringLiteral("applied"));
        QCOMPARE(from(allowed, wallA, "connect", kLocal), QStringLiteral("connected"));
        QCOMPARE(from(refused, wallA, "connect", kLocal), QStringLiteral("forbidden"));
        QCOMPARE(from(unknown, wallA, "connect", kLocal), QStringLiteral("forbidden"));
        QCOMPARE(from(unknown, wallA, "send", kLocal), QStringLiteral("forbidden"));
        QCOMPARE(from(unknown, wallA, "connect", QStringLiteral("fd77::2")), QStringLiteral("forbidden"));
        QCOMPARE(from(allowed, wallA, "connect", QStringLiteral("fd77::2")), QStringLiteral("connected"));
        QCOMPARE(from(quarantined, wallA, "connect", kLocal), QStringLiteral("forbidden"));
        QCOMPARE(from(unknown, QStringLiteral("wallB"), "connect", kLocal), QStringLiteral("connected"));
        using Kind = wall::ConnectionEvent::Kind;
        std::map<std::string, wall::ConnectionEvent> told = client.events();
        QCOMPARE(told.size(), std::size_t(3)); // one per program, however many connections
        QCOMPARE(told[refused.toStdString()].kind, Kind::Refused);
        QCOMPARE(told[unknown.toStdString()].kind, Kind::UnknownRefused);
        QCOMPARE(told[unknown.toStdString()].processName, std::string("a-tool"));
        QCOMPARE(told[unknown.toStdString()].address, kLocal.toStdString());
        QCOMPARE(told[unknown.toStdString()].program, fileOf(unknown));
        QCOMPARE(told[quarantined.toStdString()].kind, Kind::Quarantined);

        // Asked first: let through, and told of. A rule gone makes its
        // program unknown, and told of, at once.
        chosen.options[10] = false;
        chosen.programs.pop_back();
        QCOMPARE(client.hand(chosen), QStringLiteral("applied"));
        QCOMPARE(from(later, wallA, "connect", kLocal), QStringLiteral("connected"));
        QCOMPARE(from(refused, wallA, "connect", kLocal), QStringLiteral("connected"));
        told = client.events();
        QCOMPARE(told.size(), std::size_t(2));
        QCOMPARE(told[later.toStdString()].kind, Kind::UnknownAllowed);
        QCOMPARE(told[refused.toStdString()].kind, Kind::UnknownAllowed);
    }

    // The real client: an unknown program let through gets an alert and an
    // "allowed" rule the service then decides by; the program changed after
    // its rule is unknown again; refused unknown programs raise one alert;
    // the service killed, the client tells the user and ends.
    void theClientWritesAlertsAndRules()
    {
        QTemporaryDir folder;
        const QString program = folder.path() + u'/';
        const corvatek::data::ProgramFiles files(folder.path());
        QFile(program + QStringLiteral("firewall.txt")).open(QIODevice::WriteOnly);
        QVERIFY(QFile::copy(kProbe, program + QStringLiteral("some-tool")));
        const auto connect = [&] {
            QProcess process;
            const QStringList command = inside(QStringLiteral("wallA"),
                {program + QStringLiteral("some-tool"), QStringLiteral("connect"), kLocal, QStringLiteral("80")});
            process.start(command.first(), command.mid(1));
            process.waitForFinished(10000);
            return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
        };
        const auto rows = [&](corvatek::data::TableId id) {
            const corvatek::data::TableLoad load = files.loadTable(id);
            return load.ok() ? load.table.rowCount() : 0;
        };
        const auto field = [&](corvatek::data::TableId id, qsizetype row, QStringView name) {
            const corvatek::data::TableLoad load = files.loadTable(id);
            return load.table.value(row, load.table.fieldIndex(name));
        };
        using corvatek::data::TableId;
        namespace fields = corvatek::data::fields;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program);
        environment.insert(QStringLiteral("LANG"), QStringLiteral("en_GB.UTF-8"));
        QProcess client;
        client.setProcessEnvironment(environment);
        const auto start = [&](const char* options) {
            QFile::remove(program + QStringLiteral("firewall.txt"));
            QFile mode(program + QStringLiteral("firewall.txt"));
            QVERIFY(mode.open(QIODevice::WriteOnly) && mode.write("1\r\n") == 3);
            mode.close();
            client.start(kClient, QString::fromLatin1(options).split(u' '));
            QVERIFY(client.waitForStarted());
            QTest::qWait(500);
        };
        start("1 0 0 0 0 0 0 0 1 0 0 0 0");
        QCOMPARE(connect(), QStringLiteral("connected"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(TableId::Rules), qsizetype(1), 3000);
        QCOMPARE(field(TableId::Rules, 0, fields::Name), QStringLiteral("some-tool"));
        QCOMPARE(field(TableId::Rules, 0, fields::Action), QStringLiteral("Allowed"));
        QCOMPARE(field(TableId::Rules, 0, fields::Path), program + QStringLiteral("some-tool"));
        QVERIFY(!field(TableId::Rules, 0, fields::StoredSignature).isEmpty());
        QCOMPARE(rows(TableId::Alerts), qsizetype(1));
        QCOMPARE(field(TableId::Alerts, 0, fields::Action), QStringLiteral("Unknown program, allowed: 10.77.0.2:80"));

        // The program changed since its rule (in force by now) is no longer
        // the rule's program.
        QTest::qWait(700);
        {
            QFile tool(program + QStringLiteral("some-tool"));
            QVERIFY(tool.open(QIODevice::Append));
            tool.write(QByteArray(8192, 'x'));
        }
        QTest::qWait(500);
        QCOMPARE(connect(), QStringLiteral("connected"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(TableId::Alerts), qsizetype(2), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(rows(TableId::Rules), qsizetype(2), 3000);
        client.kill();
        client.waitForFinished();

        // Asked to refuse: refused, one alert however often it tries. The
        // alerts table held past the client's wait gets the row all the same.
        QVERIFY(files.saveTable(TableId::Rules, corvatek::data::defaultTable(TableId::Rules)).ok());
        start("1 0 0 0 0 0 0 0 1 0 1 0 0");
        {
            const auto held =
                corvatek::platform::FileLock::tryAcquire(QFile::encodeName(program + "alertes.xml").toStdString());
            QVERIFY(held && held->descriptor() >= 0);
            QCOMPARE(connect(), QStringLiteral("forbidden"));
            QCOMPARE(connect(), QStringLiteral("forbidden"));
            QTest::qWait(5500);
        }
        QTRY_COMPARE_WITH_TIMEOUT(rows(TableId::Alerts), qsizetype(3), 4000);
        QTest::qWait(500);
        QCOMPARE(rows(TableId::Alerts), qsizetype(3));
        QCOMPARE(rows(TableId::Rules), qsizetype(0));
        QCOMPARE(field(TableId::Alerts, 2, fields::Action), QStringLiteral("Unknown program, refused: 10.77.0.2:80"));

        // The service gone, the client says so and ends: nothing filters.
        ::kill(pid_t(service_->processId()), SIGKILL);
        service_->waitForFinished();
        QVERIFY(client.waitForFinished(3000));
        QCOMPARE(client.exitCode(), 1);
        QCOMPARE(field(TableId::Alerts, 3, fields::Name), QStringLiteral("corvatek-wall"));
        QCOMPARE(connect(), QStringLiteral("connected"));
        startService();
    }
};

QTEST_GUILESS_MAIN(TestWall)
#include "tst_wall.moc"
