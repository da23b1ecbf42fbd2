// Saving a device's settings before an update and writing them back after it, through
// memory and the settings file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>

#include "device/ProtocolConstants.h"
#include "session/FamilyTable.h"
#include "session/SessionConstants.h"
#include "session/SettingsFile.h"
#include "session/Vorn_protocol.h"
#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"

using namespace vorn::session;
namespace sf = vorn::settingsfile;
namespace sb = vorn::protocol::setting;
namespace ib = vorn::instinfo;

namespace {

bool IsDecimal(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

int32_t Vorn_protocol::CollectSettings(uint32_t* kept) {
    const FamilyFacts& facts = FactsOf(family_);
    if (facts.layout == FileLayout::Logger) {
        uint32_t mask = SaveMaskOf(facts, profile_.version, info_.version);
        int32_t st = connection_->DeviceSettings(&info_, &mask, vorn::protocol::Direction::kGet);
        *kept = mask;
        return st;
    }
    const uint32_t request = ib::SaveRequestMask(family_, profile_.version, info_.version);
    if (request == 0) return vorn::kNotApplicable;
    if (facts.sensorZeroBeforeSave) {
        std::string answer;
        int32_t ms = 0;
        int32_t rc = Command("set -sensor 0\r", kValueTimeoutMs, &answer, &ms);
        if (rc > 0 && answer.find("OK") != std::string::npos) {
            Say(VornLog::kMilestones, "VPSaveInfo set HRS9 sensor type to '0' (%d ms)", ms);
        } else {
            if (rc > 0) rc = vorn::kNotUnderstood;
            Say(VornLog::kMilestones, "VPSaveInfo received error %d setting HRS9 sensor type to '0' (%d ms)", rc, ms);
        }
    }
    int32_t st = GetInstInfo(request);
    *kept = inst_.valid;
    return st;
}

int32_t Vorn_protocol::CollectForSave() {
    uint32_t kept = 0;
    int32_t status = CollectSettings(&kept);
    savedInPart_ = status == vorn::kPartlyDone;
    if (status == kUninitialised) {
        settingsSaved_ = false;
        savedMask_ = 0;
        Say(VornLog::kMilestones, "VPSaveInfo does not save data for an uninitialized device");
        return status;
    }
    if (status >= 0 || status == vorn::kPartlyDone) {
        settingsSaved_ = true;
        savedMask_ = kept;
        return status;
    }
    Say(VornLog::kFailures, "VPSaveInfo received error %d trying to collect device settings", status);
    return status;
}

int32_t Vorn_protocol::WriteSavedSettings(const std::string& path) {
    int32_t rc = WriteInfoFile(path);
    if (rc >= 0) {
        Say(VornLog::kMilestones, "VPSaveInfo successfully retreived and saved device settings to a temp file");
        if (savedInPart_) Say(VornLog::kFailures, "VPSaveInfo could not read every setting: those are missing from the file");
        return 1;
    }
    Say(VornLog::kFailures, "VPSaveInfo received error %d trying to save device settings to a temp file", rc);
    return rc;
}

int32_t Vorn_protocol::VPSaveInfo(const std::string& path) {
    const int32_t status = CollectForSave();
    if (status < 0 && status != vorn::kPartlyDone) return status;
    return WriteSavedSettings(path);
}

int32_t Vorn_protocol::AdjustHn9Checksum(const std::string& newSerialNumber) {
    // The configuration number carries a checksum over the serial number's characters.
    // Without a number there is nothing to carry it, and inventing one would overwrite
    // the instrument's configuration.
    if (!IsDecimal(inst_.config)) {
        Say(VornLog::kMilestones, "VPRestoreInfo found no configuration number to carry the new serial number");
        return 0;
    }
    uint32_t value = static_cast<uint32_t>(std::strtoul(inst_.config.c_str(), nullptr, 10));
    for (unsigned char c : inst_.serialNumber) value -= c;
    for (unsigned char c : newSerialNumber) value += c;
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    inst_.config = text;
    inst_.valid |= ib::kConfig;
    return 1;
}

int32_t Vorn_protocol::VPRestoreInfo(const std::string& path, const std::string* newSerialNumber) {
    notRestored_ = 0;
    restoredCount_ = 0;
    if (!settingsSaved_) {
        int32_t rc = ReadInfoFile(path);
        if (rc < 0) {
            Say(VornLog::kFailures, "VPRestoreInfo received error %d trying to read device settings from %s", rc,
                path.c_str());
            return rc;
        }
        settingsSaved_ = true;
        info_.valid = savedMask_;
    }

    int32_t status = vorn::kNotApplicable;
    const std::string serial = newSerialNumber ? vorn::Bounded(*newSerialNumber, InstrumentInfo::kSerialNumberMax) : "";
    switch (sf::LayoutOf(family_)) {
        case sf::Layout::None: break;
        case sf::Layout::Logger: {
            if (newSerialNumber) {
                info_.serialNumber = serial;
                info_.valid |= sb::kSerialNumber;
            }
            uint32_t mask = info_.valid;
            if (!newSerialNumber && (mask & sb::kDeviceID) && (mask & sb::kSerialNumber)) {
                // A logger with a device ID keeps the serial number it has: it is written
                // only when the one it has now is not the saved one (it did not survive
                // the update, or the unit came back without it). A new serial number the
                // user gives is always written. Only this restore's mask changes: one
                // tried again looks again.
                std::string now;
                if (connection_->SNCommand(&now, vorn::protocol::Direction::kGet) > 0 && now == info_.serialNumber) {
                    mask &= ~sb::kSerialNumber;
                } else {
                    Say(VornLog::kMilestones, "VPRestoreInfo writes the serial number \"%s\": the logger holds \"%s\"",
                        info_.serialNumber.c_str(), now.c_str());
                }
            }
            // The settings go into the logger connected now: its identity and capabilities
            // (its firmware's, perhaps newer or older than the saved one's), not a file's,
            // say which commands it takes and in which form.
            if (const DeviceInfo& live = connection_->Info(); live.type != LT_UNKNOWN && live.version != 0)
                TakeIdentity(live);
            // A trait the logger cannot set was worked out from its radio, not read from a
            // setting: there is nothing to write back, and trying would fail every restore.
            if (!(info_.capabilities & vorn::protocol::capability::kSiteSettings)) mask &= ~sb::kTrait;
            const uint32_t written = mask;
            status = connection_->DeviceSettings(&info_, &mask, vorn::protocol::Direction::kSet);
            if (status == vorn::kPartlyDone) notRestored_ = written & ~mask;
            if (status > 0 || status == vorn::kPartlyDone) restoredCount_ = sf::SettingNames(family_, written & mask).size();
            if ((status < 0 && status != vorn::kPartlyDone) || mask == 0) {
                Say(VornLog::kFailures, "VPRestoreInfo received error %d trying to upload device settings", status);
                return status;
            }
            break;
        }
        case sf::Layout::Lab:
            if (newSerialNumber) {
                if (FactsOf(family_).serialInConfigChecksum) AdjustHn9Checksum(serial);
                inst_.serialNumber = serial;
                inst_.valid |= ib::kSerialNumber;
            }
            status = SetInstInfo(inst_.valid);
            if (status > 0 || status == vorn::kPartlyDone)
                restoredCount_ = sf::SettingNames(family_, inst_.valid & ~notRestored_).size();
            break;
    }
    // A restore that failed is logged as a failure, never as "successfully restored".
    if (status < 0)
        Say(VornLog::kFailures, "VPRestoreInfo received error %d trying to upload device settings", status);
    else
        Say(VornLog::kMilestones, "VPRestoreInfo successfully restored device setting");
    return status;
}

std::vector<std::string> Vorn_protocol::SettingsNotRestored() const {
    return notRestored_ ? sf::SettingNames(family_, notRestored_) : std::vector<std::string>{};
}

int32_t Vorn_protocol::WriteInfoFile(const std::string& path) {
    if (path.empty()) return vorn::kMissingArgument;
    if (sf::LayoutOf(family_) == sf::Layout::None) return vorn::kNotApplicable;
    // Which unit, where and when, after every line a reader takes back.
    int32_t rc = sf::WriteFileSafely(path, SavedFileText());
    if (rc < 0) Say(VornLog::kFailures, "WriteInfoFile got error %d trying to write settings file %s", -rc, path.c_str());
    return rc;
}

std::string Vorn_protocol::SavedFileText() const {
    sf::SavedOrigin origin = fileOrigin_;
    origin.serialNumber = SerialNumber();
    if (origin.port.empty()) origin.port = connection_->PortName();
    std::time_t now = 0;
    int error = 0;
    if (clock_(&now, &error)) origin.savedAt = origin.stageAt = now;
    if (origin.stage.empty()) origin.stageAt.reset();
    return sf::FormatFile(family_, inst_, info_, user_, eqn_) + sf::FormatOrigin(origin);
}

int32_t Vorn_protocol::ReadInfoFile(const std::string& path) {
    if (path.empty()) return vorn::kMissingArgument;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        // By meaning, not by number: the numbers behind -105 and -106 are Windows codes,
        // and a negated errno such as -13 would read as one of the shared status codes.
        switch (errno) {
            case ENOENT: return kSettingsFileMissing;
            case EACCES:
            case EPERM: return kSettingsFileDenied;
            case EIO:
            case ENXIO:
            case EISDIR: return kSettingsFileUnreadable;
            default: return -errno;
        }
    }
    std::string text;
    try {
        char chunk[4096];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, n);
    } catch (const std::bad_alloc&) {
        return vorn::kOutOfMemory;
    }
    // A folder opens on some systems but cannot be read.
    if (std::ferror(file.get())) return kSettingsFileUnreadable;
    file.reset();

