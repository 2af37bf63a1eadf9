// The state that outlives every page: settings read at start, flags the
// pages set, and what the status monitor reads at every tick. Owned by the
// main window, read and written on the window thread only.
#pragma once

#include "supervision/companions.h"
#include "data/values.h"
#include "localisation/captions.h"
#include "localisation/texts.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace corvatek::supervision {

inline constexpr int kProtocolCount = 7; // FTP, TELNET, SMTP, DNS, HTTP, HTTPS, POP3
inline constexpr int kConfigurationFlagCount = 12;

struct ProcessState {
    QDateTime startTime;
    std::optional<std::uint64_t> startResidentBytes; // what the program held when it had started
    std::array<bool, kProtocolCount> protocolFlags {};
    bool internetFlag = true;
    bool siteControlFlag = true;
    bool backupPageCheckFlag = true;
    bool hourlyScanFlag = true;
    bool baseUpdateStarted = false;
    // What firewall.txt holds; none when it holds another text, which is off.
    std::optional<FirewallMode> firewall;
    std::array<bool, kConfigurationFlagCount> configurationFlags {}; // flag N at N - 1
    ProcessSnapshot snapshot;
    QString languageCode;
    localisation::CaptionTable captions;
    QString linksWord;
    QString memoryWord;
    ProtectionLevel protectionLevel = ProtectionLevel::Normal; // the slider's position
    // The backup schedule, chosen on the backup page and kept in its file.
    bool manualBackupFlag = false;
    bool hourlyBackupFlag = false;
    bool everyMinuteBackupFlag = false;
    QString selectedBackupEntry;
    QStringList backupEntries;
    bool networkOption10 = false;
    bool networkOption11 = false;

    // What the network tool is told: on for On and Always, off for anything else.
    bool firewallOn() const { return firewall == FirewallMode::On || firewall == FirewallMode::Always; }
    bool configurationFlag(int n) const { return configurationFlags[std::size_t(n - 1)]; }
    const QString& caption(Caption c) const { return captions.caption(c); }
    // One of the control centre's own texts, in the current language.
    QString text(localisation::Text id, std::initializer_list<QString> arguments = {}) const
    {
        return localisation::text(localisation::languageOf(languageCode).value_or(localisation::Language::French), id,
            arguments);
    }
};

} // namespace corvatek::supervision
