#include "update/UpdateSequence.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <ctime>
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
#include "serial/SerialPlatform.h"
#include "update/ImageFit.h"
#include "update/UpdateUi.h"
#include "update/UserFolder.h"

namespace vorn::update {
namespace {

constexpr uint32_t kHardwareAnswerRoom = 32;  // characters of the answer looked at
constexpr uint32_t kHardwareTimeoutMs = 1100;
constexpr uint32_t kCommandBaud = 9600;  // the speed of kBaudCode9600, where the connect step listens

// The text of a regular file; empty when there is none (or it cannot be read).
std::string FileText(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();  // a read error sets a flag; it throws nothing
    return text.str();
}

constexpr int kKeptCopiesMax = 99;        // kept files of one serial number, at most

// When the settings of `text`, in the file at `path`, were saved: their own line, else the
// time the file was last written.
texts::SavedWhen SavedWhenOf(const std::string& path, const std::string& text) {
    texts::SavedWhen when;
    std::time_t at = 0;
    if (const auto origin = vorn::settingsfile::ReadOrigin(text); origin.savedAt) {
        at = *origin.savedAt;
        when.known = true;
    } else {
        std::error_code ec;
        const auto written = std::filesystem::last_write_time(path, ec);
        if (!ec) {
            const auto system = std::chrono::file_clock::to_sys(written);
            at = static_cast<std::time_t>(std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count());
            when.known = when.fromFileTime = true;
        }
    }
    if (when.known) {
        when.utc = vorn::settingsfile::FormatUtc(at);
        when.ageSeconds = static_cast<long long>(std::time(nullptr)) - static_cast<long long>(at);
    }
    return when;
}

}  // namespace

UpdateSequence::UpdateSequence(VornLog* log, Vorn_protocol& session, VornBSLHost& host, UpdateUi& ui)
    : log_(log), session_(session), host_(host), ui_(ui) {}

texts::Names UpdateSequence::Names() const {
    return {request_.caption, request_.deviceName, request_.portDescription};
}

int32_t UpdateSequence::Fail(const texts::Box& box, int32_t rc) {
    ui_.ErrorBox(box.text, box.title, box.kind);
    return rc;
}

bool UpdateSequence::Ask(const texts::Box& question) { return ui_.AskOkCancel(question.text, question.title); }

void UpdateSequence::Status(texts::Stage stage) { ui_.ShowStatus(texts::StatusLine(stage, Names())); }

void UpdateSequence::Advance(int points) { ui_.SetProgress(ui_.Progress() + points); }

// What one run starts from: nothing found, saved or started yet, the bar at 0.
void UpdateSequence::Begin(const UpdateRequest& request, const std::string& settingsPath) {
    request_ = request;
    settingsPath_ = settingsPath;
    session_.ClearSavedSettings();
    profile_ = DeviceProfile{};
    versionFound_ = 0;
    engineBaud_ = 0;
    skipRestore_ = wroteSettings_ = keptSettings_ = loaderInvoked_ = inBootloader_ = otherNotKept_ = false;
    ui_.SetProgress(0);
}

// The settings file of the update. A bench update keeps its own, named after its port; a
// single update uses the family's, unless a bench update of this port did not finish:
// then it finds that one, as running the bench again would.
std::string UpdateSequence::SettingsFilePathFor(const UpdateRequest& request) {
    const std::string ofPort =
        PortSettingsFilePath(request.userFolder, request.deviceName, vorn::platform::PortFileKey(request.portName));
    if (request.settingsPerPort) return ofPort;
    const std::string ofFamily = SettingsFilePath(request.userFolder, request.deviceName);
    std::error_code ec;
    if (!std::filesystem::exists(ofFamily, ec) && std::filesystem::is_regular_file(ofPort, ec)) return ofPort;
    return ofFamily;
}

int32_t UpdateSequence::Run(const UpdateRequest& request, const std::function<int32_t()>& body) {
    Begin(request, SettingsFilePathFor(request));
    ui_.SetConnectText(texts::DoNotDisconnect(Names()));
    if (log_) log_->Log(VornLog::kDetails, kHostTag, "Settings file of this update: %s", settingsPath_.c_str());
    Status(texts::Stage::kConnecting);

    const uint32_t start = MsTimer();
    int32_t result = body ? body() : UpdateInstrument();
    if (std::error_code ec; result < 0 && wroteSettings_ && !loaderInvoked_ &&
                            std::filesystem::is_regular_file(settingsPath_, ec)) {
        // The instrument never left its firmware and still holds every setting: a file
        // kept now would only be taken for the settings of an update that went wrong.
        std::filesystem::remove(settingsPath_, ec);
    }
    if (result < 0) return EndFailed(result);
    elapsedSeconds_ = (MsTimer() - start) / 1000;
    if (profile_.calibrationReminder) {
        if (texts::Box notice = texts::CalibrationNotice(profile_.family); !notice.text.empty())
            ui_.ErrorBox(notice.text, notice.title, notice.kind);
    }
    ui_.SetProgress(kProgressDone);
    ui_.ShowStatus(texts::Updated(elapsedSeconds_));
    ui_.Beep(UpdateUi::BoxKind::kInformation);
    ui_.PumpEvents();
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "Finished updating device in %d seconds", static_cast<int>(elapsedSeconds_));
    // Done with: the file this run wrote or restored from. A file this run neither wrote
    // nor used (the settings were given up) is another update's, and stays.
    if (std::error_code ec; wroteSettings_ || !skipRestore_) std::filesystem::remove(settingsPath_, ec);
    ui_.SetConnectText(texts::MayDisconnect(Names()));
    return result;
}

