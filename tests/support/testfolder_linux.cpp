// What the test folder needs of Linux: its processes from /proc, and root's
// file capabilities put aside.
#include "testfolder.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace corvatek::test {

QList<int> processesIn(const QString& folder)
{
    QList<int> ids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        const bool zombie = stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
        if (!zombie && exe.startsWith(folder))
            ids.append(pid);
    }
    return ids;
}

void killProcess(int pid)
{
    ::kill(pid, SIGKILL);
}

namespace {

// Root passes permission checks through these capabilities; without them in
// its effective set it is checked as the files' owner.
void setFileOverrides(bool on)
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        const unsigned bit = 1u << (capability % 32);
        auto& effective = data[capability / 32].effective;
        effective = on ? effective | (data[capability / 32].permitted & bit) : effective & ~bit;
    }
    if (::syscall(SYS_capset, &header, data) != 0)
        qFatal("cannot change the test's file capabilities");
}

} // namespace

OrdinaryUserFileAccess::OrdinaryUserFileAccess()
{
    setFileOverrides(false);
}

OrdinaryUserFileAccess::~OrdinaryUserFileAccess()
{
    setFileOverrides(true);
}

} // namespace corvatek::test
