// The field loggers' command interpreter: identity, settings, clock, data erase, the old
// firmware's "show", and the fault switches that apply to every command line.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <vector>

#include "common/Text.h"
#include "sim/HostClock.h"
#include "sim/Instrument.h"
#include "sim/LoggerSim.h"
#include "sim/Switches.h"

namespace vornsim {
namespace {

struct LoggerFamily {
    const char* code;      // catalogue code
    const char* word;      // identity word of "get -ver"
    uint32_t defaultTrait; // trait bits
    const char* keys;      // the setting keys its firmware knows
};

// In the order vornsim --list-families gives them (loggers first), from which
// scripts/roundtrip.sh draws its units by seed: reordered rows change what a seed draws.
// clang-format off
constexpr LoggerFamily kFamilies[] = {
    {"KT72", "Kt72", 0x09, "-i -sn -devid -report -depth -site -lat -long -tz -w -padc -ports -adc30 -adc15 -data "
                           "-build -trait -apn -user -passwd -authkey -teakey -host -ipport -r -rch -rsch -rver"},
    {"ZQ8",  "zQ8",  0x01, "-i -sn -devid -report -depth -site -lat -long -tz -w -padc -ports -adc30 -adc15 -data "
                           "-trait -r -rch -rsch -rver"},
    {"MYR",  "MYR",  0x00, "-i -sn -devid -report -depth -site -lat -long -tz -w -padc -ports -adc30 -adc15 -data "
                           "-trait -r"},
    {"QV",   "QV",   0x01, "-i -sn -data -rch -rsch -rver"},
    {"KT7R", "Kt7r", 0x00, "-i -sn -w -padc -ports -build"},
    {"KT7",  "Kt7",  0x01, "-i -sn -w -padc -r -rch -rsch -rver"},
};
// clang-format on

// What a logger holds when it leaves the factory.
const std::vector<std::pair<std::string, std::string>> kFactorySettings = {
    {"-sn", "VL-0001234"},
    {"-devid", "D0001234"},
    {"-report", "2"},
    {"-depth", "10 20 30 40 50"},
    {"-site", "North Ridge Plot 4"},
    {"-lat", "+46.72000"},
    {"-long", "-117.01500"},
    {"-tz", "-32"},
    {"-w", "60"},
    {"-padc", "100"},
    {"-ports", "1 1 0 2 0"},
    {"-adc30", "120 130 121 131 122 132 123 133 124 134"},
    {"-adc15", "110 140 111 141 112 142 113 143 114 144"},
    {"-data", "7"},
    {"-build", "B204-0815"},
    {"-apn", "internet.example"},
    {"-user", "vorn"},
    {"-passwd", "s3cret"},
    {"-authkey", "0123456789ABCDEF0123456789ABCDEF"},
    {"-host", "collect.vornell.example"},
    {"-ipport", "5001"},
    {"-r", "3"},
};
constexpr const char* kDefaultName = "FIELD01";
constexpr const char* kRadioChannel = "3";
constexpr const char* kRadioSubchannel = "3332";
constexpr const char* kModuleVersion = "1084";
constexpr const char* kModemVersion = "10A5";
constexpr int kZq8RadioMode = 16;
// The longest text each setting holds; a longer one is refused, as the firmware does.
size_t TextMax(const std::string& key) {
    if (key == "-devid") return 8;
    if (key == "-sn") return 15;
    if (key == "-build") return 16;
    if (key == "-site") return 25;
    if (key == "-apn" || key == "-user" || key == "-passwd") return 35;
    return 63;  // "-host"
}
constexpr int kOldFirmwareResets = 2;
constexpr const char* kDefaultHardwareRevision = "C";
constexpr int kLowBattery = 5;
constexpr uint32_t kOldPadcMinVersion = 165;  // older firmware has no "hertz"

const LoggerFamily* FamilyRow(const std::string& code) {
    for (const LoggerFamily& f : kFamilies)
        if (code == f.code) return &f;
    return nullptr;
}

bool IsCellularKey(const std::string& key) {
    return key == "-apn" || key == "-user" || key == "-passwd" || key == "-authkey" || key == "-host" || key == "-ipport";
}

// Only a Kt72 with the cellular modem (trait bit 8) keeps the settings of its telemetry.
bool CellularFitted(const LoggerFamily& family, long trait) { return std::string(family.code) == "KT72" && (trait & 8); }

// Whether the modules the trait bits say are fitted let the logger hold `key`: a radio's
// channel needs the radio, the telemetry settings the cellular modem.
bool ModulesAllow(const LoggerFamily& family, const std::string& key, long trait) {
    if (key == "-rch" || key == "-rsch") return (trait & 1) != 0;
    return !IsCellularKey(key) || CellularFitted(family, trait);
}

// The firmware learnt settings over the years: a unit of an older version has no such
// command, and holds no such value.
uint32_t KnownSince(const LoggerFamily& family, const std::string& key) {
    struct Since {
        const char* family;
        const char* key;
        uint32_t version;
    };
    static constexpr Since kSince[] = {
        {"KT72", "-trait", 108}, {"KT72", "-adc30", 114}, {"KT72", "-adc15", 114}, {"KT72", "-data", 114},
        {"KT72", "-build", 114}, {"KT72", "-devid", 200}, {"KT72", "-report", 200}, {"KT72", "-depth", 200},
        {"KT72", "-site", 200},  {"KT72", "-tz", 200},    {"KT72", "-lat", 202},   {"KT72", "-long", 202},
        {"QV", "-data", 109},    {"KT7R", "-build", 204},
        // The modem's settings came with the trait that tells the modem is there.
        {"KT72", "-apn", 108},   {"KT72", "-user", 108},   {"KT72", "-passwd", 108}, {"KT72", "-authkey", 108},
        {"KT72", "-host", 108},  {"KT72", "-ipport", 108}};
    for (const Since& k : kSince)
        if (key == k.key && std::string(family.code) == k.family) return k.version;
    return 0;
}

bool Knows(const LoggerFamily& family, const std::string& key, uint32_t version) {
    if (version < KnownSince(family, key)) return false;
    std::istringstream in(family.keys);
    std::string k;
    while (in >> k)
        if (k == key) return true;
    return false;
}

bool ParseLong(const std::string& text, long long* out, int base = 10) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, base);
    if (*end != '\0') return false;
    *out = v;
    return true;
}

