#include "sim/Instrument.h"

#include "sim/BslEngine.h"
#include "sim/LabSim.h"
#include "sim/LoggerSim.h"

#include <cstdio>
#include <sstream>

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
