#include "update/UpdateSequence.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bsl/VornBSLHost.h"
#include "device/MOSSY_Protocol.h"
#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"
#include "session/SettingsFile.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "update/ImageFit.h"
#include "update/UpdateUi.h"

namespace vorn::update {
namespace {

constexpr const char* kHostTag = "VornBSL Host";
constexpr uint32_t kHardwareAnswerRoom = 32;  // characters of the answer looked at
constexpr uint32_t kHardwareTimeoutMs = 1100;
constexpr uint32_t kCommandBaud = 9600;  // the speed of kBaudCode9600, where the connect step listens

std::string Num(long long n) { return std::to_string(n); }

// The text of a regular file; empty when there is none (or it cannot be read).
std::string FileText(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();  // a read error sets a flag; it throws nothing
    return text.str();
}

constexpr size_t kSerialNumberRoom = 64;  // characters of a file's serial number compared

// 202 -> "2.02", whatever the locale's decimal sign
std::string VersionText(uint32_t version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%02u", version / 100, version % 100);
    return text;
}

}  // namespace

UpdateSequence::UpdateSequence(VornLog* log, Vorn_protocol& session, VornBSLHost& host, UpdateUi& ui)
    : log_(log), session_(session), host_(host), ui_(ui) {}

void UpdateSequence::Status(const std::string& text) { ui_.ShowStatus(text); }

void UpdateSequence::Advance(int points) { ui_.SetProgress(ui_.Progress() + points); }

std::string UpdateSequence::WorkError(int32_t rc) const {
    return "The " + Caption() + " encountered an error working with your " + Device() + ".\n\nPlease try again.\n\n[Error " +
           Num(rc) + "]";
}

int32_t UpdateSequence::Run(const UpdateRequest& request, const std::function<int32_t()>& body) {
    request_ = request;
    ui_.SetProgress(0);
    ui_.SetConnectText("Do NOT disconnect " + Device() + " until finished.");
    settingsPath_ = (std::filesystem::path(request_.userFolder) / (Device() + ".settings.txt")).string();
    session_.ClearSavedSettings();
    profile_ = DeviceProfile{};
    skipRestore_ = false;
    wroteSettings_ = false;
    keptSettings_ = false;
    loaderInvoked_ = false;
    Status("Connecting to " + Device() + "...");

    const uint32_t start = MsTimer();
    int32_t result = body ? body() : UpdateInstrument();
    if (std::error_code ec; result < 0 && wroteSettings_ && !loaderInvoked_ &&
                            std::filesystem::is_regular_file(settingsPath_, ec)) {
        // The instrument never left its firmware and still holds every setting: a file
        // kept now would only be taken for the settings of an update that went wrong.
        std::filesystem::remove(settingsPath_, ec);
    }
    if (result < 0) {
        ui_.HideStatus();
        ui_.SetProgress(0);
        host_.BSLDisconnect();
        session_.VPLogout(false);
        ui_.SetConnectText("Connect " + Device() + " to computer comm port.");
        return result;
    }
    elapsedSeconds_ = (MsTimer() - start) / 1000;
    if (profile_.calibrationReminder) ShowCalibrationNotice(profile_.family);
    ui_.SetProgress(100);
    Status("Successfully updated firmware in " + Num(elapsedSeconds_) + " seconds.");
    ui_.Beep(UpdateUi::kInformation);
    ui_.PumpEvents();
    if (log_) log_->Log(1, kHostTag, "Finished updating device in %d seconds", static_cast<int>(elapsedSeconds_));
    // Done with: the file this run wrote or restored from. A file this run neither wrote
    // nor used (the settings were given up) is another update's, and stays.
    if (std::error_code ec; wroteSettings_ || !skipRestore_) std::filesystem::remove(settingsPath_, ec);
    ui_.SetConnectText("You may disconnect your " + Device() + " now.");
    return result;
}

int32_t UpdateSequence::FailConnection(int32_t rc) {
    std::string message;
    const std::string onPort = "\n on Comm Port \"" + Port() + "\".\n\n";
    if (rc == kPortInUse) {
        message = "Comm Port \"" + Port() + "\" is already in use by another application.\n" +
                  "Please choose a new Comm Port to use or quit the application using this port.";
    } else if (rc == kPortNotFound) {
        message = "Comm Port \"" + Port() + "\" isn't available.\nPlease choose a new Comm Port to use.";
    } else if (rc == kPortNoPermission) {
        message = "You do not have permission to use Comm Port \"" + Port() + "\".\n\n" +
                  "Please ask your administrator to add your user account to the \"dialout\" group,\n" +
                  "then log out and log in again before running the " + Caption() + ".";
    } else if (rc == kNotSerialPort) {
        message = "Comm Port \"" + Port() + "\" is not a serial port.\nPlease choose a new Comm Port to use.";
    } else if (rc == kNoConnection || rc == kPortClosed) {
        message = "The " + Caption() + " is unable to connect to your " + Device() + onPort +
                  "Please check your serial cable and Comm Port choice.";
    } else if (rc == kNotSupported && profile_.version != 0 && profile_.family != 0) {
        message = "The " + Caption() + " does not support your " + profile_.displayName + "\n" + "running version " +
                  Num(profile_.version) + ".";
    } else if (rc == kNotSupported) {
        message = "The " + Caption() + " is unable to connect to your unknown device" + onPort +
                  "Please check your serial cable and Comm Port choice.\n\n" + "Please verify the device connected is a \"" +
                  Device() + "\" and has a version of\nfirmware that supports updates.";
    } else if (rc == kLoginRefused) {
        message = "The " + Caption() + " is unable to log into to your " + Device() + onPort +
                  "Please try again or contact your Vornell representative.";
    } else {
        message = "The " + Caption() + " is unable to connect to your " + Device() + onPort +
                  "Please check your serial cable and Comm Port choice.\nError " + Num(rc);
    }
    ui_.ErrorBox(message, "Connection Error", UpdateUi::kError);
    return kConnectFailed;
}

namespace {
std::string NothingChanged(const std::string& device) {
    return "\n\nNothing has been changed on your " + device + ".";
}
}  // namespace

int32_t UpdateSequence::RefuseUnusableImage() {
    if (!host_.HasImage() || host_.firmwareFamily == UNKNOWN) {
        ui_.ErrorBox("The " + Caption() + " has no firmware to load: no firmware file is open." + NothingChanged(Device()) +
                         "\nPlease open a firmware file (File > Open Firmware File...) and press Start again.",
                     "No Firmware Loaded", UpdateUi::kError);
        return kNoFirmware;
    }
    const std::vector<ImageSegment> segments = ImageSegments(host_.ImageText());
    const std::string file = "The firmware file \"" + host_.FirmwareFileName() + "\"";
    if (segments.empty()) {
        ui_.ErrorBox(file + " holds no program code, only interrupt vectors." + NothingChanged(Device()) +
                         "\nPlease open a complete firmware file and press Start again.",
                     "Firmware File Error", UpdateUi::kError);
        return kImageDoesNotFit;
    }
    DeviceProfile family;
    LoadFamilyProfile(host_.firmwareFamily, kAssumedVersion, &family);
    if (const ImageSegment* high = family.extendedAddressing ? nullptr : AboveFourDigits(segments)) {
        ui_.ErrorBox(file + " does not fit a " + Device() + ": it holds code at " +
                         vorn::Format("0x%05X to 0x%05X", high->first, high->last) +
                         ", above 0xFFFF, where the firmware loader of this device cannot write." + NothingChanged(Device()) +
                         "\nPlease open the firmware file made for your " + Device() + " and press Start again.",
                     "Firmware Does Not Fit", UpdateUi::kError);
        return kImageDoesNotFit;
    }
    return 0;
}

// The user's serial number goes on the wire inside a command: a line break in it would
// end that command and run the rest as one of its own. Said up front, before anything is
// sent; the device library refuses such a command in any case.
int32_t UpdateSequence::RefuseUnsafeSerialNumber() {
    if (!ui_.ReplaceSerialNumber() || vorn::IsPrintableLine(ui_.NewSerialNumber())) return 0;
    ui_.ErrorBox("The new serial number holds a line break or another control character, which your " + Device() +
                     " would take as a command of its own." + NothingChanged(Device()) +
                     "\nPlease type the serial number again and press Start again.",
                 "Serial Number Error", UpdateUi::kError);
    return kOutOfRange;
}

bool UpdateSequence::ImageFits() {
    const std::string reason =
        ImageMisfit(ImageSegments(host_.ImageText()), host_.Vectors()[vorn::bsl::kVectorCount - 1], profile_);
    if (reason.empty()) return true;
    const std::string device = profile_.displayName.empty() ? Device() : profile_.displayName;
    ui_.ErrorBox("The firmware file \"" + host_.FirmwareFileName() + "\" does not fit your " + device + ": " + reason +
                     NothingChanged(device) + "\nPlease open the firmware file made for your " + device +
                     " and press Start again.",
                 "Firmware Does Not Fit", UpdateUi::kError);
    return false;
}

// The firmware's own family when its loader listens at the speed the engine answered at.
// Otherwise the firmware was loaded into another family in factory mode (a logger, whose
// loader listens at 9600): the family the saved settings came from, when its loader
// listens there. Without that, the firmware's family, whose loader will not answer: a
// box then, rather than erasing with the wrong family's layout.
int UpdateSequence::InterruptedFamily(uint32_t engineBaud) {
    const int firmwareFamily = host_.firmwareFamily;
    DeviceProfile profile;
    LoadFamilyProfile(firmwareFamily, kAssumedVersion, &profile);
    if (profile.bootloaderBaud == engineBaud) return firmwareFamily;
    const int saved = vorn::settingsfile::FamilyOfFile(FileText(settingsPath_));
    LoadFamilyProfile(saved, kAssumedVersion, &profile);
    if (saved == UNKNOWN || profile.bootloaderBaud != engineBaud) return firmwareFamily;
    if (log_)
        log_->Log(1, kHostTag, "The loader answered at %u baud: going on as the %s the settings file %s was saved from",
                  engineBaud, profile.displayName.c_str(), settingsPath_.c_str());
    return saved;
}

// A settings file is removed when an update ends well and when one fails before the
// loader was started: one that is here now was left by an update that handed its
// instrument to the loader and did not finish. When that instrument is the one
// connected, its settings may be gone (the new firmware started without them, or came
// back only in part): the file is all that holds them, and it must not be replaced by
// what the instrument says now.
int32_t UpdateSequence::SaveSettings() {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(settingsPath_, ec)) {
        wroteSettings_ = true;
        return session_.VPSaveInfo(settingsPath_);
    }
    const std::string left = FileText(settingsPath_);
    const std::string savedPath = settingsPath_ + ".new";
    const int32_t rc = session_.VPSaveInfo(savedPath);
    const std::string now = rc >= 0 ? FileText(savedPath) : std::string();
    std::filesystem::remove(savedPath, ec);
    // The serial number as read, also when other settings were not (a half-restored
    // instrument answers for some and not for others).
    const std::string serial = vorn::settingsfile::LayoutOf(profile_.family) == vorn::settingsfile::Layout::Logger
                                   ? session_.Info().serialNumber
                                   : session_.Instrument().serialNumber;
    switch (LeftSettingsAreThisInstruments(left, rc, serial)) {
        case LeftSettings::kOther: break;
        case LeftSettings::kThisOnesAsked:
            if (!ui_.AskOkCancel(KeptSettingsQuestion(left), "Settings Kept From An Earlier Update")) return kCancelled;
            [[fallthrough]];
        case LeftSettings::kThisOnes:
            session_.ClearSavedSettings();  // the restore reads the kept file
            keptSettings_ = true;
            if (log_)
                log_->Log(1, kHostTag, "Keeping the settings file %s of an update that did not finish: its settings are restored",
                          settingsPath_.c_str());
            Status("Keeping the settings saved before the update that did not finish...");
            return 1;
    }
    // Another instrument's file, or one the save could not be compared with.
    if (rc < 0) return rc;  // the earlier file stays as it was
    if (int32_t written = vorn::settingsfile::WriteFileSafely(settingsPath_, now); written < 0) return written;
    wroteSettings_ = true;
    return rc;
}

