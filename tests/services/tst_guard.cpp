#include "scanning/guardclient.h"
#include "processoutput.h"
#include "testfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using corvatek::test::TestFolder;
using corvatek::test::writeFile;
namespace guard = corvatek::scanning::guard;

namespace {

const QString kGuard = QStringLiteral(CORVATEK_GUARD);
const QString kScanner = QStringLiteral(CORVATEK_VKPROBE);
const QString kHashName = QStringLiteral("Corvatek.Test.Hash.UNOFFICIAL");
const QString kBodyName = QStringLiteral("Corvatek.Test.Body.UNOFFICIAL");
constexpr uid_t kOtherUser = 65534;

QByteArray hashSignature(const QByteArray& content, const QByteArray& name)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + ':' +
        QByteArray::number(content.size()) + ':' + name + '\n';
}

// A database of two signatures made for this run (an MD5 and a body one, so
// that nothing on the machine holds them), files to scan, and a folder for
// the socket that every user may pass through.
class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        ::chmod(QFile::encodeName(root).constData(), 0755);
        database = root + QStringLiteral("/database");
        socket = root + QStringLiteral("/run/guard.socket");
        marker = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        hashed = "hashed-" + QUuid::createUuid().toRfc4122().toHex();
        writeFile(database + QStringLiteral("/test.hdb"), hashSignature(hashed, "Corvatek.Test.Hash"));
        writeFile(database + QStringLiteral("/test.ndb"), "Corvatek.Test.Body:0:*:" + marker.toHex() + '\n');
        writeFile(file(QStringLiteral("clean.txt")), "nothing to see");
        writeFile(file(QStringLiteral("infected.txt")), "text " + marker + " text");
        writeFile(file(QStringLiteral("hashed.bin")), hashed);
    }

    QString file(const QString& name) const { return root + QStringLiteral("/files/") + name; }

    // Random bytes that take libclamav a while: well past a second here.
    QString slowFile() const
    {
        const QString path = file(QStringLiteral("slow.bin"));
        if (!QFileInfo::exists(path)) {
            QByteArray bytes(90 << 20, Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            writeFile(path, bytes);
        }
        return path;
    }

    QString root, database, socket;
    QByteArray marker, hashed;

private:
    QTemporaryDir dir_;
};

// The real service over the sandbox's database, its log gathered as it
// comes, ended with SIGTERM.
class Service {
public:
    explicit Service(const Sandbox& box, const QStringList& extra = {}, const QString& notifySocket = {})
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("NOTIFY_SOCKET"));
        if (!notifySocket.isEmpty())
            environment.insert(QStringLiteral("NOTIFY_SOCKET"), notifySocket);
        environment.remove(QStringLiteral("JOURNAL_STREAM"));
        process_.setProcessEnvironment(environment);
        process_.start(kGuard,
            QStringList {QStringLiteral("--database"), box.database, QStringLiteral("--socket"), box.socket} + extra);
    }
    ~Service()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000))
                process_.kill();
            process_.waitForFinished();
        }
    }

    // Waits for a log line holding `text` past the lines waited for so far.
    bool waitFor(const QString& text, int timeoutMs = 30000) { return output_.waitFor(text, timeoutMs); }
    bool waitListening() { return waitFor(QStringLiteral("listening on ")); }
    QString log() { return output_.text(); }
    qint64 pid() const { return process_.processId(); }
    QProcess& process() { return process_; }

private:
    QProcess process_;
    corvatek::test::ProcessOutput output_ {process_};
};

std::optional<guard::Answer> scan(const QString& socket, const QString& path, int flags = O_RDONLY)
{
    guard::Client client(QFile::encodeName(socket).toStdString());
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0 || !client.connect())
        return std::nullopt;
    std::optional<guard::Answer> answer = client.ask(guard::Request::Scan, fd);
    ::close(fd);
    return answer;
}

// The answer's kind and detail in one, for comparisons that show both.
QString said(const std::optional<guard::Answer>& answer)
{
    static const char* const kinds[] = {"ready", "clean", "found", "error"};
    return answer ? QString::fromLatin1(kinds[answer->kind]) + u' ' + QString::fromStdString(answer->detail)
                  : QStringLiteral("no answer");
}