    switch (sf::LayoutOf(family_)) {
        case sf::Layout::None: return vorn::kNotApplicable;
        case sf::Layout::Logger: {
            uint32_t mask = 0;
            int32_t rc = sf::ReadLoggerFile(family_, text, &info_, &mask);
            if (rc > 0) savedMask_ = mask;
            return rc;
        }
        case sf::Layout::Lab: {
            int32_t rc = sf::ReadLabFile(family_, profile_.version, text, &inst_, &info_, &user_, &eqn_, log_);
            if (rc > 0) savedMask_ = inst_.valid;
            return rc;
        }
    }
    return vorn::kNotApplicable;
}

namespace vorn::settingsfile {

int32_t WriteFileSafely(const std::string& path, std::string_view text) {
    if (path.empty()) return vorn::kMissingArgument;
    // Owner-only, written to a temporary file and renamed over `path` (common/FilesPlatform.h).
    const int rc = vorn::platform::WriteFilePrivately(path, text);
    return rc < 0 ? rc : 1;
}

int32_t CheckFileHolds(const std::string& path, std::string_view text) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return errno == ENOENT ? kSettingsFileMissing : kSettingsFileUnreadable;
    std::string held;
    char chunk[4096];
    size_t n = 0;
    // Never read much past what is expected and its origin lines: a longer file is wrong already.
    const size_t room = text.size() + FormatOrigin({.serialNumber = std::string(kOriginTextMax, 'x'), .port = std::string(kOriginTextMax, 'x'), .savedAt = 0}).size();
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0 && held.size() <= room) held.append(chunk, n);
    if (std::ferror(file.get())) return kSettingsFileUnreadable;
    if (held.size() < text.size() || std::string_view(held).substr(0, text.size()) != text) return vorn::kNotUnderstood;
    const std::string_view origin = std::string_view(held).substr(text.size());
    return origin.empty() || origin == FormatOrigin(ReadOrigin(origin)) ? 1 : vorn::kNotUnderstood;
}

}  // namespace vorn::settingsfile
