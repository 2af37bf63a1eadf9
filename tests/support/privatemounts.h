// Real mounts for tests, made in a mount namespace of the test process's own
// so that none of them reaches the machine. Needs root (CI runs as root);
// elsewhere `available()` is false and says why.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace corvatek::test {

class PrivateMounts {
public:
    // Call before any thread that must see the mounts is made.
    PrivateMounts();
    ~PrivateMounts(); // unmounts what it mounted, in reverse order

    bool available() const { return problem_.isEmpty(); }
    const QString& problem() const { return problem_; }

    // A fresh ext4 volume on a loop device: a block device, as a USB stick
    // is.
    bool mountVolume(const QString& folder, int mebibytes = 8);
    // Of the system's default size when `mebibytes` is 0.
    bool mountTmpfs(const QString& folder, int mebibytes = 0);
    bool bind(const QString& from, const QString& folder);
    // The unified cgroup hierarchy at /sys/fs/cgroup, where the machine
    // has another one there.
    bool mountCgroup2();
    bool unmount(const QString& folder);
    void unmountAll();

private:
    bool run(const QString& program, const QStringList& arguments);

    QString problem_;
    QTemporaryDir images_;
    QStringList mounted_;
    int imageCount_ = 0;
};

} // namespace corvatek::test
