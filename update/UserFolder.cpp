#include "update/UserFolder.h"

#include "common/FilesPlatform.h"

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

std::string SettingsFilePath(const std::string& userFolder, const std::string& deviceName) {
    return (std::filesystem::path(userFolder) / (deviceName + ".settings.txt")).string();
}

}  // namespace vorn::update
