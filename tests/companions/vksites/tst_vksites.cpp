#include "data/filenames.h"
#include "data/programfiles.h"
#include "privatemounts.h"
#include "testfolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

using namespace corvatek;
using corvatek::test::PrivateMounts;
using corvatek::test::TestFolder;

namespace {

const QByteArray kHosts = "127.0.0.1 localhost\n"
                          "192.0.2.10 printer.corvatek.test printer\n"
                          "192.0.2.20 xn--bcher-kva.corvatek.test\n"
                          "2001:db8::5 six.corvatek.test\n";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path); // in place: a bind mount shows this very file
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A network of the test's own whose name server at 127.0.0.1 never answers.
int silentNameServer()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return -1;
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback {};
    std::strcpy(loopback.ifr_name, "lo");
    bool up = ::ioctl(control, SIOCGIFFLAGS, &loopback) == 0;
    loopback.ifr_flags |= IFF_UP;
    up = up && ::ioctl(control, SIOCSIFFLAGS, &loopback) == 0;
    ::close(control);
    const int server = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!up || ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(server);
        return -1;
    }
    return server;
}

} // namespace

class TestVkSites : public QObject {
    Q_OBJECT

private slots:
    // The machine's resolver is replaced for the whole test, so no lookup
    // leaves the machine.
    void initTestCase()
    {
        mounts_ = std::make_unique<PrivateMounts>();
        problem_ = mounts_->problem();
        const QString etc = dir_.path() + u'/';
        if (problem_.isEmpty() &&
            (!writeFile(etc + QStringLiteral("hosts"), kHosts) ||
                !writeFile(etc + QStringLiteral("resolv.conf"), "nameserver 127.0.0.1\noptions timeout:30\n") ||
                !writeFile(etc + QStringLiteral("nsswitch.conf"), "hosts: files\n") ||
                !mounts_->bind(etc + QStringLiteral("hosts"), QStringLiteral("/etc/hosts")) ||
                !mounts_->bind(etc + QStringLiteral("resolv.conf"), QStringLiteral("/etc/resolv.conf")) ||
                !mounts_->bind(etc + QStringLiteral("nsswitch.conf"), QStringLiteral("/etc/nsswitch.conf"))))
            problem_ = QStringLiteral("cannot put a private /etc/hosts in place");
        if (problem_.isEmpty())
            nameServer_ = silentNameServer();
    }

    void cleanupTestCase()
    {
        if (nameServer_ >= 0)
            ::close(nameServer_);
        mounts_.reset();
    }

    void leavesTheAddressAloneOnTheLastLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address"); // empty: none
        QTest::addColumn<QString>("needs");

        const QString hosts = QStringLiteral("hosts");
        QTest::newRow("name") << QStringList {QStringLiteral("printer.corvatek.test")} << QStringLiteral("192.0.2.10")
                              << hosts;
        QTest::newRow("blanks around") << QStringList {QStringLiteral(" \tprinter "), QString()}
                                       << QStringLiteral("192.0.2.10") << hosts;
        QTest::newRow("address typed") << QStringList {QStringLiteral("198.51.100.7")} << QStringLiteral("198.51.100.7")
                                       << QString();
        QTest::newRow("international name")
            << QStringList {QStringLiteral("Bücher.corvatek.test")} << QStringLiteral("192.0.2.20") << hosts;
        // Shorthand the resolver would read as addresses: names, not addresses.
        for (const char* shorthand : {"1", "0x7f.1", "127.1", "0177.0.0.1"})
            QTest::newRow(shorthand) << QStringList {QLatin1String(shorthand)} << QString() << hosts;
        QTest::newRow("IPv6 only") << QStringList {QStringLiteral("six.corvatek.test")} << QString() << hosts;
        QTest::newRow("unknown") << QStringList {QStringLiteral("nothing.corvatek.test")} << QString() << hosts;
        // Typed with a blank, split by the parameter text: not the first word.
        QTest::newRow("two words") << QStringList {QStringLiteral("printer"), QStringLiteral("corvatek")} << QString()
                                   << hosts;
        QTest::newRow("nothing typed") << QStringList() << QString() << QString();
        QTest::newRow("name server never answers")
            << QStringList {QStringLiteral("slow.corvatek.test")} << QString() << QStringLiteral("silent server");
    }

    void leavesTheAddressAloneOnTheLastLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(QString, needs);
        if (!needs.isEmpty() && !problem_.isEmpty())
            QSKIP(qPrintable(problem_));
        const bool silent = needs == QLatin1String("silent server");
        if (silent && nameServer_ < 0)
            QSKIP("no private network with a silent name server");
        QVERIFY(writeFile(
            dir_.path() + QStringLiteral("/nsswitch.conf"), silent ? "hosts: files dns\n" : "hosts: files\n"));

        TestFolder folder;
        const QString program = folder.file(QStringView(files::SiteLookup).toString());
        QVERIFY(QFile::copy(QStringLiteral(CORVATEK_VKSITES), program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        folder.write(QStringView(files::SiteAddress).toString(), "old.example\r\n10.0.0.1\r\n");

        QProcess lookup;
        QElapsedTimer clock;
        clock.start();
        lookup.start(program, arguments);
        QVERIFY(lookup.waitForFinished(10000));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(lookup.exitCode(), address.isEmpty() ? 1 : 0);

        // As the control centre reads it: the last line's dots and digits.
        const data::LinesRead read = data::ProgramFiles(folder.path()).readLines(files::SiteAddress);
        QVERIFY(read.ok());
        if (address.isEmpty()) {
            QVERIFY2(read.lines.isEmpty(), qPrintable(read.lines.joined()));
        } else {
            QCOMPARE(read.lines.last(), address);
            QVERIFY(QRegularExpression(QStringLiteral("^[0-9.]+$")).match(read.lines.last()).hasMatch());
            QCOMPARE(folder.read(QStringView(files::SiteAddress).toString()), address.toLatin1() + "\r\n");
        }
    }

    // The previous site's address must not pass for this one's.
    void leavesNoAddressWhenTheFileIsHeld()
    {
        TestFolder folder;
        const QString program = folder.file(QStringView(files::SiteLookup).toString());
        QVERIFY(QFile::copy(QStringLiteral(CORVATEK_VKSITES), program));
        folder.write(QStringView(files::SiteAddress).toString(), "old.example\r\n10.0.0.1\r\n");
        const int held = ::open(QFile::encodeName(folder.file(QStringView(files::SiteAddress).toString())).constData(), O_RDWR);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        QProcess lookup;
        lookup.start(program, {QStringLiteral("198.51.100.7")});
        QVERIFY(lookup.waitForFinished(10000));
        ::close(held);
        QCOMPARE(lookup.exitCode(), 2);
        const data::LinesRead read = data::ProgramFiles(folder.path()).readLines(files::SiteAddress);
        QVERIFY2(read.status == data::FileStatus::Missing || (read.ok() && read.lines.isEmpty()),
            qPrintable(read.lines.joined()));
    }

private:
    QTemporaryDir dir_; // outlives the mounts of its files
    std::unique_ptr<PrivateMounts> mounts_;
    QString problem_;
    int nameServer_ = -1;
};

QTEST_GUILESS_MAIN(TestVkSites)
#include "tst_vksites.moc"