UpdateSequence::LeftSettings UpdateSequence::LeftSettingsAreThisInstruments(const std::string& left, int32_t saveStatus,
                                                                            const std::string& nowSerial) const {
    if (vorn::settingsfile::FamilyOfFile(left) != profile_.family) return LeftSettings::kOther;
    std::string leftSerial;
    vorn::settingsfile::ReadText(left, "sn", kSerialNumberRoom, &leftSerial);
    if (!nowSerial.empty()) return nowSerial == leftSerial ? LeftSettings::kThisOnes : LeftSettings::kOther;
    // No serial number to compare: the update that did not finish may have wiped it, or
    // this is another, new instrument. Only the user can tell.
    if (saveStatus >= 0 || saveStatus == session::kUninitialised) return LeftSettings::kThisOnesAsked;
    return LeftSettings::kOther;  // not read over a bad line: nothing to go by
}

std::string UpdateSequence::KeptSettingsQuestion(const std::string& left) const {
    std::string serial;
    vorn::settingsfile::ReadText(left, "sn", kSerialNumberRoom, &serial);
    return "The settings file\n\"" + settingsPath_ + "\"\nholds the settings of the " + Device() +
           (serial.empty() ? std::string(" without a serial number") : " with serial number \"" + vorn::EscapeControls(serial) + "\"") +
           ", kept by an update that did not finish.\nThis " + Device() +
           " tells no serial number now, as after an update that wiped its settings." +
           "\n\nClick OK if this is that " + Device() + ": its settings are restored from the file." +
           "\nClick CANCEL to stop: nothing is changed.";
}