std::vector<long long> Numbers(const std::string& text) {
    std::vector<long long> out;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        long long v = 0;
        if (!ParseLong(word, &v)) return {};
        out.push_back(v);
    }
    return out;
}

std::string Join(const std::vector<long long>& values) {
    std::string out;
    for (long long v : values) out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}

std::string Hex(long long v) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", v);
    return text;
}

// --- the instrument clock: VornSeconds of local wall-clock time ---

void CivilFromDays(long long z, long long* y, long long* m, long long* d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp + (mp < 10 ? 3 : -9);
    *y = yoe + era * 400 + (*m <= 2);
}

long long InstrumentNow(const InstrumentState& s) { return HostVornNow() + s.clockOffsetSeconds; }

std::string ClockText(long long vornSeconds) {
    long long unixLike = vornSeconds + kUnixTo2000;
    long long days = unixLike / kSecondsPerDay, tod = unixLike % kSecondsPerDay;
    if (tod < 0) {
        tod += kSecondsPerDay;
        --days;
    }
    long long y, m, d;
    CivilFromDays(days, &y, &m, &d);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d, tod / 3600, tod / 60 % 60,
                  tod % 60);
    return text;
}

// "set -t H:M:S", "set -d Y-M-D", "set -sec N" and their gets. True when the line was one.
bool HandleClock(Simulator& sim, const std::string& line, bool oldFirmware) {
    InstrumentState& s = sim.State();
    auto ok = [&] {
        if (oldFirmware)
            CommandShell::Answer(sim, std::vector<std::string>{});
        else
            CommandShell::Answer(sim, "OK");
    };
    long long now = InstrumentNow(s);
    if (line == "get -sec") {
        CommandShell::Answer(sim, std::to_string(now));
        return true;
    }
    if (line.rfind("set -sec ", 0) == 0) {
        long long v = 0;
        if (!ParseLong(line.substr(9), &v) || v < 0) {
            CommandShell::Error(sim);
            return true;
        }
        s.clockOffsetSeconds = v - HostVornNow();
        ok();
        return true;
    }
    if (line == "get -t" && !oldFirmware) {
        CommandShell::Answer(sim, ClockText(now));
        return true;
    }
    if (line == "time" && oldFirmware) {
        CommandShell::Answer(sim, "Date\\Time: " + ClockText(now));
        return true;
    }
    int a = 0, b = 0, c = 0;
    char tail = 0;
    if (line.rfind("set -t ", 0) == 0) {
        if (std::sscanf(line.c_str() + 7, "%d:%d:%d%c", &a, &b, &c, &tail) != 3 || a < 0 || a > 23 || b < 0 || b > 59 ||
            c < 0 || c > 59) {
            CommandShell::Error(sim);
            return true;
        }
        long long day = (now + kUnixTo2000) / kSecondsPerDay;
        s.clockOffsetSeconds = day * kSecondsPerDay - kUnixTo2000 + a * 3600LL + b * 60LL + c - HostVornNow();
        ok();
        return true;
    }
    if (line.rfind("set -d ", 0) == 0) {
        if (std::sscanf(line.c_str() + 7, "%d-%d-%d%c", &a, &b, &c, &tail) != 3 || a < 2000 || b < 1 || b > 12 ||
            c < 1 || c > 31) {
            CommandShell::Error(sim);
            return true;
        }
        long long tod = ((now + kUnixTo2000) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
        s.clockOffsetSeconds = DaysFromCivil(a, b, c) * kSecondsPerDay - kUnixTo2000 + tod - HostVornNow();
        ok();
        return true;
    }
    return false;
}

// --- line speed ---

constexpr uint32_t kDeviceRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};

