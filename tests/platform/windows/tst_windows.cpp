// What only the Windows backend does: the window messages, the mutex, the
// Run key, .lnk shortcuts and the recycle bin, on the real services (under
// wine in CI).
#include "platform/session.h"
#include "platform/shortcuts.h"
#include "platform/trash.h"
#include "platform/userfolders.h"
#include "testfolder.h"

#include <windows.h>

#include <dbt.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <QDir>
#include <QTest>

using namespace corvatek;
using platform::WindowMessage;

namespace {

std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool saveShortcut(const QString& link, const QString& target)
{
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&shellLink))))
        return false;
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(shellLink->SetPath(nativePath(target).c_str())) &&
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Save(nativePath(link).c_str(), TRUE));
    if (file)
        file->Release();
    shellLink->Release();
    return saved;
}

qint64 recycledItems()
{
    SHQUERYRBINFO info {};
    info.cbSize = sizeof info;
    return SUCCEEDED(::SHQueryRecycleBinW(nullptr, &info)) ? info.i64NumItems : -1;
}

const auto kMainWindow = reinterpret_cast<HWND>(std::uintptr_t(0x1234));

// A message to `to`, read by the instance whose main window is kMainWindow.
WindowMessage read(HWND to, UINT message, WPARAM first, LPARAM second)
{
    MSG msg {};
    msg.hwnd = to;
    msg.message = message;
    msg.wParam = first;
    msg.lParam = second;
    return platform::readWindowMessage(&msg, reinterpret_cast<std::uintptr_t>(kMainWindow));
}

} // namespace

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }

    // Only messages to the main window count: 2997 with its parameters, a
    // volume's arrival by the letter of its unit mask, a later start.
    void windowMessagesTellWhatHappened()
    {
        const HWND window = kMainWindow;
        const WindowMessage change = read(window, 2997, 2997, -1);
        QCOMPARE(change.kind, WindowMessage::RegistryChange);
        QCOMPARE(change.first, 2997u);
        QCOMPARE(change.second, ~std::uint64_t(0));
        QCOMPARE(read(reinterpret_cast<HWND>(std::uintptr_t(0x99)), 2997, 2997, 0).kind, WindowMessage::Other);

        DEV_BROADCAST_VOLUME volume {};
        volume.dbcv_size = sizeof volume;
        volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
        volume.dbcv_unitmask = 1u << 4;
        const auto arrival = [&] {
            return read(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&volume));
        };
        QCOMPARE(arrival().kind, WindowMessage::VolumeAttached);
        QCOMPARE(arrival().volume, std::string("E:\\"));
        volume.dbcv_unitmask = (1u << 3) | (1u << 1); // two volumes: one letter, by the rounded logarithm
        QCOMPARE(arrival().volume, std::string("D:\\"));
        volume.dbcv_flags = DBTF_MEDIA; // a disc put into a drive
        QCOMPARE(arrival().kind, WindowMessage::Other);
        volume.dbcv_flags = DBTF_NET;
        QCOMPARE(arrival().kind, WindowMessage::Other);
        volume.dbcv_flags = 0;
        QCOMPARE(read(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&volume)).kind,
            WindowMessage::Other);

        const UINT secondStart = ::RegisterWindowMessageW(L"corvatek.exe second start");
        QCOMPARE(read(window, secondStart, 0, 0).kind, WindowMessage::SecondStart);
    }

    void oneInstanceHoldsTheMutex()
    {
        const std::string name = "corvatek-test-" + std::to_string(::GetCurrentProcessId());
        {
            const auto first = platform::claimInstance(name);
            QCOMPARE(first.result, platform::InstanceClaim::Result::Claimed);
            QCOMPARE(platform::claimInstance(name).result, platform::InstanceClaim::Result::HeldElsewhere);
        }
        QCOMPARE(platform::claimInstance(name).result, platform::InstanceClaim::Result::Claimed);
    }

    // The Run key: a value written and read back, a dead one found among the
    // others and deleted, a live one and ours kept.
    void runValuesRoundTrip()
    {
        test::TestFolder folder;
        folder.write(QStringLiteral("agent.exe"), "MZ");
        const QString tag = QString::number(::GetCurrentProcessId());
        const std::string live = ("CorvatekTestLive" + tag).toStdString();
        const std::string dead = ("CorvatekTestDead" + tag).toStdString();
        const std::string ours = ("CorvatekTestOurs" + tag).toStdString();
        const std::string agent = QDir::toNativeSeparators(folder.file(QStringLiteral("agent.exe"))).toStdString();
        const std::string gone = QDir::toNativeSeparators(folder.file(QStringLiteral("gone.exe"))).toStdString();
        QVERIFY(platform::setAutostartCommand(live, "\"" + agent + "\" /autoRun"));
        QVERIFY(platform::setAutostartCommand(dead, gone + " /autoRun"));
        QVERIFY(platform::setAutostartCommand(ours, gone));
        QCOMPARE(platform::autostartCommand(live), "\"" + agent + "\" /autoRun");
        QCOMPARE(platform::autostartCommand("CorvatekTestNever" + tag.toStdString()), std::string());

        // Other tests' values may lie in the same key: only this test's count.
        const auto removed = [&](const std::string& keep) {
            std::vector<std::string> names;
            for (const auto& name : platform::removeDeadAutostartEntries(keep)) {
                if (name.ends_with(tag.toStdString()))
                    names.push_back(name);
            }
            return names;
        };
        QCOMPARE(removed(ours), std::vector<std::string> {dead});
        QCOMPARE(platform::autostartCommand(dead), std::string());
        QCOMPARE(platform::autostartCommand(ours), gone);
        QVERIFY(QFile::remove(folder.file(QStringLiteral("agent.exe"))));
        QCOMPARE(removed(ours), std::vector<std::string> {live});
        // Ours goes only by its own hand.
        QCOMPARE(removed("other"), std::vector<std::string> {ours});
    }

    // A shortcut is broken once its target is gone, which the shell link
    // alone does not tell.
    void shortcutsResolveUntilTheirTargetIsGone()
    {
        test::TestFolder folder;
        folder.write(QStringLiteral("tool.exe"), "MZ");
        QVERIFY(saveShortcut(folder.file(QStringLiteral("Tool.lnk")), folder.file(QStringLiteral("tool.exe"))));
        QVERIFY(saveShortcut(folder.file(QStringLiteral("Notes.LNK")), folder.file(QStringLiteral("notes.txt"))));
        folder.write(QStringLiteral("notes.txt"), "x");
        folder.write(QStringLiteral("junk.lnk"), "not a shortcut");
        const auto broken = [&] {
            QStringList names;
            for (const auto& name : platform::brokenShortcuts(folder.path().toStdString()).names)
                names.append(QString::fromStdString(name));
            return names;
        };
        QCOMPARE(broken(), QStringList {"junk.lnk"});
        QVERIFY(QFile::remove(folder.file(QStringLiteral("tool.exe"))));
        QCOMPARE(broken(), (QStringList {"Tool.lnk", "junk.lnk"}));
        const auto listed = platform::brokenShortcuts(folder.path().toStdString());
        QCOMPARE(platform::deleteFromFolder(folder.path().toStdString(), listed, listed.names), std::size_t(2));
        QVERIFY(folder.exists(QStringLiteral("Notes.LNK")));
    }

    void recycleBinIsEmptied()
    {
        test::TestFolder folder;
        folder.write(QStringLiteral("old.txt"), "x");
        std::wstring from = nativePath(folder.file(QStringLiteral("old.txt")));
        from.push_back(L'\0'); // the list ends with an empty name
        SHFILEOPSTRUCTW operation {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
        QCOMPARE(::SHFileOperationW(&operation), 0);
        QVERIFY(recycledItems() >= 1);

        int calls = 0;
        const auto outcome = platform::emptyTrash(platform::trashFolders(), [&] { ++calls; });
        QVERIFY(outcome.deleted >= 1);
        QCOMPARE(outcome.kept, std::size_t(0));
        QCOMPARE(recycledItems(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWindows)
#include "tst_windows.moc"
