#include "headers.h"

#include "data/programfiles.h"
#include "processoutput.h"
#include "testfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvatek;
using corvatek::test::TestFolder;
using corvatek::test::waitUntil;
using corvatek::test::writeFile;

namespace {

const QString kSignature = QStringLiteral("Corvatek.Test.Body.UNOFFICIAL");

// Files written just now may be being written still: the filter leaves the
// last message of an mbox changed in the last seconds for a later run.
void settle(const QString& path)
{
    const timespec old[2] {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), old, 0) == 0);
}

// A user's mail in a temporary home, the filter and its engine in a
// program folder with a stand-in notifier, and a database of one body
// signature made for this run.
class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        ::chmod(QFile::encodeName(root).constData(), 0755);
        home = root + QStringLiteral("/home");
        signatures = root + QStringLiteral("/signatures");
        spool = root + QStringLiteral("/spool/user");
        QDir().mkpath(home);
        QFile::copy(QStringLiteral(CORVATEK_VKMAIL), program.file(QStringLiteral("vkmail.exe")));
        QFile::copy(QStringLiteral(CORVATEK_VKMAIL_ENGINE), program.file(QStringLiteral("vkmailscan.exe")));
        program.installCompanion(QStringLiteral("vknotify.exe"), {QStringLiteral("exit")});
        program.speak("GB");
        marker = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        writeFile(signatures + QStringLiteral("/test.ndb"), "Corvatek.Test.Body:0:*:" + marker.toHex() + '\n');

        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        environment.insert(QStringLiteral("CORVATEK_DATA_DIR"), program.path());
        environment.insert(QStringLiteral("CORVATEK_MAIL_HOME"), home);
        environment.insert(QStringLiteral("CORVATEK_MAIL_SPOOL"), spool);
        environment.insert(QStringLiteral("CORVATEK_SIGNATURES"), signatures);
        environment.remove(QStringLiteral("CORVATEK_GUARD_SOCKET"));
    }

    // A MIME message; an infected one carries the marker in a base64
    // attachment, which the engine finds only by decoding it.
    QByteArray message(const QByteArray& from, const QByteArray& subject, bool infected) const
    {
        const QByteArray content = infected ? "payload " + marker + " payload\n" : QByteArray("harmless\n");
        return "From: " + from + "\nTo: user@example.org\nSubject: " + subject +
            "\nDate: Tue, 05 Dec 2023 10:00:00 +0000\nMessage-ID: <" + QUuid::createUuid().toRfc4122().toHex() +
            "@example.org>\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b0\"\n\n--b0\n"
            "Content-Type: text/plain\n\nHello\n--b0\nContent-Type: application/octet-stream; name=\"a.bin\"\n"
            "Content-Transfer-Encoding: base64\nContent-Disposition: attachment; filename=\"a.bin\"\n\n" +
            content.toBase64() + "\n--b0--\n";
    }
    static QByteArray mboxEntry(const QByteArray& message)
    {
        return "From - Tue Dec  5 10:00:00 2023\n" + message + '\n';
    }

    // Thunderbird's local folders, the index file beside each mbox.
    QString thunderbird(const QString& name) const
    {
        return home + QStringLiteral("/.thunderbird/p1.default/Mail/Local Folders/") + name;
    }
    void writeMbox(const QString& path, const QByteArray& bytes) const
    {
        writeFile(path, bytes);
        writeFile(path + QStringLiteral(".msf"), "index");
        settle(path);
    }
    void deliver(const QString& folder, const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(folder + QStringLiteral("/tmp"));
        QDir().mkpath(folder + QStringLiteral("/cur"));
        writeFile(folder + u'/' + name, bytes);
    }

    int run(int timeoutMs = 60000)
    {
        QProcess filter;
        filter.setProcessEnvironment(environment);
        filter.start(program.file(QStringLiteral("vkmail.exe")), {});
        if (!filter.waitForFinished(timeoutMs)) {
            filter.kill();
            filter.waitForFinished();
            return -1;
        }
        return filter.exitStatus() == QProcess::NormalExit ? filter.exitCode() : -2;
    }

    QString log() const { return QString::fromUtf8(program.read(QStringLiteral("vkmail.log"))); }
    QStringList viri() const
    {
        QStringList lines = QString::fromUtf8(program.read(QStringLiteral("viri.txt"))).split(QStringLiteral("\r\n"));
        lines.removeAll(QString());
        return lines;
    }
    QList<QStringList> alerts() const { return test::tableRows(program.path(), data::TableId::Alerts); }
    QStringList files(const QString& folder) const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    TestFolder program;
    QString root, home, signatures, spool;
    QByteArray marker;
    QProcessEnvironment environment;

