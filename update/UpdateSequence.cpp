#include "update/UpdateSequence.h"

#include <cctype>
#include <ctime>
#include <cstdio>
#include <filesystem>

#include "bsl/VornBSLHost.h"
#include "device/MOSSY_Protocol.h"
#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"
#include "session/SettingsFile.h"
#include "serial/SerialPlatform.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "update/ImageFit.h"
#include "update/ResultCodes.h"
#include "update/UpdateUi.h"
#include "update/UserFolder.h"

namespace vorn::update {
namespace {

constexpr uint32_t kHardwareAnswerRoom = 32;  // characters of the answer looked at
constexpr uint32_t kHardwareTimeoutMs = 1100;
constexpr uint32_t kCommandBaud = 9600;  // the speed of kBaudCode9600, where the connect step listens

std::time_t Now() { return std::time(nullptr); }

uint32_t LoaderBaudOf(int family) {
    DeviceProfile profile;
    LoadFamilyProfile(family, kAssumedVersion, &profile);
    return profile.bootloaderBaud;
}

}  // namespace

UpdateSequence::UpdateSequence(VornLog* log, Vorn_protocol& session, VornBSLHost& host, UpdateUi& ui)
    : log_(log), session_(session), host_(host), ui_(ui), custody_({}, log) {}

texts::Names UpdateSequence::Names() const {
    return {request_.caption, request_.deviceName, request_.portDescription};
}

std::string UpdateSequence::StandingNowText() const {
    // Once the instrument was touched the file's own name is what the user needs; before
    // that it is only a copy of what the instrument still holds.
    const std::string file = reached_ == Reached::kNothing ? std::string() : plan_.path;
    // The instrument as it answered: a Kt72 found where the firmware wanted a Readwell
    // is "your Kt72" here.
    texts::Names names = Names();
    if (versionFound_ != 0 && !profile_.displayName.empty()) names.device = profile_.displayName;
    return texts::StandingText(StandingNow(), names, file, ui_.HowToTryAgain(), ui_.HowToRestore(file, request_.portName));
}

// Every failure ends the run: its box says where the instrument stands now.
int32_t UpdateSequence::Fail(const texts::Box& box, int32_t rc) {
    ui_.ErrorBox(box.text + "\n\n" + StandingNowText(), box.title, box.kind);
    standingSaid_ = true;
    return rc;
}

void UpdateSequence::Report(const texts::Box& box) { ui_.ErrorBox(box.text, box.title, box.kind); }

bool UpdateSequence::Ask(const texts::Box& question, UpdateUi::Consent consent, const std::string& savedSerial) {
    return ui_.Ask({question.text, question.title, consent, savedSerial});
}

void UpdateSequence::Status(texts::Stage stage) { ui_.ShowStatus(texts::StatusLine(stage, Names())); }

void UpdateSequence::Advance(int points) { ui_.SetProgress(ui_.Progress() + points); }

const std::string& UpdateSequence::StablePort() const {
    return request_.stablePortName.empty() ? request_.portName : request_.stablePortName;
}

// What one run starts from: nothing found, saved or started yet, the bar at 0.
void UpdateSequence::Begin(const UpdateRequest& request) {
    request_ = request;
    custody_ = SettingsCustody(request.userFolder, log_);
    session_.ClearSavedSettings();
    session_.SetFileOrigin({});
    profile_ = DeviceProfile{};
    versionFound_ = 0;
    engineBaud_ = 0;
    inBootloader_ = false;
    reached_ = Reached::kNothing;
    plan_ = SettingsPlan{};
    outcome_ = RunOutcome{};
    standingSaid_ = false;
    ui_.SetProgress(0);
}

int32_t UpdateSequence::Run(const UpdateRequest& request, const std::function<int32_t()>& body) {
    Begin(request);
    ui_.SetConnectText(UpdateUi::ConnectLine::kDoNotDisconnect, texts::DoNotDisconnect(Names()));
    if (log_) log_->Log(VornLog::kDetails, kHostTag, "Settings files are kept in %s", request_.userFolder.c_str());
    Status(texts::Stage::kConnecting);

    const uint32_t start = MsTimer();
    int32_t result = body ? body() : UpdateInstrument();
    if (result < 0) return EndFailed(result);
    elapsedSeconds_ = (MsTimer() - start) / 1000;
    if (profile_.calibrationReminder) {
        if (texts::Box notice = texts::CalibrationNotice(profile_.family); !notice.text.empty()) Report(notice);
    }
    if (!plan_.leftOut.empty()) Report(texts::FinishedWithoutSettings(Names(), plan_.leftOut, plan_.path));
    ui_.SetProgress(kProgressDone);
    ui_.ShowStatus(texts::Updated(elapsedSeconds_));
    ui_.Beep(UpdateUi::BoxKind::kInformation);
    ui_.PumpEvents();
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "Finished updating device in %d seconds", static_cast<int>(elapsedSeconds_));
    ui_.SetConnectText(UpdateUi::ConnectLine::kMayDisconnect, texts::MayDisconnect(Names()));
    return result;
}

