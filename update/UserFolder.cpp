#include "update/UserFolder.h"

#include "common/FilesPlatform.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace vorn::update {

std::string UserFolder(const std::string& programFolder) {
    namespace fs = std::filesystem;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/share";
    if (!base.empty()) {
        fs::path folder = fs::path(base) / "Vornell" / "VornBSL";
        // Owner-only: the log and settings files hold the user's instruments and sites.
        if (vorn::platform::MakePrivateFolder(folder.string(), nullptr) && access(folder.c_str(), W_OK) == 0)
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
