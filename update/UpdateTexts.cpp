#include "update/UpdateTexts.h"

#include "common/Status.h"
#include "common/Text.h"
#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"
#include "update/UpdateSequence.h"

namespace vorn::update::texts {
namespace {

using Kind = UpdateUi::BoxKind;

std::string Num(long long n) { return std::to_string(n); }

std::string NothingChanged(const std::string& device) { return "\n\nNothing has been changed on your " + device + "."; }

std::string OnPort(const Names& n) { return "\n on Comm Port \"" + n.port + "\".\n\n"; }

std::string TheProgram(const Names& n) { return "The " + n.caption; }

}  // namespace

std::string VersionText(uint32_t version) { return vorn::Format("%u.%02u", version / 100, version % 100); }

Box NoFirmware(const Names& n) {
    return {TheProgram(n) + " has no firmware to load: no firmware file is open." + NothingChanged(n.device) +
                "\nPlease open a firmware file (File > Open Firmware File...) and press Start again.",
            "No Firmware Loaded"};
}

Box NoProgramCode(const Names& n, const std::string& fileName) {
    return {"The firmware file \"" + fileName + "\" holds no program code, only interrupt vectors." +
                NothingChanged(n.device) + "\nPlease open a complete firmware file and press Start again.",
            "Firmware File Error"};
}

Box CodeAboveFourDigits(const Names& n, const std::string& fileName, uint32_t first, uint32_t last) {
    return {"The firmware file \"" + fileName + "\" does not fit a " + n.device + ": it holds code at " +
                vorn::Format("0x%05X to 0x%05X", first, last) +
                ", above 0xFFFF, where the firmware loader of this device cannot write." + NothingChanged(n.device) +
                "\nPlease open the firmware file made for your " + n.device + " and press Start again.",
            "Firmware Does Not Fit"};
}

Box UnsafeSerialNumber(const Names& n) {
    return {"The new serial number holds a line break or another control character, which your " + n.device +
                " would take as a command of its own." + NothingChanged(n.device) +
                "\nPlease type the serial number again and press Start again.",
            "Serial Number Error"};
}

Box FirmwareDoesNotFit(const std::string& fileName, const std::string& device, const std::string& reason) {
    return {"The firmware file \"" + fileName + "\" does not fit your " + device + ": " + reason + NothingChanged(device) +
                "\nPlease open the firmware file made for your " + device + " and press Start again.",
            "Firmware Does Not Fit"};
}

Box PortBeingUpdated(const Names& n) {
    return {"Comm Port \"" + n.port + "\" is being updated by another " + n.caption +
                " right now.\nWait until that update has finished, or choose another Comm Port.",
            "Comm Port Busy"};
}

namespace {

// What keeps this account from the port, from its device node: not in the group that may
// use it (join it), in it but not yet in this session (log in again), or a node only its
// owner may use, where no group helps.
std::string PermissionAdvice(const std::string& port, const std::string& caption, const vorn::platform::PortAccess& a) {
    const std::string node = "\"" + a.path + "\" belongs to " + a.owner + ":" + a.group + " with mode " +
                             vorn::Format("%04o", a.mode);
    if ((a.mode & 0060) == 0060 && a.inGroup)
        return "You do not have permission to use Comm Port \"" + port + "\" yet: " + node +
               ", and your account is in the group \"" + a.group + "\", but this session started before it joined.\n\n" +
               "Please log out and log in again (or restart) before running the " + caption + ".";
    if ((a.mode & 0060) == 0060)
        return "You do not have permission to use Comm Port \"" + port + "\": " + node + ", and your account is not in " +
               "the group \"" + a.group + "\".\n\nPlease ask your administrator to add it (sudo usermod -aG " + a.group +
               " $USER), then log out and log in again before running the " + caption + ".";
    return "You do not have permission to use Comm Port \"" + port + "\": " + node +
           ", so only " + a.owner + " may use it; joining a group does not help.\n\n" +
           "Please ask your administrator to give it to the \"dialout\" group with mode 0660 (a udev rule), or unplug " +
           "the adapter and plug it in again if a program changed it.";
}

}  // namespace

Box ConnectionFailed(const Names& n, int32_t rc, const DeviceProfile& profile, const vorn::platform::PortAccess* access) {
    const std::string& port = n.port;
    std::string text;
    if (rc == kPortInUse) {
        text = "Comm Port \"" + port + "\" is already in use by another application.\n" +
               "Please choose a new Comm Port to use or quit the application using this port.";
    } else if (rc == kPortNotFound) {
        text = "Comm Port \"" + port + "\" isn't available.\nPlease choose a new Comm Port to use.";
    } else if (rc == kPortNoPermission && access && access->known && !access->isOwner) {
        text = PermissionAdvice(port, n.caption, *access);
    } else if (rc == kPortNoPermission) {
        text = "You do not have permission to use Comm Port \"" + port + "\".\n\n" +
               "Please ask your administrator to add your user account to the \"dialout\" group,\n" +
               "then log out and log in again before running the " + n.caption + ".";
    } else if (rc == kNotSerialPort) {
        text = "Comm Port \"" + port + "\" is not a serial port.\nPlease choose a new Comm Port to use.";
    } else if (rc == kNoConnection || rc == kPortClosed) {
        text = TheProgram(n) + " is unable to connect to your " + n.device + OnPort(n) +
               "Please check your serial cable and Comm Port choice.";
    } else if (rc == kNotSupported && profile.version != 0 && profile.family != 0) {
        text = TheProgram(n) + " does not support your " + profile.displayName + "\n" + "running version " +
               Num(profile.version) + ".";
    } else if (rc == kNotSupported) {
        text = TheProgram(n) + " is unable to connect to your unknown device" + OnPort(n) +
               "Please check your serial cable and Comm Port choice.\n\n" + "Please verify the device connected is a \"" +
               n.device + "\" and has a version of\nfirmware that supports updates.";
    } else if (rc == kLoginRefused) {
        text = TheProgram(n) + " is unable to log into to your " + n.device + OnPort(n) +
               "Please try again or contact your Vornell representative.";
    } else {
        text = TheProgram(n) + " is unable to connect to your " + n.device + OnPort(n) +
               "Please check your serial cable and Comm Port choice.\nError " + Num(rc);
    }
    return {text, "Connection Error"};
}

Box WrongDevice(const Names& n, const std::string& found, bool factoryOverride) {
    std::string text = TheProgram(n) + " expected to find a " + n.device + ";\nhowever, it found a " + found +
                       ".\n\nThis updater can not update a " + found + ".";
    if (factoryOverride) text += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
    return {text, "Wrong Device"};
}

Box FirmwareTooOld(const Names& n) {
    return {"The firmware in the connected " + n.device + "\nis too old.\n\nThis updater can not update this device.",
            "Firmware Too Old"};
}

Box NewerFirmwareQuestion(const Names& n) {
    return {"The firmware in your " + n.device + "\nis newer than the version in this updater.\n\n" +
                "Are you sure you want to load older firmware.",
            "Newer Firmware"};
}

Box WrongHardwareRevision(const Names& n, const std::string& revision, char required) {
    return {"The hardware revision of the connected " + n.device + " is '" + revision + "'" +
                ".\n\nThis updater only works with " + n.device + " hardware revision '" + std::string(1, required) + "'.",
            "Wrong Hardware Revision"};
}

Box VersionWindowQuestion(const Names& n, uint32_t version, uint32_t minVersion, uint32_t maxVersion) {
    std::string text;
    const std::string running =
        TheProgram(n) + " doesn't support this " + n.device + "\nrunning version " + VersionText(version) + ".";
    if (version > maxVersion)
        text = running + "\n\nThis updater only works with firmware version " + VersionText(maxVersion) + " (or older).";
    else if (version < minVersion)
        text = running + "\n\nThis updater only works with firmware version " + VersionText(minVersion) + " (or newer).";
    else
        return {};
    text += "\n\nClick OK to force the update anyway.";
    text += "\nClick CANCEL to quit the updater.";
    return {text, "Wrong Firmware Version"};
}

Box BatteryTooLow() {
    return {"The battery power is too low!\n\nPlease replace the batteries before running this updater.",
            "Batteries Too Low"};
}

Box SettingsLoginFailed(const Names& n) {
    return {"This " + n.caption + " could not retrieve the settings from your " + n.device +
                ".\nPlease try again or contact Vornell for help.",
            "Login Error"};
}

Box SettingsFileNotKept(const Names& n, const std::string& settingsPath, int32_t rc) {
    return {TheProgram(n) + " could not keep the settings of your " + n.device + " in the file\n\"" + settingsPath +
                "\"." + NothingChanged(n.device) +
                "\nPlease make room on the disk or check that the folder can be written, then press Start again." +
                "\n\n[Error " + Num(rc) + "]",
            "Settings File Error"};
}

Box SettingsReadInPartQuestion(const Names& n) {
    return {TheProgram(n) + " could not retrieve all the settings from your " + n.device +
                ".\nThe settings it could not read will be lost." + "\n\nClick OK to continue loading new firmware." +
                "\nClick CANCEL to try retrieving the settings again.",
            "Settings Retrieve Error"};
}

Box SettingsNotReadQuestion(const Names& n) {
    return {TheProgram(n) + " could not retrieve the settings from your " + n.device +
                ".\nThis can happen when an intrument is new or doesn't have " +
                "a serial number set yet.\n\nClick OK to continue loading new firmware." +
                "\nClick CANCEL to try retrieving the settings again.",
            "Settings Retrieve Error"};
}

namespace {

std::string AgeText(long long seconds) {
    if (seconds < 0) return "in the future (the clocks disagree)";
    auto count = [](long long n, const char* unit) { return Num(n) + " " + unit + (n == 1 ? "" : "s") + " ago"; };
    if (seconds < 90) return count(seconds, "second");
    if (seconds < 90 * 60) return count((seconds + 30) / 60, "minute");
    if (seconds < 48 * 3600) return count((seconds + 1800) / 3600, "hour");
    return count((seconds + 43200) / 86400, "day");
}

std::string Whose(const std::string& serial) {
    return serial.empty() ? std::string("without a serial number")
                          : "with serial number \"" + vorn::EscapeControls(serial) + "\"";
}

// "The settings file "PATH" holds the settings of the Readwell with serial number "X",
// saved on Comm Port "P" 2026-...Z (3 hours ago)."
std::string FileSays(const Names& n, const SavedFileFacts& f) {
    std::string text = "The settings file\n\"" + f.path + "\"\nholds the settings of the " + n.device + " " + Whose(f.serial);
    if (!f.port.empty()) text += ",\nsaved on Comm Port \"" + vorn::EscapeControls(f.port) + "\"";
    if (f.when.known) text += std::string(f.port.empty() ? ",\nsaved " : " ") + f.when.utc + " (" + AgeText(f.when.ageSeconds) + ")";
    text += ".";
    if (f.when.known && f.when.fromFileTime)
        text += "\nThe file does not say when it was saved: that is the time it was last written.";
    if (!f.when.known) text += "\nWhen it was saved is not known.";
    return text;
}

std::string OnThePort(const Names& n) { return "The " + n.device + " on Comm Port \"" + n.port + "\""; }

}  // namespace

Box RestoreSavedSettingsQuestion(const Names& n, const SavedFileFacts& file, RestoreSituation situation,
                                 const std::string& unitSerial, const std::string& backupPath) {
    const std::string& d = n.device;
    std::string text = FileSays(n, file) + "\n\n";
    const std::string intoIt = "these settings, serial number included, are written into it";
    switch (situation) {
        case RestoreSituation::kUnitInLoader:
            text += OnThePort(n) + " is waiting in its firmware loader and cannot tell which unit it is." +
                    "\n\nClick OK if it is that " + d + ": the firmware is loaded and " + intoIt + "." +
                    "\nClick CANCEL if it is not: the firmware is loaded without them, and the file stays as it is.";
            break;
        case RestoreSituation::kUnitWithoutSerial:
            text += OnThePort(n) + " tells no serial number, as a unit does after an update that wiped its settings, " +
                    "or a new one." + "\n\nClick OK if it is that " + d + ": after the update " + intoIt + "." +
                    "\nClick CANCEL if it is not: the update goes on with the settings it holds now, and the file stays "
                    "as it is.";
            break;
        case RestoreSituation::kSameSerialNoJournal:
            text += OnThePort(n) + " has that serial number. An earlier version of this program left the file and "
                    "did not say how far its update got: the " + d + " may have lost these settings, or may hold newer ones." +
                    "\n\nClick OK to write the settings of the file back into it after the update." +
                    "\nClick CANCEL to keep the settings it holds now: the file is set aside, not used.";
            break;
        case RestoreSituation::kRestoreSameSerial:
        case RestoreSituation::kRestoreOtherSerial:
        case RestoreSituation::kRestoreNoSerial:
            text += OnThePort(n) + (situation == RestoreSituation::kRestoreSameSerial ? std::string(" has that serial number.")
                                    : situation == RestoreSituation::kRestoreNoSerial
                                        ? std::string(" tells no serial number.")
                                        : " answers serial number \"" + vorn::EscapeControls(unitSerial) +
                                              "\": it is another unit.");
            text += "\n\nClick OK to write " + std::string(situation == RestoreSituation::kRestoreOtherSerial
                                                                ? "another unit's settings, its serial number included, into it"
                                                                : "these settings, serial number included, into it") +
                    (backupPath.empty() ? std::string(".") : "; the settings it holds now are kept in\n\"" + backupPath + "\".");
            text += "\nClick CANCEL: nothing is written, and the file stays as it is.";
            break;
    }
    return {text, "Restore Saved Settings"};
}

Box SettingsSetAside(const Names& n, const SavedFileFacts& file) {
    return {FileSays(n, file) + "\n\nIts update stopped before the firmware loader was started, so the " + n.device +
                " still holds its settings: they are read from it again." +
                "\nThe file is set aside and kept; it is not written into the " + n.device + ".",
            "Settings Set Aside", Kind::kInformation};
}

Box SettingsNotRestored(const Names& n, bool declined, const std::vector<SavedFileFacts>& files) {
    std::string text = "The new firmware runs in your " + n.device + " on Comm Port \"" + n.port +
                       "\", but its settings were not restored: " +
                       (declined ? "the saved settings found were not this unit's, as you said."
                                 : "no saved settings of this unit were found.");
    if (!files.empty()) {
        text += "\n\nSettings of " + n.device + " units saved by updates that did not finish:";
        for (const SavedFileFacts& f : files) text += "\n\"" + f.path + "\" (" + Whose(f.serial) + ")";
    }
    return {text, "Settings Not Restored"};
}

Box UnitNotIdentified(const Names& n, const std::string& command) {
    return {OnThePort(n) + " is waiting in its firmware loader, and no update of this port says which unit it is or "
                           "which firmware it was loading. A bench loads no firmware into an instrument it cannot tell." +
                NothingChanged(n.device) + "\nUpdate it alone, where you can say whose settings it gets:\n" + command,
            "Unit Not Identified"};
}

Box CurrentSettingsNotRead(const Names& n, int32_t rc) {
    return {TheProgram(n) + " could not read the settings your " + n.device +
                " holds now, so it cannot keep them before writing others." + NothingChanged(n.device) +
                "\nPlease check the cable and try again.\n\n[Error " + Num(rc) + "]",
            "Settings Retrieve Error"};
}

Box NotASettingsFile(const Names& n, const std::string& path) {
    return {"The file\n\"" + path + "\"\nis not a settings file of the " + n.caption + ", or names no device family it knows." +
                "\n\nNothing has been changed.",
            "Settings File Error"};
}

Box RestoreNeedsFirmware(const Names& n) {
    return {"Your " + n.device + " on Comm Port \"" + n.port + "\" is waiting in its firmware loader: it has no firmware " +
                "to take its settings." + NothingChanged(n.device) +
                "\nPlease update its firmware first, then restore the settings.",
            "Firmware Loader Active"};
}

Box SaveWouldReplace(const std::string& path) {
    return {"The file\n\"" + path + "\"\nexists already. Saved settings never replace a file, which may hold another " +
                "unit's settings.\n\nNothing has been changed. Please name a new file.",
            "Settings File Error"};
}

Box SaveNeedsFirmware(const Names& n) {
    return {"Your " + n.device + " on Comm Port \"" + n.port + "\" is waiting in its firmware loader: without firmware " +
                "it holds no settings to save." + NothingChanged(n.device) +
                "\nPlease update its firmware first; an update that was cut short finds its saved settings by itself.",
            "Firmware Loader Active"};
}

Box NoSettingsToSave(const Names& n) {
    return {"Your " + n.device + " keeps no settings this program saves." + NothingChanged(n.device), "No Settings To Save",
            Kind::kInformation};
}

Box NoSettingsYet(const Names& n) {
    return {"Your " + n.device + " has not been set up yet (it has no name): it holds no settings to save." +
                NothingChanged(n.device),
            "No Settings To Save", Kind::kInformation};
}

Box SavedInPart(const Names& n, const std::string& path) {
    return {TheProgram(n) + " could not read all the settings of your " + n.device + ". What it read is saved in \"" + path +
                "\", without the others." + NothingChanged(n.device) + "\nPlease check the cable and save them again.",
            "Settings Retrieve Error"};
}

std::string SettingsSaved(const std::string& path) {
    return "Settings saved in \"" + path + "\". Nothing was changed in the instrument.";
}

Box SettingsOfAnotherFamily(const Names& n, const std::string& path, const std::string& found) {
    return {"The settings file\n\"" + path + "\"\nholds the settings of a " + n.device + ";\nhowever, Comm Port \"" + n.port +
                "\" has a " + found + "." + NothingChanged(found),
            "Wrong Device"};
}

std::string SettingsRestored(const std::string& path, bool fileRemoved, const std::string& backupPath) {
    std::string text = "Settings restored from \"" + path + "\"" + (fileRemoved ? "; the file is removed." : "; the file stays.");
    if (!backupPath.empty()) text += " The settings the instrument held before are kept in \"" + backupPath + "\".";
    return text;
}

std::string StandingText(Standing standing, const Names& n, const std::string& file, const std::string& again,
                         const std::string& howToRestore) {
    const std::string& d = n.device;
    const std::string kept = file.empty() ? std::string() : "; its settings are saved in \"" + file + "\"";
    switch (standing) {
        case Standing::kUntouched:
            return "Your " + d + " still runs its old firmware with its settings: nothing was changed. " + again +
                   " when you are ready.";
        case Standing::kMayBeInLoader:
            return "Your " + d + " was handed to its firmware loader, and nothing was erased" + kept + ". " + again +
                   ": the update finds it in its loader or in its old firmware.";
        case Standing::kInLoader:
            return "Your " + d + " waits in its firmware loader without working firmware" + kept + ". " + again +
                   (file.empty() ? std::string(".") : ": the firmware is loaded and the settings are written back.");
        case Standing::kNewFirmware:
            if (file.empty())
                return "Your " + d + " runs the new firmware without its saved settings. To write a unit's settings "
                       "back into it, " + howToRestore;
            return "Your " + d + " runs the new firmware, but its settings are not back" + kept + ". " + again +
                   " to write them back, or " + howToRestore;
        case Standing::kRestoredInPart:
            return "Your " + d + " runs its firmware with only part of the settings of \"" + file +
                   "\". " + again + " to write the rest.";
        case Standing::kSettingsBack:
            return "Your " + d + " runs the new firmware with its settings; a last step failed. " + again + " to finish.";
    }
    return {};
}

Box NoWorkingLoader(const Names& n) {
    return {"This " + n.device + " does not have a working firmware loader." + "\n\nPlease contact Vornell for help.",
            "Firmware Loader Error"};
}

Box LoaderSilent(const Names& n) {
    return {TheProgram(n) + " is unable to connect to the firmware loader in your " + n.device + ".\n\nPlease try again.",
            "Firmware Loader Error"};
}

Box WorkError(const Names& n, int32_t rc, LoaderStep step) {
    const char* title = step == LoaderStep::kEraseInfo    ? "INFO Memory Erase Error"
                        : step == LoaderStep::kEraseFlash ? "Firmware Erase Error"
                        : step == LoaderStep::kUpload     ? "Firmware Upload Error"
                                                          : "Connection Error";
    return {TheProgram(n) + " encountered an error working with your " + n.device + ".\n\nPlease try again.\n\n[Error " +
                Num(rc) + "]",
            title};
}

Box ReconnectLoginFailed(const Names& n) {
    return {"This " + n.caption + " failed to log into your " + n.device +
                ".\nPlease check the settings on your instrument or contact Vornell for help.",
            "Login Error"};
}

Box FirmwareCorrupt(const Names& n) {
    return {"The new firmware for your " + n.device + " is corrupt!\n\nPlease try again or contact Vornell.",
            "Firmware Error"};
}

Box RestoreFailed(const Names& n, int32_t rc, const std::string& settingsPath, bool restoreOnly) {
    std::string text;
    if (rc == session::kSettingsFileMissing)
        text = TheProgram(n) + " couldn't find the settings file for your " + n.device +
               ".\n\nPlease try again or contact Vornell for help.";
    else if (rc == session::kSettingsFileDenied || rc == session::kSettingsFileUnreadable)
        text = TheProgram(n) + " failed to read the settings file for your " + n.device +
               ".\n\nPlease try again or contact Vornell for help." + "\n\nError: " + Num(rc);
    else if (rc == kPartlyDone)
        text = TheProgram(n) + " failed to restore some of the settings for your " + n.device +
               ".\n\nPlease check the settings after this updater is finished.";
    else if (rc < 0)
        text = TheProgram(n) + " failed to restore the settings for your " + n.device + ".\n\nPlease try again.\n\n[Error " +
               Num(rc) + "]";
    // Settings that did not go back stay in their file, which only a restore of every
    // one of them removes: the next Start, or the same command, writes them back.
    if (rc < 0 && rc != session::kSettingsFileMissing && !settingsPath.empty())
        text += restoreOnly ? "\n\nThe settings stay in \"" + settingsPath + "\".\nRun the same command again to write them back."
                            : "\n\nYour settings are kept in \"" + settingsPath +
                                  "\".\nPress Start again with the same firmware file to write them back.";
    return {text, "Settings Error"};
}

namespace {

std::string NameList(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "" : ", ") + ("\"" + vorn::EscapeControls(names[i]) + "\"");
    return list;
}

}  // namespace