// --- settings ---

bool RadioFitted(const InstrumentState& s) { return !s.loggerModule.registers.empty(); }

std::string Setting(const InstrumentState& s, const std::string& key) {
    auto it = s.settings.find(key);
    return it == s.settings.end() ? std::string() : it->second;
}

// The value of "get KEY" as the logger prints it; empty when it holds none.
std::vector<std::string> GetAnswer(const InstrumentState& s, const std::string& key, bool* noRadio) {
    *noRadio = false;
    if (key == "-rch" || key == "-rsch" || key == "-rver") {
        if (!RadioFitted(s)) {
            *noRadio = true;
            return {"No Radio"};
        }
        std::string value = key == "-rver" ? s.loggerModule.registers.at("VR") : Setting(s, key);
        if (value.empty()) value = s.loggerModule.registers.at(key == "-rch" ? "HP" : "DT");
        return {"OK", value};
    }
    if (key == "-r" && s.family == "ZQ8") return {std::to_string(kZq8RadioMode)};
    std::string value = Setting(s, key == "-teakey" ? "-authkey" : key);
    if ((key == "-adc30" || key == "-adc15") && !value.empty()) {
        std::vector<long long> n = Numbers(value);
        long long sum = 0;
        for (long long v : n) sum += v;
        n.push_back(sum % 256);
        value = Join(n);
    }
    return {value};
}

