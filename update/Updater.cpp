#include "update/Updater.h"

#include "bsl/VornBSLHost.h"
#include "common/VornLog.h"
#include "session/Vorn_protocol.h"
#include "update/UpdateUi.h"
#include "update/UserFolder.h"

namespace vorn::update {

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
    firmware_.family = UNKNOWN;
    firmware_.deviceName = "Instrument";
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
    request.userFolder = userFolder_;
    UpdateSequence sequence(log_.get(), *session_, *host_, ui);
    const int32_t result = sequence.Run(request, body);
    profile_ = sequence.Profile();
    lastSettingsPath_ = sequence.SettingsPath();
    return result;
}

}  // namespace vorn::update
