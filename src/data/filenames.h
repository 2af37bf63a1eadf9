// The files of the program folder, each named once: the tables, the flag and
// list files shared with the companions, and the companions themselves. The
// names are the suite's own and never change: companions find each other's
// files by them. Free of Qt, so that a companion without Qt's library names
// each file as the control centre does.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvatek::files {

// A file's name, ASCII as every one is, held as UTF-16: Qt's string views
// take it as any text of their own (QStringView(name).toString() where a
// QString is wanted), the light companions as a string view.
class FileName {
public:
    constexpr FileName(const char16_t* name) : name_(name) { }

    constexpr operator std::u16string_view() const { return name_; }
    constexpr const char16_t* data() const { return name_.data(); }
    constexpr std::size_t size() const { return name_.size(); }
    constexpr auto begin() const { return name_.begin(); }
    constexpr auto end() const { return name_.end(); }

private:
    std::u16string_view name_;
};

// Tables (XML data packets).
inline constexpr FileName Rules = u"regles.xml";
inline constexpr FileName Alerts = u"alertes.xml";
inline constexpr FileName Events = u"evenements.xml";
inline constexpr FileName Quarantine = u"quarantaines.xml";
inline constexpr FileName Languages = u"langues.xml";
inline constexpr FileName Sites = u"site.xml";
inline constexpr FileName Configuration = u"configuration.xml";

// Flag and list files.
inline constexpr FileName SpamList = u"spam.txt";
inline constexpr FileName Detections = u"viri.txt";
inline constexpr FileName ProtectionLevel = u"track.txt";
inline constexpr FileName ScanReport = u"anaviri.txt";
inline constexpr FileName ScanMode = u"analyse.txt";
// Whether the scan page's hourly scan is on ("1") or off ("0"); the control centre's own.
inline constexpr FileName HourlyScan = u"analyseheure.txt";
inline constexpr FileName ApplicationPorts = u"portappli.txt";
inline constexpr FileName ClosedPorts = u"portsfermes.txt";
// A mode value the companions keep; the control centre only creates it.
inline constexpr FileName CompanionMode = u"mode.txt";
inline constexpr FileName FirewallMode = u"firewall.txt";
inline constexpr FileName SiteControl = u"ctrlpl.txt";
inline constexpr FileName SiteAddress = u"ipcp.txt";
inline constexpr FileName ProcessModifications = u"modprocess.txt";
// The real-time guard's other watched modifications: system files, the
// user's settings files, autostart entries.
inline constexpr FileName SystemModifications = u"modsysteme.txt";
inline constexpr FileName SettingsModifications = u"modreglages.txt";
inline constexpr FileName AutostartModifications = u"moddemarrage.txt";
inline constexpr FileName DiskCheckList = u"liste2.txt";
// The backup page's schedule, chosen entry and entries; the control centre's own.
inline constexpr FileName BackupSchedule = u"sauvegardes.txt";
// The watched-modification files the companions write.
inline constexpr FileName ModificationFiles = u"*mod*.txt";
// Logs the companions keep of their runs.
inline constexpr FileName BackupLog = u"vksave.log";
inline constexpr FileName UpdateLog = u"vkupdate.log";
inline constexpr FileName GuardLog = u"vkguard.log";
inline constexpr FileName NetworkLog = u"vkwall.log";
inline constexpr FileName ReachabilityLog = u"vkreach.log";
inline constexpr FileName DiskCheckLog = u"vkcheck.log";
inline constexpr FileName MailLog = u"vkmail.log";
// Where the mail filter stopped in each store, so that a run looks only at
// what is new; the mail filter's own.
inline constexpr FileName MailPositions = u"vkmail.pos";
// Held by the mail filter's run, so that a second one started meanwhile ends.
inline constexpr FileName MailLock = u"vkmail.lock";

// The control centre, one instance per user by this name, and its companions.
inline constexpr FileName ControlCentre = u"corvatek.exe";
inline constexpr FileName Guard = u"vkguard.exe";
inline constexpr FileName Scanner = u"vkprobe.exe";
inline constexpr FileName DiskTool = u"vkcheck.exe";
inline constexpr FileName SiteLookup = u"vksites.exe";
inline constexpr FileName NetworkTool = u"vkwall.exe";
inline constexpr FileName MailFilter = u"vkmail.exe";
inline constexpr FileName BackupTool = u"vksave.exe";
inline constexpr FileName Updater = u"vkupdate.exe";
inline constexpr FileName Reachability = u"vkreach.exe";
inline constexpr FileName Host = u"vkhost.exe";
inline constexpr FileName Notifier = u"vknotify.exe";
// The real-time guard client's own engine, which only vkguard.exe starts.
inline constexpr FileName GuardEngine = u"vkguardscan.exe";
// The mail filter's own engine, which only vkmail.exe starts.
inline constexpr FileName MailEngine = u"vkmailscan.exe";

} // namespace corvatek::files
