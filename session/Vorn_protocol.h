#pragma once
// The updater's instrument session: connect and identify, log in and out, battery,
// firmware check, clock, data erase, and the saving and restoring of the instrument's
// settings around a firmware update (instrument values and records, settings file).
//
// Every operation returns a status (common/Status.h, session/SessionConstants.h):
// zero or positive success, negative failure; none throws. Every operation logs its own
// outcome with the tag "Vorn_protocol". Single-threaded: device commands go through the
// owned MOSSY_Protocol, whose waits of 170 ms and more run the event pump.
//
// What the session learnt (device info, profile, saved settings) survives disconnection,
// so the settings saved before an update can be written back after it.
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/PrintfCheck.h"
#include "common/TableFormat.h"
#include "catalogue/DeviceCatalogue.h"
#include "device/DeviceInfo.h"
#include "session/InstInfo.h"
#include "device/MOSSY_Protocol.h"
#include "session/Records.h"
#include "session/SettingsFile.h"
#include "device/VornSDI12.h"

class VornLog;

class Vorn_protocol {
public:
    // Reads the system clock: seconds since 1970 UTC into *t, or false with *error set to
    // the C library error number. Replaceable for tests.
    using SystemClock = std::function<bool(std::time_t* t, int* error)>;

    // The log is not owned (it may be null) and must outlive the session.
    explicit Vorn_protocol(VornLog* log);
    // Destroys the connection, which disconnects it when it is connected.
    ~Vorn_protocol();
    Vorn_protocol(const Vorn_protocol&) = delete;
    Vorn_protocol& operator=(const Vorn_protocol&) = delete;

    // --- session ---

    // Opens `port`, logs into the device's command mode, identifies it and fills *profile (also
    // kept as Profile()). Status of the identification: 1 (or 0) connected; kMissingArgument no
    // port name or profile; kNotSupported version not supported (profile filled) or a device that
    // answered in a way no supported device does; kNoConnection nothing listening; kBslActive /
    // kBslWaiting the device's bootloader answered; other failures of the connection as they came.
    // `baudCode` indexes the library's baud table; `tries` are tries per command.
    [[nodiscard]] int32_t VPConnect(const std::string& port, int baudCode, int tries, DeviceProfile* profile);
    // Types the login ("login *8405") one character 50 ms apart, then a line end; up to 3
    // attempts, ending early when the answer holds "OK" or "8405" (then 1). When the last
    // exchange was answered without either word the login still counts (its positive
    // status, with a warning line in the log); kLoginRefused when the last exchange failed.
    // Time-out 4000 ms per exchange.
    [[nodiscard]] int32_t VPLogin();
    // Sends "logout" first when asked and the family logs in; then disconnects and pauses
    // 100 ms. The status of the disconnect (0 when nothing was connected).
    int32_t VPLogout(bool sendLogout);
    // Reads the battery percentage. 1 with *percent; kNotUnderstood the answer holds no number;
    // kMissingArgument no output; the command status otherwise (*percent = -1). Time-out 2000 ms.
    [[nodiscard]] int32_t VPCheckBattery(int32_t* percent);
    // Asks the firmware whether its code is sound ("post -init" with `init`, else "post";
    // time-out 7000 ms). 1 good; kRefused corrupt; kNotUnderstood neither said; the command status.
    [[nodiscard]] int32_t VPCheckFirmware(bool init);
    // Erases the logged data the family's way. Positive; kBrokenDataFlash broken data memory;
    // kNotUnderstood answer not understood; kNotApplicable nothing to erase for the family (nothing
    // sent); kIdentityMismatch the logger is not the one connected to; the command status. Time-out
    // 17000 ms.
    [[nodiscard]] int32_t VPEraseData();
    // Sets the device clock to the host's local time. The command status; kNotApplicable when the
    // profile says the family keeps no clock; kNotUnderstood when the system clock fails.
    [[nodiscard]] int32_t VPSetTime();

    // --- settings ---

