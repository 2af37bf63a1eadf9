#include "platform/commandline.h"
#include "platform/linux/mounttable.h"
#include "platform/volumes.h"
#include "privatemounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <sys/stat.h>

using namespace corvatek;
using platform::mounts::MountEntry;

namespace {

QStringList mountPoints(const std::vector<MountEntry>& entries)
{
    QStringList points;
    for (const auto& entry : entries)
        points.append(QString::fromStdString(entry.mountPoint));
    return points;
}

bool signalled(int fd)
{
    pollfd watched {fd, POLLPRI, 0};
    return ::poll(&watched, 1, 5000) == 1 && (watched.revents & POLLPRI);
}

} // namespace

class TestVolumes : public QObject {
    Q_OBJECT

private slots:
    void picksArrivalsAndScannableVolumesFromTheTable()
    {
        const QByteArray common = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                                  "27 1 0:40 / / rw - overlay overlay rw,lowerdir=/l\n"
                                  "30 27 8:1 / /data rw shared:2 - ext4 /dev/sda1 rw\n";
        const QByteArray before = common + "31 27 8:2 / /home rw shared:3 master:1 - ext4 /dev/sda2 rw\n";
        const QByteArray after = common +
            "31 27 8:2 / /home ro shared:3 master:1 - ext4 /dev/sda2 ro\n"
            "40 27 8:17 / /media/ann/USB\\040STICK rw,nosuid - vfat /dev/sdb1 rw\n"
            "41 27 0:50 / /run/user/1000 rw - tmpfs tmpfs rw\n"
            "42 27 0:51 / /mnt/nfs rw - nfs4 server:/export rw\n"
            "43 27 0:52 / /mnt/share rw - cifs //server/share rw\n"
            "44 27 8:2 /ann/photos /mnt/photos rw - ext4 /dev/sda2 rw\n"
            "45 27 8:1 / /mnt/again rw - ext4 /dev/sda1 rw\n"
            "46 27 11:0 / /media/ann/DVD ro - iso9660 /dev/sr0 ro\n"
            "garbage\n\n"
            "47 27 8:33 / /media/ann/Caf\xc3\xa9\\011\"Q\"\\134x rw - exfat /dev/sdc1 rw\n"
            "48 27 8:17 / /media/ann/USB\\040STICK/again rw - vfat /dev/sdb1 rw\n"
            "49 27 0:60 / /mnt/ssh rw - fuse.sshfs ann@host:/ rw\n"
            "50 27 7:3 / /mnt/image rw - ext4 /home/ann/disk.img rw\n"
            "51 27 8:5 / /mnt/cut rw - ext4 /dev/sdz\n"
            "x 27 8:6 / /mnt/bad rw - ext4 /dev/sdy rw\n"
            "53 27 8:6:7 / /mnt/bad rw - ext4 /dev/sdy rw\n"
            "54 27 8:49 / /mnt/stack rw - ext4 /dev/sdd1 rw\n"
            "55 27 8:65 / /mnt/stack rw - ext4 /dev/sde1 rw\n"
            "56 27 8:7 / /mnt/end\\13 rw - ext4 /dev/sdf rw";
        const auto blockDevice = [](const MountEntry& entry) { return entry.source.starts_with("/dev/"); };
        const auto known = platform::mounts::parse(before.toStdString());
        const auto now = platform::mounts::parse(after.toStdString());
        QCOMPARE(known.size(), 4u);
        QCOMPARE(now.size(), 18u);
        QCOMPARE(now[4].id, 40);

        const QString cafe = QStringLiteral("/media/ann/Caf\u00e9\t\"Q\"\\x");
        QCOMPARE(mountPoints(platform::mounts::arrivals(known, now, blockDevice)),
            (QStringList {QStringLiteral("/media/ann/USB STICK"), cafe, QStringLiteral("/mnt/stack"),
                QStringLiteral("/mnt/end\\13")}));
        QVERIFY(platform::mounts::arrivals(now, now, blockDevice).empty());
        // A freed mount id is handed to the next mount, which still arrives.
        const auto reused =
            platform::mounts::parse((common + "31 27 8:81 / /media/ann/CARD rw - vfat /dev/sdf1 rw\n").toStdString());
        QCOMPARE(mountPoints(platform::mounts::arrivals(known, reused, blockDevice)),
            QStringList {QStringLiteral("/media/ann/CARD")});

        // The root comes first though it is an overlay; a disc is scannable.
        QCOMPARE(mountPoints(platform::mounts::scannable(now, blockDevice)),
            (QStringList {QStringLiteral("/"), QStringLiteral("/data"), QStringLiteral("/home"),
                QStringLiteral("/media/ann/USB STICK"), QStringLiteral("/media/ann/DVD"), cafe,
                QStringLiteral("/mnt/stack"), QStringLiteral("/mnt/end\\13")}));

        const auto holder = [&](std::string_view path) { return platform::mounts::holding(now, path)->id; };
        QCOMPARE(holder("/etc/passwd"), 27);
        QCOMPARE(holder("/media/ann/USB STICK/againx"), 40);
        QCOMPARE(holder("/media/ann/USB STICK/again/x"), 48);
        QCOMPARE(holder("/mnt/stack"), 55);
    }

