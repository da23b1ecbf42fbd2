#pragma once
// The switches vornsim takes with --set NAME[=VALUE]: one table, which the help text and
// the check of a command line are both made from, so a misspelt switch is refused instead
// of starting an instrument without the fault a test asked for.
#include <string>
#include <vector>

namespace vornsim {

struct SwitchInfo {
    const char* name;
    const char* value;  // what VALUE is ("N", "P", "SN" ...), or nullptr for a bare switch
    const char* help;
    const char* group;  // "" for every instrument, else whom it is for
};

const std::vector<SwitchInfo>& Switches();
const SwitchInfo* FindSwitch(const std::string& name);
// The switches as the help text lists them.
std::string SwitchHelp();

struct Options;
// Whether the firmware refuses every set of `key` (refuse-set=KEY).
bool RefusesSet(const Options& o, const std::string& key);

}  // namespace vornsim
