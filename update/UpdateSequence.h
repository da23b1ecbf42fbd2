#pragma once
// One firmware update from Start to the final status line: connect and identify the
// instrument, decide whether the firmware fits, save its settings, load the firmware
// through the bootloader, reconnect, check the new firmware, restore the settings, set
// the clock and erase old data. It knows no widgets: it talks to an UpdateUi.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "update/ResultCodes.h"
#include "update/SettingsCustody.h"
#include "update/UpdateTexts.h"
#include "update/UpdateUi.h"

class VornBSLHost;
class VornLog;
class Vorn_protocol;

namespace vorn::update {

// The tag of the updater's own lines in the diagnostic log.
inline constexpr const char* kHostTag = "VornBSL Host";

inline constexpr int kBaudCode9600 = 2;
inline constexpr int kSerialTries = 3;
inline constexpr uint32_t kBootloaderTries = 3;
inline constexpr int kReconnectAttempts = 3;
inline constexpr uint32_t kReconnectPauseStepMs = 1500;
inline constexpr int kLowBatteryPercent = 10;
inline constexpr uint32_t kAssumedVersion = 999;     // version assumed for a device found in its bootloader
inline constexpr char kRequiredHardwareRevision = 'C';

// Where the progress bar stands at the update's milestones (0 to 100). The loader's erase
// and upload reports move it between them.
inline constexpr int kProgressStepPoints = 2;      // each check-point of the update adds this
inline constexpr int kProgressLoaderStart = 6;     // the loader is asked for
inline constexpr float kProgressUploadStart = 21.0f;  // the upload starts here, after the erase
inline constexpr int kProgressRestarted = 92;      // the new firmware was started
inline constexpr int kProgressDone = 100;

// What the user chose for this update.
struct UpdateRequest {
    std::string caption;          // the program's title: messages say "The " + caption + ...
    std::string deviceName;       // display name of the loaded firmware's family
    std::string portName;         // to open
    std::string portDescription;  // as the port list shows it; messages name the port so
    std::string userFolder;       // the settings file goes here
    bool factoryMode = false;
    // One unit of a bench, several updated side by side with nobody to ask: a unit waiting
    // in its loader is loaded only when its port's journal names the firmware, and saved
    // settings are offered only from that port's journal.
    bool bench = false;
    // The port's name that stays when its adapter comes back under another node (a
    // /dev/serial/by-id link, a simulator's registered name): the settings files' journal
    // records it. Empty: the port name.
    std::string stablePortName;
    std::string firmwarePath;  // the firmware file as opened, for the texts that name a command
    int firmwareFamily = UNKNOWN;  // the family the loaded firmware is for
    uint32_t firmwareVersion = 0;  // version held for the loaded firmware
    // The window's Settings > Record Wire Transcript: the run's bytes go into the per-user
    // folder's transcript (TranscriptPath), replacing the one of the run before.
    bool recordTranscript = false;
    // "Don't Erase Data" and the new serial number are not here: the sequence asks the
    // UpdateUi for them at the steps that use them.
};

class UpdateSequence {
public:
    UpdateSequence(VornLog* log, Vorn_protocol& session, VornBSLHost& host, UpdateUi& ui);

    // The frame of one update (status texts, timing, clean-up, the final lines) around
    // UpdateInstrument. The caller disables its controls before and enables them after.
    // Returns the update's result code. `body`, when given, runs instead of
    // UpdateInstrument (the window's tests frame an update of their own with it).
    int32_t Run(const UpdateRequest& request, const std::function<int32_t()>& body = {});

    // Writes the settings file at `path` into the instrument on the request's port, as the
    // end of an update does: connect, make sure it is the file's family, keep what the
    // instrument holds now in a settings file of its own (so the restore loses nothing),
    // ask whose settings they are against the serial number it tells, restore, set the
    // clock. The file names its family, so no firmware is needed; the request's device
    // name and family are taken from it. A file of the updater's own folder is removed
    // once every setting went back into the unit it was saved from.
    // 1, or a negative result code after its one box (or the question cancelled).
    int32_t RunRestore(const UpdateRequest& request, const std::string& path);