UpdateSequence::RunOutcome UpdateSequence::Outcome() const {
    RunOutcome o = outcome_;
    o.everySettingBack = plan_.restored;
    o.leftOut = plan_.leftOut;
    o.seconds = elapsedSeconds_;
    return o;
}

texts::Standing UpdateSequence::StandingNow() const {
    // Found in its loader, it stays there until an upload is through.
    if (inBootloader_ && (reached_ == Reached::kNothing || reached_ == Reached::kLoaderStarted))
        return texts::Standing::kInLoader;
    switch (reached_) {
        case Reached::kNothing: return texts::Standing::kUntouched;
        case Reached::kLoaderStarted: return texts::Standing::kMayBeInLoader;
        case Reached::kErasing: return texts::Standing::kInLoader;
        case Reached::kUploaded: return texts::Standing::kNewFirmware;
        case Reached::kRestoring: return texts::Standing::kRestoredInPart;
        case Reached::kSettingsBack: return texts::Standing::kSettingsBack;
    }
    return texts::Standing::kUntouched;
}

int32_t UpdateSequence::EndFailed(int32_t result) {
    ui_.HideStatus();
    ui_.SetProgress(0);
    host_.BSLDisconnect();
    session_.VPLogout(false);
    ui_.SetConnectText(UpdateUi::ConnectLine::kIdle, texts::ConnectToComputer(Names()));
    const std::string standing = StandingNowText();
    if (log_) {
        log_->Log(VornLog::kFailures, kHostTag, "%s", standing.c_str());
        log_->Log(VornLog::kFailures, kHostTag, "Ended with %s", ResultLine(result).c_str());
    }
    if (!standingSaid_) ui_.ShowStanding(standing);
    return result;
}

int32_t UpdateSequence::RunRestore(const UpdateRequest& request, const std::string& path) {
    Begin(request);
    plan_.source = SettingsPlan::Source::kEarlierRun;
    plan_.path = path;
    const int32_t result = RestoreFromFile();
    if (result < 0) return EndFailed(result);
    ui_.SetProgress(kProgressDone);
    // Done with, as at the end of an update: a file of the updater's own folder whose
    // settings went back into the unit they were saved from. One the user keeps elsewhere
    // stays, and so does one written into another unit on the user's word.
    const bool removed =
        IsOwnSettingsFile(request_.userFolder, path) && !plan_.intoAnotherUnit && custody_.Remove(path) == 0;
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "Restored the settings file %s into the %s on %s%s", path.c_str(),
                  request_.deviceName.c_str(), request_.portName.c_str(), removed ? "; the file is removed" : "");
    ui_.ShowStatus(texts::SettingsRestored(path, removed, plan_.backup));
    ui_.Beep(UpdateUi::BoxKind::kInformation);
    ui_.SetConnectText(UpdateUi::ConnectLine::kMayDisconnect, texts::MayDisconnect(Names()));
    return kUpdated;
}

int32_t UpdateSequence::ConnectToTell() {
    Status(texts::Stage::kConnecting);
    if (int32_t rc = Connect(); rc < 0) return rc;
    if (!inBootloader_ && !profile_.displayName.empty()) request_.deviceName = profile_.displayName;
    return 0;
}