Box RefusedSettingsQuestion(const Names& n, const std::vector<std::string>& names, const std::string& settingsPath) {
    return {"Your " + n.device + " did not take back " + (names.size() == 1 ? "this setting: " : "these settings: ") +
                NameList(names) + ".\nThe new firmware runs, and every other setting is back in it." +
                "\n\nClick OK to finish the update without " + (names.size() == 1 ? "it" : "them") +
                " (set the clock and erase the data). The saved settings stay in \"" + settingsPath +
                "\": enter what is missing by hand." +
                "\nClick CANCEL to stop here. Your settings are kept; press Start again with the same firmware "
                "file to try writing them back.",
            "Settings Not Taken", Kind::kWarning};
}

Box FinishedWithoutSettings(const Names& n, const std::vector<std::string>& names, const std::string& settingsPath) {
    return {"Your " + n.device + " was updated without " + (names.size() == 1 ? "this setting, which it did not take: "
                                                                               : "these settings, which it did not take: ") +
                NameList(names) + ".\nThe saved settings are kept in \"" + settingsPath +
                "\": please enter what is missing by hand.",
            "Settings Not Taken", Kind::kWarning};
}

Box DataEraseFailed(const Names& n, int32_t rc) {
    const std::string start = TheProgram(n) + " was unable to erase the data in your " + n.device;
    return {rc == vorn::protocol::kBrokenDataFlash
                ? start + "because the data storage chip is reporting errors.\n\nPlease contact Vornell for help."
                : start + ".\nPlease try again.\n[Error: " + Num(rc) + "]",
            "Data Erase Error"};
}

