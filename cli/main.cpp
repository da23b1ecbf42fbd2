// vornbsl-cli: the firmware update without windows, for scripts, CI and a terminal.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bsl/VornBSLHost.h"
#include "catalogue/DeviceCatalogue.h"
#include "cli/Bench.h"
#include "cli/ChildProcess.h"
#include "cli/TerminalUi.h"
#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"
#include "serial/CommPortEnum.h"
#include "serial/SerialPlatform.h"
#include "serial/SystemPorts.h"
#include "session/Vorn_protocol.h"
#include "update/ResultCodes.h"
#include "update/Updater.h"
#include "update/UpdateTexts.h"
#include "update/UserFolder.h"

namespace {

struct CliOptions {
    std::string port, firmware, newSerial, log, dump, restoreSettings, saveSettings, json, transcript;
    std::vector<std::string> ports;  // every --port; `port` is the first
    std::vector<std::string> restoreFrom;  // every --restore-from
    bool factory = false, keepData = false, yes = false, acceptSettingsLoss = false, verbose = false;
    bool listPorts = false, probe = false, help = false, version = false, info = false, results = false;
    bool listFamilies = false;
    bool all = false, benchChild = false;
    // Several units at once, each in a process of its own.
    // --json with --info or --list-ports writes what they found instead.
    bool Bench() const { return !benchChild && (ports.size() > 1 || all || (!json.empty() && !info && !listPorts)); }
};

void Usage(std::FILE* out);
int ListResults();
int ListPorts(bool probe, const std::string& json);
int ListFamilies();

// The options: each long name, its short one (0: none), where it goes, what its value is
// called in the help (a flag takes none), whether a bench keeps it to itself, its help
// (empty: not listed, an option between the processes of a bench), and for a flag that is
// a run of its own, that run. One that takes a value takes the next argument, which must
// not be another option. Parsing, the help, what runs, a bench's child arguments and the
// completion's test all read this table.
struct OptionRow {
    const char* name;
    char shortName;
    bool CliOptions::*flag;
    std::string CliOptions::*text;
    std::vector<std::string> CliOptions::*list;  // every value, in order
    const char* value;
    bool bench;  // a bench's own: not passed on to the update of each unit
    std::string help;  // a line break starts a line of its own
    int (*run)(const CliOptions&) = nullptr;  // a run of its own: the first in the table given runs
};
OptionRow Flag(const char* name, char shortName, bool CliOptions::*flag, std::string help, bool bench = false) {
    return {name, shortName, flag, nullptr, nullptr, nullptr, bench, std::move(help)};
}
// A flag that is a run of its own.
OptionRow Action(const char* name, char shortName, bool CliOptions::*flag, std::string help,
                 int (*run)(const CliOptions&)) {
    return {name, shortName, flag, nullptr, nullptr, nullptr, false, std::move(help), run};
}
OptionRow Text(const char* name, char shortName, std::string CliOptions::*text, const char* value, std::string help,
               bool bench = false) {
    return {name, shortName, nullptr, text, nullptr, value, bench, std::move(help)};
}
OptionRow List(const char* name, char shortName, std::vector<std::string> CliOptions::*list, const char* value,
               std::string help, bool bench = false) {
    return {name, shortName, nullptr, nullptr, list, value, bench, std::move(help)};
}

const std::vector<OptionRow>& Options() {
    using O = CliOptions;
    constexpr bool kBench = true;
    // The probe slots are the platform's: ttyS0 to ttyS15, or COM1 to COM16.
    const std::string probeSlots = vorn::platform::ProbeSlotName(1) + " to " + vorn::platform::ProbeSlotName(16);
    static const std::vector<OptionRow> rows = {
        Action("--help", 'h', &O::help, "this text", [](const CliOptions&) {
            Usage(stdout);
            return 0;
        }),
        List("--port", 'p', &O::ports, "PORT",
             "a port as --list-ports shows it (ttyUSB0, vornsim0) or an absolute path;\n"
             "given more than once, the instruments are updated at the same time (a bench)",
             kBench),
        Flag("--all", 0, &O::all, "a bench of every listed port whose instrument answers as the firmware's family",
             kBench),
        Text("--json", 0, &O::json, "FILE",
             "with a bench, write its summary (port, serial number, versions, result) as JSON;\n"
             "with --info or --list-ports, what they found",
             kBench),
        Flag("--bench-child", 0, &O::benchChild, ""),
        Text("--firmware", 'f', &O::firmware, "FILE", "TI-Text firmware file"),
        Flag("--factory", 0, &O::factory,
             "factory mode: a wrong device may be loaded after a question; no newer-firmware question"),
        Flag("--keep-data", 0, &O::keepData, "do not erase the instrument's data after the update (needs --factory)"),
        Text("--new-serial", 0, &O::newSerial, "SN", "give the instrument a new serial number (needs --factory)"),
        Flag("--yes", 'y', &O::yes,
             "answer OK to the questions that only confirm (without it, questions\n"
             "need a terminal); not to \"Settings Retrieve Error\""),
        Flag("--accept-settings-loss", 0, &O::acceptSettingsLoss,
             "answer OK to \"Settings Retrieve Error\": load the firmware although the\n"
             "instrument's settings (all or some) could not be read, so they are lost;\n"
             "and to \"Settings Not Taken\": finish without the settings the instrument\n"
             "refuses to take back (named; their file is kept)"),
        Text("--restore-settings", 0, &O::restoreSettings, "FILE",
             "write a settings file (one an update left or kept aside) into the instrument\n"
             "and set its clock, as the end of an update does; no firmware is loaded"),
        Text("--save-settings", 0, &O::saveSettings, "FILE",
             "save the instrument's settings into the new file FILE (a backup), nothing else;\n"
             "--restore-settings writes them back"),
        Flag("--info", 0, &O::info,
             "identify the instrument on the port (family, firmware version, hardware\n"
             "revision, battery, serial number, or waiting in its loader); nothing is changed"),
        List("--restore-from", 0, &O::restoreFrom, "SN",
             "with --yes, answer OK to the question before saved settings are written\n"
             "into an instrument (--restore-settings, or an update that finds the\n"
             "instrument in its loader), only when SN is the serial number they were\n"
             "saved from; --yes alone does not answer it. Repeat it for a bench: each\n"
             "unit says OK only to its own serial number"),
        Text("--log", 0, &O::log, "FILE", "diagnostic log (default: the window's, in the per-user folder)", kBench),
        Flag("--verbose", 'v', &O::verbose, "byte-level traces in the diagnostic log"),
        Text("--transcript", 0, &O::transcript, "FILE",
             "record every byte on the wire, both ways, with its time and the line speed,\n"
             "into FILE (owner-only; credentials masked); an earlier transcript there is\n"
             "replaced, any other file refused. A bench's units write FILE.<port>.\n"
             "vornsim plays the instrument's side of it again (its replay)"),
        Action("--list-ports", 0, &O::listPorts, "list serial ports; --probe also tries " + probeSlots,
               [](const CliOptions& o) { return ListPorts(o.probe, o.json); }),
        Flag("--probe", 0, &O::probe, "with --list-ports, also try " + probeSlots),
        Text("--dump", 0, &O::dump, "OUT", "write the firmware image back as TI-Text"),
        Action("--results", 0, &O::results, "list the result codes a failed run ends with, and what each means",
               [](const CliOptions&) { return ListResults(); }),
        Action("--list-families", 0, &O::listFamilies,
               "list the instrument families this program knows: each one's code (the first\n"
               "word of the identity its firmware answers, \"KT72 1.03\") and its name",
               [](const CliOptions&) { return ListFamilies(); }),
        Action("--version", 'V', &O::version, "the program's version", [](const CliOptions&) {
            std::printf("vornbsl-cli %s\n", VORN_VERSION_STRING);
            return 0;
        }),
    };
    return rows;
}

// "  -p, --port PORT   a port ...": the left column 18 wide, a longer one on its own line.
std::string OptionHelp(const OptionRow& row) {
    constexpr size_t kColumn = 20;
    std::string left = "  ";
    if (row.shortName) left += std::string("-") + row.shortName + ", ";
    left += row.name;
    if (row.value) left += std::string(" ") + row.value;
    std::string out = left.size() < kColumn ? left + std::string(kColumn - left.size(), ' ')
                                                : left + "\n" + std::string(kColumn, ' ');
    for (char c : row.help) out += c == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, c);
    return out + "\n";
}

