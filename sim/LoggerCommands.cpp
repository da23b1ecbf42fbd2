#include "sim/Instrument.h"

namespace vornsim {

void RegisterLoggerCommands(CommandShell&) {}

}  // namespace vornsim