int32_t UpdateSequence::EndFailed(int32_t result) {
    ui_.HideStatus();
    ui_.SetProgress(0);
    host_.BSLDisconnect();
    session_.VPLogout(false);
    ui_.SetConnectText(texts::ConnectToComputer(Names()));
    return result;
}

int32_t UpdateSequence::RunRestore(const UpdateRequest& request, const std::string& path) {
    Begin(request, path);
    const int32_t result = RestoreFromFile();
    if (result < 0) return EndFailed(result);
    ui_.SetProgress(kProgressDone);
    // Done with, as at the end of an update: a file of the updater's own folder. One the
    // user keeps elsewhere stays where it is.
    std::error_code ec;
    const bool removed = IsOwnSettingsFile(request_.userFolder, settingsPath_) && std::filesystem::remove(settingsPath_, ec);
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "Restored the settings file %s into the %s on %s%s", settingsPath_.c_str(),
                  request_.deviceName.c_str(), request_.portName.c_str(), removed ? "; the file is removed" : "");
    ui_.ShowStatus(texts::SettingsRestored(settingsPath_, removed));
    ui_.Beep(UpdateUi::BoxKind::kInformation);
    ui_.SetConnectText(texts::MayDisconnect(Names()));
    return kUpdated;
}

int32_t UpdateSequence::RestoreFromFile() {
    const int family = vorn::settingsfile::FamilyOfFile(FileText(settingsPath_));
    if (family == UNKNOWN) return Fail(texts::NotASettingsFile(Names(), settingsPath_), kNotUnderstood);
    DeviceProfile ofFile;
    LoadFamilyProfile(family, kAssumedVersion, &ofFile);
    request_.deviceName = ofFile.displayName;
    request_.firmwareFamily = family;
    ui_.SetConnectText(texts::DoNotDisconnect(Names()));
    Status(texts::Stage::kConnecting);
    int32_t rc = session_.VPConnect(request_.portName, kBaudCode9600, kSerialTries, &profile_);
    if (rc == kNoConnection && ofFile.bootloaderBaud != kCommandBaud) {
        // Silent at 9600: perhaps a loader waits at its own speed, after an update cut short.
        if (int32_t engine = host_.BSLCheck(request_.portName, ofFile.bootloaderBaud); engine == kBslActive || engine == kBslWaiting)
            rc = engine;
        host_.BSLDisconnect();
    }
    if (rc == kBslActive || rc == kBslWaiting) return Fail(texts::RestoreNeedsFirmware(Names()), rc);
    if (rc < 0) return Fail(texts::ConnectionFailed(Names(), rc, profile_), kConnectFailed);
    Advance(kProgressStepPoints);
    if (profile_.family != family)
        return Fail(texts::SettingsOfAnotherFamily(Names(), settingsPath_, profile_.displayName), kWrongDevice);
    if (profile_.loginBeforeSettings) {
        if (rc = session_.VPLogin(); rc < 0) return Fail(texts::ReconnectLoginFailed(Names()), rc);
    }
    if (!AskToRestore(false)) return kCancelled;
    Status(texts::Stage::kRestoring);
    rc = session_.VPRestoreInfo(settingsPath_, nullptr);
    if (rc < 0) {
        bool stops = true;
        return Fail(texts::RestoreFailed(Names(), rc, settingsPath_, &stops, true), rc);
    }
    if (profile_.setClockAfterUpdate) (void)session_.VPSetTime();
    session_.VPLogout(true);
    return 0;
}