void Usage(std::FILE* out) {
    std::fputs(
        "usage:\n"
        "  vornbsl-cli --port PORT --firmware FILE [--factory [--keep-data] [--new-serial SN]] [--yes]\n"
        "              [--accept-settings-loss] [--log FILE] [--verbose]\n"
        "  vornbsl-cli --port PORT --port PORT... | --all  --firmware FILE [the options above] [--json FILE]\n"
        "  vornbsl-cli --port PORT --restore-settings FILE [--yes --restore-from SN] [--log FILE] [--verbose]\n"
        "  vornbsl-cli --port PORT --save-settings FILE | --info [--log FILE] [--verbose]\n"
        "  vornbsl-cli --list-ports [--probe]\n"
        "  vornbsl-cli --dump OUT --firmware FILE\n"
        "  vornbsl-cli --help | --version | --results | --list-families\n"
        "\n",
        out);
    for (const OptionRow& row : Options())
        if (!row.help.empty()) std::fputs(OptionHelp(row).c_str(), out);
    std::fputs(
        "\n"
        "Exit status 0 after a successful update, restore, save or --info; otherwise 1, after a last\n"
        "line \"result N: what it means\".\n"
        "A bench ends with a table of its units and exits 0 only when every unit was updated.\n",
        out);
}

const OptionRow* FindOption(const std::string& a) {
    for (const OptionRow& row : Options())
        if (a == row.name || (row.shortName && a.size() == 2 && a[0] == '-' && a[1] == row.shortName)) return &row;
    return nullptr;
}

