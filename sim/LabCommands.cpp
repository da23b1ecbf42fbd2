#include "sim/Instrument.h"

namespace vornsim {

void RegisterLabCommands(CommandShell&) {}

}  // namespace vornsim