int32_t UpdateSequence::RunInfo(const UpdateRequest& request, InstrumentFacts* facts) {
    Begin(request);
    *facts = InstrumentFacts{};
    if (int32_t rc = ConnectToTell(); rc < 0) return EndFailed(rc);
    facts->inLoader = inBootloader_;
    if (!inBootloader_) {
        facts->family = profile_.displayName;
        facts->version = texts::VersionText(profile_.version);
        facts->hardware = ReadHardwareRevision();
        int32_t percent = -1;
        if (profile_.checkBattery && session_.VPCheckBattery(&percent) > 0) facts->battery = percent;
        // Its serial number comes with its settings, which are only read.
        if (profile_.saveSettings && (!profile_.loginBeforeSettings || session_.VPLogin() >= 0)) {
            facts->settingsReadInPart = session_.CollectForSave() == kPartlyDone;
            facts->serial = session_.SerialNumber();
            session_.ClearSavedSettings();
        }
        session_.VPLogout(true);
    }
    host_.BSLDisconnect();
    ui_.HideStatus();
    return kUpdated;
}

int32_t UpdateSequence::RunSaveSettings(const UpdateRequest& request, const std::string& path) {
    Begin(request);
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found)
        return EndFailed(Fail(texts::SaveWouldReplace(path), kSettingsFileFailed));
    if (int32_t rc = ConnectToTell(); rc < 0) return EndFailed(rc);
    if (inBootloader_) return EndFailed(Fail(texts::SaveNeedsFirmware(Names()), kBslActive));
    if (!profile_.saveSettings) return EndFailed(Fail(texts::NoSettingsToSave(Names()), kNotApplicable));
    Status(texts::Stage::kSavingSettings);
    if (profile_.loginBeforeSettings) {
        if (int32_t rc = session_.VPLogin(); rc < 0) return EndFailed(Fail(texts::SettingsLoginFailed(Names()), rc));
    }
    const int32_t collected = session_.CollectForSave();
    if (collected == session::kUninitialised) return EndFailed(Fail(texts::NoSettingsYet(Names()), collected));
    if (collected < 0 && collected != kPartlyDone)
        return EndFailed(Fail(texts::CurrentSettingsNotRead(Names(), collected), collected));
    // Kept for the user: a backup, which no update takes up by itself.
    if (int32_t rc = WriteNewFile(path, Stage::kBackup); rc < 0) return EndFailed(rc);
    session_.VPLogout(true);
    if (log_) log_->Log(VornLog::kFailures, kHostTag, "Saved the settings of the %s on %s in %s%s", profile_.displayName.c_str(),
                        request_.portName.c_str(), path.c_str(), collected == kPartlyDone ? " (some could not be read)" : "");
    if (collected == kPartlyDone) return EndFailed(Fail(texts::SavedInPart(Names(), path), kPartlyDone));
    ui_.ShowStatus(texts::SettingsSaved(path));
    return kUpdated;
}

