// The files of the program folder, each named once: the tables, the flag and
// list files shared with the companions, and the companions themselves. The
// names are the suite's own and never change: companions find each other's
// files by them.
#pragma once

#include <QStringView>

namespace corvatek::files {

// Tables (XML data packets).
inline constexpr QStringView Rules = u"regles.xml";
inline constexpr QStringView Alerts = u"alertes.xml";
inline constexpr QStringView Events = u"evenements.xml";
inline constexpr QStringView Quarantine = u"quarantaines.xml";
inline constexpr QStringView Languages = u"langues.xml";
inline constexpr QStringView Sites = u"site.xml";
inline constexpr QStringView Configuration = u"configuration.xml";

// Flag and list files.
inline constexpr QStringView SpamList = u"spam.txt";
inline constexpr QStringView Detections = u"viri.txt";
inline constexpr QStringView ProtectionLevel = u"track.txt";
inline constexpr QStringView ScanReport = u"anaviri.txt";
inline constexpr QStringView ScanMode = u"analyse.txt";
// Whether the scan page's hourly scan is on ("1") or off ("0"); the control centre's own.
inline constexpr QStringView HourlyScan = u"analyseheure.txt";
inline constexpr QStringView ApplicationPorts = u"portappli.txt";
inline constexpr QStringView ClosedPorts = u"portsfermes.txt";
// A mode value the companions keep; the control centre only creates it.
inline constexpr QStringView CompanionMode = u"mode.txt";
inline constexpr QStringView FirewallMode = u"firewall.txt";
inline constexpr QStringView SiteControl = u"ctrlpl.txt";
inline constexpr QStringView SiteAddress = u"ipcp.txt";
inline constexpr QStringView ProcessModifications = u"modprocess.txt";
inline constexpr QStringView DiskCheckList = u"liste2.txt";
// The backup page's schedule, chosen entry and entries; the control centre's own.
inline constexpr QStringView BackupSchedule = u"sauvegardes.txt";
// The watched-modification files the companions write.
inline constexpr QStringView ModificationFiles = u"*mod*.txt";
// Logs the companions keep of their runs.
inline constexpr QStringView BackupLog = u"vksave.log";
inline constexpr QStringView UpdateLog = u"vkupdate.log";

// Companions.
inline constexpr QStringView Guard = u"vkguard.exe";
inline constexpr QStringView Scanner = u"vkprobe.exe";
inline constexpr QStringView DiskTool = u"vkcheck.exe";
inline constexpr QStringView SiteLookup = u"vksites.exe";
inline constexpr QStringView NetworkTool = u"vkwall.exe";
inline constexpr QStringView MailFilter = u"vkmail.exe";
inline constexpr QStringView BackupTool = u"vksave.exe";
inline constexpr QStringView Updater = u"vkupdate.exe";
inline constexpr QStringView Reachability = u"vkreach.exe";
inline constexpr QStringView Host = u"vkhost.exe";
inline constexpr QStringView Notifier = u"vknotify.exe";

} // namespace corvatek::files
