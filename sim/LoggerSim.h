#pragma once
// The simulated field loggers: Kt72, Quillon, zQ8, MYR4, Kt7r and the Kt7 (old firmware
// that refuses "get -ver" and answers "show", or new firmware with --set new-firmware).
//
// Settings live in InstrumentState::settings by the key of their command ("-i", "-site",
// "-rch" ...), stored in the form the logger prints them, so a firmware update's
// WipeForUpdate wipes them and a restore can be compared text for text.
//
// Switches (Options::switches), read at the first power-on:
//   uninitialised        no factory settings (a logger straight from a firmware update)
//   name=NAME            the logger's name (default FIELD01)
//   trait=N              trait bits (bit 0 radio fitted, bit 3 cellular); the family's
//                        default otherwise (Kt72: 9, zQ8: 1, others 0)
//   new-firmware         a Kt7 that answers "get -ver" instead of an old one
//   radio                the host talks to a radio modem (AT command mode with "+++"),
//                        and the logger is reached over the air: it answers "query",
//                        "login NAME" and, after a login, every command; "logout" sends
//                        it back to sleep
//   asleep               over the radio: the logger sleeps until it hears wake packets
//   echo                 everything the host sends comes straight back (a relay)
//   quiet-after=N        after N command lines the instrument stops answering ...
//   quiet-lines=M        ... for the next M lines (default 3)
//   error-command=LINE   the command LINE is answered "ERROR"
//   baud-silent          "set -baud N" switches without answering
//   dataflash-fail       "yes" answers "DataFlash FAIL"
//   hver=X, battery=N, low-battery, code-corrupt: as for the lab instruments ("get -hver",
//                        "get -batt", "post" of a new-firmware logger)
#include <cstdint>
#include <string>
#include <vector>
#include <string_view>

#include "sim/CommandShell.h"

namespace vornsim {

inline constexpr int kWakeCRsNeeded = 20;        // wake packets in a row that wake a sleeper
inline constexpr uint32_t kModemGuardMs = 50;    // "+++" answered after this pause
inline constexpr long kDefaultQuietLines = 3;

bool IsLoggerFamily(const std::string& code);
// The loggers' catalogue codes, in the order of the family table.
std::vector<std::string> LoggerFamilyCodes();
// A Kt7 without the new-firmware switch.
bool OldFirmware(Simulator& sim);
// Factory settings, radio modules and fault switches, once per simulated instrument.
void EnsureLoggerStarted(Simulator& sim);
// The logger's name as it would answer "get -i".
std::string LoggerName(const InstrumentState& state);
// True when the logger's radio can hear the host's modem (same channel and subchannel).
bool RadioLinkUp(const InstrumentState& state);

// Whether the logger of o.family and o.version holds `value` for `key` when it is set
// so ("" = held empty): a --value the instrument itself would refuse is refused.
bool LoggerTakesStartingValue(const Options& o, const std::string& key, const std::string& value);

// The settings a unit of o.family holds for its owner, each "KEY<tab>KIND ..." ("-site text
// 25", "-w int 1 3600", "-depth bytes 5", "-adc30 adc 10", "-authkey hex 32", "-rch radio 6").
std::vector<std::string> LoggerValueKinds(const Options& o);

// The raw-byte part: echo switch, host radio modem and the air link, and the old Kt7's
// "term" pass-through to its radio module. Defined in LoggerRadio.cpp.
CommandShell::RawHandler MakeLoggerByteHandler();
// Lines of the radio link that a logged-in logger takes itself ("logout", "query").
bool HandleRadioLine(Simulator& sim, const std::string& line);

}  // namespace vornsim