int32_t UpdateSequence::CheckSettingsFile(int32_t saveStatus) {
    int32_t rc = saveStatus;
    if (rc >= 0)
        rc = vorn::settingsfile::CheckFileHolds(
            settingsPath_, vorn::settingsfile::FormatFile(session_.Family(), session_.Instrument(), session_.Info(),
                                                          session_.UserRecords(), session_.EqnRecords()));
    if (rc >= 0) return 0;
    if (log_) log_->Log(1, kHostTag, "The settings file %s does not hold the saved settings (%d)", settingsPath_.c_str(), rc);
    ui_.ErrorBox("The " + Caption() + " could not keep the settings of your " + Device() + " in the file\n\"" +
                     settingsPath_ + "\"." + NothingChanged(Device()) +
                     "\nPlease make room on the disk or check that the folder can be written, then press Start again." +
                     "\n\n[Error " + Num(rc) + "]",
                 "Settings File Error", UpdateUi::kError);
    return kSettingsFileFailed;
}

int32_t UpdateSequence::UpdateInstrument() {
    const std::string& port = request_.portName;
    const int8_t firmwareFamily = host_.firmwareFamily;

    // Nothing is sent to an instrument that this image could only leave without firmware.
    if (int32_t refused = RefuseUnusableImage(); refused < 0) return refused;
    if (int32_t refused = RefuseUnsafeSerialNumber(); refused < 0) return refused;

    // Connecting
    int32_t rc = session_.VPConnect(port, kBaudCode9600, kSerialTries, &profile_);
    uint32_t engineBaud = kCommandBaud;
    if (rc == kNoConnection) {
        // Nobody answers at 9600: perhaps an engine waits at the Readwell's speed.
        LoadFamilyProfile(RW, kAssumedVersion, &profile_);
        engineBaud = profile_.bootloaderBaud;
        rc = host_.BSLCheck(port, engineBaud);
        host_.BSLDisconnect();
    }
    const bool inBootloader = rc == kBslActive || rc == kBslWaiting;
    if (rc < 0 && !inBootloader) return FailConnection(rc);
    Advance(2);

    if (inBootloader) {
        // An interrupted update left the instrument in its bootloader: load it again.
        LoadFamilyProfile(InterruptedFamily(engineBaud), kAssumedVersion, &profile_);
        if (!ImageFits()) return kImageDoesNotFit;
    } else {
        // Deciding whether the firmware fits
        if (profile_.family != firmwareFamily) {
            std::string message = "The " + Caption() + " expected to find a " + Device() + ";\nhowever, it found a " +
                                  profile_.displayName + ".\n\nThis updater can not update a " + profile_.displayName + ".";
            if (!request_.factoryMode) {
                ui_.ErrorBox(message, "Wrong Device", UpdateUi::kError);
                return kWrongDevice;
            }
            message += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
            if (!ui_.AskOkCancel(message, "Wrong Device")) return kWrongDevice;
        }
        if (!profile_.versionSupported) {
            ui_.ErrorBox("The firmware in the connected " + Device() + "\nis too old.\n\nThis updater can not update this device.",
                         "Firmware Too Old", UpdateUi::kError);
            return kNotSupported;
        }
        if (profile_.version > request_.firmwareVersion && !request_.factoryMode) {
            std::string question = "The firmware in your " + Device() + "\nis newer than the version in this updater.\n\n" +
                                   "Are you sure you want to load older firmware.";
            if (!ui_.AskOkCancel(question, "Newer Firmware")) return kCancelled;
        }
        if (!CheckHardwareRevision()) return kNotSupported;
        if (!CheckVersionWindow(profile_)) return kNotSupported;
        if (profile_.checkBattery) {
            Status("Checking battery power...");
            int32_t percent = -1;
            rc = session_.VPCheckBattery(&percent);
            if (rc > 0 && percent < kLowBatteryPercent) {
                ui_.ErrorBox("The battery power is too low!\n\nPlease replace the batteries before running this updater.",
                             "Batteries Too Low", UpdateUi::kError);
                return kBatteryLow;
            }
        }
        if (!ImageFits()) return kImageDoesNotFit;
        Advance(2);

        // Saving the settings
        if (profile_.saveSettings) {
            Status("Saving settings for this " + Device() + "...");
            if (profile_.loginBeforeSettings) {
                rc = session_.VPLogin();
                if (rc < 0) {
                    ui_.ErrorBox("This " + Caption() + " could not retrieve the settings from your " + Device() +
                                     ".\nPlease try again or contact Vornell for help.",
                                 "Login Error", UpdateUi::kError);
                    return rc;
                }
            }
            rc = SaveSettings();
            // Saved in memory but not in the file (a full disk, a failed write), or a file
            // that does not read back: an erase now could lose the settings for good.
            if (rc == kCancelled) return rc;  // not this instrument's file, said the user
            if (keptSettings_) {
                // The earlier update's file is kept and restored from.
            } else if (rc >= 0 || (session_.SettingsSaved() && rc != vorn::kNotApplicable)) {
                if (int32_t failed = CheckSettingsFile(rc); failed < 0) return failed;
                // Some settings did not come over the line: the update would wipe them.
                if (session_.SavedInPart()) {
                    std::string question = "The " + Caption() + " could not retrieve all the settings from your " +
                                           Device() + ".\nThe settings it could not read will be lost." +
                                           "\n\nClick OK to continue loading new firmware." +
                                           "\nClick CANCEL to try retrieving the settings again.";
                    if (!ui_.AskToGoOnWithoutSettings(question, "Settings Retrieve Error")) return kCancelled;
                }
            } else {
                std::string question = "The " + Caption() + " could not retrieve the settings from your " + Device() +
                                       ".\nThis can happen when an intrument is new or doesn't have " +
                                       "a serial number set yet.\n\nClick OK to continue loading new firmware." +
                                       "\nClick CANCEL to try retrieving the settings again.";
                if (!ui_.AskToGoOnWithoutSettings(question, "Settings Retrieve Error")) return kCancelled;
                skipRestore_ = true;
            }
        }
    }

    // Loading the firmware
    session_.VPLogout(false);
    ui_.SetProgress(6);
    Status("Starting the firmware loader...");
    loaderInvoked_ = true;
    rc = host_.BSLConnect(port, profile_.bootloaderBaud, true, kBootloaderTries);
    if (rc == kNoBootloader) {
        ui_.ErrorBox("This " + Device() + " does not have a working firmware loader." + "\n\nPlease contact Vornell for help.",
                     "Firmware Loader Error", UpdateUi::kError);
        return rc;
    }
    if (rc < 0) {
        ui_.ErrorBox("The " + Caption() + " is unable to connect to the firmware loader in your " + Device() +
                         ".\n\nPlease try again.",
                     "Firmware Loader Error", UpdateUi::kError);
        return kLoaderSilent;
    }
    Advance(2);
    Status("Erasing firmware memory...");
    rc = host_.BSLEraseINFO(profile_.infoStart, profile_.infoSegmentCount, profile_.infoSegmentSize,
                            profile_.extendedAddressing);
    if (rc < 0) {
        ui_.ErrorBox(WorkError(rc), "INFO Memory Erase Error", UpdateUi::kError);
        return rc;
    }
    rc = host_.BSLEraseFlash(profile_.flashStart, profile_.flashEnd, profile_.extendedAddressing);
    if (rc < 0) {
        ui_.ErrorBox(WorkError(rc), "Firmware Erase Error", UpdateUi::kError);
        return rc;
    }
    ui_.BeginUpload(kUploadStartPosition);
    Status("Uploading new firmware code...");
    rc = host_.BSLSendFirmware(profile_.extendedAddressing);
    if (rc < 0) {
        ui_.ErrorBox(WorkError(rc), "Firmware Upload Error", UpdateUi::kError);
        return rc;
    }
    Status("Restarting the " + Device() + ", please wait...");
    rc = host_.BSLSendVectors();
    if (rc < 0) {
        ui_.ErrorBox(WorkError(rc), "Firmware Upload Error", UpdateUi::kError);
        return rc;
    }
    host_.BSLDisconnect();
    MsDelay(profile_.restartWaitMs);
    ui_.SetProgress(92);
    ui_.PumpEvents();

    // After the restart: 0, 1500 and 3000 ms after the failed attempts.
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        rc = session_.VPConnect(port, kBaudCode9600, kSerialTries, &profile_);
        if (rc > 0) break;
        MsDelay(static_cast<uint32_t>(attempt) * kReconnectPauseStepMs);
    }
    if (rc < 0) {
        ui_.ErrorBox(WorkError(rc), "Connection Error", UpdateUi::kError);
        return rc;
    }
    if (profile_.loginBeforeSettings && session_.VPLogin() < 0) {
        ui_.ErrorBox("This " + Caption() + " failed to log into your " + Device() +
                         ".\nPlease check the settings on your instrument or contact Vornell for help.",
                     "Login Error", UpdateUi::kError);
    }
    Advance(2);
    Status("Checking new firmware...");
    rc = session_.VPCheckFirmware(profile_.firmwareCheckInit);
    if (rc < 0) {
        ui_.ErrorBox("The new firmware for your " + Device() + " is corrupt!\n\nPlease try again or contact Vornell.",
                     "Firmware Error", UpdateUi::kError);
        return rc;
    }
    Advance(2);
    Status("Restoring settings...");
    // Read now, not when Start was pressed: the window leaves these editable.
    const std::string newSerialNumber = ui_.ReplaceSerialNumber() ? ui_.NewSerialNumber() : std::string();
    const bool newSerial = !newSerialNumber.empty();
    if (skipRestore_ && newSerial) {
        skipRestore_ = false;
        session_.PrepareSerialNumberOnlyRestore();
    }
    if (profile_.saveSettings && !skipRestore_) {
        rc = session_.VPRestoreInfo(settingsPath_, newSerial ? &newSerialNumber : nullptr);
        std::string message;
        if (rc == session::kSettingsFileMissing)
            message = "The " + Caption() + " couldn't find the settings file for your " + Device() +
                      ".\n\nPlease try again or contact Vornell for help.";
        else if (rc == session::kSettingsFileDenied || rc == session::kSettingsFileUnreadable)
            message = "The " + Caption() + " failed to read the settings file for your " + Device() +
                      ".\n\nPlease try again or contact Vornell for help." + "\n\nError: " + Num(rc);
        else if (rc == kPartlyDone)
            message = "The " + Caption() + " failed to restore some of the settings for your " + Device() +
                      ".\n\nPlease check the settings after this updater is finished.";
        else if (rc < 0)
            message = "The " + Caption() + " failed to restore the settings for your " + Device() +
                      ".\n\nPlease try again.\n\n[Error " + Num(rc) + "]";
        // Settings that did not go back stay in the file, which only a finished update
        // removes: the next Start writes them back. Without a file there is nothing to
        // keep, and the update goes on.
        if (rc < 0 && rc != session::kSettingsFileMissing) {
            ui_.ErrorBox(message + "\n\nYour settings are kept in \"" + settingsPath_ +
                             "\".\nPress Start again with the same firmware file to write them back.",
                         "Settings Error", UpdateUi::kError);
            return rc;
        }
        if (!message.empty()) ui_.ErrorBox(message, "Settings Error", UpdateUi::kError);
    }
    if (profile_.setClockAfterUpdate) session_.VPSetTime();
    Advance(2);
    if (profile_.eraseDataAfterUpdate && !ui_.KeepData()) {
        Status("Erasing old data...");
        rc = session_.VPEraseData();
        if (rc < 0) {
            std::string message = rc == vorn::protocol::kBrokenDataFlash
                                      ? "The " + Caption() + " was unable to erase the data in your " + Device() +
                                            "because the data storage chip is reporting errors.\n\nPlease contact Vornell for help."
                                      : "The " + Caption() + " was unable to erase the data in your " + Device() +
                                            ".\nPlease try again.\n[Error: " + Num(rc) + "]";
            ui_.ErrorBox(message, "Data Erase Error", UpdateUi::kError);
            return rc;
        }
    }
    // An instrument whose calibration is missing or at its factory default is reminded.
    std::string adc = session_.SavedAdcText();
    if (adc.empty() || adc.find("50.98") != std::string::npos) profile_.calibrationReminder = true;
    session_.VPLogout(true);
    return kUpdated;
}

