// vornsim: runs a simulated instrument on a pseudo-terminal until interrupted.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "sim/Instrument.h"
#include "sim/Replay.h"
#include "sim/Switches.h"
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
                 "  --version X.YY       firmware version (default: one the family ships, KT72 2.10,\n"
                 "                       QV 1.20, CF22 2.00, HN9 2.05, HMINI 1.40, H7S 3.60, the others 1.02)\n"
                 "  --name NAME          port name to register (default vornsim0; \"\" for none)\n"
                 "  --description TEXT   description in the port list\n"
                 "  --state FILE         write the instrument's state to FILE at exit\n"
                 "  --pacing             bytes cross the line at its speed, both ways\n"
                 "  --report FILE        at exit, say whether the flash holds the TI-Text image FILE and\n"
                 "                       the settings are those the instrument started with\n"
                 "  --seed N             seed of the random fault switches\n"
                 "  --value KEY=VALUE    the instrument holds VALUE for the setting KEY of its set\n"
                 "                       command (\"-devid=\" held empty, \"-cal 1=pH7 0.0021 25.0\");\n"
                 "                       refused, as the instrument would, when it cannot hold it\n"
                 "  --list-values        list the settings the instrument holds and what each takes\n"
                 "                       (\"-site text 25\", \"-w int 1 3600\"), then exit\n"
                 "  --set NAME[=VALUE]   a fault or behaviour switch (an unknown one, or a value it does\n"
                 "                       not take, is refused):\n"
                 "%s"
                 "  --list-switches      list the switches, one a line, tab-separated: NAME, KIND (none,\n"
                 "                       count, ms, seconds, probability, word, text, key), RANGE (MIN..MAX\n"
                 "                       of the number, or of the characters of a text; \"-\" for none),\n"
                 "                       \"fault\" for a fault on the line or \"-\", and the range a fault\n"
                 "                       campaign draws it from or \"-\"; then exit\n"
                 "  --list-families      list the family codes --family takes, one a line, then exit\n"
                 "  --replay FILE        play the instrument's side of the wire transcript FILE (one the\n"
                 "                       updater or its window recorded): answer each\n"
                 "                       line the host sends with what the instrument answered then;\n"
                 "                       the first line the host says otherwise ends it, named, with\n"
                 "                       exit status 4; stopped before the host said every line, exit 5\n"
                 "  --help               this text\n"
                 "Signals: SIGUSR1 mends the line (every switch --list-switches marks \"fault\" goes\n"
                 "off, with the faults still to come once);\n"
                 "SIGINT or SIGTERM stops the instrument (and writes the state and the report).\n",
                 vornsim::SwitchHelp().c_str());
}

// "X.YY" (or "X"): 0 when it is not one.
uint32_t ParseVersion(const char* text) {
    unsigned major = 0, minor = 0;
    char tail = 0;
    const int n = std::sscanf(text, "%u.%2u%c", &major, &minor, &tail);
    if (n < 1 || n > 2 || major > 99) return 0;
    return major * 100 + minor;
}

// Plays a transcript's instrument until the host says otherwise or a signal stops it.
int RunReplay(vornsim::Options options, const std::string& path) {
    std::vector<vorn::serial::TranscriptEvent> events;
    if (std::string why; !vorn::serial::ReadTranscript(path, &events, &why)) {
        std::fprintf(stderr, "vornsim: %s\n", why.c_str());
        return 2;
    }
    if (options.description.empty()) options.description = "Replay of " + path;
    auto replay = std::make_shared<vornsim::Replay>(std::move(events), path);
    vornsim::Simulator sim(options);
    sim.onPowerOn = [replay](vornsim::Simulator& s) { s.Become(replay, replay->FirstBaud()); };
    if (!sim.Start()) {
        std::fprintf(stderr, "vornsim: %s\n", sim.Error().c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("vornsim: replay of %s on %s %s\n", path.c_str(), sim.SlavePath().c_str(),
                options.portName.empty() ? "(not registered)" : sim.RegisteredPath().c_str());
    std::fflush(stdout);
    while (!gStop && !replay->Failed()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sim.Stop();
    if (replay->Failed()) {
        std::fprintf(stderr, "vornsim: replay differs: %s\n", replay->Failure().c_str());
        return 4;
    }
    if (const std::string left = replay->Unfinished(); !left.empty()) {
        std::fprintf(stderr, "vornsim: replay stopped early: %s\n", left.c_str());
        return 5;
    }
    std::printf("vornsim: replay of %s: the host said all its %zu lines\n", path.c_str(), replay->LinesSaid());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vornsim::Options options;
    std::string reportImage;
    std::string replayPath;
    bool listValues = false;
    bool versionGiven = false;
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
        } else if (arg == "--list-switches") {
            std::fputs(vornsim::SwitchListing().c_str(), stdout);
            return 0;
        } else if (arg == "--list-families") {
            for (const std::string& code : vornsim::FamilyCodes()) std::printf("%s\n", code.c_str());
            return 0;
        } else if (arg == "--family") {
            options.family = next();
        } else if (arg == "--version") {
            options.version = ParseVersion(next());
            versionGiven = true;
        } else if (arg == "--name") {
            options.portName = next();
        } else if (arg == "--description") {
            options.description = next();
        } else if (arg == "--state") {
            options.stateFile = next();
        } else if (arg == "--report") {
            reportImage = next();
        } else if (arg == "--replay") {
            replayPath = next();
        } else if (arg == "--pacing") {
            options.pacing = true;
        } else if (arg == "--seed") {
            options.seed = static_cast<uint32_t>(std::strtoul(next(), nullptr, 0));
        } else if (arg == "--list-values") {
            listValues = true;
        } else if (arg == "--value") {
            std::string v = next();
            size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "vornsim: --value wants KEY=VALUE, not %s\n", v.c_str());
                return 2;
            }
            options.values.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (arg == "--set") {
            if (const std::string refused = vornsim::SetSwitch(options, next()); !refused.empty()) {
                std::fprintf(stderr, "vornsim: %s\n", refused.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "vornsim: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!versionGiven) options.version = vornsim::DefaultVersion(options.family);
    if (const std::string refused = vornsim::RefusedOptions(options); !refused.empty()) {
        std::fprintf(stderr, "vornsim: %s\n", refused.c_str());
        return 2;
    }
    if (listValues) {
        for (const std::string& line : vornsim::ValueKinds(options)) std::printf("%s\n", line.c_str());
        return 0;
    }
    if (!replayPath.empty()) return RunReplay(options, replayPath);
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
