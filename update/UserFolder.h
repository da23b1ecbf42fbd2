#pragma once
// Where the updater keeps its diagnostic log and settings files: the per-user data folder
// ($XDG_DATA_HOME, else ~/.local/share) + "/Vornell/VornBSL", created when missing and
// kept owner-only; the folder of the program itself when that cannot be had.
#include <string>
#include <vector>

namespace vorn::update {

inline constexpr const char* kProgramCaption = "Vornell Firmware Updater";

std::string UserFolder(const std::string& programFolder);
// "<folder>/Vornell Firmware Updater.errors.txt"
std::string ErrorLogPath(const std::string& userFolder);
// "<folder>/<device>.settings.txt": where an update keeps the instrument's settings while
// its firmware is replaced. The window and the CLI use the same file, so either finishes
// the other's interrupted update.
std::string SettingsFilePath(const std::string& userFolder, const std::string& deviceName);
// "<folder>/<device>.port-<port key>.settings.txt": the settings file of a bench update,
// one of several side by side, each on its own port.
std::string PortSettingsFilePath(const std::string& userFolder, const std::string& deviceName,
                                 const std::string& portKey);
// "<folder>/<port key>.lock": held while the port is being updated.
std::string PortLockPath(const std::string& userFolder, const std::string& portKey);
// "<folder>/<device>.sn-<serial>.settings.txt": where the settings file of another unit
// is kept when an update of this one would otherwise replace it; `copy` 2 and on name
// further files of the same serial number ("...sn-<serial>-2.settings.txt"). The serial
// number is the device's text: characters other than letters, digits, '-' and '_'
// become '_', it is cut to kKeptSerialMax characters, and "none" stands for no number.
std::string KeptSettingsFilePath(const std::string& userFolder, const std::string& deviceName,
                                 const std::string& serialNumber, int copy = 1);
inline constexpr size_t kKeptSerialMax = 40;
// The kept settings files of `deviceName` in the folder, sorted by name.
std::vector<std::string> KeptSettingsFiles(const std::string& userFolder, const std::string& deviceName);
// Whether `path` is a settings file ("*.settings.txt") directly in `userFolder`, where
// this program writes the families' files and the kept ones.
bool IsOwnSettingsFile(const std::string& userFolder, const std::string& path);

}  // namespace vorn::update
