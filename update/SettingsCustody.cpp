#include "update/SettingsCustody.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <utility>

#include "catalogue/DeviceCatalogue.h"
#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "common/VornLog.h"
#include "session/SettingsFile.h"
#include "update/UpdateSequence.h"
#include "update/UserFolder.h"

namespace vorn::update {
namespace {

namespace fs = std::filesystem;
namespace sf = vorn::settingsfile;

constexpr const char* kSettingsSuffix = ".settings.txt";
constexpr std::uintmax_t kSettingsFileMax = 1 << 20;  // far above any instrument's settings
constexpr int kNameCopiesMax = 99;

constexpr std::array<std::pair<Stage, const char*>, 7> kStageWords = {{
    {Stage::kSaved, "saved"},
    {Stage::kLoaderStarted, "loader"},
    {Stage::kErasing, "erasing"},
    {Stage::kUploaded, "uploaded"},
    {Stage::kRestoredInPart, "restored-in-part"},
    {Stage::kSetAside, "set-aside"},
    {Stage::kBackup, "backup"},
}};

// Where a stage stands among the steps of an update. A file of an earlier release may
// have got past the erase: it counts as that far.
int Rank(Stage stage) {
    switch (stage) {
        case Stage::kSaved: return 1;
        case Stage::kLoaderStarted: return 2;
        case Stage::kUnknown:
        case Stage::kErasing: return 3;
        case Stage::kUploaded: return 4;
        case Stage::kRestoredInPart: return 5;
        case Stage::kSetAside:
        case Stage::kBackup: return 0;
    }
    return 0;
}

int FamilyOfCode(std::string_view code) {
    for (int family = 1; family < 64; ++family) {
        const std::string_view known = vorn::catalogue::FamilyCode(family);
        if (known == "UNKNOWN") break;
        if (known == code) return family;
    }
    return UNKNOWN;
}

bool EndsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The text of a settings file, read without following a link; empty when it is not a
// regular file of a sensible size.
std::string FileText(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::is_regular_file(status) || fs::file_size(path, ec) > kSettingsFileMax || ec) return {};
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text;
}

std::time_t WrittenAt(const std::string& path) {
    std::error_code ec;
    const auto written = fs::last_write_time(path, ec);
    if (ec) return 0;
    const auto system = std::chrono::file_clock::to_sys(written);
    return static_cast<std::time_t>(std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count());
}

// "2026-12-10T04:37:20Z" as a file name's "20261210-043720".
std::string NameStamp(std::time_t now) {
    std::string stamp;
    for (char c : sf::FormatUtc(now))
        if (c >= '0' && c <= '9') stamp += c;
    return stamp.substr(0, 8) + "-" + stamp.substr(8);
}

}  // namespace

const char* StageWord(Stage stage) {
    for (const auto& [s, word] : kStageWords)
        if (s == stage) return word;
    return "";
}

Stage StageOfWord(std::string_view word) {
    for (const auto& [s, w] : kStageWords)
        if (word == w) return s;
    return Stage::kUnknown;
}

bool SavedSettings::PastLoader() const { return Rank(stage) >= Rank(Stage::kLoaderStarted); }
bool SavedSettings::PastErase() const { return Rank(stage) >= Rank(Stage::kErasing); }

SettingsCustody::SettingsCustody(std::string folder, VornLog* log) : folder_(std::move(folder)), log_(log) {}

std::optional<SavedSettings> SettingsCustody::Read(const std::string& path) const {
    const std::string text = FileText(path);
    const int family = sf::FamilyOfFile(text);
    if (family == UNKNOWN) return std::nullopt;
    const sf::SavedOrigin origin = sf::ReadOrigin(text);
    SavedSettings s;
    s.path = path;
    s.family = family;
    s.serial = sf::OriginValue(sf::SerialOfFile(text));
    s.savedPort = origin.port;
    s.lastPort = origin.stagePort.empty() ? origin.port : origin.stagePort;
    s.savedAt = origin.savedAt;
    s.lastAt = origin.stageAt ? *origin.stageAt : origin.savedAt ? *origin.savedAt : WrittenAt(path);
    s.stage = StageOfWord(origin.stage);
    s.loading = FamilyOfCode(origin.loading);
    return s;
}

