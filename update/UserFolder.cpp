#include "update/UserFolder.h"

#include "common/FilesPlatform.h"
#include "common/Text.h"

#include <algorithm>
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

std::string PortSettingsFilePath(const std::string& userFolder, const std::string& deviceName,
                                 const std::string& portKey) {
    return (std::filesystem::path(userFolder) / (deviceName + ".port-" + portKey + ".settings.txt")).string();
}

std::string PortLockPath(const std::string& userFolder, const std::string& portKey) {
    return (std::filesystem::path(userFolder) / (portKey + ".lock")).string();
}

namespace {

constexpr const char* kSettingsSuffix = ".settings.txt";
constexpr const char* kKeptMark = ".sn-";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string SafeSerial(const std::string& serialNumber) {
    const std::string safe = vorn::FileNameSafe(serialNumber.substr(0, kKeptSerialMax));
    return safe.empty() ? std::string("none") : safe;
}

}  // namespace

std::string KeptSettingsFilePath(const std::string& userFolder, const std::string& deviceName,
                                 const std::string& serialNumber, int copy) {
    std::string name = deviceName + kKeptMark + SafeSerial(serialNumber);
    if (copy > 1) name += "-" + std::to_string(copy);
    return (std::filesystem::path(userFolder) / (name + kSettingsSuffix)).string();
}

std::vector<std::string> KeptSettingsFiles(const std::string& userFolder, const std::string& deviceName) {
    namespace fs = std::filesystem;
    std::vector<std::string> kept;
    const std::string start = deviceName + kKeptMark;
    std::error_code ec;
    for (fs::directory_iterator it(userFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > start.size() + std::string(kSettingsSuffix).size() && name.rfind(start, 0) == 0 &&
            EndsWith(name, kSettingsSuffix) && it->is_regular_file(ec))
            kept.push_back(it->path().string());
    }
    std::sort(kept.begin(), kept.end());
    return kept;
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
