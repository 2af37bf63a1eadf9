// Everything that outlives a page: the process-wide state, the program
// folder's files, the companions, and the few seams through which tests
// answer questions, watch what is opened and set the clock.
#pragma once

#include "companions/companions.h"
#include "data/programfiles.h"
#include "localisation/captions.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <functional>

class QWidget;

namespace corvatek::shell {

// The product web site, opened on several occasions.
inline constexpr char kProductWebSite[] = "https://www.corvatek.example/";

struct Seams {
    std::function<QDateTime()> now;
    // A Yes/No question of the information kind; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> askYesNo;
    // Opens an address or a document with the user's default handler.
    std::function<void(const QString& target)> open;
    // Tells the user about an unexpected error or a problem found at start.
    std::function<void(QWidget* parent, const QString& text)> report;

    static Seams system();
};

inline constexpr int kProtocolCount = 7; // FTP, TELNET, SMTP, DNS, HTTP, HTTPS, POP3
inline constexpr int kConfigurationFlagCount = 12;

struct ProcessState {
    QDateTime startTime;
    std::array<bool, kProtocolCount> protocolFlags {};
    bool internetFlag = true;
    bool siteControlFlag = true;
    bool backupPageCheckFlag = true;
    bool hourlyScanFlag = true;
    bool baseUpdateStarted = false;
    QString firewallValue;
    bool firewallOn = false;
    std::array<bool, kConfigurationFlagCount> configurationFlags {}; // flag N at N - 1
    companions::ProcessSnapshot snapshot;
    QString languageCode;
    localisation::CaptionTable captions;
    QString linksWord;
    QString memoryWord;
    int protectionLevel = 2; // the slider's position, 1..3
    bool networkOption10 = false;
    bool networkOption11 = false;

    bool configurationFlag(int n) const { return configurationFlags[std::size_t(n - 1)]; }
    const QString& caption(int n) const { return captions.caption(n); }
    QString levelText() const { return QString::number(protectionLevel); }
};

struct Session {
    Session(QString programFolder, Seams seams);

    const QString folder;
    ProcessState state;
    data::ProgramFiles files;
    companions::Companions companions;
    Seams seams;

    void openWebSite() const { seams.open(QString::fromLatin1(kProductWebSite)); }
};

} // namespace corvatek::shell