bool TakesValue(const OptionRow& row) { return row.flag == nullptr; }

bool Parse(int argc, char** argv, CliOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const OptionRow* row = FindOption(a);
        if (!row) {
            *error = "unknown option " + a;
            return false;
        }
        if (!TakesValue(*row)) {
            o->*row->flag = true;
            continue;
        }
        // "--dump --help" is a forgotten value, not a file named "--help".
        if (i + 1 >= argc || FindOption(argv[i + 1]) || std::string(argv[i + 1]).rfind("--", 0) == 0) {
            *error = a + " needs a value" + (i + 1 < argc ? std::string(", not the option ") + argv[i + 1] : std::string());
            return false;
        }
        const std::string value = argv[++i];
        if (row->text) o->*row->text = value;
        if (row->list) (o->*row->list).push_back(value);
    }
    // A port as the list shows it may carry its description after its name.
    for (std::string& port : o->ports) port = port.substr(0, port.find(' '));
    // A line break in the serial number would end its command and run the rest as another.
    if (!vorn::IsPrintableLine(o->newSerial)) {
        *error = "--new-serial holds a line break or another control character";
        return false;
    }
    if (!o->ports.empty()) o->port = o->ports.front();
    if (o->all && !o->ports.empty()) {
        *error = "--all and --port exclude each other: --all takes every listed port";
        return false;
    }
    // Factory mode loads firmware into instruments of another family: the units of such a
    // bench are named, never picked by what answers.
    if (o->all && o->factory) {
        *error = "--all picks the ports by the firmware's family, which factory mode does not keep to: name them with --port";
        return false;
    }
    // The runs that load no firmware: one at a time, on one port.
    std::vector<std::string> without;
    if (!o->restoreSettings.empty()) without.push_back("--restore-settings");
    if (!o->saveSettings.empty()) without.push_back("--save-settings");
    if (o->info) without.push_back("--info");
    if (without.size() > 1) {
        *error = without[0] + " and " + without[1] + " exclude each other";
        return false;
    }
    if (o->Bench() && (!without.empty() || !o->dump.empty())) {
        *error = (without.empty() ? std::string("--dump") : without[0]) + " takes one --port, without --all or --json";
        return false;
    }
    for (size_t i = 0; i < o->ports.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (vorn::platform::PortFileKey(o->ports[i]) == vorn::platform::PortFileKey(o->ports[j])) {
                *error = "the port " + o->ports[i] + " is named twice";
                return false;
            }
    // One serial number for several units would give them all the same one.
    if (o->Bench() && !o->newSerial.empty()) {
        *error = "--new-serial gives one instrument its serial number: name one --port, without --all or --json";
        return false;
    }
    // These load no firmware: a restore's file names its family, the others only read.
    if (!without.empty() && (!o->firmware.empty() || !o->dump.empty() || o->factory)) {
        const char* what = !o->restoreSettings.empty() ? " writes a settings file into an instrument without an update"
                           : o->info                  ? " only identifies the instrument"
                                                      : " only saves the instrument's settings";
        *error = without[0] + what + ": leave out " +
                 std::string(!o->firmware.empty() ? "--firmware" : !o->dump.empty() ? "--dump" : "--factory");
        return false;
    }
    if (!without.empty() && o->port.empty()) {
        *error = without[0] + " needs --port";
        return false;
    }
    // The window offers these only in factory mode.
    if (!o->factory && (o->keepData || !o->newSerial.empty())) {
        *error = std::string(o->keepData ? "--keep-data" : "--new-serial") + " is a factory-mode choice: add --factory";
        return false;
    }
    return true;
}

