// What the guard works from: the twelve configuration switches, the
// protection level and the user's downloads folder, and the folders each
// switch has the client watch itself.
#pragma once

#include "data/programfiles.h"
#include "scanning/guardprotocol.h"

#include <string>
#include <vector>

namespace corvatek::vkguard {

using scanning::guard::Guarding;
using scanning::guard::Watched;

// The switches by number, as configuration.xml numbers its fields.
namespace flag {
inline constexpr int ScanOnWrite = 1;
inline constexpr int ScanDownloads = 2;
inline constexpr int SystemFiles = 3;
inline constexpr int SettingsFiles = 4;
inline constexpr int Autostart = 5;
inline constexpr int NewPrograms = 6;
} // namespace flag

// Reads configuration.xml under its lock as the control centre does; a
// missing or unreadable file counts as the defaults the control centre
// writes in its place. track.txt gives the level (2 when it holds none).
// While configuration.xml stays in use past the wait, the switches in
// force stay (the defaults when none are): `busy` says to read it again.
struct SettingsRead {
    Guarding settings;
    bool busy = false;
};
SettingsRead readSettings(const data::ProgramFiles& files, const Guarding* inForce);

// The twelve switches as digits, "110011110000".
std::string flagsText(const Guarding& settings);

// The folders whose written files the client scans itself, without the
// service: downloads, desktop and home with scanning on writing, the
// downloads folder alone with only the downloads switch on.
std::vector<std::string> scanFolders(const Guarding& settings);

struct WatchedFolder {
    std::string path;
    Watched kind;
    bool withSubfolders = false; // its immediate subfolders too
};
// The folders whose entries the client watches for changes (switches 3 to 5).
std::vector<WatchedFolder> watchedFolders(const Guarding& settings);

} // namespace corvatek::vkguard