// Checks and stores "set KEY VALUE" in the logger's own form. False: refused.
bool StoreSetting(InstrumentState& s, const std::string& key, const std::string& value) {
    long long v = 0;
    if (key == "-i") {
        if (value.empty() || value.size() > 8 || value.find(' ') != std::string::npos) return false;
        s.settings[key] = value;
        return true;
    }
    if (key == "-sn" || key == "-devid" || key == "-site" || key == "-build" || key == "-apn" || key == "-user" ||
        key == "-passwd" || key == "-host") {
        if (value.size() > TextMax(key)) return false;
        // An empty value is no value: "get" answers nothing, as for one never set.
        if (value.empty())
            s.settings.erase(key);
        else
            s.settings[key] = value;
        return true;
    }
    if (key == "-authkey") {
        if (value.size() != 32) return false;
        for (char c : value)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        s.settings[key] = value;
        return true;
    }
    if (key == "-report" || key == "-tz" || key == "-w" || key == "-padc" || key == "-data" || key == "-ipport" ||
        key == "-r") {
        if (!ParseLong(value, &v)) return false;
        if (key == "-r" && s.family == "ZQ8") return false;  // always mode 16
        s.settings[key] = std::to_string(v);
        return true;
    }
    if (key == "-lat" || key == "-long") {
        // Runs in the tests' process, whose C library locale a test may set to a decimal comma.
        double d = 0;
        if (!value.empty() && vorn::ParseReal(value, &d) != value.size()) return false;
        s.settings[key] = vorn::Format("%+.5f", d);
        return true;
    }
    if (key == "-depth" || key == "-ports") {
        std::vector<long long> n = Numbers(value);
        if (n.size() != 5) return false;
        for (long long x : n)
            if (x < 0 || x > 255) return false;
        s.settings[key] = Join(n);
        return true;
    }
    if (key == "-adc30" || key == "-adc15") {
        std::vector<long long> n = Numbers(value);
        if (n.size() != 11) return false;
        long long sum = 0;
        for (size_t i = 0; i < 10; ++i) {
            if (n[i] < 0 || n[i] > 255) return false;
            sum += n[i];
        }
        if (n[10] != sum % 256) return false;
        n.pop_back();
        s.settings[key] = Join(n);
        return true;
    }
    if (key == "-trait") {
        if (!ParseLong(value, &v) || v < 0 || v > 255) return false;
        s.settings[key] = std::to_string(v);
        return true;
    }
    if (key == "-rch" || key == "-rsch") {
        if (!ParseLong(value, &v, 16) || v < 0 || v > (key == "-rch" ? 6 : 0xFFFF)) return false;
        s.settings[key] = Hex(v);
        return true;
    }
    return false;
}

void FillFactorySettings(Simulator& sim) {
    InstrumentState& s = sim.State();
    const LoggerFamily* family = FamilyRow(s.family);
    const Options& o = sim.options();
    const uint32_t trait = static_cast<uint32_t>(o.Number("trait", family->defaultTrait));
    if (trait & 1) {
        s.loggerModule.registers = {{"HP", kRadioChannel}, {"DT", kRadioSubchannel}, {"VR", kModuleVersion}};
        if (Knows(*family, "-rch", s.version) && !OldFirmware(sim)) {
            s.settings["-rch"] = kRadioChannel;
            s.settings["-rsch"] = kRadioSubchannel;
        }
    }
    if (o.Has("uninitialised")) return;
    s.settings["-i"] = o.Text("name", kDefaultName);
    // The old firmware keeps only what "show", "hertz" and its few set commands reach.
    const bool old = OldFirmware(sim);
    for (const auto& [key, value] : kFactorySettings) {
        const bool oldKeeps = key == "-w" || key == "-r" || (key == "-padc" && s.version >= kOldPadcMinVersion);
        if (!ModulesAllow(*family, key, static_cast<long>(trait))) continue;
        if (old ? oldKeeps : Knows(*family, key, s.version)) s.settings[key] = value;
    }
    if (s.family == "ZQ8") s.settings.erase("-r");  // always radio mode 16, nothing stored
    if (Knows(*family, "-trait", s.version)) s.settings["-trait"] = std::to_string(255 - (trait & 0xFF));
    if (o.Has("serial") && s.settings.count("-sn")) s.settings["-sn"] = o.Text("serial");
}

