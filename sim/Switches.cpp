#include "sim/Switches.h"

#include <charconv>
#include <string_view>
#include <system_error>

#include "common/Text.h"
#include "sim/LabSim.h"
#include "sim/LoggerSim.h"
#include "sim/Simulator.h"

namespace vornsim {
namespace {

constexpr int64_t kManyFrames = 100000;          // more loader frames than any image has
constexpr int64_t kManyLines = 100000;           // command lines of one session, and more
constexpr int64_t kLongestPauseMs = 600000;      // ten minutes
constexpr int64_t kLongestLateMs = 60000;
constexpr int64_t kTenYears = 315576000;         // seconds
constexpr int64_t kSerialMax = 15;               // the longest "-sn" loggers and lab instruments hold
constexpr int64_t kLoggerNameMax = 8;            // a logger's "-i"

using K = SwitchKind;
using F = SwitchFor;

// "KT72, ZQ8 ... or KT7"
std::string CodeList(const std::vector<std::string>& codes) {
    std::string out;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (i > 0) out += i + 1 == codes.size() ? " or " : ", ";
        out += codes[i];
    }
    return out;
}

std::string GroupHeading(SwitchFor group) {
    switch (group) {
        case F::kLoggers: return "loggers (--family " + CodeList(LoggerFamilyCodes()) + ")";
        case F::kLabs: return "lab instruments (--family " + CodeList(LabFamilyCodes()) + ")";
        case F::kEvery: break;
    }
    return "";
}

bool IsDigits(std::string_view text) { return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos; }

// A decimal whole number, a sign allowed only where `sign`: false when it is none or does
// not fit.
bool ReadWhole(const std::string& text, bool sign, int64_t* value) {
    std::string_view digits(text);
    if (sign && !digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    if (!IsDigits(digits)) return false;
    // from_chars takes a '-' but no '+'; "+5" is 5, as the switch's reader takes it.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, *value);
    return ec == std::errc() && end == last;
}

// A real written as digits with at most one decimal point, whatever the process's locale.
bool ReadReal(const std::string& text, double* value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size();
}

// What the switch takes, in words: "a whole number from 0 to 100".
std::string KindWords(const SwitchInfo& s) {
    const std::string range = "from " + std::to_string(s.min) + " to " + std::to_string(s.max);
    const std::string length = std::to_string(s.min) + " to " + std::to_string(s.max) + " characters";
    switch (s.kind) {
        case K::kNone: return "no value";
        case K::kCount: return "a whole number " + range;
        case K::kMilliseconds: return "milliseconds " + range;
        case K::kSeconds: return "seconds " + range;
        case K::kProbability: return "a probability " + range + " written with a decimal point (0.25)";
        case K::kWord: return length + " without a space";
        case K::kText: return length;
        case K::kKey: return "the key of a set command (-site, -cal 2), " + length;
    }
    return "";
}

bool WantsValue(const SwitchInfo& s) { return s.kind != K::kNone; }
// "serial=": a unit without a serial number.
bool TakesEmpty(const SwitchInfo& s) { return (s.kind == K::kWord || s.kind == K::kText) && s.min == 0; }

}  // namespace

const std::vector<SwitchInfo>& Switches() {
    // clang-format off
    static const std::vector<SwitchInfo> table = {
        {"bsl-refuse-write", K::kCount, "N", 1, kManyFrames, true, "1..12", "refuse the Nth \"W\" frame once", F::kEvery},
        {"power-loss-after", K::kCount, "N", 0, kManyFrames, true, nullptr, "go silent after N frames, wake in the bootloader ...", F::kEvery},
        {"power-loss-ms", K::kMilliseconds, "M", 0, kLongestPauseMs, false, nullptr, "... M ms later (default 500)", F::kEvery},
        {"unplug-after", K::kCount, "N", 0, kManyFrames, true, nullptr, "pull the USB adapter out after N frames: the port vanishes and comes back under the same name ...", F::kEvery},
        {"unplug-ms", K::kMilliseconds, "M", 0, kLongestPauseMs, false, nullptr, "... M ms later (default 1000); the instrument stays in its bootloader", F::kEvery},
        {"bsl-missing", K::kNone, nullptr, 0, 0, false, nullptr, "\"boot ZELK\" answers \"VornBSL MISSING\"", F::kEvery},
        {"in-bootloader", K::kNone, nullptr, 0, 0, false, nullptr, "start in the VornBSL engine's command mode", F::kEvery},
        {"drop-rate", K::kProbability, "P", 0, 1, true, "0.01..0.30", "drop answers with probability P (0..1)", F::kEvery},
        {"corrupt-rate", K::kProbability, "P", 0, 1, true, "0.01..0.30", "corrupt answers with probability P (0..1)", F::kEvery},
        {"adapter-latency-ms", K::kMilliseconds, "M", 0, 255, false, nullptr, "the host's USB adapter hands over what the instrument says in 62-byte packets, the rest after its latency timer of M ms (16 on common FTDI adapters, 1 with low latency)", F::kEvery},
        {"flash-write-ms", K::kMilliseconds, "M", 0, kLongestPauseMs, false, nullptr, "the engine takes M ms to program each written frame before it answers (a real flash's write time)", F::kEvery},
        {"slow-ms", K::kMilliseconds, "M", 0, kLongestLateMs, true, "200..1299", "every answer leaves M ms late (a slow relay)", F::kEvery},
        {"noise-rate", K::kProbability, "P", 0, 1, true, "0.05..0.44", "a burst of bytes at the wrong speed ahead of an answer with probability P (0..1)", F::kEvery},
        {"echo", K::kNone, nullptr, 0, 0, true, nullptr, "repeat everything the host sends (a relay)", F::kEvery},
        {"serial", K::kWord, "SN", 0, kSerialMax, false, nullptr, "the instrument's serial number (default: the family's own; \"\" for none)", F::kEvery},
        {"clock-offset", K::kSeconds, "S", -kTenYears, kTenYears, false, nullptr, "the instrument's clock is S seconds off local time at the start", F::kEvery},
        {"hver", K::kWord, "X", 1, 8, false, nullptr, "hardware revision for \"get -hver\" (default C)", F::kEvery},
        {"battery", K::kCount, "N", 0, 100, false, nullptr, "battery percentage (default 100)", F::kEvery},
        {"low-battery", K::kNone, nullptr, 0, 0, false, nullptr, "battery at 5 %", F::kEvery},
        {"code-corrupt", K::kNone, nullptr, 0, 0, false, nullptr, "\"post\" reports \"Code Corrupt!\" whatever the flash holds", F::kEvery},
        {"dataflash-fail", K::kNone, nullptr, 0, 0, false, nullptr, "\"yes\" answers \"DataFlash FAIL\"", F::kEvery},
        {"error-command", K::kText, "LINE", 1, 128, false, nullptr, "answer \"ERROR\" to the command LINE", F::kEvery},
        {"refuse-set", K::kKey, "KEY", 2, 32, false, nullptr, "refuse every \"set KEY ...\" as a value the firmware does not take (-site, -cal 2 ...)", F::kEvery},
        {"quiet-after", K::kCount, "N", 0, kManyLines, true, "0..29", "stop answering after N command lines ...", F::kEvery},
        {"quiet-lines", K::kCount, "M", 1, kManyLines, false, nullptr, "... for the next M lines (default 3)", F::kEvery},
        {"uninitialised", K::kNone, nullptr, 0, 0, false, nullptr, "no factory settings (as after a firmware update)", F::kLoggers},
        {"name", K::kWord, "NAME", 1, kLoggerNameMax, false, nullptr, "the logger's name (default FIELD01)", F::kLoggers},
        {"trait", K::kCount, "N", 0, 255, false, nullptr, "trait bits: 1 radio fitted, 8 cellular (Kt72 default 9)", F::kLoggers},
        {"new-firmware", K::kNone, nullptr, 0, 0, false, nullptr, "a Kt7 that answers \"get -ver\" (default: old, \"show\")", F::kLoggers},
        {"radio", K::kNone, nullptr, 0, 0, false, nullptr, "the host talks to a radio modem (\"+++\", ATHP, ATDT ...) and reaches the logger over the air (query, login NAME)", F::kLoggers},
        {"asleep", K::kNone, nullptr, 0, 0, false, nullptr, "over the radio, the logger waits for wake packets", F::kLoggers},
        {"baud-silent", K::kNone, nullptr, 0, 0, false, nullptr, "\"set -baud N\" switches speed without answering", F::kLoggers},
        {"lab-blank", K::kNone, nullptr, 0, 0, false, nullptr, "no factory values or records", F::kLabs},
        {"no-record-count", K::kNone, nullptr, 0, 0, false, nullptr, "\"get -user\" / \"get -eqn\" without a number answer ERROR", F::kLabs},
    };
    // clang-format on
    return table;
}

const SwitchInfo* FindSwitch(const std::string& name) {
    for (const SwitchInfo& s : Switches())
        if (name == s.name) return &s;
    return nullptr;
}

const char* KindName(SwitchKind kind) {
    switch (kind) {
        case K::kNone: return "none";
        case K::kCount: return "count";
        case K::kMilliseconds: return "ms";
        case K::kSeconds: return "seconds";
        case K::kProbability: return "probability";
        case K::kWord: return "word";
        case K::kText: return "text";
        case K::kKey: return "key";
    }
    return "?";
}

std::string SwitchHelp() {
    std::string out;
    SwitchFor group = F::kEvery;
    for (const SwitchInfo& s : Switches()) {
        if (s.group != group) {
            group = s.group;
            out += "      " + GroupHeading(group) + ":\n";
        }
        std::string left = std::string("        ") + s.name + (s.value ? std::string("=") + s.value : "");
        left.resize(left.size() < 29 ? 29 : left.size() + 1, ' ');
        out += left + s.help + "\n";
    }
    return out;
}

std::string SwitchListing() {
    std::string out;
    for (const SwitchInfo& s : Switches()) {
        out += s.name;
        out += std::string("\t") + KindName(s.kind) + "\t";
        out += WantsValue(s) ? std::to_string(s.min) + ".." + std::to_string(s.max) : "-";
        out += s.fault ? "\tfault\t" : "\t-\t";
        out += s.draw ? s.draw : "-";
        out += "\n";
    }
    return out;
}

std::string UnknownSwitch(const std::string& name) {
    std::string out = "unknown switch " + (name.empty() ? std::string("\"\"") : name) + "; the switches:";
    for (const SwitchInfo& s : Switches()) out += std::string(" ") + s.name;
    return out;
}

std::string SwitchValueRefused(const SwitchInfo& s, const std::string& value) {
    const std::string name = s.name;
    if (!WantsValue(s)) return value.empty() ? "" : "the switch " + name + " takes no value, not \"" + value + "\"";
    if (value.empty() && !TakesEmpty(s)) return "the switch " + name + " needs a value: " + name + "=" + s.value + ", " + KindWords(s);
    bool good = false;
    switch (s.kind) {
        case K::kNone: break;
        case K::kCount:
        case K::kMilliseconds:
        case K::kSeconds: {
            int64_t n = 0;
            good = ReadWhole(value, s.kind == K::kSeconds, &n) && n >= s.min && n <= s.max;
            break;
        }
        case K::kProbability: {
            double p = 0;
            good = ReadReal(value, &p) && p >= static_cast<double>(s.min) && p <= static_cast<double>(s.max);
            if (!good && value.find(',') != std::string::npos)
                return "the switch " + name + " takes " + KindWords(s) + ", not a comma: \"" + value + "\"";
            break;
        }
        case K::kWord:
        case K::kText:
        case K::kKey: {
            const auto size = static_cast<int64_t>(value.size());
            good = vorn::IsPrintableLine(value) && size >= s.min && size <= s.max;
            if (s.kind == K::kWord) good = good && value.find(' ') == std::string::npos;
            // "-" and a letter: a key as the firmware's set command spells it.
            if (s.kind == K::kKey) good = good && value[0] == '-' && value[1] >= 'a' && value[1] <= 'z';
            break;
        }
    }
    return good ? "" : "the switch " + name + " takes " + KindWords(s) + ", not \"" + value + "\"";
}

std::string SetSwitch(Options& options, const std::string& argument) {
    const size_t eq = argument.find('=');
    const std::string name = argument.substr(0, eq);
    const SwitchInfo* s = FindSwitch(name);
    if (!s) return UnknownSwitch(name);
    if (eq == std::string::npos && WantsValue(*s)) {
        return "the switch " + name + " needs a value: " + name + "=" + s->value + ", " + KindWords(*s) +
               (TakesEmpty(*s) ? " (" + name + "= for none)" : "");
    }
    if (eq != std::string::npos && !WantsValue(*s))
        return "the switch " + name + " takes no value (--set " + name + ")";
    const std::string value = eq == std::string::npos ? std::string() : argument.substr(eq + 1);
    if (std::string why = SwitchValueRefused(*s, value); !why.empty()) return why;
    options.switches[name] = value;
    return {};
}

bool RefusesSet(const Options& o, const std::string& key) { return o.Has("refuse-set") && o.Text("refuse-set") == key; }

}  // namespace vornsim
