#pragma once
// The updater both front ends share: it owns the diagnostic log, the bootloader client
// and the instrument session, knows where the per-user folder, the log and the settings
// file are, loads firmware files, lists ports and runs updates against an UpdateUi. The
// window and vornbsl-cli only adapt it to widgets or a terminal, so one can always finish
// an update the other left unfinished: both use the same folder and file names.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "serial/CommPortEnum.h"
#include "serial/WireTranscript.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"

class PortSource;
class UpdateUi;
class VornBSLHost;
class VornLog;
class Vorn_protocol;

namespace vorn::update {

// Where the updater keeps its files, and how much it logs.
struct UpdaterSetup {
    std::string userFolder;  // the settings files go here
    std::string logPath;     // the diagnostic log
    uint32_t logLevel = 0;   // a VornLog level

    // The per-user folder (the program's own folder when none can be had), its log, and
    // the given level; `logPath` replaces the log's path when not empty.
    static UpdaterSetup ForThisUser(const std::string& programFolder, uint32_t logLevel, const std::string& logPath = {});
};

// The diagnostic log on disk: past this size, an updater starting up keeps its last part.
inline constexpr int32_t kLogFileMaxBytes = 8 << 20;
inline constexpr long kLogFileKeptBytes = 2 << 20;

class Updater {
public:
    explicit Updater(const UpdaterSetup& setup);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // The bootloader client's construction status: 0, or negative when it cannot be used.
    int32_t ConstructionStatus() const;

    VornLog& Log() { return *log_; }
    VornBSLHost& Host() { return *host_; }
    Vorn_protocol& Session() { return *session_; }
    const std::string& UserFolder() const { return userFolder_; }
    const std::string& ErrorLogPath() const;
    // The settings file of the loaded firmware's family ("Instrument" before any is loaded).
    std::string SettingsPath() const;

    // Loads a TI-Text file for the next update. A failed load leaves the firmware loaded
    // before, and its family, as they were.
    FirmwareLoad LoadFirmware(const std::string& path, const std::string& caption);
    // The last load that succeeded; family UNKNOWN and device "Instrument" before one.
    const FirmwareLoad& Firmware() const { return firmware_; }
    // Takes the firmware for another family than its file says (factory tests load a
    // Readwell image into a logger).
    void SetFirmwareFamily(int family);

    // The ports `source` offers, as the port list shows them (at most kPortCapacity);
    // empty when the list reports a status below `lowestGoodStatus`.
    static std::vector<CommPortEntry> ListPorts(PortSource& source, bool findAll, int32_t lowestGoodStatus = 0);

    // One update of the instrument on `request.portName` with the loaded firmware: the
    // request's firmware, family, version and folder are filled in here. `body`, when
    // given, runs instead of the update's steps (the window's tests frame their own).
    int32_t Update(UpdateRequest request, UpdateUi& ui, const std::function<int32_t()>& body = {});
    // Writes the settings file at `path` into the instrument on `request.portName`, as the
    // end of an update does (UpdateSequence::RunRestore): no firmware is needed, the file
    // names its family. 1, or a negative result code after its one box.
    int32_t RestoreSettings(UpdateRequest request, const std::string& path, UpdateUi& ui);
    // What the instrument on the port says of itself, nothing changed (UpdateSequence::RunInfo).
    int32_t Info(UpdateRequest request, UpdateSequence::InstrumentFacts* facts, UpdateUi& ui);
    // Its settings into a new file at `path`, nothing else (UpdateSequence::RunSaveSettings).
    int32_t SaveSettings(UpdateRequest request, const std::string& path, UpdateUi& ui);
    // What the last update (or restore) found: the instrument's profile and the settings
    // file it used.
    const DeviceProfile& Profile() const { return profile_; }
    // The firmware version the instrument ran before the last update (0: not known).
    uint32_t VersionFound() const { return versionFound_; }
    // What connecting to the port first gave in the last update (UpdateSequence::ConnectStatus).
    int32_t ConnectStatus() const { return connectStatus_; }
    // The last update's other results, for its summary.
    const UpdateSequence::RunOutcome& Outcome() const { return outcome_; }
    const std::string& LastSettingsPath() const { return lastSettingsPath_; }

    // From now on every byte on the wire, both connections', goes into a transcript at
    // `path` (serial/WireTranscript.h) until StopTranscript; `program` names the program in
    // it. 0, or the negated C error: -EEXIST for a file there that is not a transcript.
    int StartTranscript(const std::string& path, const std::string& program);
    void StopTranscript();
    const serial::WireTranscript& Transcript() const { return transcript_; }

    static constexpr int kPortCapacity = 16;

private:
    // While it lives, a run with `recordTranscript` is recorded.
    class Recording {
    public:
        Recording(Updater& updater, const UpdateRequest& request);
        ~Recording();
        Recording(const Recording&) = delete;
        Recording& operator=(const Recording&) = delete;

    private:
        Updater& updater_;
        bool started_ = false;
    };
    int32_t WithoutFirmware(UpdateRequest request, UpdateUi& ui,
                            const std::function<int32_t(UpdateSequence&, const UpdateRequest&)>& run);

    std::string userFolder_;
    serial::WireTranscript transcript_;  // outlives the connections that write into it
    std::unique_ptr<VornLog> log_;
    std::unique_ptr<VornBSLHost> host_;
    std::unique_ptr<Vorn_protocol> session_;
    FirmwareLoad firmware_;
    DeviceProfile profile_;
    uint32_t versionFound_ = 0;
    int32_t connectStatus_ = 0;
    UpdateSequence::RunOutcome outcome_;
    std::string lastSettingsPath_;
};

}  // namespace vorn::update
