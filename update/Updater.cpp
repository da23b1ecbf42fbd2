#include "update/Updater.h"

#include <cerrno>
#include <utility>

#include "bsl/VornBSLHost.h"
#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "serial/SerialPlatform.h"
#include "session/Vorn_protocol.h"
#include "update/UpdateTexts.h"
#include "update/UpdateUi.h"
#include "update/UserFolder.h"

namespace vorn::update {
namespace {

// One update of a port at a time, for the whole update (the restart wait included, while
// the port itself is closed): a second would talk over the first, and could start erasing
// an instrument the first is loading. Two locks: the user's own, which tells another of
// this user's updates apart, and the system's, which every serial program of every
// account honours. Held for the update, or until the process ends, however it ends.
class PortLock {
public:
    PortLock(const std::string& userFolder, const std::string& port, VornLog& log)
        : path_(PortLockPath(userFolder, vorn::platform::PortFileKey(port))),
          handle_(vorn::platform::LockFileExclusive(path_, "an update of this port holds this lock\n")) {
        // A folder where no lock can be made (read-only) leaves the update as it was
        // before locks: the port's own exclusive open still keeps others out.
        if (handle_ < 0 && handle_ != -EBUSY)
            log.Log(VornLog::kFailures, kHostTag, "Could not lock %s (%d): updating without the lock", path_.c_str(),
                    static_cast<int>(handle_));
        if (handle_ == -EBUSY) return;
        system_ = vorn::platform::LockPortForSystem(port, &holder_);
        if (system_ < 0 && system_ != -EBUSY)
            log.Log(VornLog::kFailures, kHostTag, "Could not take the system's lock of %s (%d): updating without it",
                    port.c_str(), static_cast<int>(system_));
    }
    ~PortLock() {
        if (system_ >= 0) vorn::platform::UnlockPortForSystem(system_);
        vorn::platform::UnlockFile(handle_, path_);
    }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;
    // Another update of this user has the port.
    bool HeldByUpdate() const { return handle_ == -EBUSY; }
    // Another program, or another account, has the port's system lock: its pid, else 0.
    long HeldBySystemLock() const { return system_ == -EBUSY ? (holder_ > 0 ? holder_ : -1) : 0; }

private:
    std::string path_;
    intptr_t handle_;
    intptr_t system_ = -1;
    long holder_ = 0;
};

// Before anything is sent: the box of a port another update or program has.
int32_t RefuseBusyPort(const UpdateRequest& request, const PortLock& lock, UpdateUi& ui, VornLog& log) {
    const texts::Names names{request.caption, request.deviceName, request.portDescription};
    if (lock.HeldByUpdate()) {
        log.Log(VornLog::kFailures, kHostTag, "Comm Port %s is being updated by another process", request.portName.c_str());
        const texts::Box box = texts::PortBeingUpdated(names);
        ui.ErrorBox(box.text, box.title, box.kind);
        return kPortInUse;
    }
    log.Log(VornLog::kFailures, kHostTag, "Comm Port %s is locked by process %ld (the system's lock of the port)",
            request.portName.c_str(), lock.HeldBySystemLock());
    const texts::Box box = texts::ConnectionFailed(names, kPortInUse, DeviceProfile{});
    ui.ErrorBox(box.text, box.title, box.kind);
    return kNoConnection;
}

}  // namespace

UpdaterSetup UpdaterSetup::ForThisUser(const std::string& programFolder, uint32_t logLevel, const std::string& logPath) {
    UpdaterSetup setup;
    setup.userFolder = vorn::update::UserFolder(programFolder);
    setup.logPath = logPath.empty() ? vorn::update::ErrorLogPath(setup.userFolder) : logPath;
    setup.logLevel = logLevel;
    return setup;
}

Updater::Updater(const UpdaterSetup& setup)
    : userFolder_(setup.userFolder),
      log_(std::make_unique<VornLog>(setup.logPath, setup.logLevel)),
      host_(std::make_unique<VornBSLHost>(log_.get())),
      session_(std::make_unique<Vorn_protocol>(log_.get())) {
    // The log's own limit on disk: a byte-level log grows by megabytes an update, and the
    // last updates are the ones worth reading.
    if (log_->FileSize() > kLogFileMaxBytes) log_->KeepLast(kLogFileKeptBytes);
    firmware_.family = UNKNOWN;
    firmware_.deviceName = "Instrument";
    host_->SetTranscript(&transcript_);
    session_->Connection().SetTranscript(&transcript_);
}

int Updater::StartTranscript(const std::string& path, const std::string& program) {
    const int rc = transcript_.Start(path, program);
    if (rc != 0)
        log_->Log(VornLog::kFailures, kHostTag, "Could not begin the wire transcript %s (%d)", path.c_str(), rc);
    else
        log_->Log(VornLog::kDetails, kHostTag, "Recording the wire transcript into %s", path.c_str());
    return rc;
}

void Updater::StopTranscript() { transcript_.Stop(); }

// A run the window records: into the per-user folder's transcript, for that run. One
// that cannot be recorded still runs (the log says why): the update matters more.
Updater::Recording::Recording(Updater& updater, const UpdateRequest& request) : updater_(updater) {
    if (!request.recordTranscript || updater.transcript_.Active()) return;
    started_ = updater.StartTranscript(TranscriptPath(updater.userFolder_), request.caption + " " + VORN_VERSION_STRING +
                                                                               ", port " + request.portName) == 0;
}

Updater::Recording::~Recording() {
    if (started_) updater_.StopTranscript();
}

Updater::~Updater() = default;

int32_t Updater::ConstructionStatus() const { return host_->ConstructionStatus(); }

const std::string& Updater::ErrorLogPath() const { return log_->Path(); }

std::string Updater::SettingsPath() const { return SettingsFilePath(userFolder_, firmware_.deviceName); }

FirmwareLoad Updater::LoadFirmware(const std::string& path, const std::string& caption) {
    FirmwareLoad load = LoadFirmwareFile(*host_, path, caption);
    if (load.status >= 0) firmware_ = load;
    return load;
}

void Updater::SetFirmwareFamily(int family) { firmware_.family = family; }

std::vector<CommPortEntry> Updater::ListPorts(PortSource& source, bool findAll, int32_t lowestGoodStatus) {
    std::vector<CommPortEntry> entries(kPortCapacity);
    int32_t count = kPortCapacity;
    if (CommPortEnum(entries.data(), &count, findAll, source) < lowestGoodStatus) count = 0;
    entries.resize(static_cast<size_t>(count));
    return entries;
}

int32_t Updater::Update(UpdateRequest request, UpdateUi& ui, const std::function<int32_t()>& body) {
    request.deviceName = firmware_.deviceName;
    request.firmwareFamily = firmware_.family;
    request.firmwareVersion = firmware_.version;
    request.firmwarePath = firmware_.path;
    request.userFolder = userFolder_;
    request.stablePortName = vorn::platform::StablePortName(request.portName);
    PortLock lock(userFolder_, request.portName, *log_);
    if (lock.HeldByUpdate() || lock.HeldBySystemLock()) return RefuseBusyPort(request, lock, ui, *log_);
    const Recording recording(*this, request);
    UpdateSequence sequence(log_.get(), *session_, *host_, ui);
    const int32_t result = sequence.Run(request, body);
    versionFound_ = sequence.VersionFound();
    connectStatus_ = sequence.ConnectStatus();
    outcome_ = sequence.Outcome();
    profile_ = sequence.Profile();
    lastSettingsPath_ = sequence.SettingsPath();
    return result;
}

// A run on a port that loads no firmware: with the port's locks, as an update has them,
// so it never talks over an update.
int32_t Updater::WithoutFirmware(UpdateRequest request, UpdateUi& ui,
                                 const std::function<int32_t(UpdateSequence&, const UpdateRequest&)>& run) {
    request.userFolder = userFolder_;
    request.stablePortName = vorn::platform::StablePortName(request.portName);
    if (request.deviceName.empty()) request.deviceName = "instrument";
    PortLock lock(userFolder_, request.portName, *log_);
    if (lock.HeldByUpdate() || lock.HeldBySystemLock()) return RefuseBusyPort(request, lock, ui, *log_);
    const Recording recording(*this, request);
    UpdateSequence sequence(log_.get(), *session_, *host_, ui);
    const int32_t result = run(sequence, request);
    profile_ = sequence.Profile();
    lastSettingsPath_ = sequence.SettingsPath();
    return result;
}

int32_t Updater::RestoreSettings(UpdateRequest request, const std::string& path, UpdateUi& ui) {
    return WithoutFirmware(std::move(request), ui,
                           [&path](UpdateSequence& s, const UpdateRequest& r) { return s.RunRestore(r, path); });
}

int32_t Updater::Info(UpdateRequest request, UpdateSequence::InstrumentFacts* facts, UpdateUi& ui) {
    return WithoutFirmware(std::move(request), ui,
                           [facts](UpdateSequence& s, const UpdateRequest& r) { return s.RunInfo(r, facts); });
}

int32_t Updater::SaveSettings(UpdateRequest request, const std::string& path, UpdateUi& ui) {
    return WithoutFirmware(std::move(request), ui,
                           [&path](UpdateSequence& s, const UpdateRequest& r) { return s.RunSaveSettings(r, path); });
}

}  // namespace vorn::update