std::string ProgramFolder() {
    const std::string folder = vorn::platform::ProgramFolder();
    return folder.empty() ? std::string(".") : folder;
}

// The last line of a failed run: the code and what it means.
int Fail(int32_t result) {
    std::fprintf(stderr, "%s\n", vorn::update::ResultLine(result).c_str());
    return 1;
}

int ListFamilies() {
    for (int family = UNKNOWN + 1; family < END; ++family)
        std::printf("%-9s %s\n", std::string(vorn::catalogue::FamilyCode(family)).c_str(),
                    std::string(vorn::catalogue::FamilyDisplayName(family)).c_str());
    return 0;
}

int ListResults() {
    for (const vorn::update::ResultMeaning& m : vorn::update::ResultMeanings())
        std::printf("%6d  %s\n", static_cast<int>(m.code), m.meaning);
    return 0;
}

// After a failed update, who holds the port, and what to do about the two services that
// most often take USB serial adapters on Linux.
void ExplainHolders(const std::string& port) {
    // A name that is no serial port, or none there, is held by nobody who matters here:
    // everyone has /dev/null open.
    const int32_t state = vorn::platform::OpenFailureStatus(vorn::platform::CheckPort(port));
    if (state == vorn::kNotSerialPort || state == vorn::kPortNotFound) return;
    std::vector<vorn::platform::PortHolder> holders = vorn::platform::PortHolders(port);
    if (holders.empty()) return;
    std::fprintf(stderr, "Comm Port \"%s\" is held by %s.\n", port.c_str(), vorn::platform::DescribeHolders(holders).c_str());
    for (const vorn::platform::PortHolder& h : holders) {
        if (h.program == "ModemManager")
            std::fprintf(stderr, "Hint: ModemManager probes serial adapters as modems; keep it off this one with a udev "
                                 "rule setting ENV{ID_MM_DEVICE_IGNORE}=\"1\", or stop it: sudo systemctl stop ModemManager\n");
        else if (h.program.rfind("brltty", 0) == 0)
            std::fprintf(stderr, "Hint: brltty takes USB serial adapters for braille displays; without a braille display, "
                                 "remove it: sudo apt remove brltty\n");
    }
}

int ListPorts(bool probe, const std::string& json) {
    SystemPortSource source(nullptr);
    std::vector<CommPortEntry> entries = vorn::update::Updater::ListPorts(source, probe);
    if (entries.empty()) std::printf("No Comm Ports Found\n");
    // A USB product string is the device's own text: shown defanged. The line starts with
    // the port's name (the shell completion reads the first word); the name that stays with
    // the adapter, for --port, follows in parentheses.
    for (const CommPortEntry& e : entries) {
        std::string line = vorn::EscapeControls(e.description);
        if (!e.stableName.empty()) line += "  (" + vorn::EscapeControls(e.stableName) + ")";
        std::printf("%s\n", line.c_str());
    }
    if (json.empty()) return 0;
    std::string text = "{\n  \"ports\": [";
    for (size_t i = 0; i < entries.size(); ++i)
        text += std::string(i ? "," : "") + "\n    {\"name\": " + vorn::JsonString(entries[i].name) +
                ", \"description\": " + vorn::JsonString(entries[i].description) +
                ", \"stable_name\": " + vorn::JsonString(entries[i].stableName) +
                ", \"serial_number\": " + vorn::JsonString(entries[i].serialNumber) + "}";
    return vorn::bench::WriteJson(json, text + (entries.empty() ? "]\n}\n" : "\n  ]\n}\n"), stderr);
}

