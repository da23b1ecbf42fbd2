#pragma once
// Every text the update shows, in one place: the boxes and questions of each step keyed by
// the step and its result, the status lines, and the Help and About texts. The update
// sequence decides; these functions only word what it decided.
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "serial/SerialPlatform.h"
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
// `access`: who may open the port's device node, said when the user may not (null: not known).
Box ConnectionFailed(const Names& n, int32_t rc, const DeviceProfile& profile,
                     const vorn::platform::PortAccess* access = nullptr);

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
// When saved settings were saved: the UTC time, its age in seconds, and whether that came
// from the file's time of writing because the file does not say (files of old).
struct SavedWhen {
    bool known = false;
    std::string utc;          // "2026-12-09T22:50:00Z"
    long long ageSeconds = 0;
    bool fromFileTime = false;
};
// A settings file as the boxes describe it: where, whose (empty: a unit that told no
// serial number), saved on which port and when.
struct SavedFileFacts {
    std::string path;
    std::string serial;
    std::string port;
    SavedWhen when;
};

// Why settings that this run did not save may be written into the instrument, which
// decides what the question says and what its OK risks.
enum class RestoreSituation {
    kUnitInLoader,         // an update finds the instrument waiting in its loader
    kUnitWithoutSerial,    // an update finds it running firmware that tells no serial number
    kSameSerialNoJournal,  // it tells the file's serial number; an earlier release left the file
                           // without saying how far its update got
    kRestoreSameSerial,    // --restore-settings / Restore Settings: it tells the file's serial number
    kRestoreOtherSerial,   // ... it tells another serial number
    kRestoreNoSerial,      // ... it tells none
};
// The question before settings that this run did not save are written into the
// instrument: whose they are and how old, and what OK and Cancel do. `unitSerial` is what
// the instrument tells now; `backupPath` where a restore keeps what it holds now.
Box RestoreSavedSettingsQuestion(const Names& n, const SavedFileFacts& file, RestoreSituation situation,
                                 const std::string& unitSerial = {}, const std::string& backupPath = {});
// A file of this unit whose update never got past its loader's start: the unit still holds
// its settings, which are read again; the file is kept aside.
Box SettingsSetAside(const Names& n, const SavedFileFacts& file);
// The update loaded the firmware, but no saved settings went back: none were found
// (`declined` false) or the user declined the ones found. `files` are the family's
// settings files still waiting. (Where the instrument stands, and how to write one back,
// follows in the box as after every failure.)
Box SettingsNotRestored(const Names& n, bool declined, const std::vector<SavedFileFacts>& files);
// A bench does not load firmware into a unit waiting in its loader that no journal of its
// port names: `command` updates it alone.
Box UnitNotIdentified(const Names& n, const std::string& command);
// --restore-settings: what the instrument holds now could not be read, so nothing is written.
Box CurrentSettingsNotRead(const Names& n, int32_t rc);

// Restoring a settings file into an instrument without an update.
Box NotASettingsFile(const Names& n, const std::string& path);
// Saving an instrument's settings without an update (--save-settings).
Box SaveWouldReplace(const std::string& path);
Box SaveNeedsFirmware(const Names& n);
Box NoSettingsToSave(const Names& n);
Box NoSettingsYet(const Names& n);
Box SavedInPart(const Names& n, const std::string& path);
std::string SettingsSaved(const std::string& path);
Box RestoreNeedsFirmware(const Names& n);
// The instrument found is a `found`, the file holds a `n.device`'s settings.
Box SettingsOfAnotherFamily(const Names& n, const std::string& path, const std::string& found);
// The status line after a restore: the file removed or kept, and where the instrument's
// earlier settings are kept (empty: none were saved).
std::string SettingsRestored(const std::string& path, bool fileRemoved, const std::string& backupPath);

// Where the instrument stands after an update that ended without success, and the one
// next step. `file` holds its saved settings (empty: none); `again` is the front end's
// way to run the same again, `howToRestore` its way to write a file back.
enum class Standing {
    kUntouched,       // it runs its old firmware with its settings: nothing was changed
    kMayBeInLoader,   // it was handed to its loader, nothing erased
    kInLoader,        // erased: it waits in its loader without working firmware
    kNewFirmware,     // the new firmware runs; its saved settings are not back
    kRestoredInPart,  // a restore without an update wrote only part of the file's settings
    kSettingsBack,    // the new firmware runs with its settings; a last step failed
};
std::string StandingText(Standing standing, const Names& n, const std::string& file, const std::string& again,
                         const std::string& howToRestore);

// Loading the firmware.
Box NoWorkingLoader(const Names& n);
Box LoaderSilent(const Names& n);
// A failure while working with the loader, or reconnecting after it, in `step`.
enum class LoaderStep { kEraseInfo, kEraseFlash, kUpload, kReconnect };
Box WorkError(const Names& n, int32_t rc, LoaderStep step);
Box ReconnectLoginFailed(const Names& n);
Box FirmwareCorrupt(const Names& n);

// Restoring the settings: the box for result `rc` of the restore (empty text for none);
// every failure stops the update there, the settings staying in their file.
// `restoreOnly`: a restore without an update (--restore-settings, Restore Settings...).
Box RestoreFailed(const Names& n, int32_t rc, const std::string& settingsPath, bool restoreOnly = false);
// The instrument took back every setting but `names` (keys of their file lines): finish
// without them? And, finished so, what the user is left to do.
Box RefusedSettingsQuestion(const Names& n, const std::vector<std::string>& names, const std::string& settingsPath);
Box FinishedWithoutSettings(const Names& n, const std::vector<std::string>& names, const std::string& settingsPath);
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
// With the engine version as a window read it from its program file's version resource.
std::string AboutText(const std::string& engineVersion);
std::string AboutCaption(const std::string& deviceName);
// The support-literature page named in the Vellum Meter calibration notice.
const char* SupportLiteratureAddress();

}  // namespace vorn::update::texts
