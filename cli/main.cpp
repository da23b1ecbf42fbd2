// vornbsl-cli: the firmware update without windows, for scripts, CI and a terminal.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bsl/VornBSLHost.h"
#include "cli/TerminalUi.h"
#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "common/VornLog.h"
#include "serial/CommPortEnum.h"
#include "serial/SerialPlatform.h"
#include "serial/SystemPorts.h"
#include "update/Updater.h"
#include "update/UserFolder.h"

namespace {

struct CliOptions {
    std::string port, firmware, newSerial, log, dump;
    bool factory = false, keepData = false, yes = false, acceptSettingsLoss = false, verbose = false;
    bool listPorts = false, probe = false, help = false, version = false;
};

void Usage(std::FILE* out) {
    std::fputs(
        "usage:\n"
        "  vornbsl-cli --port PORT --firmware FILE [--factory [--keep-data] [--new-serial SN]] [--yes]\n"
        "              [--accept-settings-loss] [--log FILE] [--verbose]\n"
        "  vornbsl-cli --list-ports [--probe]\n"
        "  vornbsl-cli --dump OUT --firmware FILE\n"
        "  vornbsl-cli --help | --version\n"
        "\n"
        "  --port PORT       a port as --list-ports shows it (ttyUSB0, vornsim0) or an absolute path\n"
        "  --firmware FILE   TI-Text firmware file\n"
        "  --factory         factory mode: a wrong device may be loaded after a question; no newer-firmware question\n"
        "  --keep-data       do not erase the instrument's data after the update (needs --factory)\n"
        "  --new-serial SN   give the instrument a new serial number (needs --factory)\n"
        "  --yes             answer OK to the questions that only confirm (without it, questions\n"
        "                    need a terminal); not to \"Settings Retrieve Error\"\n"
        "  --accept-settings-loss\n"
        "                    answer OK to \"Settings Retrieve Error\": load the firmware although the\n"
        "                    instrument's settings (all or some) could not be read, so they are lost\n"
        "  --log FILE        diagnostic log (default: the window's, in the per-user folder)\n"
        "  --verbose         byte-level traces in the diagnostic log\n",
        out);
    // The probe slots are the platform's: ttyS0 to ttyS15, or COM1 to COM16.
    std::fprintf(out, "  --list-ports      list serial ports; --probe also tries %s to %s\n",
                 vorn::platform::ProbeSlotName(1).c_str(), vorn::platform::ProbeSlotName(16).c_str());
    std::fputs(
        "  --dump OUT        write the firmware image back as TI-Text\n"
        "\n"
        "Exit status 0 after a successful update; otherwise 1, after a last line \"result N\".\n",
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
        if (a == "--port") { if (!value(&o->port)) return false; }
        else if (a == "--firmware") { if (!value(&o->firmware)) return false; }
        else if (a == "--new-serial") { if (!value(&o->newSerial)) return false; }
        else if (a == "--log") { if (!value(&o->log)) return false; }
        else if (a == "--dump") { if (!value(&o->dump)) return false; }
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

}  // namespace

int main(int argc, char** argv) {
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
    if (opt.firmware.empty() || (opt.dump.empty() && opt.port.empty())) {
        std::fprintf(stderr, "vornbsl-cli: --firmware and --port (or --dump) are needed\n");
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

    // The port as the list shows it: a name, or a description that starts with one.
    std::string port = opt.port.substr(0, opt.port.find(' '));
    std::string description = port;
    SystemPortSource source(&updater.Log());
    for (const CommPortEntry& e : vorn::update::Updater::ListPorts(source, false))
        if (e.name == port) description = e.description;

    TerminalUi ui(&updater.Log(), opt.yes);
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
    int32_t result = updater.Update(request, ui);
    ui.EndLine();
    if (result < 0) {
        ExplainHolders(port);
        return Fail(result);
    }
    return 0;
}