// The port as the list shows it: a name, or a description that starts with one; and its
// description in the list (the name when it is not listed).
std::pair<std::string, std::string> PortAndDescription(const std::string& option, VornLog& log) {
    const std::string port = option.substr(0, option.find(' '));
    std::string description = port;
    SystemPortSource source(&log);
    for (const CommPortEntry& e : vorn::update::Updater::ListPorts(source, false))
        if (e.name == port || (!e.stableName.empty() && e.stableName == port)) description = e.description;
    return {port, description};
}

std::string FactsJson(const std::string& port, const vorn::update::UpdateSequence::InstrumentFacts& f) {
    std::string text = "{\n  \"port\": " + vorn::JsonString(port) + ",\n  \"in_loader\": " + (f.inLoader ? "true" : "false");
    if (!f.inLoader) {
        text += ",\n  \"family\": " + vorn::JsonString(f.family) + ",\n  \"firmware_version\": " + vorn::JsonString(f.version) +
                ",\n  \"hardware_revision\": " + vorn::JsonString(f.hardware) + ",\n  \"battery_percent\": " +
                (f.battery >= 0 ? std::to_string(f.battery) : std::string("null")) +
                ",\n  \"serial_number\": " + vorn::JsonString(f.serial);
    }
    return text + "\n}\n";
}

// The end of a single update that went through: what it did, in a few lines.
void PrintSummary(const std::string& port, vorn::update::Updater& updater) {
    const DeviceProfile& p = updater.Profile();
    const std::string serial = updater.Session().SerialNumber();
    const vorn::update::UpdateSequence::RunOutcome& o = updater.Outcome();
    std::string settings;
    if (!p.saveSettings) {
        settings = "none (this family keeps none the updater saves)";
    } else if (o.everySettingBack || !o.leftOut.empty()) {
        settings = "restored (" + std::to_string(o.settingsRestored) + ")";
        if (!o.leftOut.empty()) {
            settings += ", without";
            for (const std::string& n : o.leftOut) settings += " " + vorn::EscapeControls(n);
            settings += " (kept in the settings file)";
        }
    } else {
        settings = "none restored";
    }
    std::fprintf(stderr, "Summary of the update on %s:\n", port.c_str());
    std::fprintf(stderr, "  instrument:  %s, serial number %s\n", p.displayName.c_str(),
                 serial.empty() ? "none" : vorn::EscapeControls(serial).c_str());
    const std::string old = updater.VersionFound() ? vorn::update::texts::VersionText(updater.VersionFound()) : "(in its loader)";
    std::fprintf(stderr, "  firmware:    %s -> %s, flash written and checked\n", old.c_str(),
                 vorn::update::texts::VersionText(p.version).c_str());
    std::fprintf(stderr, "  settings:    %s\n", settings.c_str());
    std::fprintf(stderr, "  clock:       %s\n", o.clockSet ? "set" : p.setClockAfterUpdate ? "NOT set (see the log)" : "not set by this family's update");
    std::fprintf(stderr, "  data:        %s\n", o.dataErased ? "erased" : p.eraseDataAfterUpdate ? "kept" : "not erased by this family's update");
    std::fprintf(stderr, "  time:        %u s\n", static_cast<unsigned>(o.seconds));
}

// What --info prints of an instrument.
void PrintFacts(const std::string& port, const vorn::update::UpdateSequence::InstrumentFacts& f) {
    if (f.inLoader) {
        std::printf("%s: an instrument waiting in its firmware loader (no firmware runs; update it to bring it back)\n",
                    port.c_str());
        return;
    }
    std::printf("port:              %s\n", port.c_str());
    std::printf("family:            %s\n", f.family.c_str());
    std::printf("firmware version:  %s\n", f.version.c_str());
    std::printf("hardware revision: %s\n", f.hardware.empty() ? "not told" : vorn::EscapeControls(f.hardware).c_str());
    if (f.battery >= 0)
        std::printf("battery:           %d %%\n", static_cast<int>(f.battery));
    else
        std::printf("battery:           not told\n");
    std::printf("serial number:     %s%s\n", f.serial.empty() ? "none" : vorn::EscapeControls(f.serial).c_str(),
                f.settingsReadInPart ? " (some settings did not answer)" : "");
}

