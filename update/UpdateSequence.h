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
#include "update/UpdateTexts.h"

class UpdateUi;
class VornBSLHost;
class VornLog;
class Vorn_protocol;

namespace vorn::update {

// The tag of the updater's own lines in the diagnostic log.
inline constexpr const char* kHostTag = "VornBSL Host";

// Result codes of an update.
inline constexpr int32_t kUpdated = 1;
inline constexpr int32_t kConnectFailed = -20;
inline constexpr int32_t kCancelled = -40;
inline constexpr int32_t kLoaderSilent = -110;
inline constexpr int32_t kNotSupported = -120;
inline constexpr int32_t kWrongDevice = -121;
inline constexpr int32_t kBatteryLow = -130;
inline constexpr int32_t kNoFirmware = -10;       // Start without a firmware image
inline constexpr int32_t kImageDoesNotFit = -11;  // the image cannot go into the device
inline constexpr int32_t kSettingsFileFailed = -104;  // the settings file was not written or does not read back

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
    // A bench update, one of several side by side: its settings file carries the port's
    // name, so no two of them share one.
    bool settingsPerPort = false;
    int firmwareFamily = UNKNOWN;  // the family the loaded firmware is for
    uint32_t firmwareVersion = 0;  // version held for the loaded firmware
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
    // end of an update does: connect, make sure it is the file's family, ask whose
    // settings they are (serial number and age), restore, set the clock. The file names
    // its family, so no firmware is needed; the request's device name and family are taken
    // from it. A file of the updater's own folder is removed once every setting went back.
    // 1, or a negative result code after its one box (or the question cancelled).
    int32_t RunRestore(const UpdateRequest& request, const std::string& path);
    static std::string SettingsFilePathFor(const UpdateRequest& request);

    // The whole sequence; 1 on success, a negative result code otherwise. Every failure
    // has shown exactly one box.
    int32_t UpdateInstrument();

    const DeviceProfile& Profile() const { return profile_; }
    // The firmware version the instrument ran when the update found it (0: none known,
    // as for one found in its loader).
    uint32_t VersionFound() const { return versionFound_; }
    const std::string& SettingsPath() const { return settingsPath_; }
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
    int32_t SaveSettingsStep();
    int32_t StartLoader();
    int32_t Erase();
    int32_t Upload();
    int32_t RestartAndReconnect();
    int32_t CheckNewFirmware();
    int32_t RestoreSettings();
    int32_t FinishDevice();

    // Asks for the hardware revision; only revision C may be updated.
    bool CheckHardwareRevision();
    // True when the version is inside the profile's window, or the user forces it.
    bool CheckVersionWindow(const DeviceProfile& profile);
    // The image fits the device `profile_` describes; otherwise one box and false.
    bool ImageFits();
    // The family of the update that left the instrument in its bootloader, whose loader
    // answered at `engineBaud`.
    int InterruptedFamily(uint32_t engineBaud);
    // Saves the instrument's settings to the settings file, unless an earlier update of
    // this instrument left its settings there; the status of the save, or 1 when the
    // earlier file is kept.
    int32_t SaveSettings();
    // Whether `left`, a settings file an earlier update left, holds the connected
    // instrument's settings, given the status of the save just made and the serial number
    // it read: the same family and serial number; or no serial number to read now (the
    // earlier update may have wiped it, or this is a new instrument), when the user is asked.
    enum class LeftSettings { kOther, kThisOnes, kThisOnesAsked };
    LeftSettings LeftSettingsAreThisInstruments(const std::string& left, int32_t saveStatus,
                                                const std::string& nowSerial) const;
    // The question before the settings of `left` are restored into an instrument that
    // tells no serial number.
    texts::Box KeptSettingsQuestion(const std::string& left) const;
    // Moves the settings file of another unit, `left`, to a kept file named for its serial
    // number (a new name when one of that number holds other settings), logs it and tells
    // the user where it is. 0; or kSettingsFileFailed after its box, nothing replaced.
    int32_t KeepOtherUnitsFile(const std::string& left);
    // Asks before the settings file, which this run did not write, is restored: whose
    // settings and how old. `afterUpdate`: the end of an update (its Cancel ends the update).
    bool AskToRestore(bool afterUpdate);
    // The kept settings files of the instrument's family.
    std::vector<std::string> KeptFilesOfFamily() const;
    // The steps of RunRestore.
    int32_t RestoreFromFile();
    // The frame's end after a failure: status hidden, bar at 0, both connections closed.
    int32_t EndFailed(int32_t result);
    void Begin(const UpdateRequest& request, const std::string& settingsPath);
    // The settings file just saved holds what the session saved. 0, or the result code
    // after its box.
    int32_t CheckSettingsFile(int32_t saveStatus);

    texts::Names Names() const;
    // Shows `box` (one button) and returns `rc`.
    int32_t Fail(const texts::Box& box, int32_t rc);
    bool Ask(const texts::Box& question);
    void Status(texts::Stage stage);
    void Advance(int points);

    VornLog* log_;
    Vorn_protocol& session_;
    VornBSLHost& host_;
    UpdateUi& ui_;
    UpdateRequest request_;
    DeviceProfile profile_;
    std::string settingsPath_;
    uint32_t versionFound_ = 0;
    bool skipRestore_ = false;
    bool wroteSettings_ = false;   // this run wrote the settings file
    bool keptSettings_ = false;    // this run restores from the file an earlier update left
    bool loaderInvoked_ = false;   // this run handed the instrument to its loader
    bool inBootloader_ = false;    // the instrument was found in its bootloader
    bool otherNotKept_ = false;    // another unit's file could not be moved aside (its box was shown)
    uint32_t engineBaud_ = 0;      // the speed its loader answered at, then
    uint32_t elapsedSeconds_ = 0;
};

}  // namespace vorn::update