QString found(const QString& signature)
{
    return QStringLiteral("found ") + signature;
}

// Connects and sends one datagram with the descriptors given, by system
// calls alone, so that a child forked from this threaded process may use
// it. -1 when that fails.
int sendRaw(const char* socketPath, const void* bytes, std::size_t size, const int* fds, std::size_t count)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return -1;
    iovec segment {const_cast<void*>(bytes), size};
    msghdr message {};
    message.msg_iov = &segment;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] {};
    if (count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(sizeof(int) * count);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * count);
        std::memcpy(CMSG_DATA(header), fds, sizeof(int) * count);
    }
    if (::sendmsg(fd, &message, MSG_NOSIGNAL) != ssize_t(size)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What came on the socket within the time, which is then closed: the
// datagram, or empty when the service closed the connection (or said
// nothing).
QByteArray answerOn(int fd, int timeoutMs = 5000)
{
    pollfd waiting {fd, POLLIN, 0};
    char buffer[1024];
    const ssize_t n = ::poll(&waiting, 1, timeoutMs) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
    ::close(fd);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

QStringList reportLines(const TestFolder& program)
{
    QStringList lines = QString::fromUtf8(program.read(QStringLiteral("anaviri.txt"))).split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines;
}

} // namespace

class TestGuard : public QObject {
    Q_OBJECT

private slots:
    void scansPassedDescriptors()
    {
        Sandbox box;
        // systemd hears that the service is ready once it answers.
        const QByteArray notifyPath = QFile::encodeName(box.root + QStringLiteral("/notify"));
        sockaddr_un notifyAddress {};
        notifyAddress.sun_family = AF_UNIX;
        std::strncpy(notifyAddress.sun_path, notifyPath.constData(), sizeof notifyAddress.sun_path - 1);
        const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        QVERIFY(::bind(notify, reinterpret_cast<const sockaddr*>(&notifyAddress), sizeof notifyAddress) == 0);
        Service service(box, {}, QString::fromLocal8Bit(notifyPath));
        const QByteArray ready = answerOn(notify, 30000);
        QVERIFY2(ready.startsWith("READY=1\n"), ready.constData());
        guard::Client pinging(QFile::encodeName(box.socket).toStdString());
        QVERIFY(pinging.ready());
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        QVERIFY(service.log().contains(QStringLiteral(": 2 signatures")));
        struct stat info { };
        QVERIFY(::stat(QFile::encodeName(box.socket).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0666));
        QVERIFY(::stat(QFile::encodeName(QFileInfo(box.socket).path()).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0755));

        const std::optional<guard::Answer> clean = scan(box.socket, box.file(QStringLiteral("clean.txt")));
        QCOMPARE(said(clean), QStringLiteral("clean "));
        QCOMPARE(clean->uid, (unsigned long)::getuid());
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("infected.txt")))), found(kBodyName));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")))), found(kHashName));
        QVERIFY2(
            service.waitFor(QStringLiteral("found %1 in %2").arg(kHashName, box.file(QStringLiteral("hashed.bin")))),
            qPrintable(service.log()));

        // Only what the client could read itself: no folder, pipe, or
        // descriptor opened for a path alone or for writing only.
        QCOMPARE(said(scan(box.socket, box.root, O_RDONLY | O_DIRECTORY)), QStringLiteral("error not-a-regular-file"));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")), O_PATH)),
            QStringLiteral("error not-readable"));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")), O_WRONLY)),
            QStringLiteral("error not-readable"));
        int pipe[2];
        QVERIFY(::pipe(pipe) == 0);
        guard::Client client(QFile::encodeName(box.socket).toStdString());
        QVERIFY(client.connect());
        QCOMPARE(said(client.ask(guard::Request::Scan, pipe[0])), QStringLiteral("error not-a-regular-file"));
        ::close(pipe[0]);
        ::close(pipe[1]);
        // The connection serves on, and says how many signatures it has.
        QCOMPARE(said(client.ask(guard::Request::Ping)), QStringLiteral("ready 2"));
    }

    // Clients are served side by side, and each scan answers within its
    // deadline, a late one with an error, while the service goes on.
    void servesClientsAtOnceWithinADeadline()
    {
        if (QThread::idealThreadCount() < 2)
            QSKIP("one processor: the service scans on one thread here");
        Sandbox box;
        const QString slow = box.slowFile();
        {
            Service service(box);
            QVERIFY2(service.waitListening(), qPrintable(service.log()));
            std::optional<guard::Answer> slowAnswer;
            QElapsedTimer clock;
            clock.start();
            qint64 slowDone = 0;
            std::thread first([&] {
                slowAnswer = scan(box.socket, slow);
                slowDone = clock.elapsed();
            });
            QThread::msleep(100);
            QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("infected.txt")))), found(kBodyName));
            const qint64 quickDone = clock.elapsed();
            first.join();
            QCOMPARE(said(slowAnswer), QStringLiteral("clean "));
            QVERIFY2(quickDone < slowDone, qPrintable(QStringLiteral("%1 ms, %2 ms").arg(quickDone).arg(slowDone)));
        }

        Service service(box, {QStringLiteral("--timeout"), QStringLiteral("0.2")});
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(said(scan(box.socket, slow)), QStringLiteral("error timeout"));
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(service.waitFor(QStringLiteral("passed its deadline")));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")))), found(kHashName));
    }

    // The service tells each client the user the kernel says it is. A
    // client of another user is told its own.
    void knowsClientsByTheirCredentials()
    {
        if (::geteuid() != 0)
            QSKIP("only root can run a client as another user");
        Sandbox box;
        Service service(box);
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        const int file = ::open(QFile::encodeName(box.file(QStringLiteral("infected.txt"))).constData(), O_RDONLY);
        QVERIFY(file >= 0);
        int result[2];
        QVERIFY(::pipe(result) == 0);
        const QByteArray socket = QFile::encodeName(box.socket);
        const QByteArray request = QByteArray::fromStdString(guard::requestText(guard::Request::Scan));
        const pid_t child = ::fork();
        if (child == 0) {
            // Raw system calls only, in a child of a threaded process.
            if (::syscall(SYS_setresgid, kOtherUser, kOtherUser, kOtherUser) != 0 ||
                ::syscall(SYS_setresuid, kOtherUser, kOtherUser, kOtherUser) != 0)
                ::_exit(3);
            const int fd = sendRaw(socket.constData(), request.constData(), std::size_t(request.size()), &file, 1);
            char buffer[1024];
            pollfd waiting {fd, POLLIN, 0};
            const ssize_t n = fd >= 0 && ::poll(&waiting, 1, 10000) == 1 ? ::recv(fd, buffer, sizeof buffer, 0) : -1;
            if (n > 0 && ::write(result[1], buffer, std::size_t(n)) != n)
                ::_exit(4);
            ::_exit(n > 0 ? 0 : 5);
        }
        ::close(result[1]);
        ::close(file);
        QVERIFY(child > 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(WEXITSTATUS(status), 0);
        char buffer[1024];
        const ssize_t n = ::read(result[0], buffer, sizeof buffer);
        ::close(result[0]);
        const std::optional<guard::Answer> answer =
            guard::parseAnswer(std::string_view(buffer, std::size_t(std::max<ssize_t>(n, 0))));
        QCOMPARE(said(answer), found(kBodyName));
        QCOMPARE(answer->uid, (unsigned long)kOtherUser);
        QVERIFY2(service.waitFor(QStringLiteral("handed over by uid %1 (process %2)").arg(kOtherUser).arg(child)),
            qPrintable(service.log()));
    }

    // Without signatures (clamav-freshclam not yet installed) the service
    // serves all the same, refuses scans, and takes the signatures when
    // their folder comes. A change that does not load keeps the engine in
    // use; one that does replaces it.
    void followsTheSignatureFolder()
    {
        Sandbox box;
        const QString aside = box.root + QStringLiteral("/aside");
        QVERIFY(QDir().rename(box.database, aside));
        Service service(box);
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        QVERIFY(service.log().contains(
            QStringLiteral("no signatures loaded from %1 (the folder does not exist").arg(box.database)));
        guard::Client client(QFile::encodeName(box.socket).toStdString());
        QVERIFY(!client.ready());
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")))), QStringLiteral("error no-signatures"));

        QVERIFY(QDir().rename(aside, box.database));
        QVERIFY2(service.waitFor(QStringLiteral("reloaded from %1: 2 signatures").arg(box.database), 20000),
            qPrintable(service.log()));
        QVERIFY(client.ready());

        writeFile(box.database + QStringLiteral("/broken.ndb"), "not:a signature line at all\n");
        QVERIFY2(service.waitFor(QStringLiteral("not reloaded (the database is damaged")), qPrintable(service.log()));
        QVERIFY(service.waitFor(QStringLiteral("the previous ones stay in use")));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("hashed.bin")))), found(kHashName));

        const QByteArray fresh = "fresh-" + QUuid::createUuid().toRfc4122().toHex();
        writeFile(box.file(QStringLiteral("fresh.bin")), fresh);
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("fresh.bin")))), QStringLiteral("clean "));
        QVERIFY(QFile::remove(box.database + QStringLiteral("/broken.ndb")));
        // Written beside and renamed in, as freshclam does.
        writeFile(box.root + QStringLiteral("/fresh.hdb"), hashSignature(fresh, "Corvatek.Test.Fresh"));
        QVERIFY(QFile::rename(box.root + QStringLiteral("/fresh.hdb"), box.database + QStringLiteral("/fresh.hdb")));
        QVERIFY2(service.waitFor(QStringLiteral("reloaded from %1: 3 signatures").arg(box.database)),
            qPrintable(service.log()));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("fresh.bin")))),
            QStringLiteral("found Corvatek.Test.Fresh.UNOFFICIAL"));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("infected.txt")))), found(kBodyName));
    }

    // A message that is not the protocol's closes that client's connection
    // alone.
    void closesOnlyAClientThatBreaksTheProtocol()
    {
        Sandbox box;
        Service service(box);
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        const QByteArray socket = QFile::encodeName(box.socket);
        guard::Client bystander(socket.toStdString());
        QVERIFY(bystander.connect());

        const int file =
            ::open(QFile::encodeName(box.file(QStringLiteral("clean.txt"))).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(file >= 0);
        const int twice[] = {file, file};
        const QByteArray scanText = QByteArray::fromStdString(guard::requestText(guard::Request::Scan));
        const QByteArray pingText = QByteArray::fromStdString(guard::requestText(guard::Request::Ping));
        const struct {
            const char* what;
            QByteArray bytes;
            int count;
        } broken[] = {
            {"oversized", QByteArray(4096, 'x'), 0},
            {"oversized scan", scanText + QByteArray(1000, ' '), 1},
            {"other version", "corvatek-guard/2 scan", 1},
            {"unknown request", "corvatek-guard/1 delete", 0},
            {"no request", QByteArray(1, '\0'), 0},
            {"scan without a descriptor", scanText, 0},
            {"scan with two descriptors", scanText, 2},
            {"ping with a descriptor", pingText, 1},
        };
        for (const auto& message : broken) {
            const int fd = sendRaw(socket.constData(), message.bytes.constData(), std::size_t(message.bytes.size()),
                twice, std::size_t(message.count));
            QVERIFY2(fd >= 0, message.what);
            QVERIFY2(answerOn(fd).isEmpty(), message.what);
        }
        ::close(file);
        QCOMPARE(said(bystander.ask(guard::Request::Ping)), QStringLiteral("ready 2"));
        QCOMPARE(said(scan(box.socket, box.file(QStringLiteral("infected.txt")))), found(kBodyName));
        for (std::size_t i = 0; i < std::size(broken); ++i)
            QVERIFY2(service.waitFor(QStringLiteral("a malformed message from uid")), qPrintable(service.log()));
    }

    // A client whose service dies mid-scan hears so at once rather than
    // waiting for an answer that cannot come.
    void killedServiceLeavesNoClientWaiting()
    {
        Sandbox box;
        const QString slow = box.slowFile();
        Service service(box);
        QVERIFY2(service.waitListening(), qPrintable(service.log()));
        guard::Client client(QFile::encodeName(box.socket).toStdString(), std::chrono::seconds(60));
        QVERIFY(client.connect());
        const int fd = ::open(QFile::encodeName(slow).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const qint64 pid = service.pid();
        std::thread killer([pid] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ::kill(pid_t(pid), SIGKILL);
        });
        QElapsedTimer clock;
        clock.start();
        const std::optional<guard::Answer> answer = client.ask(guard::Request::Scan, fd);
        killer.join();
        ::close(fd);
        QCOMPARE(said(answer), QStringLiteral("no answer"));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!client.connected());
    }

    // The scanner asks the service when it answers: with no signatures of
    // its own anywhere it finds through the service alone, and counts a
    // file the service could not scan as skipped; when the service goes
    // mid-scan it goes on with its own engine.
    void scannerScansThroughTheService()
    {
        if (QThread::idealThreadCount() < 2)
            QSKIP("one processor: the late scan would hold the next file's");
        Sandbox box;
        TestFolder program;
        QVERIFY(QFile::copy(kScanner, program.file(QStringLiteral("vkprobe.exe"))));
        program.speak("GB");
        const QString home = box.root + QStringLiteral("/home");
        QDir().mkpath(home);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
        environment.insert(QStringLiteral("CORVATEK_SIGNATURES"), box.root + QStringLiteral("/absent"));
        environment.insert(QStringLiteral("CORVATEK_GUARD_SOCKET"), box.socket);
        const QString folder = box.root + QStringLiteral("/files");
        const auto runScanner = [&] {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(program.file(QStringLiteral("vkprobe.exe")), {QStringLiteral("3"), folder});
            return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode()
                                                                                                   : -1;
        };
        QCOMPARE(runScanner(), 2);
        QVERIFY2(reportLines(program).last().startsWith(QStringLiteral("Not done: there are no signatures")),
            qPrintable(reportLines(program).join(u'\n')));

        const QString slow = box.slowFile();
        const auto foundBoth = [&](const QStringList& report) {
            return report.contains(box.file(QStringLiteral("infected.txt")) + QStringLiteral(" : ") + kBodyName) &&
                report.contains(box.file(QStringLiteral("hashed.bin")) + QStringLiteral(" : ") + kHashName);
        };
        {
            Service service(box, {QStringLiteral("--timeout"), QStringLiteral("0.2")});
            QVERIFY2(service.waitListening(), qPrintable(service.log()));
            QCOMPARE(runScanner(), 1);
            const QStringList report = reportLines(program);
            QVERIFY2(foundBoth(report) &&
                    report.last().startsWith(QStringLiteral("Done: 3 files scanned, 2 findings, 1 skipped")),
                qPrintable(report.join(u'\n')));
        }

        // A service that dies mid-scan leaves the rest to the scanner's own
        // engine, the file it was scanning included.
        environment.insert(QStringLiteral("CORVATEK_SIGNATURES"), box.database);
        Service dying(box);
        QVERIFY2(dying.waitListening(), qPrintable(dying.log()));
        QProcess scanner;
        scanner.setProcessEnvironment(environment);
        scanner.start(program.file(QStringLiteral("vkprobe.exe")), {QStringLiteral("3"), folder});
        QVERIFY(scanner.waitForStarted());
        QThread::msleep(400); // well inside the slow file's scan
        ::kill(pid_t(dying.pid()), SIGKILL);
        QVERIFY(scanner.waitForFinished(120000));
        QCOMPARE(scanner.exitCode(), 1);
        const QStringList report = reportLines(program);
        QVERIFY2(foundBoth(report) &&
                report.last().startsWith(QStringLiteral("Done: 4 files scanned, 2 findings, 0 skipped")),
            qPrintable(report.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestGuard)
#include "tst_guard.moc"
