#pragma once
// The simulated laboratory instruments: RW, HN9, HN9OPX, KSR, CF22, TL, VM, SWXR, H7S, GLX,
// HMINI, PTX9, HBA, FIELDPT and BLI.
//
// Values live in InstrumentState::settings by the key of their get/set command ("-sn",
// "-config", "-cal 3" for RW, "-cal1" for FIELDPT, "-pvuser" for the HN9 pair ...), the
// record lists in InstrumentState::records ("user", "eqn"; equation texts in Base64), so a
// firmware update's WipeForUpdate wipes them and a restore can be compared text for text.
// Families that want a login before their settings refuse value and record commands
// until "login *8405"; each power-on starts logged out.
//
// Switches (Options::switches), read at the first command line:
//   lab-blank            no factory values or records
//   hver=X               hardware revision answered to "get -hver" (default C)
//   battery=N            battery percentage (default 100)
//   low-battery          battery at 5 %
//   code-corrupt         "post" reports "Code Corrupt!" whatever the flash holds
//   no-record-count      "get -user" / "get -eqn" without a number answer "ERROR"
//   dataflash-fail       "yes" answers "DataFlash FAIL" (shared with the loggers)
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Simulator.h"

namespace vornsim {

inline constexpr const char* kLabLogin = "login *8405";
inline constexpr int kLowBattery = 5;
inline constexpr const char* kDefaultHardwareRevision = "C";

bool IsLabFamily(const std::string& code);
// The lab instruments' catalogue codes, in the order of the family table.
std::vector<std::string> LabFamilyCodes();
// Whether the family wants a login before its values are read or written.
bool LabNeedsLogin(const std::string& code);
// The value keys a family's firmware of `version` knows (records not included).
std::vector<std::string> LabKeys(const std::string& code, uint32_t version);
// The record lists a family keeps ("user", "eqn").
std::vector<std::string> LabRecordLists(const std::string& code);
// Puts the family's factory values and records into `state` (for its family and version).
void FillLabFactoryValues(InstrumentState& state);
// Factory values (unless lab-blank), switches and --value ones, once per simulated instrument.
void EnsureLabStarted(Simulator& sim);
// The values a unit of the options' family holds, each "KEY<tab>KIND ..." ("-loc text 128",
// "-contr int 0 99"; "-config checksum" for the HN9 kind, whose number follows the serial).
std::vector<std::string> LabValueKinds(const Options& options);
// The --value ones ("KEY=VALUE") a unit of the options' family would refuse.
std::vector<std::string> LabStartingValuesRefused(const Options& options);

// Whether the instrument takes `value` for `key` ("" = held empty): a key its family
// and version know, within the field's length, a number where one is wanted, and for the
// HN9 kind a configuration whose checksum fits the serial number it holds.
bool LabAccepts(const InstrumentState& state, const std::string& key, const std::string& value);
// A record key of --value, "-user 3" or "-eqn 0": its list and index; false when `key` is
// none, or beyond the records the list keeps.
bool LabRecordKey(const std::string& code, const std::string& key, std::string* list, size_t* index);
// The most records a list keeps, and whether the instrument keeps `text` as one: at most
// kRecordTextMax characters, none its prompt.
inline constexpr size_t kUserRecordsMax = 100;
inline constexpr size_t kEqnRecordsMax = 25;
inline constexpr size_t kRecordTextMax = 100;
size_t LabRecordsMax(const std::string& list);
bool LabRecordFits(const std::string& text);
// Keeps an accepted value; an empty one is no value.
void StoreLabValue(InstrumentState& state, const std::string& key, const std::string& value);

// RFC 4648 Base64 (standard alphabet, padded), as the instruments keep equation texts.
std::string EncodeBase64(std::string_view bytes);

}  // namespace vornsim
