#pragma once
// Where the updater keeps its diagnostic log and settings files: the per-user data folder
// ($XDG_DATA_HOME, else ~/.local/share) + "/Vornell/VornBSL", created when missing and
// kept owner-only; the folder of the program itself when that cannot be had.
#include <string>

namespace vorn::update {

inline constexpr const char* kProgramCaption = "Vornell Firmware Updater";

std::string UserFolder(const std::string& programFolder);
// "<folder>/Vornell Firmware Updater.errors.txt"
std::string ErrorLogPath(const std::string& userFolder);
// "<folder>/<device>.settings.txt": where an update keeps the instrument's settings while
// its firmware is replaced. The window and the CLI use the same file, so either finishes
// the other's interrupted update.
std::string SettingsFilePath(const std::string& userFolder, const std::string& deviceName);

}  // namespace vorn::update