bool UpdateSequence::CheckHardwareRevision() {
    std::string answer;
    int32_t elapsed = 0;
    // The destination keeps one character less than its size: ask for one more.
    int32_t rc = session_.Connection().DeviceCommand("get -hver\r", '>', kHardwareTimeoutMs, &answer,
                                                     kHardwareAnswerRoom + 1, &elapsed);
    std::string revision;
    if (rc > 0) {
        for (size_t i = 0; i < answer.size() && i < kHardwareAnswerRoom; ++i) {
            if (!std::isspace(static_cast<unsigned char>(answer[i]))) {
                revision = answer[i];
                break;
            }
        }
    }
    if (revision.size() == 1 && revision[0] == kRequiredHardwareRevision) return true;
    ui_.ErrorBox("The hardware revision of the connected " + Device() + " is '" + revision + "'" +
                     ".\n\nThis updater only works with " + Device() + " hardware revision '" + "C" + "'.",
                 "Wrong Hardware Revision", UpdateUi::kError);
    return false;
}

bool UpdateSequence::CheckVersionWindow(const DeviceProfile& profile) {
    if (!profile.hasVersionWindow) return true;
    std::string message;
    if (profile.version > profile.maxVersion)
        message = "The " + Caption() + " doesn't support this " + Device() + "\nrunning version " + VersionText(profile.version) +
                  ".\n\nThis updater only works with firmware version " + VersionText(profile.maxVersion) + " (or older).";
    else if (profile.version < profile.minVersion)
        message = "The " + Caption() + " doesn't support this " + Device() + "\nrunning version " + VersionText(profile.version) +
                  ".\n\nThis updater only works with firmware version " + VersionText(profile.minVersion) + " (or newer).";
    else
        return true;
    message += "\n\nClick OK to force the update anyway.";
    message += "\nClick CANCEL to quit the updater.";
    return ui_.AskOkCancel(message, "Wrong Firmware Version");
}

