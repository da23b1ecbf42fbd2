// The firmware's hand-over to its VornBSL engine: "boot ZELK".
#include "sim/BslEngine.h"
#include "sim/Instrument.h"

namespace vornsim {

void RegisterBootCommands(CommandShell& shell) {
    shell.AddHandler([](Simulator& sim, CommandShell&, const std::string& line) {
        if (line != "boot" && line.rfind("boot ", 0) != 0) return false;
        if (line != "boot ZELK") {
            CommandShell::Error(sim);
            return true;
        }
        if (!sim.State().bootloaderPresent) {
            CommandShell::Answer(sim, "VornBSL MISSING");
            return true;
        }
        sim.Send("\rOK\r");
        // Handing over replaces the running command interpreter (and this handler with
        // it), so it happens on the simulator's next turn rather than inside the handler.
        sim.After(0, [](Simulator& s) { EnterBootloader(s, BslEngine::Mode::kWaiting); });
        return true;
    });
}

}  // namespace vornsim