    // Collects the settings by family and writes them to the settings file at `path`. 1;
    // kUninitialised an uninitialised logger (nothing saved); kNotApplicable a family without
    // settings; a collecting status (nothing saved) or the file's status (settings kept in memory).
    [[nodiscard]] int32_t VPSaveInfo(const std::string& path);
    // VPSaveInfo in two halves, for a caller that names the file after what was read:
    // CollectForSave reads the settings into memory (VPSaveInfo's statuses before the
    // file, its logs and flags); WriteSavedSettings then writes them as VPSaveInfo does.
    [[nodiscard]] int32_t CollectForSave();
    [[nodiscard]] int32_t WriteSavedSettings(const std::string& path);
    // What the settings files written from now on say of their origin and journal
    // besides the serial number and the time (settingsfile::SavedOrigin): the port (empty:
    // the connection's own name) and the journal lines.
    void SetFileOrigin(const vorn::settingsfile::SavedOrigin& origin) { fileOrigin_ = origin; }
    // The text WriteInfoFile writes: the family's layout, then the origin and journal.
    std::string SavedFileText() const;
    // Writes the saved settings back, reading the file at `path` first when nothing was saved in
    // this run. `newSerialNumber` (null: none) replaces the serial number. The status of the upload
    // (kPartlyDone partly); kNotApplicable a family without settings; a reader status
    // (kSettingsFileMissing no file, kSettingsFileDenied / kSettingsFileUnreadable unreadable,
    // kNotUnderstood not this family's file).
    [[nodiscard]] int32_t VPRestoreInfo(const std::string& path, const std::string* newSerialNumber);
    // After a restore that went back in part (kPartlyDone): the settings the instrument did not
    // take, by the keys of their file lines ("rch", "site", "cal" ...). Empty otherwise.
    std::vector<std::string> SettingsNotRestored() const;
    // How many settings the last restore wrote back, counted as their file lines.
    size_t SettingsRestoredCount() const { return restoredCount_; }
    // Writes the saved settings in the family's layout, replacing the file, and after them the
    // serial number, port and UTC time they were saved from (settingsfile::FormatOrigin); the file
    // is readable by its owner only (it may hold passwords). 1; kMissingArgument no path;
    // kNotApplicable a family without a layout; the negated C error of the open or a write.
    [[nodiscard]] int32_t WriteInfoFile(const std::string& path);
    // Reads the file at `path` into the saved settings with the family's reader. 1;
    // kMissingArgument no path; kSettingsFileMissing no such file; kSettingsFileDenied access
    // denied; kSettingsFileUnreadable unreadable; kOutOfMemory out of memory; kNotApplicable a
    // family without a layout; kNotUnderstood not this family's file; other negated C errors.
    [[nodiscard]] int32_t ReadInfoFile(const std::string& path);

    // --- instrument values ---

    // Sends "`command`\r" and stores the first line of the answer, at most `maxChars`
    // characters, into *destination. Up to 3 attempts; an answer holding "Error", only the
    // prompt, or nothing counts kNotUnderstood. 1 found; else the last status.
    [[nodiscard]] int32_t GetValueString(const std::string& command, uint32_t timeoutMs, std::string* destination, size_t maxChars);
    // The same for a decimal number on the answer's first line. 1 found; else the last status.
    [[nodiscard]] int32_t GetValueLong(const std::string& command, uint32_t timeoutMs, int32_t* value);
    // Reads the values named by `request` (InstInfo.h bits) into the instrument info; its valid
    // mask gains the bits read. 1; 0 for an empty request; kPartlyDone some failed; kEchoed /
    // kPortClosed the run stopped (echo, silence); another status of the last item.
    [[nodiscard]] int32_t GetInstInfo(uint32_t request);
    // Writes the values named by `request` back. 1; 0 for an empty request; kPartlyDone some
    // failed; kEchoed / kRelayActive / kPortClosed the run stopped; kRefusedNow the serial number
    // was refused.
    [[nodiscard]] int32_t SetInstInfo(uint32_t request);

    // --- records (type 1 user, 2 eqn) ---