const char* UpdateSequence::SupportLiteratureAddress() { return "https://www.vornell.example/support/literature"; }

void UpdateSequence::ShowCalibrationNotice(int family) {
    switch (family) {
        case TL:
            ui_.ErrorBox("The calibration of your Tallis 8 is outdated or missing.\n\n"
                         "Please contact Vornell or your authorized Vornell representative\n"
                         "to have your Tallis 8 calibrated.",
                         "Tallis 8 Calibration", UpdateUi::kWarning);
            break;
        case CF22:
            ui_.ErrorBox("Updating the firmware in your Lumex CF-22 requires you to calibrate\n"
                         "the internal sensors using the external sensor as a reference.\n\n"
                         "Please see your CF-22 user manual for probe calibration instructions.\n\n"
                         "Please also reset the Daylight Savings setting in your Lumex CF-22.",
                         "Please Calibrate Your CF-22", UpdateUi::kWarning);
            break;
        case VM:
            ui_.ErrorBox(std::string("Updating the firmware in your Vellum Meter requires you to calibrate\n"
                                     "the the sensor head using the Vornell-supplied calibration plate.\n\n"
                                     "Please see the Vellum Meter user manual (version 7 or newer) for\n"
                                     "calibration instructions. The latest user manual is available for download from:\n") +
                             SupportLiteratureAddress(),
                         "Please Calibrate Your Vellum", UpdateUi::kWarning);
            break;
        default:
            break;
    }
}

}  // namespace vorn::update