std::string IdentityLine(const InstrumentState& s) {
    char text[48];
    std::snprintf(text, sizeof text, "%s %u.%02u", FamilyRow(s.family)->word, s.version / 100, s.version % 100);
    return text;
}

void EraseData(Simulator& sim, bool oldFirmware) {
    if (sim.options().Has("dataflash-fail")) {
        CommandShell::Answer(sim, "DataFlash FAIL");
        return;
    }
    sim.State().dataRecords = 0;
    if (oldFirmware)
        sim.Send("\rErasing data... OK!\r>");  // the old firmware ends this answer with '!'
    else
        CommandShell::Answer(sim, "OK");
}

bool SetBaud(Simulator& sim, const std::string& value) {
    long long n = -1;
    if (!ParseLong(value, &n) || n < 0 || n >= static_cast<long long>(std::size(kDeviceRates))) return false;
    const uint32_t rate = kDeviceRates[n];
    if (!sim.options().Has("baud-silent")) CommandShell::Answer(sim, "OK");
    // The answer has left at the old speed; from here on the logger listens at the new one.
    sim.SetLineBaud(rate);
    return true;
}

bool HandleOldFirmware(Simulator& sim, const std::string& line) {
    InstrumentState& s = sim.State();
    if (line == "show") {
        char version[16];
        std::snprintf(version, sizeof version, "%u.%02u", s.version / 100, s.version % 100);
        CommandShell::Answer(sim, std::vector<std::string>{
                                      "ID: " + Setting(s, "-i"), std::string("Version: ") + version,
                                      "Radio: " + Setting(s, "-r"), "Wake: " + Setting(s, "-w"),
                                      "Resets: " + std::to_string(kOldFirmwareResets)});
        return true;
    }
    if (line == "hertz") {
        CommandShell::Answer(sim, Setting(s, "-padc"));
        return true;
    }
    if (line == "term") {
        s.termPassThrough = true;  // silent: the radio module has the line now
        s.loggerModule.line.clear();
        return true;
    }
    if (line == "yes") {
        EraseData(sim, true);
        return true;
    }
    if (HandleClock(sim, line, true)) return true;
    if (line.rfind("set -", 0) == 0) {
        const size_t space = line.find(' ', 4);
        std::string key = line.substr(4, space == std::string::npos ? std::string::npos : space - 4);
        std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "-p") key = "-padc";
        if ((key == "-i" || key == "-w" || key == "-r" || key == "-padc") && StoreSetting(s, key, value)) {
            CommandShell::Answer(sim, std::vector<std::string>{});  // old firmware: a bare prompt
            return true;
        }
    }
    CommandShell::Error(sim);  // no "get": not even "get -ver"
    return true;
}

