#include "sim/Switches.h"

#include <cstring>

#include "sim/Simulator.h"

namespace vornsim {

const std::vector<SwitchInfo>& Switches() {
    static const char* const kLoggers = "loggers (--family KT72, QV, ZQ8, MYR, KT7R or KT7)";
    static const char* const kLabs =
        "lab instruments (--family RW, HN9, HN9OPX, KSR, CF22, TL, VM, SWXR, H7S, GLX, HMINI, PTX9, HBA, FIELDPT or BLI)";
    // clang-format off
    static const std::vector<SwitchInfo> table = {
        {"bsl-refuse-write", "N", "refuse the Nth \"W\" frame once", ""},
        {"power-loss-after", "N", "go silent after N frames, wake in the bootloader ...", ""},
        {"power-loss-ms", "M", "... M ms later (default 500)", ""},
        {"unplug-after", "N", "pull the USB adapter out after N frames: the port vanishes and comes back under the same name ...", ""},
        {"unplug-ms", "M", "... M ms later (default 1000); the instrument stays in its bootloader", ""},
        {"bsl-missing", nullptr, "\"boot ZELK\" answers \"VornBSL MISSING\"", ""},
        {"in-bootloader", nullptr, "start in the VornBSL engine's command mode", ""},
        {"drop-rate", "P", "drop answers with probability P (0..1)", ""},
        {"corrupt-rate", "P", "corrupt answers with probability P (0..1)", ""},
        {"slow-ms", "M", "every answer leaves M ms late (a slow relay)", ""},
        {"noise-rate", "P", "a burst of bytes at the wrong speed ahead of an answer with probability P (0..1)", ""},
        {"echo", nullptr, "repeat everything the host sends (a relay)", ""},
        {"serial", "SN", "the instrument's serial number (default: the family's own)", ""},
        {"clock-offset", "S", "the instrument's clock is S seconds off local time at the start", ""},
        {"hver", "X", "hardware revision for \"get -hver\" (default C)", ""},
        {"battery", "N", "battery percentage (default 100)", ""},
        {"low-battery", nullptr, "battery at 5 %", ""},
        {"code-corrupt", nullptr, "\"post\" reports \"Code Corrupt!\" whatever the flash holds", ""},
        {"dataflash-fail", nullptr, "\"yes\" answers \"DataFlash FAIL\"", ""},
        {"error-command", "LINE", "answer \"ERROR\" to the command LINE", ""},
        {"refuse-set", "KEY", "refuse every \"set KEY ...\" as a value the firmware does not take (-site, -cal 2 ...)", ""},
        {"quiet-after", "N", "stop answering after N command lines ...", ""},
        {"quiet-lines", "M", "... for the next M lines (default 3)", ""},
        {"uninitialised", nullptr, "no factory settings (as after a firmware update)", kLoggers},
        {"name", "NAME", "the logger's name (default FIELD01)", kLoggers},
        {"trait", "N", "trait bits: 1 radio fitted, 8 cellular (Kt72 default 9)", kLoggers},
        {"new-firmware", nullptr, "a Kt7 that answers \"get -ver\" (default: old, \"show\")", kLoggers},
        {"radio", nullptr, "the host talks to a radio modem (\"+++\", ATHP, ATDT ...) and reaches the logger over the air (query, login NAME)", kLoggers},
        {"asleep", nullptr, "over the radio, the logger waits for wake packets", kLoggers},
        {"baud-silent", nullptr, "\"set -baud N\" switches speed without answering", kLoggers},
        {"lab-blank", nullptr, "no factory values or records", kLabs},
        {"no-record-count", nullptr, "\"get -user\" / \"get -eqn\" without a number answer ERROR", kLabs},
    };
    // clang-format on
    return table;
}

const SwitchInfo* FindSwitch(const std::string& name) {
    for (const SwitchInfo& s : Switches())
        if (name == s.name) return &s;
    return nullptr;
}

std::string SwitchHelp() {
    std::string out;
    const char* group = "";
    for (const SwitchInfo& s : Switches()) {
        if (std::strcmp(group, s.group) != 0) {
            group = s.group;
            out += std::string("      ") + group + ":\n";
        }
        std::string left = std::string("        ") + s.name + (s.value ? std::string("=") + s.value : "");
        left.resize(left.size() < 29 ? 29 : left.size() + 1, ' ');
        out += left + s.help + "\n";
    }
    return out;
}

bool RefusesSet(const Options& o, const std::string& key) { return o.Has("refuse-set") && o.Text("refuse-set") == key; }

}  // namespace vornsim