int32_t UpdateSequence::RestoreFromFile() {
    const std::string path = plan_.path;
    const std::optional<SavedSettings> file = custody_.Read(path);
    if (!file) return Fail(texts::NotASettingsFile(Names(), path), kNotUnderstood);
    DeviceProfile ofFile;
    LoadFamilyProfile(file->family, kAssumedVersion, &ofFile);
    request_.deviceName = ofFile.displayName;
    request_.firmwareFamily = file->family;
    ui_.SetConnectText(UpdateUi::ConnectLine::kDoNotDisconnect, texts::DoNotDisconnect(Names()));
    Status(texts::Stage::kConnecting);
    int32_t rc = session_.VPConnect(request_.portName, kBaudCode9600, kSerialTries, &profile_);
    if (rc == kNoConnection && ofFile.bootloaderBaud != kCommandBaud) {
        // Silent at 9600: perhaps a loader waits at its own speed, after an update cut short.
        if (int32_t engine = host_.BSLCheck(request_.portName, ofFile.bootloaderBaud); engine == kBslActive || engine == kBslWaiting)
            rc = engine;
        host_.BSLDisconnect();
    }
    if (rc == kBslActive || rc == kBslWaiting) return Fail(texts::RestoreNeedsFirmware(Names()), rc);
    if (rc < 0) return Fail(ConnectionFailedBox(rc), kNoConnection);
    Advance(kProgressStepPoints);
    if (profile_.family != file->family)
        return Fail(texts::SettingsOfAnotherFamily(Names(), path, profile_.displayName), kWrongDevice);
    if (profile_.loginBeforeSettings) {
        if (rc = session_.VPLogin(); rc < 0) return Fail(texts::ReconnectLoginFailed(Names()), rc);
    }
    // What the instrument holds now is kept before anything is written over it, and its
    // serial number says whose it is: the restore itself can lose nothing.
    Status(texts::Stage::kSavingSettings);
    const int32_t collected = session_.CollectForSave();
    const std::string unitSerial = vorn::settingsfile::OriginValue(session_.SerialNumber());
    // Read in part (a value it does not have, one the line lost): what was read is kept;
    // the restore writes only the file's values.
    if (collected >= 0 || collected == kPartlyDone) {
        plan_.backup = custody_.NewFilePath(profile_.displayName, unitSerial, StablePort(), Now());
        if (rc = WriteNewFile(plan_.backup, Stage::kBackup); rc < 0) return rc;
    } else if (collected != session::kUninitialised) {
        return Fail(texts::CurrentSettingsNotRead(Names(), collected), collected);
    }
    session_.ClearSavedSettings();  // the restore reads the file
    const texts::RestoreSituation situation = unitSerial.empty()           ? texts::RestoreSituation::kRestoreNoSerial
                                              : unitSerial == file->serial ? texts::RestoreSituation::kRestoreSameSerial
                                                                           : texts::RestoreSituation::kRestoreOtherSerial;
    plan_.intoAnotherUnit = situation == texts::RestoreSituation::kRestoreOtherSerial;
    if (!AskToRestore(*file, situation, unitSerial, plan_.backup)) return kCancelled;
    Status(texts::Stage::kRestoring);
    reached_ = Reached::kRestoring;
    rc = session_.VPRestoreInfo(path, nullptr);
    if (rc < 0) {
        if (rc == kPartlyDone && IsOwnSettingsFile(request_.userFolder, path)) (void)Journal(Stage::kRestoredInPart, false);
        return Fail(texts::RestoreFailed(Names(), rc, path, true), rc);
    }
    plan_.restored = true;
    reached_ = Reached::kSettingsBack;
    if (profile_.setClockAfterUpdate) outcome_.clockSet = session_.VPSetTime() > 0;
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
        &UpdateSequence::SecureSettings,
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
    connectStatus_ = rc;
    engineBaud_ = kCommandBaud;
    if (rc == kNoConnection) {
        // Nobody answers at 9600: perhaps an engine waits at the faster loader speed.
        LoadFamilyProfile(catalogue::FamilyOfOtherLoaderSpeed(), kAssumedVersion, &profile_);
        engineBaud_ = profile_.bootloaderBaud;
        rc = host_.BSLCheck(request_.portName, engineBaud_);
        host_.BSLDisconnect();
    }
    inBootloader_ = rc == kBslActive || rc == kBslWaiting;
    if (rc < 0 && !inBootloader_) return Fail(ConnectionFailedBox(rc), kNoConnection);
    if (!inBootloader_) versionFound_ = profile_.version;
    Advance(kProgressStepPoints);
    return 0;
}

texts::Box UpdateSequence::ConnectionFailedBox(int32_t rc) const {
    if (rc != vorn::kPortNoPermission) return texts::ConnectionFailed(Names(), rc, profile_);
    const vorn::platform::PortAccess access = vorn::platform::PortAccessOf(request_.portName);
    return texts::ConnectionFailed(Names(), rc, profile_, &access);
}