Box CalibrationNotice(int family) {
    // The families whose profile asks for a reminder, each with its own.
    struct Notice {
        int family;
        Box box;
    };
    static const Notice kNotices[] = {
        {TL,
         {"The calibration of your Tallis 8 is outdated or missing.\n\n"
          "Please contact Vornell or your authorized Vornell representative\n"
          "to have your Tallis 8 calibrated.",
          "Tallis 8 Calibration", Kind::kWarning}},
        {CF22,
         {"Updating the firmware in your Lumex CF-22 requires you to calibrate\n"
          "the internal sensors using the external sensor as a reference.\n\n"
          "Please see your CF-22 user manual for probe calibration instructions.\n\n"
          "Please also reset the Daylight Savings setting in your Lumex CF-22.",
          "Please Calibrate Your CF-22", Kind::kWarning}},
        {VM,
         {std::string("Updating the firmware in your Vellum Meter requires you to calibrate\n"
                      "the the sensor head using the Vornell-supplied calibration plate.\n\n"
                      "Please see the Vellum Meter user manual (version 7 or newer) for\n"
                      "calibration instructions. The latest user manual is available for download from:\n") +
              SupportLiteratureAddress(),
          "Please Calibrate Your Vellum", Kind::kWarning}},
    };
    for (const Notice& n : kNotices)
        if (n.family == family) return n.box;
    return {};
}

