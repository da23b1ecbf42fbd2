// vornbsl-cli: the firmware update without windows, for scripts, CI and a terminal.
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
#include "common/Text.h"
#include "common/VornLog.h"
#include "serial/CommPortEnum.h"
#include "serial/SerialPlatform.h"
#include "serial/SystemPorts.h"
#include "update/Updater.h"
#include "update/UpdateTexts.h"
#include "update/UserFolder.h"

namespace {

struct CliOptions {
    std::string port, firmware, newSerial, log, dump, restoreSettings, json;
    std::vector<std::string> ports;  // every --port; `port` is the first
    std::vector<std::string> restoreFrom;  // every --restore-from
    bool factory = false, keepData = false, yes = false, acceptSettingsLoss = false, verbose = false;
    bool listPorts = false, probe = false, help = false, version = false;
    bool all = false, benchChild = false;
    // Several units at once, each in a process of its own.
    bool Bench() const { return !benchChild && (ports.size() > 1 || all || !json.empty()); }
};

void Usage(std::FILE* out) {
    std::fputs(
        "usage:\n"
        "  vornbsl-cli --port PORT --firmware FILE [--factory [--keep-data] [--new-serial SN]] [--yes]\n"
        "              [--accept-settings-loss] [--log FILE] [--verbose]\n"
        "  vornbsl-cli --port PORT --port PORT... | --all  --firmware FILE [the options above] [--json FILE]\n"
        "  vornbsl-cli --port PORT --restore-settings FILE [--yes --restore-from SN] [--log FILE] [--verbose]\n"
        "  vornbsl-cli --list-ports [--probe]\n"
        "  vornbsl-cli --dump OUT --firmware FILE\n"
        "  vornbsl-cli --help | --version\n"
        "\n"
        "  --port PORT       a port as --list-ports shows it (ttyUSB0, vornsim0) or an absolute path;\n"
        "                    given more than once, the instruments are updated at the same time (a bench)\n"
        "  --all             a bench of every listed port whose instrument answers as the firmware's family\n"
        "  --json FILE       with a bench, write its summary (port, serial number, versions, result) as JSON\n"
        "  --firmware FILE   TI-Text firmware file\n"
        "  --factory         factory mode: a wrong device may be loaded after a question; no newer-firmware question\n"
        "  --keep-data       do not erase the instrument's data after the update (needs --factory)\n"
        "  --new-serial SN   give the instrument a new serial number (needs --factory)\n"
        "  --yes             answer OK to the questions that only confirm (without it, questions\n"
        "                    need a terminal); not to \"Settings Retrieve Error\"\n"
        "  --accept-settings-loss\n"
        "                    answer OK to \"Settings Retrieve Error\": load the firmware although the\n"
        "                    instrument's settings (all or some) could not be read, so they are lost;\n"
        "                    and to \"Settings Not Taken\": finish without the settings the instrument\n"
        "                    refuses to take back (named; their file is kept)\n"
        "  --restore-settings FILE\n"
        "                    write a settings file (one an update left or kept aside) into the instrument\n"
        "                    and set its clock, as the end of an update does; no firmware is loaded\n"
        "  --restore-from SN with --yes, answer OK to the question before saved settings are written\n"
        "                    into an instrument (--restore-settings, or an update that finds the\n"
        "                    instrument in its loader), only when SN is the serial number they were\n"
        "                    saved from; --yes alone does not answer it. Repeat it for a bench: each\n"
        "                    unit says OK only to its own serial number\n"
        "  --log FILE        diagnostic log (default: the window's, in the per-user folder)\n"
        "  --verbose         byte-level traces in the diagnostic log\n",
        out);
    // The probe slots are the platform's: ttyS0 to ttyS15, or COM1 to COM16.
    std::fprintf(out, "  --list-ports      list serial ports; --probe also tries %s to %s\n",
                 vorn::platform::ProbeSlotName(1).c_str(), vorn::platform::ProbeSlotName(16).c_str());
    std::fputs(
        "  --dump OUT        write the firmware image back as TI-Text\n"
        "\n"
        "Exit status 0 after a successful update or restore; otherwise 1, after a last line \"result N\".\n"
        "A bench ends with a table of its units and exits 0 only when every unit was updated.\n",
        out);
}

bool Parse(int argc, char** argv, CliOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= argc) {
                *error = a + " needs a value";
                return false;
            }
            *into = argv[++i];
            return true;
        };
        if (a == "--port") {
            if (!value(&o->port)) return false;
            o->ports.push_back(o->port.substr(0, o->port.find(' ')));
        }
        else if (a == "--json") { if (!value(&o->json)) return false; }
        else if (a == "--all") o->all = true;
        else if (a == "--bench-child") o->benchChild = true;
        else if (a == "--firmware") { if (!value(&o->firmware)) return false; }
        else if (a == "--new-serial") { if (!value(&o->newSerial)) return false; }
        else if (a == "--log") { if (!value(&o->log)) return false; }
        else if (a == "--dump") { if (!value(&o->dump)) return false; }
        else if (a == "--restore-settings") { if (!value(&o->restoreSettings)) return false; }
        else if (a == "--restore-from") {
            std::string serial;
            if (!value(&serial)) return false;
            o->restoreFrom.push_back(serial);
        }
        else if (a == "--factory") o->factory = true;
        else if (a == "--keep-data") o->keepData = true;
        else if (a == "--yes") o->yes = true;
        else if (a == "--accept-settings-loss") o->acceptSettingsLoss = true;
        else if (a == "--verbose") o->verbose = true;
        else if (a == "--list-ports") o->listPorts = true;
        else if (a == "--probe") o->probe = true;
        else if (a == "--help" || a == "-h") o->help = true;
        else if (a == "--version") o->version = true;
        else {
            *error = "unknown option " + a;
            return false;
        }
    }
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
    if (o->Bench() && (!o->restoreSettings.empty() || !o->dump.empty())) {
        *error = std::string(o->restoreSettings.empty() ? "--dump" : "--restore-settings") + " takes one --port, without --all or --json";
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
    // A restore loads no firmware: the file names its family.
    if (!o->restoreSettings.empty() && (!o->firmware.empty() || !o->dump.empty() || o->factory)) {
        *error = "--restore-settings writes a settings file into an instrument without an update: leave out " +
                 std::string(!o->firmware.empty() ? "--firmware" : !o->dump.empty() ? "--dump" : "--factory");
        return false;
    }
    if (!o->restoreSettings.empty() && o->port.empty()) {
        *error = "--restore-settings needs --port";
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

int Fail(int32_t result) {
    std::fprintf(stderr, "result %d\n", static_cast<int>(result));
    return 1;
}

// After a failed update, who holds the port, and what to do about the two services that
// most often take USB serial adapters on Linux.
void ExplainHolders(const std::string& port) {
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

int ListPorts(bool probe) {
    SystemPortSource source(nullptr);
    std::vector<CommPortEntry> entries = vorn::update::Updater::ListPorts(source, probe);
    if (entries.empty()) std::printf("No Comm Ports Found\n");
    // A USB product string is the device's own text: shown defanged.
    for (const CommPortEntry& e : entries) std::printf("%s\n", vorn::EscapeControls(e.description).c_str());
    return 0;
}

// The port as the list shows it: a name, or a description that starts with one; and its
// description in the list (the name when it is not listed).
std::pair<std::string, std::string> PortAndDescription(const std::string& option, VornLog& log) {
    const std::string port = option.substr(0, option.find(' '));
    std::string description = port;
    SystemPortSource source(&log);
    for (const CommPortEntry& e : vorn::update::Updater::ListPorts(source, false))
        if (e.name == port) description = e.description;
    return {port, description};
}

// --restore-settings FILE: the end of an update without the update.
int RestoreSettings(const CliOptions& opt) {
    vorn::update::Updater updater(vorn::update::UpdaterSetup::ForThisUser(
        ProgramFolder(), opt.verbose ? VornLog::kBytes : VornLog::kDetails, opt.log));
    const auto [port, description] = PortAndDescription(opt.port, updater.Log());
    TerminalUi ui(&updater.Log(), opt.yes);
    ui.SetRestoreFrom(opt.restoreFrom);
    vorn::update::UpdateRequest request;
    request.caption = vorn::update::kProgramCaption;
    request.portName = port;
    request.portDescription = description;
    const int32_t result = updater.RestoreSettings(request, opt.restoreSettings, ui);
    ui.EndLine();
    if (result < 0) {
        ExplainHolders(port);
        return Fail(result);
    }
    return 0;
}

// Several units at once: this process starts one of its own kind per port, with the
// user's options less the bench's own, and shows them side by side.
int RunBench(const CliOptions& opt, int argc, char** argv, vorn::update::Updater& updater,
             const vorn::update::FirmwareLoad& load) {
    vorn::bench::Plan plan;
    plan.program = vorn::platform::OwnProgramFile();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" || a == "--json" || a == "--log") ++i;
        else if (a != "--all") plan.arguments.push_back(a);
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
    if (opt.help) {
        Usage(stdout);
        return 0;
    }
    if (opt.version) {
        std::printf("vornbsl-cli %s\n", VORN_VERSION_STRING);
        return 0;
    }
    if (opt.listPorts) return ListPorts(opt.probe);
    if (!opt.restoreSettings.empty()) return RestoreSettings(opt);
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
        report.Report("result", std::to_string(result));
    }
    if (result < 0) {
        ExplainHolders(port);
        return Fail(result);
    }
    return 0;
}