bool HandleNewFirmware(Simulator& sim, const std::string& line) {
    InstrumentState& s = sim.State();
    const LoggerFamily& family = *FamilyRow(s.family);
    if (line == "get -ver") {
        CommandShell::Answer(sim, IdentityLine(s));
        return true;
    }
    if (line == "yes") {
        EraseData(sim, false);
        return true;
    }
    if (line == "get -hver" || line == "get -batt") {
        CommandShell::Answer(sim, line == "get -hver" ? s.hardwareRevision : std::to_string(s.battery));
        return true;
    }
    if (line == "post" || line == "post -init") {
        const bool good = s.flash.CodeGood() && !sim.options().Has("code-corrupt");
        CommandShell::Answer(sim, good ? "Code Good!" : "Code Corrupt!");
        return true;
    }
    if (HandleClock(sim, line, false)) return true;
    if (line.rfind("get -", 0) == 0) {
        const std::string key = line.substr(4);
        if (!Knows(family, key, s.version)) return false;
        bool noRadio = false;
        std::vector<std::string> answer = GetAnswer(s, key, &noRadio);
        CommandShell::Answer(sim, answer);
        return true;
    }
    if (line.rfind("set -", 0) == 0) {
        const size_t space = line.find(' ', 4);
        const std::string key = line.substr(4, space == std::string::npos ? std::string::npos : space - 4);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (key == "-baud" && family.code != std::string("KT7R")) {
            if (!SetBaud(sim, value)) CommandShell::Error(sim);
            return true;
        }
        if (!Knows(family, key, s.version) || key == "-rver" || key == "-teakey") return false;
        if ((key == "-rch" || key == "-rsch") && !RadioFitted(s)) {
            CommandShell::Answer(sim, "No Radio");
            return true;
        }
        if (RefusesSet(sim.options(), key) || !StoreSetting(s, key, value)) {
            CommandShell::Error(sim);
            return true;
        }
        // A new-firmware Kt7 answers for itself and for its radio module.
        if ((key == "-rch" || key == "-rsch") && s.family == "KT7")
            CommandShell::Answer(sim, std::vector<std::string>{"OK", "", "OK"});
        else
            CommandShell::Answer(sim, "OK");
        return true;
    }
    return false;
}

bool HandleLine(Simulator& sim, CommandShell&, const std::string& line) {
    EnsureLoggerStarted(sim);
    InstrumentState& s = sim.State();
    const Options& o = sim.options();
    ++s.linesHeard;
    if (s.quietAfter >= 0 && s.linesHeard > s.quietAfter && s.linesHeard <= s.quietAfter + s.quietLines)
        return true;  // stopped answering for a while
    if (o.Has("error-command") && line == o.Text("error-command")) {
        CommandShell::Error(sim);
        return true;
    }
    if (line == "get -sec" || line.rfind("set -sec ", 0) == 0) return HandleClock(sim, line, false);
    if (!IsLoggerFamily(s.family)) return false;
    if (HandleRadioLine(sim, line)) return true;
    if (line.rfind("login", 0) == 0 || line == "logout") {
        CommandShell::Answer(sim, "OK");
        return true;
    }
    return OldFirmware(sim) ? HandleOldFirmware(sim, line) : HandleNewFirmware(sim, line);
}

}  // namespace

bool IsLoggerFamily(const std::string& code) { return FamilyRow(code) != nullptr; }

std::vector<std::string> LoggerFamilyCodes() {
    std::vector<std::string> codes;
    for (const LoggerFamily& f : kFamilies) codes.push_back(f.code);
    return codes;
}

bool OldFirmware(Simulator& sim) { return sim.State().family == "KT7" && !sim.options().Has("new-firmware"); }

std::string LoggerName(const InstrumentState& state) { return Setting(state, "-i"); }

bool RadioLinkUp(const InstrumentState& s) {
    auto value = [](const std::map<std::string, std::string>& regs, const char* key, const std::string& fallback) {
        auto it = regs.find(key);
        return std::strtoll((it == regs.end() ? fallback : it->second).c_str(), nullptr, 16);
    };
    if (!RadioFitted(s)) return false;
    std::string channel = Setting(s, "-rch"), subchannel = Setting(s, "-rsch");
    long long loggerChannel = value(s.loggerModule.registers, "HP", "0");
    long long loggerSub = value(s.loggerModule.registers, "DT", "0");
    if (!channel.empty()) loggerChannel = std::strtoll(channel.c_str(), nullptr, 16);
    if (!subchannel.empty()) loggerSub = std::strtoll(subchannel.c_str(), nullptr, 16);
    return value(s.hostModem.registers, "HP", kRadioChannel) == loggerChannel &&
           value(s.hostModem.registers, "DT", kRadioSubchannel) == loggerSub;
}