private:
    QTemporaryDir dir_;
};

// The alerts' subjects: one per infected message told.
QStringList alertedSubjects(const QList<QStringList>& alerts)
{
    QStringList subjects;
    for (const QStringList& row : alerts) {
        const QString action = row.value(2);
        const qsizetype open = action.indexOf(u'('), close = action.lastIndexOf(u')');
        if (action.startsWith(QStringLiteral("Threat ")) && open > 0 && close > open)
            subjects.append(action.mid(open + 1, close - open - 1));
    }
    subjects.sort();
    return subjects;
}

// How many infected messages the user was told of.
qsizetype toldOf(const Sandbox& box)
{
    qsizetype told = 0;
    for (const QStringList& arguments : box.program.argumentsOf(QStringLiteral("vknotify.exe"))) {
        const QString notice = arguments.join(u' ');
        told += notice.startsWith(QStringLiteral("Threat;")) ? 1 : notice.section(u';', 0, 0).toInt();
    }
    return told;
}

class Mail : public QObject {
    Q_OBJECT

private slots:
    void headers_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("subject");
        QTest::newRow("plain") << QByteArray("From: Ann <Ann@Example.ORG>\nSubject: hello\n\nbody")
                               << "Ann <Ann@Example.ORG>"
                               << "ann@example.org"
                               << "hello";
        QTest::newRow("utf-8 B, words joined, folded")
            << QByteArray("Subject: =?UTF-8?B?w6l0w6k=?=\n =?utf-8?b?IGNoYXVk?= !\nFrom: a@b.c\n") << "a@b.c"
            << "a@b.c"
            << "été chaud !";
        QTest::newRow("latin-1 Q with blanks kept between text")
            << QByteArray(
                   "From: =?ISO-8859-1?Q?Ren=E9_Dupr=E9?= <rene@x.fr>\nSubject: caf=E9 =?iso-8859-1?q?caf=E9?=\n")
            << "René Dupré <rene@x.fr>"
            << "rene@x.fr"
            << "caf=E9 café";
        QTest::newRow("mbox line, quoted angle, comment")
            << QByteArray("From - Tue Dec  5 10:00:00 2023\nFrom: \"a <b@c>\" <real@x.org> (z@y)\n")
            << "\"a <b@c>\" <real@x.org> (z@y)"
            << "real@x.org"
            << "";
        QTest::newRow("bare address with comment") << QByteArray("from: bob@x.org (Bob)\n") << "bob@x.org (Bob)"
                                                   << "bob@x.org"
                                                   << "";
        QTest::newRow("unknown charset and broken word left")
            << QByteArray("Subject: =?koi8-r?B?0MXS?= =?utf-8?Q?x\nFrom: none\n") << "none"
            << ""
            << "=?koi8-r?B?0MXS?= =?utf-8?Q?x";
        QTest::newRow("raw 8-bit, header block ends the head")
            << QByteArray("Subject: caf\xe9\n\nFrom: late@x.org\n") << ""
            << ""
            << "café";
    }

    void headers()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, from);
        QFETCH(QString, sender);
        QFETCH(QString, subject);
        const vkmail::MessageHead read = vkmail::readHead(head.toStdString());
        QCOMPARE(QString::fromStdString(read.from), from);
        QCOMPARE(QString::fromStdString(read.sender), sender);
        QCOMPARE(QString::fromStdString(read.subject), subject);
        QCOMPARE(
            QString::fromStdString(vkmail::listedSender("  <Ann@Example.org> \r")), QStringLiteral("ann@example.org"));
    }

    // Every kind of store, with its own engine: infected messages found in
    // their attachments, recorded and told once; those and the blocked
    // senders' moved to Junk in Maildir folders; mbox files never changed;
    // what is broken or too large passed over without harm. Later runs look
    // only at what is new.
    void filtersEveryStore()
    {
        Sandbox box;
        box.program.write(QStringLiteral("spam.txt"), "\r\n  <Blocked@Example.ORG>  \r\n");
        const QString inbox = box.thunderbird(QStringLiteral("Inbox"));
        // Garbage before the first "From " line, a header block past any
        // bound (a message scanned on its own), binary bytes: each is a
        // message like any other.
        const QByteArray huge = "X-Long: " + QByteArray(1200 * 1024, 'h') + "\nMIME-Version";
        const QByteArray rene = box.message("=?utf-8?Q?Ren=C3=A9?= <rene@example.org>", "=?utf-8?B?w6l0w6k=?=", true);
        const QByteArray mbox = "no separator first\n\x01\x02\xff\n" +
            Sandbox::mboxEntry(QByteArray(rene).replace("MIME-Version", huge)) +
            Sandbox::mboxEntry(box.message("blocked@example.org", "offer", false)) +
            Sandbox::mboxEntry(QByteArray(4096, '\0') + "\xfe\xff binary");
        box.writeMbox(inbox, mbox);
        const QString maildir = box.home + QStringLiteral("/Maildir");
        box.deliver(
            maildir, QStringLiteral("new/1.host"), box.message("Ann <ann@example.org>", "maildir infected", true));
        box.deliver(maildir, QStringLiteral("new/2.host"), box.message("Bob <bob@example.org>", "clean", false));
        box.deliver(maildir, QStringLiteral("cur/3.host:2,S"), box.message("BLOCKED@example.org", "seen offer", false));
        const QString kmail = box.home + QStringLiteral("/.local/share/local-mail/inbox");
        box.deliver(kmail, QStringLiteral("new/4.host"), box.message("kim@example.org", "kmail infected", true));
        const QString evolution = box.home + QStringLiteral("/.local/share/evolution/mail/local/.Work");
        box.deliver(
            evolution, QStringLiteral("cur/5.host:2,"), box.message("eve@example.org", "evolution infected", true));
        // The spool: a message past the engine's limit (a hole of zeros),
        // then an infected one.
        writeFile(box.spool, "From a\n\n");
        QVERIFY(::truncate(QFile::encodeName(box.spool).constData(), (100 << 20) + 4096) == 0);
        QFile spool(box.spool);
        QVERIFY(spool.open(QIODevice::Append));
        spool.write("\n" + Sandbox::mboxEntry(box.message("sam@example.org", "spool infected", true)));
        spool.close();
        settle(box.spool);

        QCOMPARE(box.run(), 1);
        const QString log = box.log();
        QVERIFY2(log.contains(
                     QStringLiteral("5 mail stores looked at, 11 new messages in 5 of them: 10 scanned, 5 infected, "
                                    "2 from blocked senders, 1 not scanned")),
            qPrintable(log));
        QCOMPARE(box.viri().size(), 5);
        // The store, then the sender, the date in the user's format and the
        // subject, decoded.
        const QStringList viri = box.viri();
        QVERIFY2(std::any_of(viri.begin(), viri.end(),
                     [&](const QString& line) {
                         return line.startsWith(inbox + QStringLiteral(" (René <rene@example.org>, ")) &&
                             line.endsWith(QStringLiteral(", été) : ") + kSignature) &&
                             !line.contains(QStringLiteral("Tue, 05"));
                     }),
            qPrintable(viri.join(u'\n')));
        const QList<QStringList> alerts = box.alerts();
        QCOMPARE(alertedSubjects(alerts),
            QStringList({"evolution infected", "kmail infected", "maildir infected", "spool infected", "été"}));
        for (const QStringList& row : alerts) {
            QVERIFY2(row.value(2).contains(kSignature), qPrintable(row.join(u'|')));
            const bool inMbox = row.value(7) == inbox || row.value(7) == box.spool;
            QCOMPARE(row.value(2).endsWith(QStringLiteral("left in the mailbox")), inMbox);
            QVERIFY(!row.value(0).isEmpty() && !row.value(1).isEmpty());
        }
        QVERIFY(std::any_of(alerts.begin(), alerts.end(), [&](const QStringList& row) {
            return row.value(0) == QStringLiteral("ann@example.org") && row.value(7) == maildir;
        }));
        // Moved by rename into each layout's Junk, flags kept; mboxes intact.
        QCOMPARE(box.files(maildir + QStringLiteral("/.Junk/new")), QStringList {"1.host"});
        QCOMPARE(box.files(maildir + QStringLiteral("/.Junk/cur")), QStringList {"3.host:2,S"});
        QVERIFY(QFileInfo::exists(maildir + QStringLiteral("/.Junk/maildirfolder")));
        QCOMPARE(box.files(maildir + QStringLiteral("/new")), QStringList {"2.host"});
        QCOMPARE(box.files(box.home + QStringLiteral("/.local/share/local-mail/Junk/new")), QStringList {"4.host"});
        QCOMPARE(box.files(box.home + QStringLiteral("/.local/share/evolution/mail/local/.Junk/cur")),
            QStringList {"5.host:2,"});
        QFile read(inbox);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), mbox);
        QVERIFY(waitUntil([&] { return toldOf(box) == 5; }));

        // Nothing new: nothing written, nothing told; once the folders the
        // moves changed have settled, vkmail.pos is not even rewritten.
        QCOMPARE(box.run(), 0);
        QThread::msleep(200);
        QCOMPARE(box.run(), 0);
        const QByteArray positions = QFile::encodeName(box.program.file(QStringLiteral("vkmail.pos")));
        const auto inode = [&] {
            struct stat info { };
            return ::stat(positions.constData(), &info) == 0 ? info.st_ino : ino_t(0);
        };
        const ino_t written = inode();
        QCOMPARE(box.run(), 0);
        QCOMPARE(inode(), written);
        QCOMPARE(box.log(), log);
        QCOMPARE(box.alerts().size(), alerts.size());

        // New mail: only it is looked at. The mbox compacted by its mail
        // program is read from its start again, and what was told is not
        // told again.
        const QByteArray compacted =
            Sandbox::mboxEntry(rene) + Sandbox::mboxEntry(box.message("new@example.org", "appended infected", true));
        // A message its mail program has read (moved to cur/, flagged) is the
        // same message.
        box.writeMbox(inbox, compacted);
        QVERIFY(QDir().rename(maildir + QStringLiteral("/new/2.host"), maildir + QStringLiteral("/cur/2.host:2,S")));
        box.deliver(maildir, QStringLiteral("new/6.host"), box.message("zed@example.org", "clean later", false));
        QCOMPARE(box.run(), 1);
        QVERIFY2(box.log().contains(QStringLiteral("3 new messages in 2 of them: 3 scanned, 2 infected")),
            qPrintable(box.log()));
        QCOMPARE(alertedSubjects(box.alerts()).count(QStringLiteral("été")), 1);
        QCOMPARE(alertedSubjects(box.alerts()).count(QStringLiteral("appended infected")), 1);
        QCOMPARE(box.files(maildir + QStringLiteral("/new")), QStringList {"6.host"});
    }

    // What cannot be looked at yet waits, and is looked at later: the last
    // message of an mbox being written, messages without any engine.
    void waitsForWhatIsNotReady()
    {
        Sandbox box;
        const QString inbox = box.thunderbird(QStringLiteral("Inbox"));
        const QByteArray first = Sandbox::mboxEntry(box.message("a@example.org", "first", true));
        box.writeMbox(inbox, first);
        QFile file(inbox);
        QVERIFY(file.open(QIODevice::Append));
        file.write(Sandbox::mboxEntry(box.message("b@example.org", "being written", true)));
        file.close();
        QCOMPARE(box.run(), 1);
        QCOMPARE(alertedSubjects(box.alerts()), QStringList {"first"});
        settle(inbox);
        QCOMPARE(box.run(), 1);
        QCOMPARE(alertedSubjects(box.alerts()), QStringList({"being written", "first"}));

        // No engine at all: nothing is passed as looked at, and the log
        // says so once, though every run finds the messages waiting.
        const QString engine = box.program.file(QStringLiteral("vkmailscan.exe"));
        QVERIFY(QFile::rename(engine, engine + QStringLiteral(".away")));
        box.deliver(box.home + QStringLiteral("/Maildir"), QStringLiteral("new/1.host"),
            box.message("c@example.org", "waits", true));
        QCOMPARE(box.run(), 2);
        QCOMPARE(box.run(), 2);
        QCOMPARE(box.log().count(QStringLiteral("New messages wait to be scanned")), 1);
        QVERIFY(QFile::rename(engine + QStringLiteral(".away"), engine));
        QCOMPARE(box.run(), 1);
        QCOMPARE(alertedSubjects(box.alerts()), QStringList({"being written", "first", "waits"}));
    }

    // The guard service's engine, when it runs, scans the messages handed
    // over as memory files: nothing of the filter's own is loaded.
    void throughGuardService()
    {
        Sandbox box;
        const QString socket = box.root + QStringLiteral("/run/guard.socket");
        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.start(QStringLiteral(CORVATEK_GUARD),
            {QStringLiteral("--database"), box.signatures, QStringLiteral("--socket"), socket});
        test::ProcessOutput said(service);
        QVERIFY(said.waitFor(QStringLiteral("listening on ")));
        box.environment.insert(QStringLiteral("CORVATEK_GUARD_SOCKET"), socket);
        box.environment.remove(QStringLiteral("CORVATEK_SIGNATURES"));
        // Without the service the tests' signatures are nowhere to be found.
        QFile::remove(box.program.file(QStringLiteral("vkmailscan.exe")));
        box.writeMbox(box.thunderbird(QStringLiteral("Inbox")),
            Sandbox::mboxEntry(box.message("a@example.org", "first", true)) +
                Sandbox::mboxEntry(box.message("b@example.org", "second", false)));
        box.deliver(box.home + QStringLiteral("/Maildir"), QStringLiteral("new/1.host"),
            box.message("c@example.org", "third", true));

        QCOMPARE(box.run(), 1);
        QVERIFY2(box.log().contains(QStringLiteral("3 new messages in 2 of them: 3 scanned, 2 infected")),
            qPrintable(box.log()));
        QVERIFY(box.log().contains(QStringLiteral("Scanned by the guard service")));
        QVERIFY(said.waitFor(QStringLiteral("found ") + kSignature + QStringLiteral(" in /memfd:vkmail-message")));
        QCOMPARE(alertedSubjects(box.alerts()), QStringList({"first", "third"}));
        service.terminate();
        service.waitForFinished();
    }

    // Killed at any moment, a run leaves nothing told twice, moved twice or
    // lost; a run started while another runs ends at once.
    void killedRunsRecordOnce()
    {
        Sandbox box;
        box.program.write(QStringLiteral("spam.txt"), "spam@example.org\r\n");
        const QString maildir = box.home + QStringLiteral("/Maildir");
        QByteArray mbox;
        QStringList infected;
        int blocked = 0;
        for (int i = 0; i < 600; ++i) {
            const bool bad = i % 25 == 3, spam = i % 25 == 11;
            const QByteArray subject = "message " + QByteArray::number(i);
            const QByteArray message = box.message(spam ? "spam@example.org" : "friend@example.org", subject, bad);
            if (bad)
                infected.append(QString::fromLatin1(subject));
            if (i % 2 == 0) {
                mbox += Sandbox::mboxEntry(message);
            } else {
                box.deliver(maildir, QStringLiteral("new/%1.host").arg(i), message);
                blocked += spam ? 1 : 0;
            }
        }
        infected.sort();
        box.writeMbox(box.thunderbird(QStringLiteral("Inbox")), mbox);

        // Held on alertes.xml: a run has recorded its findings in vkmail.pos
        // and in viri.txt, and waits to write its alerts.
        const auto hold = [&](const QString& name) {
            const int fd = ::open(QFile::encodeName(box.program.file(name)).constData(), O_RDONLY | O_CLOEXEC);
            return fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? fd : -1;
        };
        QVERIFY(data::ProgramFiles(box.program.path()).createTable(data::TableId::Alerts).ok());
        const int alertsFile = hold(QStringLiteral("alertes.xml"));
        QVERIFY(alertsFile >= 0);
        QProcess first;
        first.setProcessEnvironment(box.environment);
        first.start(box.program.file(QStringLiteral("vkmail.exe")), {});
        QVERIFY(first.waitForStarted());
        QVERIFY(waitUntil([&] { return !box.viri().isEmpty(); }, 60000));
        QCOMPARE(first.state(), QProcess::Running);
        // Meanwhile a second run finds the first one's lock and ends.
        const QByteArray positions = box.program.read(QStringLiteral("vkmail.pos"));
        QElapsedTimer second;
        second.start();
        QCOMPARE(box.run(), 0);
        QVERIFY(second.elapsed() < 1000);
        QCOMPARE(box.program.read(QStringLiteral("vkmail.pos")), positions);
        // Then it is killed with its alerts written and messages moved, but
        // before vkmail.pos says so.
        const int positionsFile = hold(QStringLiteral("vkmail.pos"));
        QVERIFY(positionsFile >= 0);
        ::close(alertsFile);
        QVERIFY(waitUntil([&] { return !alertedSubjects(box.alerts()).isEmpty(); }));
        QVERIFY(waitUntil([&] { return !box.files(maildir + QStringLiteral("/.Junk/new")).isEmpty(); }));
        first.kill();
        first.waitForFinished();
        ::close(positionsFile);

        // More kills, at various moments of the runs that finish the work.
        for (const int after : {0, 30, 90, 200, 400}) {
            QProcess killed;
            killed.setProcessEnvironment(box.environment);
            killed.start(box.program.file(QStringLiteral("vkmail.exe")), {});
            QVERIFY(killed.waitForStarted());
            QThread::msleep(after);
            killed.kill();
            killed.waitForFinished();
        }
        for (int runs = 0; box.run() != 0; ++runs)
            QVERIFY2(runs < 5, qPrintable(box.log()));

        QCOMPARE(alertedSubjects(box.alerts()), infected);
        QCOMPARE(box.viri().size(), infected.size());
        const int infectedInMaildir = int(std::count_if(infected.begin(), infected.end(),
            [](const QString& subject) { return subject.section(u' ', 1).toInt() % 2 == 1; }));
        QCOMPARE(box.files(maildir + QStringLiteral("/.Junk/new")).size(), infectedInMaildir + blocked);
        QCOMPARE(box.files(maildir + QStringLiteral("/new")).size(), 300 - infectedInMaildir - blocked);
        QVERIFY(toldOf(box) >= infected.size());
    }
};

} // namespace

QTEST_GUILESS_MAIN(Mail)
#include "tst_vkmail.moc"
