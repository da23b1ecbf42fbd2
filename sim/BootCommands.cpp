#include "sim/Instrument.h"

namespace vornsim {

void RegisterBootCommands(CommandShell&) {}

}  // namespace vornsim
