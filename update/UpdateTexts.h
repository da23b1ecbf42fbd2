#pragma once
// Every text the update shows, in one place: the boxes and questions of each step keyed by
// the step and its result, the status lines, and the Help and About texts. The update
// sequence decides; these functions only word what it decided.
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "update/UpdateUi.h"

namespace vorn::update::texts {

// What the texts name: the program's title, the loaded firmware's family and the port as
// the port list shows it.
struct Names {
    std::string caption;
    std::string device;
    std::string port;
};

// 202 -> "2.02", whatever the locale's decimal sign.
std::string VersionText(uint32_t version);

// A box or a question: its text, its title and, for a box, its kind.
struct Box {
    std::string text;
    std::string title;
    UpdateUi::BoxKind kind = UpdateUi::BoxKind::kError;
};

// Before anything is sent.
Box NoFirmware(const Names& n);
Box NoProgramCode(const Names& n, const std::string& fileName);
Box CodeAboveFourDigits(const Names& n, const std::string& fileName, uint32_t first, uint32_t last);
Box UnsafeSerialNumber(const Names& n);
// `device` is the connected instrument's name when known, else the firmware's.
Box FirmwareDoesNotFit(const std::string& fileName, const std::string& device, const std::string& reason);

// Another update of this program has the port (a bench update, a second window).
Box PortBeingUpdated(const Names& n);

// Connecting: the box for a failed connection with result `rc`; `profile` is what the
// instrument told of itself.
Box ConnectionFailed(const Names& n, int32_t rc, const DeviceProfile& profile);

// Deciding whether the firmware fits.
Box WrongDevice(const Names& n, const std::string& found, bool factoryOverride);
Box FirmwareTooOld(const Names& n);
Box NewerFirmwareQuestion(const Names& n);
Box WrongHardwareRevision(const Names& n, const std::string& revision, char required);
// The version-window question when `version` is outside [minVersion, maxVersion]; an
// empty text when it is inside.
Box VersionWindowQuestion(const Names& n, uint32_t version, uint32_t minVersion, uint32_t maxVersion);
Box BatteryTooLow();

// Saving the settings.
Box SettingsLoginFailed(const Names& n);
Box SettingsFileNotKept(const Names& n, const std::string& settingsPath, int32_t rc);
Box SettingsReadInPartQuestion(const Names& n);
Box SettingsNotReadQuestion(const Names& n);
// A settings file an earlier update left, with `serial` (empty: none), for an instrument
// that tells no serial number now.
Box KeptSettingsQuestion(const Names& n, const std::string& settingsPath, const std::string& serial);

// Another unit's settings file, moved to `keptPath` before this update writes its own.
Box OtherUnitsSettingsKept(const Names& n, const std::string& serial, const std::string& keptPath);
// It could not be moved (`rc`, a negated C error): nothing was changed.
Box OtherUnitsSettingsNotKept(const Names& n, const std::string& settingsPath, int32_t rc);

// When saved settings were saved: the UTC time, its age in seconds, and whether that came
// from the file's time of writing because the file does not say (files of old).
struct SavedWhen {
    bool known = false;
    std::string utc;          // "2026-12-09T22:50:00Z"
    long long ageSeconds = 0;
    bool fromFileTime = false;
};
// The question before settings that this run did not save are written into the
// instrument: whose they are (`serial`, empty: none; `savedPort`, empty: not said) and
// how old. `afterUpdate`: asked at the end of an update, whose Cancel ends it there.
Box RestoreSavedSettingsQuestion(const Names& n, const std::string& settingsPath, const std::string& serial,
                                 const std::string& savedPort, const SavedWhen& when, bool afterUpdate);
// Said after the couldn't-find text when kept files of the family exist: which, and how
// to restore one.
std::string KeptSettingsFilesHint(const Names& n, const std::vector<std::string>& files);
// "vornbsl-cli --port PORT --restore-settings "FILE""
std::string RestoreCommand(const std::string& path);

// Restoring a settings file into an instrument without an update.
Box NotASettingsFile(const Names& n, const std::string& path);
Box RestoreNeedsFirmware(const Names& n);
// The instrument found is a `found`, the file holds a `n.device`'s settings.
Box SettingsOfAnotherFamily(const Names& n, const std::string& path, const std::string& found);
std::string SettingsRestored(const std::string& path, bool fileRemoved);

// Loading the firmware.
Box NoWorkingLoader(const Names& n);
Box LoaderSilent(const Names& n);
// A failure while working with the loader, or reconnecting after it, in `step`.
enum class LoaderStep { kEraseInfo, kEraseFlash, kUpload, kReconnect };
Box WorkError(const Names& n, int32_t rc, LoaderStep step);
Box ReconnectLoginFailed(const Names& n);
Box FirmwareCorrupt(const Names& n);

// Restoring the settings: the box for result `rc` of the restore (empty text: none), and
// whether the update stops there (the settings stay in the file for the next Start).
// `restoreOnly`: a restore without an update (vornbsl-cli --restore-settings), which a
// failure always stops.
Box RestoreFailed(const Names& n, int32_t rc, const std::string& settingsPath, bool* stops, bool restoreOnly = false);
Box DataEraseFailed(const Names& n, int32_t rc);
// The calibration reminder after an update of `family`; an empty text for a family that
// has none.
Box CalibrationNotice(int family);

// The status line of each step.
enum class Stage {
    kConnecting,
    kCheckingBattery,
    kSavingSettings,
    kKeepingSettings,
    kStartingLoader,
    kErasing,
    kUploading,
    kRestarting,
    kCheckingFirmware,
    kRestoring,
    kErasingData,
};
std::string StatusLine(Stage stage, const Names& n);
// The line that tells the user what to do with the instrument.
std::string DoNotDisconnect(const Names& n);
std::string ConnectToComputer(const Names& n);
std::string MayDisconnect(const Names& n);
std::string Updated(uint32_t seconds);

// The help text, the About text and its caption (the window and the CLI show them).
std::string HelpText(const std::string& caption, const std::string& deviceName);
std::string AboutText();
std::string AboutCaption(const std::string& deviceName);
// The support-literature page named in the Vellum Meter calibration notice.
const char* SupportLiteratureAddress();

}  // namespace vorn::update::texts
