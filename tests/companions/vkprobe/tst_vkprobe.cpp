#include "privatemounts.h"
#include "testfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using corvatek::test::PrivateMounts;
using corvatek::test::writeFile;
using corvatek::test::TestFolder;

namespace {

const QString kScanner = QStringLiteral(CORVATEK_VKPROBE);
const QString kHashName = QStringLiteral("Corvatek.Test.Hash");
const QString kBodyName = QStringLiteral("Corvatek.Test.Body");

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A zip archive of one deflated entry.
QByteArray zipOf(const QByteArray& name, const QByteArray& content)
{
    const QByteArray zlib = qCompress(content, 9); // size, zlib header, deflate data, checksum
    const QByteArray deflated = zlib.mid(6, zlib.size() - 10);
    QByteArray zip;
    const auto put = [&zip](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            zip.append(char((value >> (8 * i)) & 0xff));
    };
    const auto entry = [&](bool central) {
        put(central ? 0x02014b50u : 0x04034b50u, 4);
        if (central)
            put(20, 2);
        put(20, 2), put(0, 2), put(8, 2), put(0, 2), put(0x5021, 2); // version, flags, deflate, time, date
        put(crc32(content), 4), put(quint32(deflated.size()), 4), put(quint32(content.size()), 4);
        put(quint32(name.size()), 2), put(0, 2);
        if (central)
            put(0, 2), put(0, 2), put(0, 2), put(0, 4), put(0, 4); // comment, disk, attributes, offset
        zip += name;
    };
    entry(false);
    zip += deflated;
    const quint32 directory = quint32(zip.size());
    entry(true);
    put(0x06054b50u, 4), put(0, 2), put(0, 2), put(1, 2), put(1, 2);
    put(quint32(zip.size()) - directory, 4), put(directory, 4), put(0, 2);
    return zip;
}

// A user's world in a temporary folder: home, runtime folder, a program
// folder holding the scanner, a folder on the search path, and a database
// of two signatures made for this run (so that no program file on the
// machine, this test included, holds them).
class Sandbox {
public:
    Sandbox()
    {
        root = QDir(dir_.path()).canonicalPath();
        home = root + QStringLiteral("/home");
        bin = root + QStringLiteral("/bin");
        runtime = root + QStringLiteral("/runtime");
        signatures = root + QStringLiteral("/signatures");
        for (const QString& folder : {home, bin, runtime, signatures})
            QDir().mkpath(folder);
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
        QFile::copy(kScanner, program.file(QStringLiteral("vkprobe.exe")));

        marker = "marker-" + QUuid::createUuid().toRfc4122().toHex();
        hashed = "hashed-" + QUuid::createUuid().toRfc4122().toHex();
        const QByteArray md5 = QCryptographicHash::hash(hashed, QCryptographicHash::Md5).toHex();
        writeFile(signatures + QStringLiteral("/test.hdb"),
            md5 + ':' + QByteArray::number(hashed.size()) + ':' + kHashName.toUtf8() + '\n');
        writeFile(signatures + QStringLiteral("/test.ndb"), kBodyName.toUtf8() + ":0:*:" + marker.toHex() + '\n');

        speak("GB");

        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        environment.insert(QStringLiteral("CORVATEK_SIGNATURES"), signatures);
        environment.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
    }

    void speak(const QByteArray& code) const { program.speak(code); }

    void start(QProcess& process, const QStringList& arguments) const
    {
        process.setProcessEnvironment(environment);
        process.start(program.file(QStringLiteral("vkprobe.exe")), arguments);
        QVERIFY(process.waitForStarted());
    }