int32_t UpdateSequence::DecideFirmwareFits() {
    if (inBootloader_) {
        // An interrupted update left the instrument in its bootloader: load it again, as
        // the family the journal of this port says it is.
        const LoaderFamily found = FamilyInLoader(engineBaud_);
        if (request_.bench && !found.named) {
            if (log_)
                log_->Log(VornLog::kFailures, kHostTag,
                          "The instrument on %s waits in its loader and no journal of this port names the firmware: "
                          "a bench does not load it",
                          StablePort().c_str());
            std::string command = "vornbsl-cli --port " + request_.portName + " --firmware \"" + request_.firmwarePath + "\"";
            if (request_.factoryMode) command += " --factory";
            return Fail(texts::UnitNotIdentified(Names(), command), kUnitNotIdentified);
        }
        LoadFamilyProfile(found.family, kAssumedVersion, &profile_);
        return RefuseMisfitImage();
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
    if (int32_t rc = RefuseWrongHardware(); rc < 0) return rc;
    if (!CheckVersionWindow(profile_)) return kNotSupported;
    if (profile_.checkBattery) {
        Status(texts::Stage::kCheckingBattery);
        int32_t percent = -1;
        if (session_.VPCheckBattery(&percent) > 0 && percent < kLowBatteryPercent)
            return Fail(texts::BatteryTooLow(), kBatteryLow);
    }
    if (int32_t rc = RefuseMisfitImage(); rc < 0) return rc;
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::SecureSettings() {
    if (!profile_.saveSettings) {
        plan_.source = SettingsPlan::Source::kNotNeeded;
        return 0;
    }
    if (inBootloader_) {
        // It cannot tell which unit it is: the files of updates that handed an instrument
        // of its family to the loader are offered, this port's first.
        if (!OfferCandidates(Candidates(false), texts::RestoreSituation::kUnitInLoader) && log_)
            log_->Log(VornLog::kFailures, kHostTag, "No saved settings were taken for the instrument waiting in its loader on %s",
                      StablePort().c_str());
        return 0;
    }
    Status(texts::Stage::kSavingSettings);
    if (profile_.loginBeforeSettings) {
        if (int32_t rc = session_.VPLogin(); rc < 0) return Fail(texts::SettingsLoginFailed(Names()), rc);
    }
    const int32_t collected = session_.CollectForSave();
    // The serial number as read, also when other settings were not (a half-restored
    // instrument answers for some and not for others).
    const std::string serial = vorn::settingsfile::OriginValue(session_.SerialNumber());
    // It answered as its firmware does, whatever values it holds.
    const bool answered = collected >= 0 || collected == session::kUninitialised || collected == kPartlyDone;
    if (!serial.empty())
        TakeFilesOfUnit(serial);
    else if (answered)
        OfferCandidates(Candidates(true), texts::RestoreSituation::kUnitWithoutSerial);
    if (plan_.source == SettingsPlan::Source::kEarlierRun) return 0;
    return SaveOwnSettings(collected, serial);
}

void UpdateSequence::TakeFilesOfUnit(const std::string& serial) {
    for (const SavedSettings& file : custody_.Files(profile_.family)) {
        if (!file.Pending() || file.serial != serial) continue;
        // Its update never erased anything: the instrument still holds its settings, and
        // perhaps newer ones than the file.
        if (!file.PastErase()) {
            SetAside(file);
        } else if (plan_.source == SettingsPlan::Source::kEarlierRun) {
            if (log_)
                log_->Log(VornLog::kFailures, kHostTag, "Another settings file of this unit waits: %s (left as it is)",
                          file.path.c_str());
        } else if (file.stage != Stage::kUnknown ||
                   AskToRestore(file, texts::RestoreSituation::kSameSerialNoJournal, serial)) {
            UseEarlierFile(file);
        } else {
            SetAside(file);
        }
    }
}

std::vector<SavedSettings> UpdateSequence::Candidates(bool pastErase) const {
    std::vector<SavedSettings> here, elsewhere;
    for (const SavedSettings& file : custody_.Files(profile_.family)) {
        if (!file.Pending() || !(pastErase ? file.PastErase() : file.PastLoader())) continue;
        (file.lastPort == StablePort() ? here : elsewhere).push_back(file);
    }
    // A bench cannot ask: only what this port's own journal recorded may go back.
    if (!request_.bench) here.insert(here.end(), elsewhere.begin(), elsewhere.end());
    return here;
}

bool UpdateSequence::OfferCandidates(const std::vector<SavedSettings>& candidates, texts::RestoreSituation situation) {
    for (const SavedSettings& file : candidates) {
        if (AskToRestore(file, situation)) {
            UseEarlierFile(file);
            return true;
        }
    }
    plan_.declined = !candidates.empty();
    return false;
}

void UpdateSequence::UseEarlierFile(const SavedSettings& file) {
    session_.ClearSavedSettings();  // the restore reads the file
    plan_.source = SettingsPlan::Source::kEarlierRun;
    plan_.path = file.path;
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag,
                  "Keeping the settings file %s (serial number \"%s\", journal \"%s\") of an update that did not finish: "
                  "its settings are restored",
                  file.path.c_str(), vorn::EscapeControls(file.serial).c_str(), StageWord(file.stage));
    Status(texts::Stage::kKeepingSettings);
}

void UpdateSequence::SetAside(const SavedSettings& file) {
    const int32_t rc = custody_.Keep(file.path, Stage::kSetAside, Now());
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag,
                  "The settings file %s was saved by an update that never erased this instrument: it holds its own "
                  "settings, which are read again; the file is set aside%s",
                  file.path.c_str(), rc < 0 ? " (its journal could not be written: it stays as it was)" : "");
    Report(texts::SettingsSetAside(Names(), FactsOf(file)));
}

