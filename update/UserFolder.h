#pragma once
// Where the updater keeps its diagnostic log and settings files: the per-user data folder
// ($XDG_DATA_HOME, else ~/.local/share) + "/Vornell/VornBSL", created when missing and
// kept owner-only; the folder of the program itself when that cannot be had.
#include <string>
#include <string_view>

namespace vorn::update {

inline constexpr const char* kProgramCaption = "Vornell Firmware Updater";

std::string UserFolder(const std::string& programFolder);
// "<folder>/Vornell Firmware Updater.errors.txt"
std::string ErrorLogPath(const std::string& userFolder);
// "<folder>/Vornell Firmware Updater.transcript.txt": the window's wire transcript of its
// last run, which the feedback form sends with the log.
std::string TranscriptPath(const std::string& userFolder);
// That transcript's path when one is there, else empty.
std::string LastTranscript(const std::string& userFolder);
// "<folder>/<device>.settings.txt": where an update keeps the instrument's settings while
// its firmware is replaced. The window and the CLI use the same file, so either finishes
// the other's interrupted update.
std::string SettingsFilePath(const std::string& userFolder, const std::string& deviceName);
// "<folder>/port-<port key>.lock": held while the port is being updated.
std::string PortLockPath(const std::string& userFolder, const std::string& portKey);
// A device's text (a serial number, a port's name) as part of a file name: characters
// other than letters, digits, '-' and '_' become '_', and the text is cut to kFileNamePartMax characters; "none" for an empty text.
std::string FileNamePart(std::string_view text);
inline constexpr size_t kFileNamePartMax = 48;
// Whether `path` is a settings file ("*.settings.txt") directly in `userFolder`, where
// this program keeps the settings it saved.
bool IsOwnSettingsFile(const std::string& userFolder, const std::string& path);

}  // namespace vorn::update
