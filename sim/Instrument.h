#pragma once
// Builds a complete simulated instrument: the simulator with the firmware's command
// interpreter (every command set registered) as the personality it powers on into.
#include <memory>
#include <string>
#include <vector>

#include "sim/CommandShell.h"
#include "sim/Simulator.h"

namespace vornsim {

std::unique_ptr<Simulator> MakeInstrument(Options options);

// Powers the instrument on into its firmware (after a restart or a power loss): the
// command interpreter at the instrument's own line speed.
void BootFirmware(Simulator& sim);

// The command sets of the firmware, each in its own file. Handlers are tried in the
// order they are registered.
void RegisterBootCommands(CommandShell& shell);    // "boot ZELK": hand-over to VornBSL
void RegisterLoggerCommands(CommandShell& shell);  // loggers: settings, radio, clock, data
void RegisterLabCommands(CommandShell& shell);     // lab instruments: values and records
void RegisterCommonCommands(CommandShell& shell);  // identity and what every family answers

// The line speed of the firmware's command interpreter.
inline constexpr uint32_t kFirmwareBaud = 9600;

// What keeps these options from making an instrument: an unknown family (the message
// lists the families) or switch, a switch value it does not take (see Switches.h), a
// --value the instrument would refuse. Empty when none does. ("serial=" is a unit without
// a serial number.)
std::string RefusedOptions(const Options& options);

// Every family vornsim simulates, by catalogue code: the loggers, then the lab instruments.
std::vector<std::string> FamilyCodes();

// The firmware version a unit of `family` runs when none is asked for: one its maker ships
// and the updater updates (KT72 2.10, HN9 2.05 ...; 1.02 for most).
uint32_t DefaultVersion(const std::string& family);

// The settings a unit of these options holds for its owner, and what each takes.
std::vector<std::string> ValueKinds(const Options& options);

// The state dump: flash as TI-Text, vectors, settings, clock, data.
std::string DumpState(const InstrumentState& state);

}  // namespace vornsim
