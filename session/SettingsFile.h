#pragma once
// The settings file: a device's settings as plain text, written before a firmware update
// and read back after it when nothing is held in memory. A header line, an empty line,
// then one key="value" line per setting, each ending in CR LF. Two layouts: loggers (from
// DeviceInfo) and lab instruments (from InstrumentInfo and its record lists). Values are
// written as they are: a value never contains a double quote or a line end.
//
// The layouts and readers are pure text work, one table of lines per layout: each line's
// key, where the writer puts it and which families' readers take it back. The file
// itself is written and checked by the two file operations at the end, which the session
// (Vorn_protocol) and the update sequence use.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceInfo.h"
#include "session/FamilyTable.h"
#include "session/InstInfo.h"
#include "session/Records.h"

class VornLog;

namespace vorn::settingsfile {

inline constexpr std::string_view kHeader = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";

// --- key lookup ---
// A key counts only at the start of a line and directly followed by "=", so a value that
// happens to contain a key's letters (a name holding "sn") is never taken for it. The
// value starts after the next double quote on that line.

// Index of the first character of the key's value; nullopt when the key (or its opening
// quote) is missing.
std::optional<size_t> FindKey(std::string_view text, std::string_view key);
// Text value: up to the closing quote or the line end, at most `capacity` - 1 characters.
// True when the value is not empty; a missing key leaves `value` empty.
bool ReadText(std::string_view text, std::string_view key, size_t capacity, std::string* value);
// Decimal number from the character after the quote (0 when no digits follow). True
// whenever the key and its quote exist; `value` is left alone otherwise.
bool ReadUnsigned(std::string_view text, std::string_view key, uint32_t* value);
// Decimal real number, likewise.
bool ReadReal(std::string_view text, std::string_view key, double* value);

// --- layouts ---
// A family's layout is its row's (session/FamilyTable.h): Logger for KT7R, KT72, QV, ZQ8,
// MYR; None for UNKNOWN, KT7, RL and values outside the catalogue; Lab for the rest.
using Layout = vorn::session::FileLayout;
Layout LayoutOf(int family);
// The keys of the file lines that hold the setting bits `bits` of a family (logger bits
// from device/DeviceInfo.h, lab bits from session/InstInfo.h), in file order: how the
// user finds those settings in the file.
std::vector<std::string> SettingNames(int family, uint32_t bits);

// The whole file text (header included) of a logger.
std::string FormatLoggerFile(const DeviceInfo& info);
// The whole file text of a lab instrument. `info` supplies the build text.
std::string FormatLabFile(int family, const InstrumentInfo& inst, const DeviceInfo& info, const RecordSet& user,
                          const RecordSet& eqn);

// The text of a family's layout (logger or lab); empty for a family without one.
std::string FormatFile(int family, const InstrumentInfo& inst, const DeviceInfo& info, const RecordSet& user,
                       const RecordSet& eqn);

// --- readers ---
// The family a file was saved from, by its type line: a lab file names the family's code,
// a logger file its type name ("Kt72", "zQ8" ...). UNKNOWN when the line names none.
int FamilyOfFile(std::string_view text);

// Reads a logger file into `info` (its identity fields are kept, every setting is reset first) and
// sets its capabilities for the family; `*mask` receives the setting bits of the keys found. 1;
// kNotUnderstood when the type line is not the family's; kNotApplicable not a logger family.
int32_t ReadLoggerFile(int family, std::string_view text, DeviceInfo* info, uint32_t* mask);

// Reads a lab instrument file into `inst` (reset first; its family and valid mask set)
// and the two record lists. GLX keeps its name and serial number in `info` as well.
// `profileVersion` is the version of the firmware the values go back to (some families
// know more values from a version on). 1; kNotUnderstood when the type line is not the family's or
// the family keeps no instrument values.
int32_t ReadLabFile(int family, uint32_t profileVersion, std::string_view text, InstrumentInfo* inst,
                    DeviceInfo* info, RecordSet* user, RecordSet* eqn, VornLog* log);

// --- where and when a file was saved, and how far its update got ---
// Lines after every key the layouts write and read (the "valid" line is the last of
// those): the serial number the settings were saved from, the port and the time in UTC,
// savedsn="RW-10234", savedport="ttyUSB0", savedat="2026-12-09T22:50:00Z"; then the
// journal of the update that holds them: how far it got (stage="erasing"), the port and
// time of the run that got it there (stageport, stageat) and the family of the firmware
// being loaded (loading="RW"). A reader that does not know them passes over them, so
// files stay readable by earlier releases.

struct SavedOrigin {
    std::string serialNumber{};             // empty: none read
    std::string port{};                     // empty: not known
    std::optional<std::time_t> savedAt{};   // seconds since 1970 UTC; none in files of old
    std::string stage{};                    // empty: not said (files of earlier releases)
    std::string stagePort{};
    std::optional<std::time_t> stageAt{};
    std::string loading{};                  // a family code; empty: not said
};
inline constexpr size_t kOriginTextMax = 1024;  // characters kept of each value (a port is a path)

// The origin lines; the journal lines only where they have a value. Characters a value
// cannot hold (a double quote, a control character) become '_', and each value is cut
// to kOriginTextMax.
std::string FormatOrigin(const SavedOrigin& origin);
// A text as an origin line holds it (what FormatOrigin makes of it): compare a serial
// number read from a device with a file's this way.
std::string OriginValue(std::string_view text);
// What `text` says of its origin; a missing line leaves its field empty.
SavedOrigin ReadOrigin(std::string_view text);
// The settings of `text` without its origin and journal lines: everything before the
// first of them (the whole text when it has none).
std::string_view WithoutOrigin(std::string_view text);
// The serial number the settings of `text` were saved from: its "savedsn" line, else its
// "sn" line (files of old); empty when neither names one.
std::string SerialOfFile(std::string_view text);
// `t` as "2026-12-09T22:50:00Z" (UTC, no locale), and back; false for anything else.
std::string FormatUtc(std::time_t t);
bool ParseUtc(std::string_view text, std::time_t* t);

// --- the file ---

// Writes `text` to `path` so that a crash never leaves a half file under that name: a new
// file in the same folder, created exclusively and readable by its owner only (it may
// hold passwords), written, flushed to the disk and then renamed over `path`. 1; the
// negated C error of the failing step otherwise, and then the temporary file is gone and
// whatever `path` held before is untouched.
int32_t WriteFileSafely(const std::string& path, std::string_view text);

// Reads the file at `path` back: 1 when it holds exactly `text`, followed by nothing but its origin
// lines; kSettingsFileMissing no such file; kSettingsFileUnreadable it cannot be read;
// kNotUnderstood it holds something else (cut short, changed).
int32_t CheckFileHolds(const std::string& path, std::string_view text);

}  // namespace vorn::settingsfile