// The update, step by step. The instrument found in its bootloader skips the checks and
// the save (DecideFirmwareFits only checks the image against the family waiting there).
int32_t UpdateSequence::UpdateInstrument() {
    using Step = int32_t (UpdateSequence::*)();
    static constexpr Step kSteps[] = {
        &UpdateSequence::RefuseUnusableImage,  // nothing is sent to an instrument this image
        &UpdateSequence::RefuseUnsafeSerialNumber,  // could only leave without firmware
        &UpdateSequence::Connect,
        &UpdateSequence::DecideFirmwareFits,
        &UpdateSequence::CheckHardwareAndBattery,
        &UpdateSequence::SaveSettingsStep,
        &UpdateSequence::StartLoader,
        &UpdateSequence::Erase,
        &UpdateSequence::Upload,
        &UpdateSequence::RestartAndReconnect,
        &UpdateSequence::CheckNewFirmware,
        &UpdateSequence::RestoreSettings,
        &UpdateSequence::FinishDevice,
    };
    for (Step step : kSteps)
        if (int32_t rc = (this->*step)(); rc < 0) return rc;
    return kUpdated;
}

int32_t UpdateSequence::RefuseUnusableImage() {
    if (!host_.HasImage() || request_.firmwareFamily == UNKNOWN) return Fail(texts::NoFirmware(Names()), kNoFirmware);
    const std::vector<ImageSegment> segments = ImageSegments(host_.ImageText());
    if (segments.empty()) return Fail(texts::NoProgramCode(Names(), host_.FirmwareFileName()), kImageDoesNotFit);
    DeviceProfile family;
    LoadFamilyProfile(request_.firmwareFamily, kAssumedVersion, &family);
    if (const ImageSegment* high = family.extendedAddressing ? nullptr : AboveFourDigits(segments))
        return Fail(texts::CodeAboveFourDigits(Names(), host_.FirmwareFileName(), high->first, high->last),
                    kImageDoesNotFit);
    return 0;
}

// The user's serial number goes on the wire inside a command: a line break in it would
// end that command and run the rest as one of its own. Said up front, before anything is
// sent; the device library refuses such a command in any case.
int32_t UpdateSequence::RefuseUnsafeSerialNumber() {
    if (!ui_.ReplaceSerialNumber() || vorn::IsPrintableLine(ui_.NewSerialNumber())) return 0;
    return Fail(texts::UnsafeSerialNumber(Names()), kOutOfRange);
}