texts::SavedFileFacts UpdateSequence::FactsOf(const SavedSettings& file) const {
    texts::SavedFileFacts facts{file.path, file.serial, file.savedPort, {}};
    const std::time_t at = file.savedAt ? *file.savedAt : file.lastAt;
    if (file.savedAt || file.lastAt != 0) {
        facts.when.known = true;
        facts.when.fromFileTime = !file.savedAt;
        facts.when.utc = vorn::settingsfile::FormatUtc(at);
        facts.when.ageSeconds = static_cast<long long>(Now()) - static_cast<long long>(at);
    }
    return facts;
}

bool UpdateSequence::AskToRestore(const SavedSettings& file, texts::RestoreSituation situation,
                                  const std::string& unitSerial, const std::string& backupPath) {
    const texts::SavedFileFacts facts = FactsOf(file);
    if (log_)
        log_->Log(VornLog::kMilestones, kHostTag, "Asking before restoring %s: saved from serial number \"%s\" %s%s",
                  file.path.c_str(), vorn::EscapeControls(file.serial).c_str(),
                  facts.when.known ? facts.when.utc.c_str() : "at a time not known",
                  facts.when.fromFileTime ? " (the file's time)" : "");
    // Only an instrument that tells the file's serial number proves it is the unit.
    const UpdateUi::Consent consent = situation == texts::RestoreSituation::kRestoreSameSerial
                                          ? UpdateUi::Consent::kConfirm
                                          : UpdateUi::Consent::kWriteSavedSettings;
    return Ask(texts::RestoreSavedSettingsQuestion(Names(), facts, situation, unitSerial, backupPath), consent, file.serial);
}

int32_t UpdateSequence::SaveOwnSettings(int32_t collected, const std::string& serial) {
    if (collected >= 0 || (session_.SettingsSaved() && collected != vorn::kNotApplicable)) {
        // Some settings did not come over the line: the update would wipe them.
        if (session_.SavedInPart() &&
            !Ask(texts::SettingsReadInPartQuestion(Names()), UpdateUi::Consent::kGiveUpSettings))
            return kCancelled;
        const std::string path = custody_.NewFilePath(profile_.displayName, serial, StablePort(), Now());
        if (int32_t rc = WriteNewFile(path, Stage::kSaved); rc < 0) return rc;
        plan_.source = SettingsPlan::Source::kThisRun;
        plan_.path = path;
        return 0;
    }
    if (!Ask(texts::SettingsNotReadQuestion(Names()), UpdateUi::Consent::kGiveUpSettings)) return kCancelled;
    plan_.source = SettingsPlan::Source::kGivenUp;
    return 0;
}

int32_t UpdateSequence::WriteNewFile(const std::string& path, Stage stage) {
    vorn::settingsfile::SavedOrigin origin;
    origin.port = origin.stagePort = StablePort();
    origin.stage = StageWord(stage);
    if (stage == Stage::kSaved) origin.loading = std::string(vorn::catalogue::FamilyCode(request_.firmwareFamily));
    session_.SetFileOrigin(origin);
    const int32_t written = session_.WriteSavedSettings(path);
    // Saved in memory but not in the file (a full disk, a failed write), or a file that
    // does not read back: an erase now could lose the settings for good.
    if (written < 0) {
        if (log_)
            log_->Log(VornLog::kFailures, kHostTag, "The settings file %s could not be written (%d)", path.c_str(), written);
        return Fail(texts::SettingsFileNotKept(Names(), path, written), kSettingsFileFailed);
    }
    return CheckSettingsFile(path, written);
}

int32_t UpdateSequence::Journal(Stage stage, bool mustHold) {
    using Source = SettingsPlan::Source;
    if (plan_.path.empty() || (plan_.source != Source::kThisRun && plan_.source != Source::kEarlierRun)) return 0;
    const int32_t rc = custody_.Advance(plan_.path, stage, StablePort(), request_.firmwareFamily, Now());
    if (rc >= 0 || !mustHold) return 0;
    // A step the file does not record could be misread later: it is not taken.
    return Fail(texts::SettingsFileNotKept(Names(), plan_.path, rc), kSettingsFileFailed);
}