std::string StatusLine(Stage stage, const Names& n) {
    switch (stage) {
        case Stage::kConnecting: return "Connecting to " + n.device + "...";
        case Stage::kCheckingBattery: return "Checking battery power...";
        case Stage::kSavingSettings: return "Saving settings for this " + n.device + "...";
        case Stage::kKeepingSettings: return "Keeping the settings saved before the update that did not finish...";
        case Stage::kStartingLoader: return "Starting the firmware loader...";
        case Stage::kErasing: return "Erasing firmware memory...";
        case Stage::kUploading: return "Uploading new firmware code...";
        case Stage::kRestarting: return "Restarting the " + n.device + ", please wait...";
        case Stage::kCheckingFirmware: return "Checking new firmware...";
        case Stage::kRestoring: return "Restoring settings...";
        case Stage::kErasingData: return "Erasing old data...";
    }
    return {};
}

std::string DoNotDisconnect(const Names& n) { return "Do NOT disconnect " + n.device + " until finished."; }
std::string ConnectToComputer(const Names& n) { return "Connect " + n.device + " to computer comm port."; }
std::string MayDisconnect(const Names& n) { return "You may disconnect your " + n.device + " now."; }
std::string Updated(uint32_t seconds) { return "Successfully updated firmware in " + Num(seconds) + " seconds."; }

std::string HelpText(const std::string& caption, const std::string& d) {
    std::string text = "The " + caption + " replaces the firmware that operates your " + d + ".\n";
    text += "Following the simple steps will help ensure a successful update.\n\n";
    if (catalogue::UpdateErasesStoredData(catalogue::kProductFamily)) {
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

// The platform this build runs on, as About names it.
constexpr const char* kPlatform =
#if defined(_WIN32)
    "Windows";
#elif defined(__linux__)
    "Linux";
#else
    "this system";
#endif

std::string AboutText() { return AboutText(VORN_VERSION_STRING); }

std::string AboutText(const std::string& engineVersion) {
    return std::string("Vornell Universal Firmware Updater for ") + kPlatform + "\n\n" + "VornBSL Engine version " +
           engineVersion + "\nCommunication Protocol version " + "1.7.9" + "\n\n" +
           "\u00A9 2026 Vornell Devices, Inc. All rights reserved.";
}

std::string AboutCaption(const std::string& deviceName) { return "About " + deviceName + " Firmware Updater"; }

const char* SupportLiteratureAddress() { return "https://www.vornell.example/support/literature"; }

}  // namespace vorn::update::texts