    // What an instrument on the request's port says of itself, nothing changed: connect,
    // its family, firmware version, hardware revision, battery and serial number (read
    // with its settings, which stay in it), or that it waits in its firmware loader.
    // 1, or a negative result code after its one box.
    struct InstrumentFacts {
        bool inLoader = false;
        std::string family, version, hardware, serial;
        int32_t battery = -1;  // percent; -1 not told
        bool settingsReadInPart = false;
    };
    int32_t RunInfo(const UpdateRequest& request, InstrumentFacts* facts);

    // Saves the settings the instrument on the request's port holds into a new file at
    // `path` (never over one that exists), nothing else: a backup the user keeps, which
    // --restore-settings or File > Restore Settings... writes back. 1; kPartlyDone after the file
    // was written without the values that could not be read; or a result code after its
    // one box.
    int32_t RunSaveSettings(const UpdateRequest& request, const std::string& path);

    // The whole sequence; 1 on success, a negative result code otherwise. Every failure
    // has shown exactly one box.
    int32_t UpdateInstrument();

    const DeviceProfile& Profile() const { return profile_; }
    // The firmware version the instrument ran when the update found it (0: none known,
    // as for one found in its loader).
    uint32_t VersionFound() const { return versionFound_; }
    // What connecting to the port first gave: a port failure (kPortNoPermission,
    // kPortInUse, kPortNotFound, kNotSerialPort), another failure, or the connection.
    int32_t ConnectStatus() const { return connectStatus_; }
    // The settings file of the unit this run worked on: the one it wrote or restored from
    // (empty: none).
    const std::string& SettingsPath() const { return plan_.path; }
    // Whether every saved setting went back into the instrument.
    bool SettingsRestored() const { return plan_.restored; }
    // What the last run did beyond the firmware, for its summary.
    struct RunOutcome {
        bool clockSet = false;
        bool dataErased = false;
        size_t settingsRestored = 0;  // settings written back, counted as their file lines
        bool everySettingBack = false;
        // Settings the instrument did not take, which the user chose to finish without.
        std::vector<std::string> leftOut;
        uint32_t seconds = 0;
    };
    RunOutcome Outcome() const;
    uint32_t ElapsedSeconds() const { return elapsedSeconds_; }

private:
    // The steps of UpdateInstrument, in their order. Each returns 0 (or a positive status)
    // to go on, or the update's result code after its one box. The three steps between
    // connecting and starting the loader only check or prepare when the instrument is
    // running its firmware; one found in its bootloader is loaded again at once.
    int32_t RefuseUnusableImage();      // before anything is sent
    int32_t RefuseUnsafeSerialNumber();
    int32_t Connect();
    int32_t DecideFirmwareFits();
    int32_t CheckHardwareAndBattery();
    int32_t SecureSettings();
    int32_t StartLoader();
    int32_t Erase();
    int32_t Upload();
    int32_t RestartAndReconnect();
    int32_t CheckNewFirmware();
    int32_t RestoreSettings();
    int32_t FinishDevice();

    // Asks for the hardware revision; only revision C may be updated. 0, or the result code
    // after its box.
    int32_t RefuseWrongHardware();
    std::string ReadHardwareRevision();
    // RunInfo and RunSaveSettings: connected, the instrument's own name in the texts.
    int32_t ConnectToTell();
    texts::Box ConnectionFailedBox(int32_t rc) const;
    // True when the version is inside the profile's window, or the user forces it.
    bool CheckVersionWindow(const DeviceProfile& profile);
    // 0 when the image fits the device `profile_` describes; otherwise the result code after
    // its box.
    int32_t RefuseMisfitImage();