// With --transcript: the recording begins before anything is sent. False, said, when the
// file cannot be had: a run the user asked to record does not run unrecorded.
bool BeginTranscript(const CliOptions& opt, vorn::update::Updater& updater, const std::string& port) {
    if (opt.transcript.empty()) return true;
    // Each unit of a bench records its own line.
    const std::string path =
        opt.benchChild ? opt.transcript + "." + vorn::update::FileNamePart(vorn::platform::PortFileKey(port)) : opt.transcript;
    const int rc = updater.StartTranscript(path, std::string("vornbsl-cli ") + VORN_VERSION_STRING + ", port " + port);
    if (rc == 0) return true;
    std::fprintf(stderr, "vornbsl-cli: cannot record the transcript into %s: %s\n", path.c_str(),
                 rc == -EEXIST ? "a file is there that is not a wire transcript" : std::strerror(-rc));
    return false;
}

// --restore-settings FILE, --save-settings FILE and --info: a port, no firmware.
int WithoutFirmware(const CliOptions& opt) {
    vorn::update::Updater updater(vorn::update::UpdaterSetup::ForThisUser(
        ProgramFolder(), opt.verbose ? VornLog::kBytes : VornLog::kDetails, opt.log));
    const auto [port, description] = PortAndDescription(opt.port, updater.Log());
    if (!BeginTranscript(opt, updater, port)) return 1;
    TerminalUi ui(&updater.Log(), opt.yes);
    ui.SetRestoreFrom(opt.restoreFrom);
    vorn::update::UpdateRequest request;
    request.caption = vorn::update::kProgramCaption;
    request.portName = port;
    request.portDescription = description;
    vorn::update::UpdateSequence::InstrumentFacts facts;
    const int32_t result = opt.info                      ? updater.Info(request, &facts, ui)
                           : !opt.saveSettings.empty()   ? updater.SaveSettings(request, opt.saveSettings, ui)
                                                         : updater.RestoreSettings(request, opt.restoreSettings, ui);
    ui.EndLine();
    if (result < 0) {
        ExplainHolders(port);
        return Fail(result);
    }
    if (!opt.info) return 0;
    PrintFacts(port, facts);
    return opt.json.empty() ? 0 : vorn::bench::WriteJson(opt.json, FactsJson(port, facts), stderr);
}