    // The whole watch on a real volume; the scan page's test drives the
    // question and the cases that must ask nothing.
    void reportsARealStickOnce()
    {
        test::PrivateMounts mounts;
        if (!mounts.available())
            QSKIP(qPrintable(mounts.problem()));
        QTemporaryDir dir;
        const QString point = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/USB STICK \u00e9");
        QVERIFY(QDir().mkdir(point));

        platform::VolumeArrivals arrivals;
        QVERIFY(arrivals.descriptor() >= 0);
        QVERIFY(arrivals.takeArrivals().empty()); // what was mounted is known
        QVERIFY(mounts.mountVolume(point));
        QVERIFY(signalled(arrivals.descriptor()));
        const auto arrived = arrivals.takeArrivals();
        QCOMPARE(arrived.size(), 1u);
        const platform::Volume stick = arrived.front();
        QCOMPARE(QString::fromStdString(stick.root), point);
        struct stat status { };
        QVERIFY(::stat(point.toLocal8Bit().constData(), &status) == 0);
        QCOMPARE(stick.device, static_cast<unsigned long long>(status.st_dev));

        bool listed = false;
        for (const auto& volume : platform::scannableVolumes())
            listed = listed || (volume.root == stick.root && volume.device == stick.device);
        QVERIFY(listed);
        const auto holder = platform::volumeOf((point + QStringLiteral("/lost+found")).toStdString());
        QVERIFY(holder && holder->root == stick.root && holder->device == stick.device);
        QVERIFY(platform::volumeReadable(stick) && platform::listVolumeRoot(stick));

        // Pulled out: the folder left behind is not the volume.
        QVERIFY(mounts.unmount(point));
        QVERIFY(!platform::volumeReadable(stick) && !platform::listVolumeRoot(stick));
        QVERIFY(arrivals.takeArrivals().empty());
    }

    void quotedArgumentsComeBackUnchanged()
    {
        QCOMPARE(platform::quoteArgument("C:\\dir\\file.exe"), std::string("C:\\dir\\file.exe"));
        QCOMPARE(platform::quoteArgument("Caf\xc3\xa9"), std::string("Caf\xc3\xa9"));
        std::vector<std::string> arguments {"", "a b", "tab\there", "\"", "say \"hi\"", "end\\", "end space\\",
            "\\\\server\\share\\", "\\\"", "a\\\\\"b", "\xc3\xa9 \xc3\xbc", "\"\"", "  "};
        // And many made of nothing but the characters that matter.
        const char alphabet[] = {'a', ' ', '\t', '"', '\\', '\xc3'};
        QRandomGenerator random(11);
        for (int i = 0; i < 2000; ++i) {
            std::string argument;
            for (int length = random.bounded(9); length > 0; --length)
                argument.push_back(alphabet[random.bounded(int(sizeof alphabet))]);
            arguments.push_back(argument);
        }
        for (const auto& argument : arguments) {
            const auto split = platform::splitCommandLine("3 " + platform::quoteArgument(argument));
            QVERIFY2((split == std::vector<std::string> {"3", argument}), argument.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestVolumes)
#include "tst_volumes.moc"