    // The exit status; -1 when the scanner crashed or did not end.
    int run(const QStringList& arguments) const
    {
        QProcess process;
        start(process, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QStringList lines(const QString& name) const
    {
        const QByteArray bytes = program.read(name);
        if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
            return {QStringLiteral("<not ended by CR LF>")};
        QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }
    QStringList report() const { return lines(QStringLiteral("anaviri.txt")); }
    QStringList detections() const { return lines(QStringLiteral("viri.txt")); }

    // The report's finding lines, sorted.
    QStringList findings() const
    {
        QStringList found = report().mid(1, report().size() - 2);
        found.sort();
        return found;
    }

    QStringList leftInRuntime() const { return QDir(runtime).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

    TestFolder program;
    QString root, home, bin, runtime, signatures;
    QByteArray marker, hashed;
    QProcessEnvironment environment;

private:
    QTemporaryDir dir_;
};

QString finding(const QString& path, const QString& signature)
{
    return path + QStringLiteral(" : ") + signature + QStringLiteral(".UNOFFICIAL");
}

// A chain of `depth` folders below `top`, made through descriptors since
// its path is far longer than a path may be; the file at its bottom.
bool makeDeepTree(const QString& top, int depth, const QByteArray& bottom)
{
    int fd = ::open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        const int next = ::mkdirat(fd, "d", 0700) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool written = file >= 0 && ::write(file, bottom.constData(), size_t(bottom.size())) == bottom.size();
    ::close(file);
    ::close(fd);
    return written;
}

// The scanner's peak memory in KiB, from the system's accounting of it.
qint64 peakKiB(const Sandbox& box, const QStringList& arguments, int* status)
{
    QTemporaryDir dir;
    const QString figures = dir.filePath(QStringLiteral("time"));
    QProcess process;
    process.setProcessEnvironment(box.environment);
    process.start(QStringLiteral("/usr/bin/time"),
        QStringList {QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"), figures,
            box.program.file(QStringLiteral("vkprobe.exe"))} +
            arguments);
    if (!process.waitForFinished(300000))
        return -1;
    *status = process.exitCode();
    QFile file(figures);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().split('\n').last().toLongLong() : -1;
}

} // namespace

class TestVkprobe : public QObject {
    Q_OBJECT

private slots:
    void scansFoldersInEachMode()
    {
        Sandbox box;
        PrivateMounts mounts; // unmounted before the sandbox goes
        const QString home = box.home;
        writeFile(home + QStringLiteral("/Downloads/hashed.bin"), box.hashed);
        writeFile(home + QStringLiteral("/Downloads/clean.txt"), "nothing to see");
        const QByteArray inner = QByteArray(4000, 'a') + box.marker + QByteArray(4000, 'b');
        const QByteArray zip = zipOf("inner.txt", inner);
        QVERIFY(!zip.contains(box.marker)); // found only by reading the archive
        writeFile(home + QStringLiteral("/Desktop/bundle.zip"), zip);
        writeFile(home + QStringLiteral("/Documents/notes.txt"), "notes " + box.marker);
        writeFile(box.bin + QStringLiteral("/helper"), "#!/bin/sh\n# " + box.marker + '\n');
        QFile::setPermissions(box.bin + QStringLiteral("/helper"), QFile::ReadOwner | QFile::ExeOwner);
        writeFile(home + QStringLiteral("/.config/autostart/helper.desktop"),
            "[Desktop Entry]\nType=Application\nExec=env LANG=C helper --start\n");
        writeFile(home + QStringLiteral("/.config/autostart/gone.desktop"),
            "[Desktop Entry]\nType=Application\nExec=\"/nowhere/gone\"\n");
        // What lies outside the scanned folders is reached only through links.
        writeFile(box.root + QStringLiteral("/outside/planted.txt"), box.marker);
        QFile::link(box.root + QStringLiteral("/outside"), home + QStringLiteral("/Documents/outside-folder"));
        QFile::link(
            box.root + QStringLiteral("/outside/planted.txt"), home + QStringLiteral("/Documents/outside-file"));
        QFile::link(box.bin + QStringLiteral("/helper"), home + QStringLiteral("/Downloads/helper-link"));
        QVERIFY(::mkfifo(QFile::encodeName(home + QStringLiteral("/Documents/pipe")).constData(), 0600) == 0);
        const QString mounted = home + QStringLiteral("/Mounted");
        QDir().mkpath(mounted);
        const bool otherVolume = mounts.available() && mounts.mountTmpfs(mounted);
        // A runtime folder in memory holds libclamav's temporary files.
        if (mounts.available())
            QVERIFY(mounts.mountTmpfs(box.runtime));
        if (otherVolume)
            writeFile(mounted + QStringLiteral("/elsewhere.txt"), box.marker);
        // A bind mount of the same file system is another mount all the same.
        const QString bound = home + QStringLiteral("/Bound");
        QDir().mkpath(bound);
        if (mounts.available())
            QVERIFY(mounts.bind(box.root + QStringLiteral("/outside"), bound));

        QStringList quick {finding(home + QStringLiteral("/Desktop/bundle.zip"), kBodyName),
            finding(home + QStringLiteral("/Downloads/hashed.bin"), kHashName),
            finding(box.bin + QStringLiteral("/helper"), kBodyName)};
        quick.sort();
        QCOMPARE(box.run({QStringLiteral("0")}), 1);
        QStringList report = box.report();
        QVERIFY2(report.first().startsWith(QStringLiteral("Scan of ")) && report.first().contains(u"mode 0"),
            qPrintable(report.first()));
        QVERIFY2(report.last().startsWith(QStringLiteral("Done: ")) && report.last().contains(u" 3 findings"),
            qPrintable(report.last()));
        QCOMPARE(box.findings(), quick);
        QStringList detections = box.detections();
        detections.sort();
        QCOMPARE(detections, quick);

        // The full scan reads its mode from analyse.txt, and adds to viri.txt.
        box.program.write(QStringLiteral("analyse.txt"), "1\r\n");
        QCOMPARE(box.run({}), 1);
        const QStringList full {finding(home + QStringLiteral("/Desktop/bundle.zip"), kBodyName),
            finding(home + QStringLiteral("/Documents/notes.txt"), kBodyName),
            finding(home + QStringLiteral("/Downloads/hashed.bin"), kHashName)};
        QCOMPARE(box.findings(), full);
        QVERIFY(box.report().first().contains(u"mode 1"));
        QStringList before = box.detections().mid(0, 3);
        before.sort();
        QCOMPARE(before, quick);
        // What a scan finds again is listed once.
        QCOMPARE(box.detections().size(), 4);
        if (!otherVolume)
            qWarning("the full scan was not checked against a second volume: %s", qPrintable(mounts.problem()));

        // A volume: only what is below its mount point, on it.
        QCOMPARE(box.run({QStringLiteral("3"), home + QStringLiteral("/Documents")}), 1);
        QCOMPARE(box.findings(), QStringList {finding(home + QStringLiteral("/Documents/notes.txt"), kBodyName)});
        writeFile(box.root + QStringLiteral("/clean volume/readme.txt"), "clean");
        QCOMPARE(box.run({QStringLiteral("3"), box.root + QStringLiteral("/clean volume")}), 0);
        report = box.report();
        QCOMPARE(report.size(), 2);
        QVERIFY2(
            report.last().startsWith(QStringLiteral("Done: 1 files scanned, 0 findings")), qPrintable(report.last()));
        QCOMPARE(box.detections().size(), 4);
        QCOMPARE(box.leftInRuntime(), QStringList());
    }

    void scansRunningProgramsOnce()
    {
        Sandbox box;
        // A copy of a real program, marked, run twice.
        const QString sleeper = box.bin + QStringLiteral("/sleeper");
        QVERIFY(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), sleeper));
        QFile file(sleeper);
        QVERIFY(file.open(QIODevice::Append) && file.write(box.marker) == box.marker.size());
        file.close();
        QFile::setPermissions(sleeper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess first, second;
        first.start(sleeper, {QStringLiteral("60")});
        second.start(sleeper, {QStringLiteral("60")});
        QVERIFY(first.waitForStarted() && second.waitForStarted());

        QCOMPARE(box.run({QStringLiteral("2")}), 1);
        QCOMPARE(box.findings(), QStringList {finding(sleeper, kBodyName)});
        QCOMPARE(box.detections(), QStringList {finding(sleeper, kBodyName)});
        first.kill();
        second.kill();
        first.waitForFinished();
        second.waitForFinished();

        QCOMPARE(box.run({QStringLiteral("2")}), 0);
        QVERIFY(box.report().last().contains(u" 0 findings"));
    }

    void killedScanLeavesWholeFiles()
    {
        Sandbox box;
        const QString folder = box.root + QStringLiteral("/many");
        constexpr int kFiles = 6000;
        for (int i = 0; i < kFiles; ++i)
            writeFile(folder + QStringLiteral("/f%1").arg(i), "file " + QByteArray::number(i) + ' ' + box.marker);
        const QRegularExpression findingLine(
            QStringLiteral("^%1/f\\d+ : %2\\.UNOFFICIAL$").arg(QRegularExpression::escape(folder), kBodyName));
        QList<qint64> killed;
        for (int round = 0; round < 8; ++round) {
            QProcess scan;
            box.start(scan, {QStringLiteral("3"), folder});
            QThread::msleep(QRandomGenerator::global()->bounded(20, 400));
            killed.append(scan.processId());
            scan.kill();
            scan.waitForFinished();
            const QStringList report = box.report();
            if (report.isEmpty())
                continue; // killed before its first write
            QVERIFY2(report.first().startsWith(QStringLiteral("Scan of ")), qPrintable(report.first()));
            QVERIFY2(report.size() == 1 || report.last().startsWith(QStringLiteral("Scanning: ")) ||
                    report.last().startsWith(QStringLiteral("Done: ")),
                qPrintable(report.last()));
            for (const QString& line : report.mid(1, report.size() - 2))
                QVERIFY2(findingLine.match(line).hasMatch(), qPrintable(line));
            for (const QString& line : box.detections())
                QVERIFY2(findingLine.match(line).hasMatch(), qPrintable(line));
        }
        // The next scan clears the temporary folders the killed ones left,
        // but not one a live scan holds, whatever its process id says (a scan
        // in another process namespace may share the folder).
        const QString held = QStringLiteral("/dev/shm/vkprobe-999999999-") + QUuid::createUuid().toString(QUuid::Id128);
        QVERIFY(QDir().mkpath(held));
        const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(holder >= 0 && ::flock(holder, LOCK_EX) == 0);
        const auto release = qScopeGuard([&] {
            ::close(holder);
            QDir(held).removeRecursively();
        });
        QCOMPARE(box.run({QStringLiteral("3"), folder}), 1);
        QVERIFY2(box.report().last().startsWith(QStringLiteral("Done: %1 files scanned, %1 findings").arg(kFiles)),
            qPrintable(box.report().last()));
        const QStringList detections = box.detections();
        QCOMPARE(detections.size(), kFiles);
        QCOMPARE(QSet<QString>(detections.cbegin(), detections.cend()).size(), kFiles);
        const QStringList left = box.leftInRuntime() + QDir(QStringLiteral("/dev/shm")).entryList();
        for (const qint64 pid : killed)
            QVERIFY(left.filter(QRegularExpression(QStringLiteral("^vkprobe-%1-").arg(pid))).isEmpty());
        QVERIFY(QFileInfo::exists(held));
    }

    // What lies too deep, is too large, or unpacks past the limits is told
    // as not scanned, never as clean, and a deep tree costs little memory.
    void countsWhatItCouldNotScan()
    {
        Sandbox box;
        PrivateMounts mounts;
        const QString folder = box.root + QStringLiteral("/volume");
        QDir().mkpath(folder);
        const auto removeDeep = qScopeGuard([&] { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), folder}); });
        QVERIFY(makeDeepTree(folder, 20000, box.marker));
        QFile large(folder + QStringLiteral("/large.img"));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.write(box.marker) > 0 && large.resize(101 << 20));
        large.close();
        const QByteArray bomb = zipOf("zeros.bin", QByteArray(410 << 20, '\0') + box.marker);
        QVERIFY(bomb.size() < 1 << 20);
        writeFile(folder + QStringLiteral("/bomb.zip"), bomb);
        // A runtime folder too small for what an archive may unpack is left alone.
        if (mounts.available())
            QVERIFY(mounts.mountTmpfs(box.runtime, 64));

        int status = -1;
        const qint64 peak = peakKiB(box, {QStringLiteral("3"), folder}, &status);
        QCOMPARE(status, 3);
        QVERIFY2(peak > 0 && peak < 64 * 1024, qPrintable(QString::number(peak)));
        const QStringList report = box.report();
        QVERIFY2(report.last().startsWith(QStringLiteral("Done, not all scanned: ")) &&
                report.last().contains(u", 0 findings, ") && report.last().contains(u", 3 not scanned, "),
            qPrintable(report.join(u'\n')));
        QVERIFY(report.contains(QStringLiteral("Not scanned: 1 folders more than 1000 levels deep, with what they hold")));
        QVERIFY(report.contains(QStringLiteral("Not scanned: 1 files larger than 100 MiB, the engine's limit")));
        QVERIFY(report.filter(QStringLiteral("Not fully scanned: 1 archives")).size() == 1);
        QCOMPARE(box.leftInRuntime(), QStringList());
    }

    // Signatures that cannot serve are passed over, and the report says so;
    // a pipe among them never blocks the scan.
    void fallsBackPastBrokenSignatures()
    {
        Sandbox box;
        const QString own = box.home + QStringLiteral("/.local/share/corvatek/signatures");
        QDir().mkpath(own);
        QVERIFY(::mkfifo(QFile::encodeName(own + QStringLiteral("/main.cvd")).constData(), 0600) == 0);
        writeFile(own + QStringLiteral("/daily.ndb"), "not:a signature line at all\n");
        writeFile(box.home + QStringLiteral("/Downloads/hashed.bin"), box.hashed);
        QCOMPARE(box.run({QStringLiteral("0")}), 1);
        const QStringList report = box.report();
        QVERIFY2(report.filter(QStringLiteral("Signatures in %1 passed over: the database is damaged").arg(own)).size() == 1,
            qPrintable(report.join(u'\n')));
        QCOMPARE(box.findings().filter(kHashName).size(), 1);

        // Only a pipe: no database there at all.
        QFile::remove(own + QStringLiteral("/daily.ndb"));
        QCOMPARE(box.run({QStringLiteral("0")}), 1);
        QVERIFY2(box.report().contains(QStringLiteral("Signatures in %1 passed over: it holds no signature database").arg(own)),
            qPrintable(box.report().join(u'\n')));
    }

    // Above protection level 1 the user hears of findings and of a scan that
    // could not run, in the stored language; at level 1 nothing is said.
    void tellsTheUserInTheirLanguage()
    {
        Sandbox box;
        const QString told = box.root + QStringLiteral("/told");
        box.program.write(QStringLiteral("vknotify.exe"),
            "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(told) + "'\n");
        QFile::setPermissions(box.program.file(QStringLiteral("vknotify.exe")), QFile::ReadOwner | QFile::ExeOwner);
        const auto toldLines = [&told] {
            QFile file(told);
            for (int wait = 0; wait < 50 && !file.exists(); ++wait)
                QThread::msleep(100);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                                  : QStringList();
        };
        writeFile(box.home + QStringLiteral("/Downloads/hashed.bin"), box.hashed);
        box.speak("DE");
        box.program.write(QStringLiteral("track.txt"), "1\r\n");
        QCOMPARE(box.run({QStringLiteral("0")}), 1);
        QThread::msleep(300);
        QVERIFY(!QFileInfo::exists(told));
        QVERIFY2(box.report().first().startsWith(QStringLiteral("Prüfung vom ")) &&
                box.report().first().endsWith(QStringLiteral(", Modus 0 (schnell)")),
            qPrintable(box.report().first()));
        QVERIFY2(box.report().last().startsWith(QStringLiteral("Fertig: 1 Dateien geprüft, 1 Funde, ")),
            qPrintable(box.report().last()));

        box.program.write(QStringLiteral("track.txt"), "2\r\n");
        QCOMPARE(box.run({QStringLiteral("0")}), 1);
        QCOMPARE(toldLines(), QStringList {QStringLiteral("Die;Prüfung;hat;1;Bedrohungen;gefunden:;hashed.bin")});
        QFile::remove(told);
        box.speak("ESP");
        QCOMPARE(box.run({QStringLiteral("3")}), 2);
        QCOMPARE(toldLines(), QStringList {QStringLiteral(
            "No;se;pudo;realizar;el;análisis:;el;análisis;de;un;volumen;necesita;su;punto;de;montaje")});
    }

    void refusesWhatItCannotScan()
    {
        Sandbox box;
        const auto lastLine = [&box] { return box.report().value(box.report().size() - 1); };
        QCOMPARE(box.run({QStringLiteral("7")}), 2);
        QVERIFY2(lastLine().startsWith(QStringLiteral("Not done: unknown scan mode")), qPrintable(lastLine()));
        QCOMPARE(box.run({QStringLiteral("3")}), 2);
        QVERIFY2(lastLine().contains(u"mount point"), qPrintable(lastLine()));
        QCOMPARE(box.run({QStringLiteral("3"), box.root + QStringLiteral("/absent")}), 2);
        QVERIFY2(lastLine().contains(u"cannot be read"), qPrintable(lastLine()));

        QDir(box.signatures).removeRecursively();
        QDir().mkpath(box.signatures);
        writeFile(box.home + QStringLiteral("/Downloads/hashed.bin"), box.hashed);
        QCOMPARE(box.run({QStringLiteral("0")}), 2);
        QVERIFY2(lastLine().startsWith(QStringLiteral("Not done: there are no signatures in ")) &&
                lastLine().contains(box.signatures),
            qPrintable(lastLine()));
        QVERIFY(lastLine().contains(u"freshclam"));
        QVERIFY(!box.program.exists(QStringLiteral("viri.txt")));
    }
};

QTEST_GUILESS_MAIN(TestVkprobe)
#include "tst_vkprobe.moc"