int32_t UpdateSequence::StartLoader() {
    session_.VPLogout(false);
    ui_.SetProgress(kProgressLoaderStart);
    Status(texts::Stage::kStartingLoader);
    if (int32_t rc = Journal(Stage::kLoaderStarted, true); rc < 0) return rc;
    reached_ = Reached::kLoaderStarted;
    const int32_t rc = host_.BSLConnect(request_.portName, profile_.bootloaderBaud, true, kBootloaderTries);
    if (rc == kNoBootloader) return Fail(texts::NoWorkingLoader(Names()), rc);
    if (rc < 0) return Fail(texts::LoaderSilent(Names()), kBslRefused);
    Advance(kProgressStepPoints);
    return 0;
}

int32_t UpdateSequence::Erase() {
    Status(texts::Stage::kErasing);
    if (int32_t rc = Journal(Stage::kErasing, true); rc < 0) return rc;
    reached_ = Reached::kErasing;
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
    reached_ = Reached::kUploaded;
    (void)Journal(Stage::kUploaded, false);  // past the erase either way: the file says so already
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
    if (profile_.loginBeforeSettings && session_.VPLogin() < 0) Report(texts::ReconnectLoginFailed(Names()));
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
    using Source = SettingsPlan::Source;
    Status(texts::Stage::kRestoring);
    // Read now, not when Start was pressed: the window leaves these editable.
    const std::string newSerialNumber = ui_.ReplaceSerialNumber() ? ui_.NewSerialNumber() : std::string();
    const std::string* newSerial = newSerialNumber.empty() ? nullptr : &newSerialNumber;
    int32_t rc = 0;
    switch (plan_.source) {
        case Source::kNotNeeded: break;
        case Source::kNone: return NothingRestored();
        case Source::kGivenUp:
            // No settings to go back, but a new serial number to give: that alone.
            if (!newSerial) break;
            session_.PrepareSerialNumberOnlyRestore();
            if (rc = session_.VPRestoreInfo({}, newSerial); rc < 0) return Fail(texts::RestoreFailed(Names(), rc, {}), rc);
            break;
        case Source::kThisRun:
        case Source::kEarlierRun:
            rc = session_.VPRestoreInfo(plan_.path, newSerial);
            outcome_.settingsRestored = session_.SettingsRestoredCount();
            if (rc < 0) {
                if (rc != kPartlyDone) return Fail(texts::RestoreFailed(Names(), rc, plan_.path), rc);
                (void)Journal(Stage::kRestoredInPart, false);
                if (!FinishWithoutRefused()) return Fail(texts::RestoreFailed(Names(), rc, plan_.path), rc);
                break;
            }
            plan_.restored = true;
            reached_ = Reached::kSettingsBack;
            // Every setting is back in the unit the file belongs to: the file has done its
            // work, whatever the last steps do. No other file is ever removed.
            (void)custody_.Remove(plan_.path);
            break;
    }
    // A clock that could not be set is logged; the firmware and settings are in place.
    if (profile_.setClockAfterUpdate) outcome_.clockSet = session_.VPSetTime() > 0;
    Advance(kProgressStepPoints);
    return 0;
}

// An instrument that keeps refusing a setting would fail every update the same way, its
// clock never set and its data never erased. The user may finish without just those
// settings, named; the file stays, set aside, for entering them by hand. Only the consent
// that gives up settings answers this, never a plain yes.
bool UpdateSequence::FinishWithoutRefused() {
    const std::vector<std::string> names = session_.SettingsNotRestored();
    if (names.empty()) return false;
    if (!Ask(texts::RefusedSettingsQuestion(Names(), names, plan_.path), UpdateUi::Consent::kGiveUpSettings))
        return false;
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + vorn::EscapeControls(n);
    const int32_t kept = custody_.Keep(plan_.path, Stage::kSetAside, Now());
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "Finishing without the settings the instrument did not take (%s); %s is kept%s",
                  list.c_str(), plan_.path.c_str(), kept < 0 ? " (its journal could not be written)" : ", set aside");
    plan_.leftOut = names;
    reached_ = Reached::kSettingsBack;
    return true;
}

int32_t UpdateSequence::NothingRestored() {
    std::vector<texts::SavedFileFacts> files;
    for (const SavedSettings& file : custody_.Files(profile_.family))
        if (file.Pending()) files.push_back(FactsOf(file));
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "The new firmware runs on %s without saved settings: %s",
                  StablePort().c_str(), plan_.declined ? "the ones found were not this unit's" : "none were found");
    return Fail(texts::SettingsNotRestored(Names(), plan_.declined, files),
                kSettingsNotRestored);
}

