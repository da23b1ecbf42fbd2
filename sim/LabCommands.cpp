// The lab instruments' command interpreter: hardware revision, battery, firmware check,
// data erase, login, clock by time and date, the HN9 sensor type, and the values and
// record lists. Lines of other families are left to the other command sets.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "sim/HostClock.h"
#include "sim/Instrument.h"
#include "sim/LabSim.h"
#include "sim/Switches.h"

namespace vornsim {
namespace {

// What one power-on of the firmware remembers.
struct LabSession {
    bool loggedIn = false;
};

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// --- the clock, in VornSeconds (local wall-clock seconds since 2000) ---

std::tm Broken(long long vornSeconds) {
    std::time_t t = static_cast<std::time_t>(vornSeconds + kUnixTo2000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return tm;
}

long long Joined(std::tm tm) { return static_cast<long long>(timegm(&tm)) - kUnixTo2000; }

// "set -t H:M:S", "set -d Y-M-D" and "get -t". True when the line was one of them.
bool HandleClock(Simulator& sim, const std::string& line) {
    InstrumentState& s = sim.State();
    std::tm now = Broken(HostVornNow() + s.clockOffsetSeconds);
    int a = 0, b = 0, c = 0;
    char tail = 0;
    if (line == "get -t") {
        char text[64];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
                      now.tm_hour, now.tm_min, now.tm_sec);
        CommandShell::Answer(sim, text);
        return true;
    }
    if (StartsWith(line, "set -t ")) {
        if (std::sscanf(line.c_str() + 7, "%d:%d:%d%c", &a, &b, &c, &tail) != 3 || a < 0 || a > 23 || b < 0 || b > 59 ||
            c < 0 || c > 59) {
            CommandShell::Error(sim);
            return true;
        }
        now.tm_hour = a;
        now.tm_min = b;
        now.tm_sec = c;
    } else if (StartsWith(line, "set -d ")) {
        if (std::sscanf(line.c_str() + 7, "%d-%d-%d%c", &a, &b, &c, &tail) != 3 || a < 2000 || b < 1 || b > 12 || c < 1 ||
            c > 31) {
            CommandShell::Error(sim);
            return true;
        }
        now.tm_year = a - 1900;
        now.tm_mon = b - 1;
        now.tm_mday = c;
    } else {
        return false;
    }
    s.clockOffsetSeconds = Joined(now) - HostVornNow();
    CommandShell::Answer(sim, "OK");
    return true;
}

// --- values and records ---

// The longest known key that `rest` starts with, followed by the end or a space.
std::string MatchKey(const std::vector<std::string>& keys, const std::string& rest) {
    std::string best;
    for (const std::string& k : keys)
        if (k.size() > best.size() && StartsWith(rest, k.c_str()) && (rest.size() == k.size() || rest[k.size()] == ' '))
            best = k;
    return best;
}

// "get -user", "get -user N", "set -user N text" (and "eqn"). True when the line was one.
bool HandleRecords(Simulator& sim, const std::string& verb, const std::string& rest) {
    InstrumentState& s = sim.State();
    for (const std::string& list : LabRecordLists(s.family)) {
        const std::string key = "-" + list;
        if (!StartsWith(rest, key.c_str()) || (rest.size() > key.size() && rest[key.size()] != ' ')) continue;
        std::vector<std::string>& records = s.records[list];
        const std::string args = rest.size() > key.size() ? rest.substr(key.size() + 1) : std::string();
        char* end = nullptr;
        const long index = std::strtol(args.c_str(), &end, 10);
        const bool haveIndex = !args.empty() && end != args.c_str() && index >= 0;
        if (verb == "get" && args.empty()) {
            if (sim.options().Has("no-record-count"))
                CommandShell::Error(sim);
            else
                CommandShell::Answer(sim, std::to_string(records.size()));
        } else if (verb == "get" && haveIndex && *end == '\0' && static_cast<size_t>(index) < records.size()) {
            CommandShell::Answer(sim, records[static_cast<size_t>(index)]);
        } else if (verb == "set" && haveIndex && *end == ' ') {
            // Within the list and the text it keeps, or refused as a value is.
            const std::string text(end + 1);
            if (static_cast<size_t>(index) >= LabRecordsMax(list) || !LabRecordFits(text)) {
                CommandShell::Answer(sim, "Bad value");
                return true;
            }
            if (records.size() <= static_cast<size_t>(index)) records.resize(static_cast<size_t>(index) + 1);
            records[static_cast<size_t>(index)] = text;
            CommandShell::Answer(sim, "OK");
        } else {
            CommandShell::Error(sim);
        }
        return true;
    }
    return false;
}

bool HandleValues(Simulator& sim, const LabSession& session, const std::string& line) {
    InstrumentState& s = sim.State();
    const bool get = StartsWith(line, "get ");
    if (!get && !StartsWith(line, "set ")) return false;
    const std::string verb = line.substr(0, 3);
    const std::string rest = line.substr(4);
    const std::vector<std::string> keys = LabKeys(s.family, s.version);
    const std::string key = MatchKey(keys, rest);
    const bool record = !key.empty() ? false : [&] {
        for (const std::string& list : LabRecordLists(s.family))
            if (StartsWith(rest, ("-" + list).c_str())) return true;
        return false;
    }();
    if (key.empty() && !record) return false;
    if (LabNeedsLogin(s.family) && !session.loggedIn) {
        CommandShell::Error(sim);
        return true;
    }
    if (record) return HandleRecords(sim, verb, rest);
    if (get) {
        if (rest.size() != key.size()) return false;
        auto it = s.settings.find(key);
        CommandShell::Answer(sim, it == s.settings.end() ? std::string() : it->second);
        return true;
    }
    const std::string value = rest.size() > key.size() ? rest.substr(key.size() + 1) : std::string();
    // A value the field cannot hold is refused the instruments' way: an answer without
    // "OK", and the value kept as it was.
    if (RefusesSet(sim.options(), key) || !LabAccepts(s, key, value)) {
        CommandShell::Answer(sim, "Bad value");
        return true;
    }
    StoreLabValue(s, key, value);
    CommandShell::Answer(sim, "OK");
    return true;
}

bool HandleLab(Simulator& sim, LabSession& session, const std::string& line) {
    InstrumentState& s = sim.State();
    if (!IsLabFamily(s.family)) return false;
    EnsureLabStarted(sim);
    const Options& o = sim.options();

    if (line == "get -hver") {
        CommandShell::Answer(sim, s.hardwareRevision);
    } else if (line == "get -batt") {
        CommandShell::Answer(sim, std::to_string(s.battery));
    } else if (line == "post" || line == "post -init") {
        CommandShell::Answer(sim, s.flash.CodeGood() && !o.Has("code-corrupt") ? "Code Good!" : "Code Corrupt!");
    } else if (line == "yes") {
        if (o.Has("dataflash-fail")) {
            CommandShell::Answer(sim, "DataFlash FAIL");
        } else {
            s.dataRecords = 0;
            CommandShell::Answer(sim, "OK");
        }
    } else if (StartsWith(line, "login")) {
        session.loggedIn = line == kLabLogin;
        if (session.loggedIn)
            CommandShell::Answer(sim, "OK");
        else
            CommandShell::Error(sim);
    } else if (line == "logout") {
        session.loggedIn = false;
        CommandShell::Answer(sim, "OK");
    } else if (StartsWith(line, "set -sensor ") && s.family == "HN9") {
        s.labSensorType = line.substr(12);
        CommandShell::Answer(sim, "OK");
    } else if (!HandleClock(sim, line)) {
        return HandleValues(sim, session, line);
    }
    return true;
}

}  // namespace

void RegisterLabCommands(CommandShell& shell) {
    auto session = std::make_shared<LabSession>();
    shell.AddHandler([session](Simulator& sim, CommandShell&, const std::string& line) {
        return HandleLab(sim, *session, line);
    });
}

}  // namespace vornsim