// Several units at once: this process starts one of its own kind per port, with the
// user's options less the bench's own, and shows them side by side.
int RunBench(const CliOptions& opt, int argc, char** argv, vorn::update::Updater& updater,
             const vorn::update::FirmwareLoad& load) {
    vorn::bench::Plan plan;
    plan.program = vorn::platform::OwnProgramFile();
    for (int i = 1; i < argc; ++i) {
        const OptionRow* row = FindOption(argv[i]);
        const bool own = row && row->bench;
        if (!own) plan.arguments.push_back(argv[i]);
        if (row && TakesValue(*row) && ++i < argc && !own) plan.arguments.push_back(argv[i]);
    }
    plan.family = std::string(vorn::catalogue::FamilyDisplayName(load.family));
    plan.onlyFamily = opt.all;
    plan.ports = opt.ports;
    if (opt.all) {
        SystemPortSource source(&updater.Log());
        for (const CommPortEntry& e : vorn::update::Updater::ListPorts(source, false)) plan.ports.push_back(e.name);
        if (plan.ports.empty()) {
            std::fprintf(stderr, "No Comm Ports Found\n");
            return 1;
        }
    }
    plan.firmware = opt.firmware;
    plan.jsonPath = opt.json;
    plan.logPath = updater.ErrorLogPath();
    plan.unitLogFolder = updater.UserFolder();
    if (plan.program.empty()) {
        std::fprintf(stderr, "vornbsl-cli: cannot tell its own program file to start the bench's updates\n");
        return 1;
    }
    std::string list;
    for (const std::string& p : plan.ports) list += (list.empty() ? "" : ", ") + p;
    updater.Log().Log(VornLog::kFailures, vorn::update::kHostTag, "Bench update of %s with %s: each port's log follows as a section of its own",
                      list.c_str(), opt.firmware.c_str());
    return vorn::bench::Run(plan, stderr, stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // The user's locale, as the window runs in it: what goes on the wire and into files is
    // written the same whatever its decimal sign.
    std::setlocale(LC_ALL, "");
    CliOptions opt;
    std::string error;
    if (!Parse(argc, argv, &opt, &error)) {
        std::fprintf(stderr, "vornbsl-cli: %s\n", error.c_str());
        Usage(stderr);
        return 2;
    }
    for (const OptionRow& row : Options())
        if (row.run && opt.*row.flag) return row.run(opt);
    if (!opt.restoreSettings.empty() || !opt.saveSettings.empty() || opt.info) return WithoutFirmware(opt);
    if (opt.firmware.empty() || (opt.dump.empty() && opt.port.empty() && !opt.all)) {
        std::fprintf(stderr, "vornbsl-cli: --firmware and --port (or --all, or --dump) are needed\n");
        Usage(stderr);
        return 2;
    }

    const std::string caption = vorn::update::kProgramCaption;
    vorn::update::Updater updater(vorn::update::UpdaterSetup::ForThisUser(
        ProgramFolder(), opt.verbose ? VornLog::kBytes : VornLog::kDetails, opt.log));
    if (updater.ConstructionStatus() != 0) return Fail(updater.ConstructionStatus());

    vorn::update::FirmwareLoad load = updater.LoadFirmware(opt.firmware, caption);
    if (load.status < 0) {
        std::fprintf(stderr, "File Error: %s\n", vorn::EscapeControls(load.errorText, true).c_str());
        updater.Log().Log(VornLog::kFailures, "ErrorOK Told User:", "%s", load.errorText.c_str());
        return Fail(load.status);
    }

    if (!opt.dump.empty()) {
        int32_t rc = updater.Host().BSLWriteTIFile(opt.dump);
        if (rc < 0) {
            std::fprintf(stderr, "Error: Error saving firmware image: %d\n", static_cast<int>(rc));
            return Fail(rc);
        }
        return 0;
    }

    if (opt.Bench()) return RunBench(opt, argc, argv, updater, load);
    // A unit of a bench whose bench process is gone still finishes its update: its
    // reports then go nowhere, which must not stop it mid-step.
    if (opt.benchChild) vorn::platform::IgnoreBrokenPipe();

    // A unit of a bench leaves the port list alone: drawing it up checks every port, and
    // the other ports are the other units', in the middle of their updates.
    const auto [port, description] =
        opt.benchChild ? std::pair(opt.port, opt.port) : PortAndDescription(opt.port, updater.Log());

    // A unit of a bench reports to the process that started it instead of drawing.
    std::unique_ptr<TerminalUi> shown =
        opt.benchChild ? std::make_unique<vorn::bench::ReportUi>(&updater.Log(), opt.yes, stdout, &updater)
                       : std::make_unique<TerminalUi>(&updater.Log(), opt.yes);
    TerminalUi& ui = *shown;
    if (!BeginTranscript(opt, updater, port)) return 1;
    ui.SetRestoreFrom(opt.restoreFrom);
    ui.SetFactoryChoices(opt.keepData, opt.newSerial);
    ui.SetAcceptSettingsLoss(opt.acceptSettingsLoss);
    ui.SetUploadScale(load.progressStep, load.progressIncrement);
    updater.Host().SetProgressReport([&ui](long total, long done, int stage, int code) {
        return ui.ReportProgress(total, done, stage, code);
    });

    vorn::update::UpdateRequest request;
    request.caption = caption;
    request.portName = port;
    request.portDescription = description;
    request.factoryMode = opt.factory;
    request.bench = opt.benchChild;
    int32_t result = updater.Update(request, ui);
    ui.EndLine();
    if (opt.benchChild) {
        auto& report = static_cast<vorn::bench::ReportUi&>(ui);
        if (updater.VersionFound() > 0) report.Report("old", vorn::update::texts::VersionText(updater.VersionFound()));
        if (result >= 0) report.Report("new", vorn::update::texts::VersionText(updater.Profile().version));
        if (result < 0 && updater.ConnectStatus() < 0) report.Report("connect", std::to_string(updater.ConnectStatus()));
        report.Report("result", std::to_string(result));
    }
    if (result < 0) {
        ExplainHolders(port);
        return Fail(result);
    }
    if (!opt.benchChild) PrintSummary(port, updater);
    return 0;
}
