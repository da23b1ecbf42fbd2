#include "update/UserFolder.h"

#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "serial/WireTranscript.h"

#include <filesystem>

namespace vorn::update {

std::string UserFolder(const std::string& programFolder) {
    namespace fs = std::filesystem;
    const std::string base = vorn::platform::UserDataFolderBase();
    if (!base.empty()) {
        fs::path folder = fs::path(base) / "Vornell" / "VornBSL";
        // Owner-only: the log and settings files hold the user's instruments and sites.
        if (vorn::platform::MakePrivateFolder(folder.string(), nullptr) && vorn::platform::FolderIsWritable(folder.string()))
            return folder.string();
    }
    return programFolder;
}

std::string ErrorLogPath(const std::string& userFolder) {
    return (std::filesystem::path(userFolder) / (std::string(kProgramCaption) + ".errors.txt")).string();
}

std::string TranscriptPath(const std::string& userFolder) {
    return (std::filesystem::path(userFolder) / (std::string(kProgramCaption) + ".transcript.txt")).string();
}

std::string LastTranscript(const std::string& userFolder) {
    std::string path = TranscriptPath(userFolder);
    return vorn::platform::ReadShortLine(path, 64) == vorn::serial::kTranscriptHeader ? path : std::string();
}

std::string SettingsFilePath(const std::string& userFolder, const std::string& deviceName) {
    return (std::filesystem::path(userFolder) / (deviceName + ".settings.txt")).string();
}

std::string PortLockPath(const std::string& userFolder, const std::string& portKey) {
    // "port-" first: Windows takes "COM7.lock" for the device COM7 itself.
    return (std::filesystem::path(userFolder) / ("port-" + portKey + ".lock")).string();
}

namespace {

constexpr const char* kSettingsSuffix = ".settings.txt";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string FileNamePart(std::string_view text) {
    const std::string safe = vorn::FileNameSafe(text.substr(0, kFileNamePartMax));
    return safe.empty() ? std::string("none") : safe;
}

bool IsOwnSettingsFile(const std::string& userFolder, const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(userFolder, ec);
    if (ec) return false;
    const fs::path file = fs::weakly_canonical(path, ec);
    if (ec || file.parent_path() != folder) return false;
    return EndsWith(file.filename().string(), kSettingsSuffix);
}

}  // namespace vorn::update
