// The values the control centre and the companions pass each other in files,
// on command lines and in messages, each a type with its one file text. Free
// of Qt, so that the companions use the same types; valuetext.h gives the
// control centre's side its QString form.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace corvatek {

// firewall.txt: what the network tool does with the firewall. Another text
// may stand in the file; it counts as off for the tool and is shown as read.
enum class FirewallMode { On = 1, Off = 2, Always = 3 };
// analyse.txt and the scanner's first argument.
enum class ScanMode { Quick = 0, Full = 1, RunningPrograms = 2, Volume = 3 };
// track.txt: the slider's position. Notifications are sent above Low.
enum class ProtectionLevel { Low = 1, Normal = 2, High = 3 };
// A yes/no value: ctrlpl.txt, analyseheure.txt, the configuration table's
// check boxes and each network option flag.
enum class Switch { Off = 0, On = 1 };
// mode.txt: the companions keep it; the control centre only creates it.
enum class CompanionMode { Initial = 0 };
// The disk tool's first argument. The page's fourth button, labelled like a
// fourth mode, deletes the listed files itself and starts no tool.
enum class DiskCheckMode { WholeDisk = 0, Folder = 1, ListFiles = 2, DeleteListed = 3 };
// What follows the mode in a whole-disk run, always this.
inline constexpr std::string_view kWholeDiskArgument = "0";
// vkupdate.exe's one argument when the status monitor starts it.
inline constexpr std::string_view kUpdateArgument = "0";
// sauvegardes.txt, line 1: when the status monitor runs the backup.
enum class BackupSchedule { Manual = 0, EveryMinute = 1, Hourly = 2 };

// The message a companion sends when it changed the system's settings,
// "2997 <first> <second>"; acted on only when its first parameter repeats it.
inline constexpr int kRegistryChangeMessage = 2997;

// The values each kind may take, lowest and highest.
// clang-format off
constexpr auto valueRange(FirewallMode) { return std::pair {FirewallMode::On, FirewallMode::Always}; }
constexpr auto valueRange(ScanMode) { return std::pair {ScanMode::Quick, ScanMode::Volume}; }
constexpr auto valueRange(ProtectionLevel) { return std::pair {ProtectionLevel::Low, ProtectionLevel::High}; }
constexpr auto valueRange(Switch) { return std::pair {Switch::Off, Switch::On}; }
constexpr auto valueRange(CompanionMode) { return std::pair {CompanionMode::Initial, CompanionMode::Initial}; }
constexpr auto valueRange(DiskCheckMode) { return std::pair {DiskCheckMode::WholeDisk, DiskCheckMode::DeleteListed}; }
constexpr auto valueRange(BackupSchedule) { return std::pair {BackupSchedule::Manual, BackupSchedule::Hourly}; }
// clang-format on

// Every value is written as its one decimal digit.
template<typename Value> constexpr std::string_view fileText(Value value)
{
    return std::string_view("0123456789").substr(std::size_t(value), 1);
}

// The value a file or an argument holds: exactly its digit, nothing around it.
template<typename Value> constexpr std::optional<Value> valueOf(std::string_view text)
{
    if (text.size() != 1 || text[0] < '0' || text[0] > '9')
        return std::nullopt;
    const int digit = text[0] - '0';
    const auto [first, last] = valueRange(Value {});
    if (digit < int(first) || digit > int(last))
        return std::nullopt;
    return Value(digit);
}

constexpr Switch switchOf(bool on)
{
    return on ? Switch::On : Switch::Off;
}

} // namespace corvatek