namespace vorn::update {

std::string UpdateSequence::HelpText(const std::string& caption, const std::string& d) {
    std::string text = "The " + caption + " replaces the firmware that operates your " + d + ".\n";
    text += "Following the simple steps will help ensure a successful update.\n\n";
    if (catalogue::UpdateErasesStoredData(RW)) {
        text += "WARNING: Updating the firmware in your " + d + " will erase any stored measurement data.\n";
        text += "Please download any measurement data stored in your " + d + " that you want to save.\n\n";
    }
    text += "Before beginning these steps, please make sure your instrument is powered on.\n\n";
    text += "Step 1. Connect your " + d + " to an available serial communication port " + "on your computer.\n\n";
    text += "Step 2. Select the correct serial port from the Comm Port control.\n\n";
    text += "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n";
    text += "WARNING: Do not disconnect your " + d + " from the computer while the updater is running.\n";
    text += "An incomplete firmware update could leave your " + d + " unusable.\n\n";
    text += "WARNING: Do not quit the " + d + " Firmware Updater while the updater is running.\n";
    text += "An incomplete firmware update could leave your " + d + " unusable.\n\n";
    text += "Step 4. Once the update is complete, you can disconnect your " + d + " from the computer.\n";
    text += "Please verify your " + d + " configuration is correct. ";
    text += "Enjoy using the updated firmware version.\n\n";
    text += "If you have trouble with this " + d + " Firmware Updater, Please contact Vornell or\n";
    text += "an authorized Vornell Distributor for help:\n\n";
    // The maker's contact block (reserved example addresses and numbers).
    text += "Vornell Devices, Inc\n";
    text += "1200 Example Parkway\n";
    text += "Springfield, EX 00000\n";
    text += "Telephone: +1 555 0100\n";
    text += "Fax: +1 555 0199\n";
    text += "support@vornell.example\n";
    text += "https://www.vornell.example\n";
    return text;
}

std::string UpdateSequence::AboutText() {
    return std::string("Vornell Universal Firmware Updater for Windows\n\n") + "VornBSL Engine version " + VORN_VERSION_STRING +
           "\nCommunication Protocol version " + "1.7.9" + "\n\n" + "\u00A9 2026 Vornell Devices, Inc. All rights reserved.";
}

std::string UpdateSequence::AboutCaption(const std::string& deviceName) { return "About " + deviceName + " Firmware Updater"; }

}  // namespace vorn::update