std::vector<SavedSettings> SettingsCustody::Files(int family) const {
    std::vector<SavedSettings> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!EndsWith(name, kSettingsSuffix)) continue;
        if (auto saved = Read(it->path().string()); saved && (family == kAnyFamily || saved->family == family))
            files.push_back(*saved);
    }
    std::sort(files.begin(), files.end(), [](const SavedSettings& a, const SavedSettings& b) {
        return a.lastAt != b.lastAt ? a.lastAt > b.lastAt : a.path < b.path;
    });
    return files;
}

std::string SettingsCustody::NewFilePath(const std::string& deviceName, const std::string& serial,
                                         const std::string& port, std::time_t now) const {
    // A port's last path part tells it apart ("usb-FTDI_..._A12345-if00-port0").
    const std::string portPart = port.substr(port.find_last_of("/\\") == std::string::npos ? 0 : port.find_last_of("/\\") + 1);
    const std::string unit = serial.empty() ? "no-sn-" + FileNamePart(portPart) : "sn-" + FileNamePart(serial);
    const std::string start = deviceName + "." + unit + "." + NameStamp(now);
    std::error_code ec;
    for (int copy = 1; copy < kNameCopiesMax; ++copy) {
        const fs::path path = fs::path(folder_) / (start + (copy > 1 ? "-" + std::to_string(copy) : "") + kSettingsSuffix);
        if (fs::symlink_status(path, ec).type() == fs::file_type::not_found) return path.string();
    }
    return (fs::path(folder_) / (start + "-" + std::to_string(kNameCopiesMax) + kSettingsSuffix)).string();
}

int32_t SettingsCustody::Rewrite(const std::string& path, Stage stage, const std::string& port, int loading,
                                 std::time_t now) {
    const std::string text = FileText(path);
    if (sf::FamilyOfFile(text) == UNKNOWN) return -ENOENT;
    sf::SavedOrigin origin = sf::ReadOrigin(text);
    // A file of old names its unit on its "sn" line only: say it with the journal.
    if (origin.serialNumber.empty()) origin.serialNumber = sf::SerialOfFile(text);
    origin.stage = StageWord(stage);
    if (!port.empty()) origin.stagePort = port;
    origin.stageAt = now;
    if (loading != UNKNOWN) origin.loading = std::string(vorn::catalogue::FamilyCode(loading));
    const std::string rewritten = std::string(sf::WithoutOrigin(text)) + sf::FormatOrigin(origin);
    const int rc = vorn::platform::WriteFilePrivately(path, rewritten);
    if (log_) {
        if (rc < 0)
            log_->Log(VornLog::kFailures, kHostTag, "The journal of the settings file %s could not be moved on to \"%s\" (%d)",
                      path.c_str(), StageWord(stage), rc);
        else
            log_->Log(VornLog::kDetails, kHostTag, "Settings file %s: %s", path.c_str(), StageWord(stage));
    }
    return rc;
}

int32_t SettingsCustody::Advance(const std::string& path, Stage stage, const std::string& port, int loading,
                                 std::time_t now) {
    const std::optional<SavedSettings> saved = Read(path);
    if (!saved) return -ENOENT;
    Stage next = stage;
    if (Rank(saved->stage) > Rank(stage)) next = saved->stage == Stage::kUnknown ? Stage::kErasing : saved->stage;
    return Rewrite(path, next, port, loading, now);
}

int32_t SettingsCustody::Keep(const std::string& path, Stage how, std::time_t now) {
    return Rewrite(path, how, {}, UNKNOWN, now);
}

int32_t SettingsCustody::Remove(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    if (log_) {
        if (ec)
            log_->Log(VornLog::kFailures, kHostTag, "The settings file %s could not be removed (%d)", path.c_str(), ec.value());
        else
            log_->Log(VornLog::kMilestones, kHostTag, "Every setting of %s went back into its unit: the file is removed",
                      path.c_str());
    }
    return ec ? -ec.value() : 0;
}

}  // namespace vorn::update
