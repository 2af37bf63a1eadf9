#include "privatemounts.h"

#include <QFile>
#include <QProcess>

#include <sched.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvatek::test {

PrivateMounts::PrivateMounts()
{
    if (::geteuid() != 0)
        problem_ = QStringLiteral("mounting needs root");
    else if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        problem_ = QStringLiteral("no private mount namespace: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    else if (!run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-V")}))
        problem_ = QStringLiteral("mkfs.ext4 is missing");
}

PrivateMounts::~PrivateMounts()
{
    unmountAll();
}

void PrivateMounts::unmountAll()
{
    while (!mounted_.isEmpty())
        unmount(QString(mounted_.last())); // a copy: unmount drops the entry
}

bool PrivateMounts::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PrivateMounts::mountVolume(const QString& folder, int mebibytes)
{
    const QString image = images_.filePath(QStringLiteral("volume%1.img").arg(++imageCount_));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(mebibytes) << 20))
        return false;
    file.close();
    if (!run(QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), image}) ||
        !run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, folder}))
        return false;
    mounted_.append(folder);
    return true;
}

bool PrivateMounts::mountTmpfs(const QString& folder, int mebibytes)
{
    QStringList options {QStringLiteral("-t"), QStringLiteral("tmpfs")};
    if (mebibytes > 0)
        options << QStringLiteral("-o") << QStringLiteral("size=%1m").arg(mebibytes);
    if (!run(QStringLiteral("mount"), options << QStringLiteral("none") << folder))
        return false;
    mounted_.append(folder);
    return true;
}

bool PrivateMounts::bind(const QString& from, const QString& folder)
{
    if (!run(QStringLiteral("mount"), {QStringLiteral("--bind"), from, folder}))
        return false;
    mounted_.append(folder);
    return true;
}

bool PrivateMounts::mountCgroup2()
{
    const QString folder = QStringLiteral("/sys/fs/cgroup");
    struct statfs facts {};
    if (::statfs("/sys/fs/cgroup", &facts) == 0 && facts.f_type == CGROUP2_SUPER_MAGIC)
        return true;
    if (!run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("cgroup2"), QStringLiteral("none"), folder}))
        return false;
    mounted_.append(folder);
    return true;
}

bool PrivateMounts::unmount(const QString& folder)
{
    mounted_.removeOne(folder);
    // -d frees the loop device of a volume.
    return run(QStringLiteral("umount"), {QStringLiteral("-d"), folder});
}

} // namespace corvatek::test