int32_t UpdateSequence::FinishDevice() {
    if (profile_.eraseDataAfterUpdate && !ui_.KeepData()) {
        Status(texts::Stage::kErasingData);
        if (int32_t rc = session_.VPEraseData(); rc < 0) return Fail(texts::DataEraseFailed(Names(), rc), rc);
        outcome_.dataErased = true;
    }
    // An instrument whose calibration is missing or at its factory default is reminded.
    std::string adc = session_.SavedAdcText();
    if (adc.empty() || adc.find("50.98") != std::string::npos) profile_.calibrationReminder = true;
    session_.VPLogout(true);
    return 0;
}

int32_t UpdateSequence::RefuseMisfitImage() {
    const std::string reason =
        ImageMisfit(ImageSegments(host_.ImageText()), host_.Vectors()[vorn::bsl::kVectorCount - 1], profile_);
    if (reason.empty()) return 0;
    const std::string device = profile_.displayName.empty() ? request_.deviceName : profile_.displayName;
    return Fail(texts::FirmwareDoesNotFit(host_.FirmwareFileName(), device, reason), kImageDoesNotFit);
}

// The family of the instrument waiting in its loader. The journal of this port names the
// unit an update of it handed to its loader, and the firmware it was loading; without
// one, the firmware's own family when its loader listens at the speed the engine
// answered at (the loaded firmware's, as an update always assumed). Otherwise the
// firmware was being loaded into another family in factory mode (a logger, whose loader
// listens at 9600): the family a file of such an update was saved from, when its loader
// listens there. Without that, the firmware's family, whose loader will not answer: a
// box then, rather than erasing with the wrong family's layout.
UpdateSequence::LoaderFamily UpdateSequence::FamilyInLoader(uint32_t engineBaud) const {
    const int firmware = request_.firmwareFamily;
    const std::vector<SavedSettings> files = custody_.Files(SettingsCustody::kAnyFamily);
    auto loads = [firmware](const SavedSettings& f) {
        return f.loading == firmware || (f.loading == UNKNOWN && f.family == firmware);
    };
    for (const SavedSettings& f : files)
        if (f.Pending() && f.PastLoader() && f.lastPort == StablePort() && loads(f) && LoaderBaudOf(f.family) == engineBaud)
            return {f.family, true};
    if (LoaderBaudOf(firmware) == engineBaud) return {firmware, false};
    for (const SavedSettings& f : files) {
        if (!f.Pending() || !f.PastLoader() || (f.loading != firmware && f.loading != UNKNOWN) ||
            LoaderBaudOf(f.family) != engineBaud)
            continue;
        if (log_)
            log_->Log(VornLog::kFailures, kHostTag, "The loader answered at %u baud: going on as the %s the settings file %s was saved from",
                      engineBaud, std::string(vorn::catalogue::FamilyDisplayName(f.family)).c_str(), f.path.c_str());
        return {f.family, false};
    }
    return {firmware, false};
}

int32_t UpdateSequence::CheckSettingsFile(const std::string& path, int32_t saveStatus) {
    int32_t rc = saveStatus;
    if (rc >= 0)
        rc = vorn::settingsfile::CheckFileHolds(
            path, vorn::settingsfile::FormatFile(session_.Family(), session_.Instrument(), session_.Info(),
                                                 session_.UserRecords(), session_.EqnRecords()));
    if (rc >= 0) return 0;
    if (log_)
        log_->Log(VornLog::kFailures, kHostTag, "The settings file %s does not hold the saved settings (%d)", path.c_str(), rc);
    return Fail(texts::SettingsFileNotKept(Names(), path, rc), kSettingsFileFailed);
}

std::string UpdateSequence::ReadHardwareRevision() {
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
    return revision;
}

int32_t UpdateSequence::RefuseWrongHardware() {
    const std::string revision = ReadHardwareRevision();
    if (revision.size() == 1 && revision[0] == kRequiredHardwareRevision) return 0;
    return Fail(texts::WrongHardwareRevision(Names(), revision, kRequiredHardwareRevision), kNotSupported);
}

bool UpdateSequence::CheckVersionWindow(const DeviceProfile& profile) {
    if (!profile.hasVersionWindow) return true;
    const texts::Box question = texts::VersionWindowQuestion(Names(), profile.version, profile.minVersion, profile.maxVersion);
    return question.text.empty() || Ask(question);
}


}  // namespace vorn::update