int32_t UpdateSequence::Connect() {
    int32_t rc = session_.VPConnect(request_.portName, kBaudCode9600, kSerialTries, &profile_);
    engineBaud_ = kCommandBaud;
    if (rc == kNoConnection) {
        // Nobody answers at 9600: perhaps an engine waits at the Readwell's speed.
        LoadFamilyProfile(RW, kAssumedVersion, &profile_);
        engineBaud_ = profile_.bootloaderBaud;
        rc = host_.BSLCheck(request_.portName, engineBaud_);
        host_.BSLDisconnect();
    }
    inBootloader_ = rc == kBslActive || rc == kBslWaiting;
    if (rc < 0 && !inBootloader_) return Fail(texts::ConnectionFailed(Names(), rc, profile_), kConnectFailed);
    if (!inBootloader_) versionFound_ = profile_.version;
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::DecideFirmwareFits() {
    if (inBootloader_) {
        // An interrupted update left the instrument in its bootloader: load it again.
        LoadFamilyProfile(InterruptedFamily(engineBaud_), kAssumedVersion, &profile_);
        return ImageFits() ? 0 : kImageDoesNotFit;
    }
    if (profile_.family != request_.firmwareFamily) {
        texts::Box wrong = texts::WrongDevice(Names(), profile_.displayName, request_.factoryMode);
        if (!request_.factoryMode) return Fail(wrong, kWrongDevice);
        if (!Ask(wrong)) return kWrongDevice;
    }
    if (!profile_.versionSupported) return Fail(texts::FirmwareTooOld(Names()), kNotSupported);
    if (profile_.version > request_.firmwareVersion && !request_.factoryMode && !Ask(texts::NewerFirmwareQuestion(Names())))
        return kCancelled;
    return 0;
}

int32_t UpdateSequence::CheckHardwareAndBattery() {
    if (inBootloader_) return 0;
    if (!CheckHardwareRevision()) return kNotSupported;
    if (!CheckVersionWindow(profile_)) return kNotSupported;
    if (profile_.checkBattery) {
        Status(texts::Stage::kCheckingBattery);
        int32_t percent = -1;
        if (session_.VPCheckBattery(&percent) > 0 && percent < kLowBatteryPercent)
            return Fail(texts::BatteryTooLow(), kBatteryLow);
    }
    if (!ImageFits()) return kImageDoesNotFit;
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::SaveSettingsStep() {
    if (inBootloader_ || !profile_.saveSettings) return 0;
    Status(texts::Stage::kSavingSettings);
    if (profile_.loginBeforeSettings) {
        if (int32_t rc = session_.VPLogin(); rc < 0) return Fail(texts::SettingsLoginFailed(Names()), rc);
    }
    const int32_t rc = SaveSettings();
    // Saved in memory but not in the file (a full disk, a failed write), or a file that
    // does not read back: an erase now could lose the settings for good.
    if (rc == kCancelled) return rc;  // not this instrument's file, said the user
    if (otherNotKept_) return rc;     // another unit's file could not be moved aside: said
    if (keptSettings_) return 0;      // the earlier update's file is kept and restored from
    if (rc >= 0 || (session_.SettingsSaved() && rc != vorn::kNotApplicable)) {
        if (int32_t failed = CheckSettingsFile(rc); failed < 0) return failed;
        // Some settings did not come over the line: the update would wipe them.
        const texts::Box question = texts::SettingsReadInPartQuestion(Names());
        if (session_.SavedInPart() && !ui_.AskToGoOnWithoutSettings(question.text, question.title)) return kCancelled;
        return 0;
    }
    const texts::Box question = texts::SettingsNotReadQuestion(Names());
    if (!ui_.AskToGoOnWithoutSettings(question.text, question.title)) return kCancelled;
    skipRestore_ = true;
    return 0;
}

int32_t UpdateSequence::StartLoader() {
    session_.VPLogout(false);
    ui_.SetProgress(kProgressLoaderStart);
    Status(texts::Stage::kStartingLoader);
    loaderInvoked_ = true;
    const int32_t rc = host_.BSLConnect(request_.portName, profile_.bootloaderBaud, true, kBootloaderTries);
    if (rc == kNoBootloader) return Fail(texts::NoWorkingLoader(Names()), rc);
    if (rc < 0) return Fail(texts::LoaderSilent(Names()), kLoaderSilent);
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::Erase() {
    Status(texts::Stage::kErasing);
    int32_t rc = host_.BSLEraseINFO(profile_.infoStart, profile_.infoSegmentCount, profile_.infoSegmentSize,
                                    profile_.extendedAddressing);
    if (rc < 0) return Fail(texts::WorkError(Names(), rc, texts::LoaderStep::kEraseInfo), rc);
    rc = host_.BSLEraseFlash(profile_.flashStart, profile_.flashEnd, profile_.extendedAddressing);
    if (rc < 0) return Fail(texts::WorkError(Names(), rc, texts::LoaderStep::kEraseFlash), rc);
    return 0;
}

int32_t UpdateSequence::Upload() {
    ui_.BeginUpload(kProgressUploadStart);
    Status(texts::Stage::kUploading);
    if (int32_t rc = host_.BSLSendFirmware(profile_.extendedAddressing); rc < 0)
        return Fail(texts::WorkError(Names(), rc, texts::LoaderStep::kUpload), rc);
    return 0;
}

int32_t UpdateSequence::RestartAndReconnect() {
    Status(texts::Stage::kRestarting);
    int32_t rc = host_.BSLSendVectors();
    if (rc < 0) return Fail(texts::WorkError(Names(), rc, texts::LoaderStep::kUpload), rc);
    host_.BSLDisconnect();
    MsDelay(profile_.restartWaitMs);
    ui_.SetProgress(kProgressRestarted);
    ui_.PumpEvents();
    // After the restart: 0, 1500 and 3000 ms after the failed attempts.
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        rc = session_.VPConnect(request_.portName, kBaudCode9600, kSerialTries, &profile_);
        if (rc > 0) break;
        MsDelay(static_cast<uint32_t>(attempt) * kReconnectPauseStepMs);
    }
    if (rc < 0) return Fail(texts::WorkError(Names(), rc, texts::LoaderStep::kReconnect), rc);
    if (profile_.loginBeforeSettings && session_.VPLogin() < 0) Fail(texts::ReconnectLoginFailed(Names()), 0);
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::CheckNewFirmware() {
    Status(texts::Stage::kCheckingFirmware);
    if (int32_t rc = session_.VPCheckFirmware(profile_.firmwareCheckInit); rc < 0)
        return Fail(texts::FirmwareCorrupt(Names()), rc);
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::RestoreSettings() {
    Status(texts::Stage::kRestoring);
    // Read now, not when Start was pressed: the window leaves these editable.
    const std::string newSerialNumber = ui_.ReplaceSerialNumber() ? ui_.NewSerialNumber() : std::string();
    const bool newSerial = !newSerialNumber.empty();
    if (skipRestore_ && newSerial) {
        skipRestore_ = false;
        session_.PrepareSerialNumberOnlyRestore();
    }
    if (profile_.saveSettings && !skipRestore_) {
        // Found in its bootloader, the instrument told nothing of itself: the file left
        // here may be another unit's, or months old. Its owner and age are shown first.
        if (std::error_code ec; inBootloader_ && std::filesystem::is_regular_file(settingsPath_, ec) &&
                                vorn::settingsfile::FamilyOfFile(FileText(settingsPath_)) == profile_.family &&
                                !AskToRestore(true)) {
            if (log_)
                log_->Log(VornLog::kFailures, kHostTag,
                          "The settings in %s were not restored (Cancel): the new firmware runs without them; the file stays",
                          settingsPath_.c_str());
            return kCancelled;
        }
        const int32_t rc = session_.VPRestoreInfo(settingsPath_, newSerial ? &newSerialNumber : nullptr);
        bool stops = false;
        texts::Box box = texts::RestoreFailed(Names(), rc, settingsPath_, &stops);
        if (rc == session::kSettingsFileMissing && inBootloader_)
            box.text += texts::KeptSettingsFilesHint(Names(), KeptFilesOfFamily());
        if (stops) return Fail(box, rc);
        if (!box.text.empty()) Fail(box, rc);
    }
    // A clock that could not be set is logged; the firmware and settings are in place.
    if (profile_.setClockAfterUpdate) (void)session_.VPSetTime();
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::FinishDevice() {
    if (profile_.eraseDataAfterUpdate && !ui_.KeepData()) {
        Status(texts::Stage::kErasingData);
        if (int32_t rc = session_.VPEraseData(); rc < 0) return Fail(texts::DataEraseFailed(Names(), rc), rc);
    }
    // An instrument whose calibration is missing or at its factory default is reminded.
    std::string adc = session_.SavedAdcText();
    if (adc.empty() || adc.find("50.98") != std::string::npos) profile_.calibrationReminder = true;
    session_.VPLogout(true);
    return 0;
}

bool UpdateSequence::ImageFits() {
    const std::string reason =
        ImageMisfit(ImageSegments(host_.ImageText()), host_.Vectors()[vorn::bsl::kVectorCount - 1], profile_);
    if (reason.empty()) return true;
    const std::string device = profile_.displayName.empty() ? request_.deviceName : profile_.displayName;
    Fail(texts::FirmwareDoesNotFit(host_.FirmwareFileName(), device, reason), kImageDoesNotFit);
    return false;
}

// The firmware's own family when its loader listens at the speed the engine answered at.
// Otherwise the firmware was loaded into another family in factory mode (a logger, whose
// loader listens at 9600): the family the saved settings came from, when its loader
// listens there. Without that, the firmware's family, whose loader will not answer: a
// box then, rather than erasing with the wrong family's layout.
int UpdateSequence::InterruptedFamily(uint32_t engineBaud) {
    const int firmwareFamily = request_.firmwareFamily;
    DeviceProfile profile;
    LoadFamilyProfile(firmwareFamily, kAssumedVersion, &profile);
    if (profile.bootloaderBaud == engineBaud) return firmwareFamily;
    const int saved = vorn::settingsfile::FamilyOfFile(FileText(settingsPath_));
    LoadFamilyProfile(saved, kAssumedVersion, &profile);
    if (saved == UNKNOWN || profile.bootloaderBaud != engineBaud) return firmwareFamily;
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag,
                  "The loader answered at %u baud: going on as the %s the settings file %s was saved from", engineBaud,
                  profile.displayName.c_str(), settingsPath_.c_str());
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
    const std::string serial = session_.SerialNumber();
    switch (LeftSettingsAreThisInstruments(left, rc, serial)) {
        case LeftSettings::kOther: break;
        case LeftSettings::kThisOnesAsked:
            if (!Ask(KeptSettingsQuestion(left))) return kCancelled;
            [[fallthrough]];
        case LeftSettings::kThisOnes:
            session_.ClearSavedSettings();  // the restore reads the kept file
            keptSettings_ = true;
            if (log_)
                log_->Log(VornLog::kFailures, kHostTag, "Keeping the settings file %s of an update that did not finish: its settings are restored",
                          settingsPath_.c_str());
            Status(texts::Stage::kKeepingSettings);
            return 1;
    }
    // Another instrument's file, or one the save could not be compared with.
    if (rc < 0) return rc;  // the earlier file stays as it was
    // Another unit's settings are never overwritten: they are moved aside first.
    if (int32_t kept = KeepOtherUnitsFile(left); kept < 0) return kept;
    if (int32_t written = vorn::settingsfile::WriteFileSafely(settingsPath_, now); written < 0) return written;
    wroteSettings_ = true;
    return rc;
}

int32_t UpdateSequence::KeepOtherUnitsFile(const std::string& left) {
    namespace fs = std::filesystem;
    const std::string serial = vorn::settingsfile::SerialOfFile(left);
    std::string kept;
    std::error_code ec;
    for (int copy = 1; copy <= kKeptCopiesMax && kept.empty(); ++copy) {
        const std::string path = KeptSettingsFilePath(request_.userFolder, request_.deviceName, serial, copy);
        if (fs::exists(path, ec) || ec) {
            if (!ec && FileText(path) == left) kept = path;  // kept before: this name holds them already
            continue;
        }
        // A link takes a name only when it is free, so a kept file appearing meanwhile is
        // never replaced; without links (some file systems), a rename of a free name.
        ec.clear();
        fs::create_hard_link(settingsPath_, path, ec);
        if (ec == std::errc::file_exists) continue;
        if (ec) {
            ec.clear();
            fs::rename(settingsPath_, path, ec);
        }
        if (ec) break;
        kept = path;
    }
    if (kept.empty()) {
        const int32_t rc = ec ? -ec.value() : -EEXIST;
        if (log_)
            log_->Log(VornLog::kFailures, kHostTag, "The settings file %s of another unit could not be kept aside (%d): it is not replaced",
                      settingsPath_.c_str(), rc);
        otherNotKept_ = true;
        return Fail(texts::OtherUnitsSettingsNotKept(Names(), settingsPath_, rc), kSettingsFileFailed);
    }
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag,
                  "The settings file %s holds the settings of another unit (serial number \"%s\"): kept as %s",
                  settingsPath_.c_str(), vorn::EscapeControls(serial).c_str(), kept.c_str());
    const texts::Box told = texts::OtherUnitsSettingsKept(Names(), serial, kept);
    ui_.ErrorBox(told.text, told.title, told.kind);
    return 0;
}

bool UpdateSequence::AskToRestore(bool afterUpdate) {
    const std::string text = FileText(settingsPath_);
    const std::string serial = vorn::settingsfile::SerialOfFile(text);
    const texts::SavedWhen when = SavedWhenOf(settingsPath_, text);
    const texts::Box question = texts::RestoreSavedSettingsQuestion(
        Names(), settingsPath_, serial, vorn::settingsfile::ReadOrigin(text).port, when, afterUpdate);
    if (log_)
        log_->Log(VornLog::kMilestones, kHostTag, "Asking before restoring %s: saved from serial number \"%s\" %s%s",
                  settingsPath_.c_str(), vorn::EscapeControls(serial).c_str(), when.known ? when.utc.c_str() : "at a time not known",
                  when.fromFileTime ? " (the file's time)" : "");
    return ui_.AskToRestoreSettings(question.text, question.title, serial);
}

std::vector<std::string> UpdateSequence::KeptFilesOfFamily() const {
    std::vector<std::string> files;
    for (const std::string& path : KeptSettingsFiles(request_.userFolder, request_.deviceName))
        if (vorn::settingsfile::FamilyOfFile(FileText(path)) == profile_.family) files.push_back(path);
    return files;
}

UpdateSequence::LeftSettings UpdateSequence::LeftSettingsAreThisInstruments(const std::string& left, int32_t saveStatus,
                                                                            const std::string& nowSerial) const {
    if (vorn::settingsfile::FamilyOfFile(left) != profile_.family) return LeftSettings::kOther;
    const std::string leftSerial = vorn::settingsfile::SerialOfFile(left);
    if (!nowSerial.empty()) return nowSerial == leftSerial ? LeftSettings::kThisOnes : LeftSettings::kOther;
    // No serial number to compare: the update that did not finish may have wiped it, or
    // this is another, new instrument. Only the user can tell.
    if (saveStatus >= 0 || saveStatus == session::kUninitialised) return LeftSettings::kThisOnesAsked;
    return LeftSettings::kOther;  // not read over a bad line: nothing to go by
}

texts::Box UpdateSequence::KeptSettingsQuestion(const std::string& left) const {
    return texts::KeptSettingsQuestion(Names(), settingsPath_, vorn::settingsfile::SerialOfFile(left));
}

int32_t UpdateSequence::CheckSettingsFile(int32_t saveStatus) {
    int32_t rc = saveStatus;
    if (rc >= 0)
        rc = vorn::settingsfile::CheckFileHolds(
            settingsPath_, vorn::settingsfile::FormatFile(session_.Family(), session_.Instrument(), session_.Info(),
                                                          session_.UserRecords(), session_.EqnRecords()));
    if (rc >= 0) return 0;
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "The settings file %s does not hold the saved settings (%d)",
                  settingsPath_.c_str(), rc);
    return Fail(texts::SettingsFileNotKept(Names(), settingsPath_, rc), kSettingsFileFailed);
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
    Fail(texts::WrongHardwareRevision(Names(), revision, kRequiredHardwareRevision), kNotSupported);
    return false;
}

bool UpdateSequence::CheckVersionWindow(const DeviceProfile& profile) {
    if (!profile.hasVersionWindow) return true;
    const texts::Box question = texts::VersionWindowQuestion(Names(), profile.version, profile.minVersion, profile.maxVersion);
    return question.text.empty() || Ask(question);
}

}  // namespace vorn::update
