// vornsim: runs a simulated instrument on a pseudo-terminal until interrupted.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

#include "sim/Instrument.h"
#include "sim/UpdateReport.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gMend = 0;
void OnSignal(int) { gStop = 1; }
void OnMend(int) { gMend = 1; }

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: vornsim [options]\n"
                 "  --family CODE        catalogue code of the instrument (default RW)\n"
                 "  --version X.YY       firmware version (default 1.02)\n"
                 "  --name NAME          port name to register (default vornsim0; \"\" for none)\n"
                 "  --description TEXT   description in the port list\n"
                 "  --state FILE         write the instrument's state to FILE at exit\n"
                 "  --pacing             deliver bytes at the line speed\n"
                 "  --report FILE        at exit, say whether the flash holds the TI-Text image FILE and\n"
                 "                       the settings are those the instrument started with\n"
                 "  --seed N             seed of the random fault switches\n"
                 "  --set NAME[=VALUE]   a setting or fault switch, for example:\n"
                 "        bsl-refuse-write=N   refuse the Nth \"W\" frame once\n"
                 "        power-loss-after=N   go silent after N frames, wake in the bootloader ...\n"
                 "        power-loss-ms=M      ... M ms later (default 500)\n"
                 "        unplug-after=N       pull the USB adapter out after N frames: the port\n"
                 "                             vanishes and comes back under the same name ...\n"
                 "        unplug-ms=M          ... M ms later (default 1000); the instrument\n"
                 "                             stays in its bootloader\n"
                 "        bsl-missing          \"boot ZELK\" answers \"VornBSL MISSING\"\n"
                 "        in-bootloader        start in the VornBSL engine's command mode\n"
                 "        drop-rate=P          drop answers with probability P (0..1)\n"
                 "        corrupt-rate=P       corrupt answers with probability P (0..1)\n"
                 "        slow-ms=M            every answer leaves M ms late (a slow relay)\n"
                 "        noise-rate=P         a burst of bytes at the wrong speed ahead of an answer\n"
                 "                             with probability P (0..1)\n"
                 "        echo                 repeat everything the host sends (a relay)\n"
                 "        serial=SN            the instrument's serial number (default: the family's own)\n"
                 "      loggers (--family KT72, QV, ZQ8, MYR, KT7R or KT7):\n"
                 "        uninitialised        no factory settings (as after a firmware update)\n"
                 "        name=NAME            the logger's name (default FIELD01)\n"
                 "        trait=N              trait bits: 1 radio fitted, 8 cellular (Kt72 default 9)\n"
                 "        new-firmware         a Kt7 that answers \"get -ver\" (default: old, \"show\")\n"
                 "        radio                the host talks to a radio modem (\"+++\", ATHP, ATDT ...)\n"
                 "                             and reaches the logger over the air (query, login NAME)\n"
                 "        asleep               over the radio, the logger waits for wake packets\n"
                 "        quiet-after=N        stop answering after N command lines ...\n"
                 "        quiet-lines=M        ... for the next M lines (default 3)\n"
                 "        error-command=LINE   answer \"ERROR\" to the command LINE\n"
                 "        baud-silent          \"set -baud N\" switches speed without answering\n"
                 "        dataflash-fail       \"yes\" answers \"DataFlash FAIL\"\n"
                 "      lab instruments (--family RW, HN9, HN9OPX, KSR, CF22, TL, VM, SWXR, H7S, GLX,\n"
                 "      HMINI, PTX9, HBA, FIELDPT or BLI):\n"
                 "        lab-blank            no factory values or records\n"
                 "        hver=X               hardware revision for \"get -hver\" (default C)\n"
                 "        battery=N            battery percentage (default 100)\n"
                 "        low-battery          battery at 5 %%\n"
                 "        code-corrupt         \"post\" reports \"Code Corrupt!\" whatever the flash holds\n"
                 "        no-record-count      \"get -user\" / \"get -eqn\" without a number answer ERROR\n"
                 "        (dataflash-fail, error-command and quiet-after work for them too)\n"
                 "  --help               this text\n"
                 "Signals: SIGUSR1 mends the line (every fault switch of the line goes off: drop,\n"
                 "corrupt, slow-ms, noise-rate, echo, quiet-after and the faults still to come once);\n"
                 "SIGINT or SIGTERM stops the instrument (and writes the state and the report).\n");
}

uint32_t ParseVersion(const char* text) {
    unsigned major = 0, minor = 0;
    if (std::sscanf(text, "%u.%u", &major, &minor) < 1) return 0;
    return major * 100 + minor;
}

}  // namespace

int main(int argc, char** argv) {
    vornsim::Options options;
    std::string reportImage;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vornsim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--family") {
            options.family = next();
        } else if (arg == "--version") {
            options.version = ParseVersion(next());
        } else if (arg == "--name") {
            options.portName = next();
        } else if (arg == "--description") {
            options.description = next();
        } else if (arg == "--state") {
            options.stateFile = next();
        } else if (arg == "--report") {
            reportImage = next();
        } else if (arg == "--pacing") {
            options.pacing = true;
        } else if (arg == "--seed") {
            options.seed = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        } else if (arg == "--set") {
            std::string s = next();
            size_t eq = s.find('=');
            options.switches[s.substr(0, eq)] = eq == std::string::npos ? "" : s.substr(eq + 1);
        } else {
            std::fprintf(stderr, "vornsim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    auto sim = vornsim::MakeInstrument(options);
    if (!sim->Start()) {
        std::fprintf(stderr, "vornsim: %s\n", sim->Error().c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGUSR1, OnMend);
    std::printf("vornsim: %s %s on %s", options.family.c_str(), sim->SlavePath().c_str(),
                options.portName.empty() ? "(not registered)" : sim->RegisteredPath().c_str());
    std::printf("\n");
    std::fflush(stdout);
    const vornsim::InstrumentState before = sim->WithState([](vornsim::InstrumentState& s) { return s; });
    // A signal may land on the simulator's thread, which would not wake a pause() here:
    // look at the flags often instead.
    while (!gStop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (gMend) {
            gMend = 0;
            sim->Mend();
            std::printf("vornsim: line mended\n");
            std::fflush(stdout);
        }
    }
    sim->Stop();
    if (!reportImage.empty()) {
        std::ifstream in(reportImage, std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        vornsim::UpdateReport report =
            sim->WithState([&](vornsim::InstrumentState& s) { return vornsim::CompareAfterUpdate(s, image, before); });
        sim->Call([&report](vornsim::Simulator& s) {
            report.doing = s.Active() ? s.Active()->Name() : "powered off";
        });
        std::printf("vornsim: %s", report.Text(reportImage).c_str());
        return report.flashDifferences == 0 && report.imageRead && report.settingsEqual ? 0 : 3;
    }
    return 0;
}