    // --- whose settings go back (the custody rules, DESIGN.md) ---
    // The family of the instrument waiting in its loader, whose loader answered at
    // `engineBaud`, and whether a journal of this port names the firmware being loaded.
    struct LoaderFamily {
        int family;
        bool named;
    };
    LoaderFamily FamilyInLoader(uint32_t engineBaud) const;
    // The saved settings this unit may get back, the files of this port first; on a
    // bench, only this port's. `pastErase`: only files whose instrument may have lost
    // its settings.
    std::vector<SavedSettings> Candidates(bool pastErase) const;
    // Asks about each candidate in turn; the first one the user says is this unit's is
    // restored after the update. True when one was taken.
    bool OfferCandidates(const std::vector<SavedSettings>& candidates, texts::RestoreSituation situation);
    // The instrument told serial number `serial`: a file of it that got past the erase
    // is restored (one of an earlier release only when the user says so); one whose
    // update never started the loader is set aside.
    void TakeFilesOfUnit(const std::string& serial);
    // Saves what the instrument holds into a new file of its own (`collected` is the
    // status of reading it), or asks to go on without.
    int32_t SaveOwnSettings(int32_t collected, const std::string& serial);
    void UseEarlierFile(const SavedSettings& file);
    void SetAside(const SavedSettings& file);
    bool FinishWithoutRefused();
    bool AskToRestore(const SavedSettings& file, texts::RestoreSituation situation, const std::string& unitSerial = {},
                      const std::string& backupPath = {});
    texts::SavedFileFacts FactsOf(const SavedSettings& file) const;
    // Moves the journal of the settings file in use on to `stage`. 0; or, when `mustHold`
    // and it could not be written, the result code after its box.
    int32_t Journal(Stage stage, bool mustHold);
    // The end of a restore with nothing to restore: its box.
    int32_t NothingRestored();

    // The steps of RunRestore.
    int32_t RestoreFromFile();
    // The frame's end after a failure: status hidden, bar at 0, both connections closed,
    // where the instrument stands said.
    int32_t EndFailed(int32_t result);
    texts::Standing StandingNow() const;
    std::string StandingNowText() const;
    void Begin(const UpdateRequest& request);
    // The settings file at `path` holds what the session saved. 0, or the result code
    // after its box.
    int32_t CheckSettingsFile(const std::string& path, int32_t saveStatus);
    // Writes what the session saved into a new file at `path`, its journal at `stage`.
    // 0, or the result code after its box.
    int32_t WriteNewFile(const std::string& path, Stage stage);

    texts::Names Names() const;
    // Ends the run: shows `box` (one button) with where the instrument stands, and returns
    // `rc` for the step to return.
    [[nodiscard]] int32_t Fail(const texts::Box& box, int32_t rc);
    // Shows `box` and goes on: a failure the update passes over.
    void Report(const texts::Box& box);
    bool Ask(const texts::Box& question, UpdateUi::Consent consent = UpdateUi::Consent::kConfirm,
             const std::string& savedSerial = {});
    void Status(texts::Stage stage);
    void Advance(int points);
    const std::string& StablePort() const;

    VornLog* log_;
    Vorn_protocol& session_;
    VornBSLHost& host_;
    UpdateUi& ui_;
    UpdateRequest request_;
    DeviceProfile profile_;
    SettingsCustody custody_;
    uint32_t versionFound_ = 0;
    int32_t connectStatus_ = 0;
    RunOutcome outcome_;
    uint32_t engineBaud_ = 0;      // the speed its loader answered at, when found in its loader
    bool inBootloader_ = false;    // the instrument was found in its bootloader
    uint32_t elapsedSeconds_ = 0;
    bool standingSaid_ = false;    // a failure's box said where the instrument stands

    // How far this run got with the instrument, in order.
    // (kRestoring: a restore without an update began writing the file's settings.)
    enum class Reached { kNothing, kLoaderStarted, kErasing, kUploaded, kRestoring, kSettingsBack };
    Reached reached_ = Reached::kNothing;
    // The settings this run writes back, and the file that keeps them meanwhile.
    struct SettingsPlan {
        enum class Source {
            kNone,        // none chosen (a unit found in its loader whose settings were not found)
            kNotNeeded,   // the family keeps no settings to save
            kThisRun,     // saved by this run
            kEarlierRun,  // saved by an update that did not finish
            kGivenUp,     // the user went on without them
        };
        Source source = Source::kNone;
        std::string path;
        bool declined = false;  // saved settings were found and the user said they were not this unit's
        bool restored = false;  // every setting went back
        // Settings the instrument did not take, which the user chose to finish without
        // (keys of their file lines); the file stays.
        std::vector<std::string> leftOut;
        // A restore without an update: where it kept what the instrument held before
        // (empty: nothing to keep), and whether the user had it write another unit's.
        std::string backup;
        bool intoAnotherUnit = false;
    };
    SettingsPlan plan_;
};

}  // namespace vorn::update
