// What happens to the host's bytes before the loggers' command interpreter sees them: a
// relay that repeats everything, the host computer's radio modem with a logger behind it
// over the air, and the old Kt7's "term" pass-through to its own radio module.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sim/LoggerSim.h"

namespace vornsim {
namespace {

using AtModem = InstrumentState::AtModem;
using Sink = std::function<void(std::string_view)>;

constexpr size_t kAtLineMax = 64;

void AtCommand(Simulator& sim, AtModem& modem, const std::string& command) {
    if (command.empty()) return;
    auto reply = [&](const std::string& text) { sim.Send(text + "\r"); };
    for (const char* reg : {"HP", "DT", "VR"}) {
        const std::string at = std::string("AT") + reg;
        if (command.rfind(at, 0) != 0) continue;
        const std::string value = command.substr(at.size());
        if (value.empty()) {
            auto it = modem.registers.find(reg);
            reply(it == modem.registers.end() ? "0" : it->second);
            return;
        }
        char* end = nullptr;
        long long v = std::strtoll(value.c_str(), &end, 16);
        if (*end != '\0' || v < 0 || v > 0xFFFF || std::string(reg) == "VR") {
            reply("ERROR");
            return;
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "%llX", v);
        modem.registers[reg] = hex;
        reply("OK");
        return;
    }
    if (command == "ATWR") {
        reply("OK");
    } else if (command == "ATCN") {
        modem.commandMode = false;
        modem.line.clear();
        reply("OK");
    } else {
        reply("ERROR");
    }
}

// A radio module: "+++" enters command mode (answered "OK" after the guard time); in
// command mode it takes AT commands ending in CR; otherwise bytes pass to `transparent`.
void FeedModem(Simulator& sim, AtModem& modem, std::string_view bytes, const Sink& transparent) {
    while (!bytes.empty()) {
        if (!modem.commandMode) {
            size_t plus = bytes.find("+++");
            if (plus == std::string_view::npos) {
                transparent(bytes);
                return;
            }
            if (plus) transparent(bytes.substr(0, plus));
            bytes.remove_prefix(plus + 3);
            modem.commandMode = true;
            modem.line.clear();
            sim.After(kModemGuardMs, [](Simulator& s) { s.Send("OK\r"); });
            continue;
        }
        char c = bytes.front();
        bytes.remove_prefix(1);
        if (c == '\r') {
            std::string command;
            command.swap(modem.line);
            AtCommand(sim, modem, command);
        } else if (c != '\n' && modem.line.size() < kAtLineMax) {
            modem.line += c;
        }
    }
}

// The logger as heard over the air before a login: asleep until enough wake packets came,
// then answering "query" and "login NAME"; after the login everything goes to the shell.
void FeedAir(Simulator& sim, std::string_view bytes, const Sink& shell) {
    InstrumentState& s = sim.State();
    if (!RadioLinkUp(s)) return;  // another channel: nobody hears it
    while (!bytes.empty()) {
        if (s.radioLink == 2) {
            shell(bytes);
            return;
        }
        char c = bytes.front();
        bytes.remove_prefix(1);
        if (s.radioLink == 0) {
            s.wakeCRs = c == '\r' ? s.wakeCRs + 1 : 0;
            if (s.wakeCRs >= kWakeCRsNeeded) {
                s.radioLink = 1;
                s.wakeCRs = 0;
                s.airLine.clear();
            }
            continue;
        }
        if (c != '\r') {
            if (c != '\n' && s.airLine.size() < kAtLineMax) s.airLine += c;
            continue;
        }
        std::string line;
        line.swap(s.airLine);
        const std::string name = LoggerName(s);
        if (line == "query") {
            sim.Send(name + "\r");
        } else if (line == "login " + name && !name.empty()) {
            s.radioLink = 2;
            CommandShell::Answer(sim, "OK");
        } else if (line == "logout") {
            s.radioLink = 0;
        }
        // anything else, and logins for other loggers, are not for this one
    }
}

// The old Kt7 passing the line to its radio module until the next "term".
void FeedTerm(Simulator& sim, std::string_view bytes, const Sink& shell) {
    InstrumentState& s = sim.State();
    AtModem& module = s.loggerModule;
    FeedModem(sim, module, bytes, [&](std::string_view air) {
        for (size_t i = 0; i < air.size(); ++i) {
            char c = air[i];
            if (c != '\r') {
                if (c != '\n' && module.line.size() < kAtLineMax) module.line += c;
                continue;
            }
            std::string line;
            line.swap(module.line);
            if (line == "term") {
                s.termPassThrough = false;
                CommandShell::Answer(sim, std::vector<std::string>{});
                if (i + 1 < air.size()) shell(air.substr(i + 1));
                return;
            }
        }
    });
}

}  // namespace

CommandShell::RawHandler MakeLoggerByteHandler() {
    // Set while this handler hands bytes on to its own shell, which calls it again.
    auto inside = std::make_shared<bool>(false);
    return [inside](Simulator& sim, CommandShell& shell, std::string_view bytes) -> size_t {
        if (*inside) return 0;
        EnsureLoggerStarted(sim);
        InstrumentState& s = sim.State();
        const bool radio = sim.options().Has("radio") && IsLoggerFamily(s.family);
        if (!radio && !s.termPassThrough) return 0;

        const auto keep = inside;  // the shell may be replaced while it runs
        Sink toShell = [&sim, &shell, keep](std::string_view part) {
            *keep = true;
            shell.OnBytes(sim, part);
            *keep = false;
        };
        if (s.termPassThrough)
            FeedTerm(sim, bytes, toShell);
        else
            FeedModem(sim, s.hostModem, bytes, [&](std::string_view air) { FeedAir(sim, air, toShell); });
        return bytes.size();
    };
}

bool HandleRadioLine(Simulator& sim, const std::string& line) {
    InstrumentState& s = sim.State();
    if (!sim.options().Has("radio") || s.radioLink != 2) return false;
    if (line == "logout") {
        s.radioLink = 0;  // back to sleep, silently
        return true;
    }
    if (line == "query") {
        sim.Send(LoggerName(s) + "\r");
        return true;
    }
    return false;
}

}  // namespace vornsim