    // Reads a record list from the device ("get -user" for the count, then "get -user N"). 1; 0 no
    // records; kOutOfRange unknown type; kMissingArgument no set. A count the device does not give
    // reads up to the type's maximum until the first failure.
    int32_t GetRecords_Serial(RecordSet* set, int type);
    // Writes a record list in alphabetical order ("set -user N text") up to the first empty
    // text. 1; 0 empty set; kOutOfRange unknown type. Refused records do not stop the run.
    int32_t SetRecords_Serial(RecordSet* set, int type);
    // Reads a record list from a settings file's text. See vorn::records::GetRecords_File.
    int32_t GetRecords_File(RecordSet* set, int type, std::string_view text);
    int32_t AlphabetizeRecords(RecordSet* set, int type);
    int32_t ExtractNames(RecordSet* set, int type);

    // --- for the update sequence ---

    // Forgets every saved setting (both blocks, records, mask) and the saved flag.
    void ClearSavedSettings();
    // Marks the settings as loaded with the serial number as the only value to restore,
    // so a restore sends a new serial number alone and never reads the file.
    void PrepareSerialNumberOnlyRestore();
    // The instrument's "adc" value read with the settings (empty when none).
    std::string SavedAdcText() const { return inst_.adc; }
    MOSSY_Protocol& Connection() { return *connection_; }
    const DeviceProfile& Profile() const { return profile_; }

    // --- state, for the sequence's decisions and for tests ---
    int Family() const { return family_; }
    bool SettingsSaved() const { return settingsSaved_; }
    // The last save wrote the file, but some settings could not be read: the update
    // would lose them.
    bool SavedInPart() const { return savedInPart_; }
    uint32_t SavedMask() const { return savedMask_; }
    DeviceInfo& Info() { return info_; }
    const DeviceInfo& Info() const { return info_; }
    InstrumentInfo& Instrument() { return inst_; }
    const InstrumentInfo& Instrument() const { return inst_; }
    // The serial number as the instrument gave it, from where its family keeps it (a
    // logger's device information, a lab instrument's values); empty until it was read.
    std::string SerialNumber() const;
    RecordSet& UserRecords() { return user_; }
    RecordSet& EqnRecords() { return eqn_; }
    const VornSDI12& Sensor() const { return *sensor_; }
    // Replaces the system clock VPSetTime reads (an empty function restores the real one).
    void SetSystemClock(SystemClock clock);

private:
    // One line with the session's tag.
    void Say(uint32_t level, const char* format, ...) VORN_PRINTF(3, 4);
    // A command through DeviceCommand with the prompt as terminator and a 32-byte answer.
    int32_t Command(const std::string& command, uint32_t timeoutMs, std::string* answer, int32_t* elapsedMs);
    // One item of the instrument values, read or written; the item's status.
    int32_t GetInstItem(const vorn::instinfo::InstItem& item);
    int32_t SetInstItem(const vorn::instinfo::InstItem& item);
    // Set one value: "set KEY VALUE\r"; logs `setLog` with the value on "OK".
    int32_t SetValue(const std::string& key, const std::string& value, const vorn::TableFormat& setLog, bool number);
    // Reads the settings by family; *kept receives the bits read.
    int32_t CollectSettings(uint32_t* kept);
    int32_t AdjustHn9Checksum(const std::string& newSerialNumber);
    // The connected logger's type, firmware and capabilities into the saved settings' record,
    // which the settings commands then go by.
    void TakeIdentity(const DeviceInfo& live);

    VornLog* log_;
    std::unique_ptr<MOSSY_Protocol> connection_;
    std::unique_ptr<VornSDI12> sensor_;
    DeviceInfo info_{};
    InstrumentInfo inst_{};
    int8_t family_ = UNKNOWN;
    DeviceProfile profile_{};
    bool settingsSaved_ = false;
    bool savedInPart_ = false;
    RecordSet user_;
    RecordSet eqn_;
    uint32_t savedMask_ = 0;
    uint32_t notRestored_ = 0;
    size_t restoredCount_ = 0;  // setting bits the last restore wrote and the instrument did not take
    SystemClock clock_;
    vorn::settingsfile::SavedOrigin fileOrigin_;
};
