#pragma once
// The switches vornsim takes with --set NAME[=VALUE]: one table, which the help text, the
// check of a command line, the listing the scripts read (--list-switches) and SIGUSR1's
// mending are all made from, so a misspelt switch or a value it cannot take is refused
// instead of starting an instrument without the fault a test asked for.
#include <cstdint>
#include <string>
#include <vector>

namespace vornsim {

// What VALUE a switch takes. The integers are decimal; min and max bound the number, or
// for the texts the number of characters.
enum class SwitchKind {
    kNone,          // a bare switch, no value
    kCount,         // a whole number min..max
    kMilliseconds,  // a pause, in milliseconds min..max
    kSeconds,       // a signed whole number of seconds min..max
    kProbability,   // a real 0..1 written with a decimal point ("0.25"), whatever the locale
    kWord,          // min..max characters without a space ("" when min is 0)
    kText,          // min..max characters, spaces among them
    kKey,           // the key of a set command, "-site", "-cal 2": min..max characters
};

// Whom a switch is for; the help text groups them so.
enum class SwitchFor { kEvery, kLoggers, kLabs };

struct SwitchInfo {
    const char* name;
    SwitchKind kind;
    const char* value;  // what VALUE is called in the help ("N", "P", "SN" ...), nullptr for a bare switch
    int64_t min, max;
    // A fault on the line: a fault campaign may draw it, and SIGUSR1 (Simulator::Mend)
    // turns it off.
    bool fault;
    // "LO..HI": the values a fault campaign draws it from; nullptr for none (a bare
    // switch, or one the campaign draws by what it loads, the frames of its image).
    const char* draw;
    const char* help;
    SwitchFor group;
};

const std::vector<SwitchInfo>& Switches();
const SwitchInfo* FindSwitch(const std::string& name);
// The switches as the help text lists them, grouped by whom they are for.
std::string SwitchHelp();
// One line per switch, tab-separated: NAME, KIND (KindName), RANGE ("MIN..MAX", "-" for a
// bare switch), "fault" or "-", and the draw range or "-". The scripts read it.
std::string SwitchListing();
// "count", "probability" ...: the kind as the listing names it.
const char* KindName(SwitchKind kind);

struct Options;
// Takes one --set argument, "NAME" or "NAME=VALUE", into `options`. Empty when taken; else
// what is wrong with it: an unknown name (and the names there are), a value given to a bare
// switch, none given to one that wants it, a value not of its kind or out of its range.
std::string SetSwitch(Options& options, const std::string& argument);
// What is wrong with `value` for switch `s` (empty when it takes it); a bare switch takes
// only "".
std::string SwitchValueRefused(const SwitchInfo& s, const std::string& value);
// "unknown switch NAME; the switches: ..."
std::string UnknownSwitch(const std::string& name);

// Whether the firmware refuses every set of `key` (refuse-set=KEY).
bool RefusesSet(const Options& o, const std::string& key);

}  // namespace vornsim
