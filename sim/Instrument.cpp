#include "sim/Instrument.h"

#include "sim/BslEngine.h"
#include "sim/LabSim.h"
#include "sim/LoggerSim.h"
#include "sim/Switches.h"

#include <cstdio>
#include <sstream>
#include <utility>

namespace vornsim {

void BootFirmware(Simulator& sim) {
    auto shell = std::make_shared<CommandShell>();
    RegisterBootCommands(*shell);
    RegisterLoggerCommands(*shell);
    RegisterLabCommands(*shell);
    RegisterCommonCommands(*shell);
    sim.Become(shell, kFirmwareBaud);
}

std::unique_ptr<Simulator> MakeInstrument(Options options) {
    auto sim = std::make_unique<Simulator>(std::move(options));
    sim->onPowerOn = [](Simulator& s) {
        // Factory values and switches are in place from the first power-on, so a test
        // sees what the instrument holds before anyone talks to it.
        EnsureLoggerStarted(s);
        EnsureLabStarted(s);
        PowerOnInstrument(s);  // the firmware, or the engine when the flash cannot run
    };
    sim->dumpState = DumpState;
    return sim;
}

void RegisterCommonCommands(CommandShell& shell) {
    shell.AddHandler([](Simulator& sim, CommandShell&, const std::string& line) {
        if (line != "get -ver") return false;
        const InstrumentState& s = sim.State();
        char text[64];
        std::snprintf(text, sizeof text, "%s %u.%02u", s.family.c_str(), s.version / 100, s.version % 100);
        CommandShell::Answer(sim, text);
        return true;
    });
}

uint32_t DefaultVersion(const std::string& family) {
    static const std::pair<const char*, uint32_t> kShipped[] = {
        {"KT72", 210}, {"QV", 120}, {"CF22", 200}, {"HN9", 205}, {"HMINI", 140}, {"H7S", 360},
    };
    for (const auto& [code, version] : kShipped)
        if (family == code) return version;
    return 102;
}

std::vector<std::string> FamilyCodes() {
    std::vector<std::string> codes = LoggerFamilyCodes();
    for (std::string& code : LabFamilyCodes()) codes.push_back(std::move(code));
    return codes;
}

std::string RefusedOptions(const Options& o) {
    const bool logger = IsLoggerFamily(o.family), lab = IsLabFamily(o.family);
    if (!logger && !lab) {
        std::string out = "unknown family " + (o.family.empty() ? std::string("\"\"") : o.family) + "; the families:";
        for (const std::string& code : FamilyCodes()) out += " " + code;
        return out;
    }
    if (o.version == 0) return "no firmware version";
    for (const auto& [name, value] : o.switches) {
        const SwitchInfo* known = FindSwitch(name);
        if (!known) return UnknownSwitch(name);
        if (std::string why = SwitchValueRefused(*known, value); !why.empty()) return why;
    }
    std::vector<std::string> refused;
    if (logger) {
        for (const auto& [key, value] : o.values)
            if (!LoggerTakesStartingValue(o, key, value)) refused.push_back(key + "=" + value);
    } else {
        refused = LabStartingValuesRefused(o);
    }
    if (!refused.empty()) return "a " + o.family + " " + std::to_string(o.version) + " would refuse the value " + refused.front();
    return {};
}

std::vector<std::string> ValueKinds(const Options& o) {
    return IsLoggerFamily(o.family) ? LoggerValueKinds(o) : LabValueKinds(o);
}

std::string DumpState(const InstrumentState& state) {
    std::ostringstream out;
    out << "family=" << state.family << "\nversion=" << state.version << "\n";
    for (const auto& [key, value] : state.settings) out << "setting " << key << "=" << value << "\n";
    for (const auto& [key, list] : state.records)
        for (const auto& r : list) out << "record " << key << "=" << r << "\n";
    out << "clock-offset=" << state.clockOffsetSeconds << "\ndata=" << state.dataRecords << "\n";
    out << DumpBootloaderState(state);
    return out.str();
}

}  // namespace vornsim