void EnsureLoggerStarted(Simulator& sim) {
    InstrumentState& s = sim.State();
    if (s.loggerStarted) return;
    s.loggerStarted = true;
    const Options& o = sim.options();
    s.quietAfter = o.Number("quiet-after", -1);
    s.quietLines = o.Number("quiet-lines", kDefaultQuietLines);
    s.hostModem.registers = {{"HP", kRadioChannel}, {"DT", kRadioSubchannel}, {"VR", kModemVersion}};
    s.radioLink = o.Has("asleep") ? 0 : 1;
    if (!IsLoggerFamily(s.family)) return;
    // The switches the lab instruments know for these, read the same way.
    if (s.hardwareRevision.empty()) s.hardwareRevision = o.Text("hver", kDefaultHardwareRevision);
    if (o.Has("low-battery")) s.battery = kLowBattery;
    if (o.Has("battery")) s.battery = static_cast<int>(o.Number("battery", s.battery));
    FillFactorySettings(sim);
    // A value never set is held empty, whatever a set of it would have to look like.
    for (const auto& [key, value] : o.values)
        if (value.empty())
            s.settings.erase(key);
        else
            StoreSetting(s, key, value);
}

std::vector<std::string> LoggerValueKinds(const Options& o) {
    // What a unit's owner may have set, and how: the trait, the build text and the radio's
    // version are the hardware's and the firmware's, not settings.
    static const std::vector<std::pair<const char*, const char*>> kKinds = {
        {"-i", "word 8"}, {"-sn", "text 15"}, {"-devid", "text 8"}, {"-report", "int 0 9"},
        {"-depth", "bytes 5"}, {"-site", "text 25"}, {"-lat", "real -90 90"}, {"-long", "real -180 180"},
        {"-tz", "zone -48 56"}, {"-w", "int 1 3600"}, {"-padc", "int 1 1000"}, {"-ports", "bytes 5"},
        {"-adc30", "adc 10"}, {"-adc15", "adc 10"}, {"-data", "int 0 255"}, {"-apn", "text 35"},
        {"-user", "text 35"}, {"-passwd", "text 35"}, {"-authkey", "hex 32"}, {"-host", "text 63"},
        {"-ipport", "int 1 65535"}, {"-r", "int 0 9"}, {"-rch", "radio 6"}, {"-rsch", "radio 65535"}};
    std::vector<std::string> out;
    const LoggerFamily* family = FamilyRow(o.family);
    if (!family) return out;
    const bool old = o.family == "KT7" && !o.Has("new-firmware");
    const long trait = o.Number("trait", family->defaultTrait);
    for (const auto& [key, kind] : kKinds) {
        const std::string k = key;
        if (!ModulesAllow(*family, k, trait)) continue;
        if (old ? !(k == "-i" || k == "-w" || k == "-r" || k == "-padc") : !Knows(*family, k, o.version)) continue;
        if (k == "-r" && o.family == "ZQ8") continue;  // always radio mode 16
        if (old && k == "-padc" && o.version < kOldPadcMinVersion) continue;
        out.push_back(k + "\t" + kind);
    }
    return out;
}

bool LoggerTakesStartingValue(const Options& o, const std::string& key, const std::string& value) {
    const LoggerFamily* family = FamilyRow(o.family);
    if (!family || !Knows(*family, key, o.version) || key == "-rver" || key == "-teakey") return false;
    const long trait = o.Number("trait", family->defaultTrait);
    if (!ModulesAllow(*family, key, trait)) return false;
    if (value.empty()) return key != "-i";  // never set; a logger without a name is a blank one
    InstrumentState scratch;
    scratch.family = o.family;
    scratch.version = o.version;
    return StoreSetting(scratch, key, value);
}

void RegisterLoggerCommands(CommandShell& shell) {
    shell.AddRawHandler(MakeLoggerByteHandler());
    shell.AddHandler(HandleLine);
}

}  // namespace vornsim
