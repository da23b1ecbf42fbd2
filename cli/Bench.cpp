#include "cli/Bench.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalogue/DeviceCatalogue.h"
#include "cli/ChildProcess.h"
#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"
#include "serial/SerialPlatform.h"
#include "session/Vorn_protocol.h"
#include "update/Updater.h"
#include "update/UserFolder.h"

namespace vorn::bench {

std::string ReportLine(const std::string& key, const std::string& value) {
    return key + " " + vorn::EscapeControls(value) + "\n";
}

bool ApplyReportLine(const std::string& line, Unit* u) {
    const size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    const std::string key = line.substr(0, space), value = line.substr(space + 1);
    if (key == "status") u->status = value;
    else if (key == "progress") u->progress = std::clamp(std::atoi(value.c_str()), 0, 100);
    else if (key == "box") u->status = value;
    else if (key == "family") u->family = value;
    else if (key == "serial") u->serial = value;
    else if (key == "old") u->oldVersion = value;
    else if (key == "new") u->newVersion = value;
    else if (key == "standing") u->standing = value;
    else if (key == "connect") u->connect = std::atoi(value.c_str());
    else if (key == "result") {
        u->result = std::atoi(value.c_str());
        u->reportedResult = true;
    } else {
        return false;
    }
    return true;
}

void Conclude(Unit* u, bool onlyFamily, const std::string& family) {
    if (u->exitStatus == 0) {
        u->outcome = Outcome::kUpdated;
        return;
    }
    if (u->reportedResult && u->result == vorn::update::kSettingsNotRestored) {
        u->outcome = Outcome::kNotRestored;
        return;
    }
    if (u->reportedResult && u->result == vorn::update::kUnitNotIdentified) {
        u->outcome = Outcome::kSkipped;
        return;
    }
    // Under --all a port whose instrument is of another family, or where nothing answered
    // before the update took a step, is not one of the bench. Anything that got further is
    // a failure, however little it told.
    const bool otherFamily = !u->family.empty() && u->family != family;
    const bool nothingAnswered = u->family.empty() && u->progress == 0;
    u->outcome = onlyFamily && (otherFamily || nothingAnswered) ? Outcome::kSkipped : Outcome::kFailed;
}

namespace {

std::string ResultText(const Unit& u) {
    switch (u.outcome) {
        case Outcome::kRunning: return "running";
        case Outcome::kUpdated: return "updated";
        case Outcome::kNotRestored: return "not restored";
        case Outcome::kSkipped:
            if (u.reportedResult && u.result == vorn::update::kUnitNotIdentified) return "skipped (not identified)";
            if (!u.family.empty()) return "skipped (" + u.family + ")";
            // Why nothing answered: the port itself, or silence on it.
            switch (u.connect) {
                case vorn::kPortNoPermission: return "skipped (permission denied)";
                case vorn::kPortInUse: return "skipped (port in use)";
                case vorn::kPortNotFound: return "skipped (port not found)";
                case vorn::kNotSerialPort: return "skipped (not a serial port)";
                default: return "skipped (no answer)";
            }
        case Outcome::kFailed:
            if (u.reportedResult) return "failed (result " + std::to_string(u.result) + ")";
            return "failed (exit " + std::to_string(u.exitStatus) + ")";
    }
    return {};
}

std::string OrDash(const std::string& s) { return s.empty() ? "-" : s; }

std::string Padded(std::string s, size_t width) {
    if (s.size() < width) s.append(width - s.size(), ' ');
    return s;
}


long WholeSeconds(double seconds) { return std::lround(seconds); }

}  // namespace

std::string UnitLine(const Unit& u, size_t width) {
    constexpr int kBar = 20;
    const int filled = u.progress * kBar / 100;
    std::string line = Padded(u.port, 12) + " " + Padded(OrDash(u.family), 10) + " " +
                       Padded(u.serial.empty() ? "" : "SN " + u.serial, 14) + " [" + std::string(filled, '#') +
                       std::string(kBar - filled, '.') + "] " + vorn::Format("%3d%% ", u.progress) +
                       (u.outcome == Outcome::kRunning ? u.status : ResultText(u));
    // Too long for the terminal: cut between words, and say so, never in the middle of one
    // ("in 4 second").
    if (line.size() > width) {
        const size_t space = line.rfind(' ', width > 4 ? width - 4 : 0);
        line.resize(space == std::string::npos || space < 40 ? width - 4 : space);
        line += " ...";
    }
    return line;
}

std::string SummaryTable(const std::vector<Unit>& units) {
    const std::vector<std::string> header = {"PORT", "SERIAL", "FAMILY", "OLD", "NEW", "RESULT", "SECONDS"};
    std::vector<std::vector<std::string>> rows = {header};
    for (const Unit& u : units)
        rows.push_back({u.port, OrDash(u.serial), OrDash(u.family), OrDash(u.oldVersion), OrDash(u.newVersion),
                        ResultText(u), std::to_string(WholeSeconds(u.seconds))});
    std::vector<size_t> widths(header.size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            // The seconds right-aligned, the rest left.
            if (c + 1 == row.size())
                line += std::string(widths[c] - row[c].size(), ' ') + row[c];
            else
                line += Padded(row[c], widths[c]) + "  ";
        }
        table += line + "\n";
    }
    return table;
}

std::string SummaryJson(const std::vector<Unit>& units, const std::string& firmware) {
    int updated = 0, failed = 0, skipped = 0;
    std::string list;
    for (const Unit& u : units) {
        updated += u.outcome == Outcome::kUpdated;
        failed += u.outcome == Outcome::kFailed || u.outcome == Outcome::kRunning || u.outcome == Outcome::kNotRestored;
        skipped += u.outcome == Outcome::kSkipped;
        const char* outcome = u.outcome == Outcome::kUpdated       ? "updated"
                              : u.outcome == Outcome::kSkipped     ? "skipped"
                              : u.outcome == Outcome::kNotRestored ? "not restored"
                                                                   : "failed";
        if (!list.empty()) list += ",\n";
        list += "    {\"port\": " + vorn::JsonString(u.port) + ", \"serial\": " + vorn::JsonString(u.serial) +
                ", \"family\": " + vorn::JsonString(u.family) + ", \"old_version\": " + vorn::JsonString(u.oldVersion) +
                ", \"new_version\": " + vorn::JsonString(u.newVersion) + ", \"result\": \"" + outcome +
                "\", \"code\": " + std::to_string(u.reportedResult ? u.result : 0) +
                ", \"exit_status\": " + std::to_string(u.exitStatus) +
                ", \"seconds\": " + std::to_string(WholeSeconds(u.seconds)) + "}";
    }
    return "{\n  \"firmware\": " + vorn::JsonString(firmware) + ",\n  \"updated\": " + std::to_string(updated) +
           ",\n  \"failed\": " + std::to_string(failed) + ",\n  \"skipped\": " + std::to_string(skipped) +
           ",\n  \"units\": [\n" + list + (list.empty() ? "" : "\n") + "  ]\n}\n";
}

int ExitStatus(const std::vector<Unit>& units, bool onlyFamily) {
    int updated = 0;
    for (const Unit& u : units) {
        if (u.outcome == Outcome::kSkipped && onlyFamily) continue;
        if (u.outcome != Outcome::kUpdated) return 1;
        ++updated;
    }
    return updated > 0 ? 0 : 1;
}

namespace {

// Takes the complete lines off the front of `buffer`.
std::vector<std::string> TakeLines(std::string* buffer) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = buffer->find('\n', start)) != std::string::npos) {
        std::string line = buffer->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    buffer->erase(0, start);
    return lines;
}

// Each unit's log, kept in the private per-user folder while the bench runs: never
// beside a --log that may lie in a folder others can write.
std::string UnitLogPath(const Plan& plan, const std::string& port) {
    return (std::filesystem::path(plan.unitLogFolder) / ("bench-" + vorn::update::FileNamePart(port) + ".log")).string();
}

// Appends one unit's log to the main log as a section of its own and removes it.
void AppendSection(std::FILE* log, const std::string& path, const std::string& head, const std::string& foot) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    if (!log) return;  // the unit's own log then stays where it is
    std::fprintf(log, "==== %s ====\r\n", head.c_str());
    std::fputs(text.str().c_str(), log);
    std::fprintf(log, "==== %s ====\r\n", foot.c_str());
    if (std::fflush(log) == 0) std::remove(path.c_str());
}

// The log a unit of an earlier bench left, when that bench's own process did not live
// to add it (its units finish their updates without it): added first, then the unit's new
// log is made afresh, owner-only.
void TakeLeftoverLog(const Plan& plan, const std::string& port) {
    const std::string path = UnitLogPath(plan, port);
    if (std::error_code ec; !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return;
    std::FILE* log = vorn::platform::OpenPrivateAppend(plan.logPath);
    AppendSection(log, path, "An earlier bench update on " + vorn::EscapeControls(port) + ": its log",
                  "End of the earlier bench update on " + vorn::EscapeControls(port));
    if (log) std::fclose(log);
}

// The units' logs go into the main log one after another, each a section of its own.
void AppendSections(const Plan& plan, const std::vector<Unit>& units) {
    std::FILE* log = vorn::platform::OpenPrivateAppend(plan.logPath);
    for (const Unit& u : units)
        AppendSection(log, UnitLogPath(plan, u.port),
                      "Bench update on " + vorn::EscapeControls(u.port) + " (serial number " +
                          vorn::EscapeControls(OrDash(u.serial)) + "): its log",
                      "End of the bench update on " + vorn::EscapeControls(u.port) + ": " + ResultText(u));
    if (log) std::fclose(log);
}

}  // namespace

int WriteJson(const std::string& path, const std::string& text, std::FILE* errors) {
    if (int rc = vorn::platform::WriteFilePrivately(path, text); rc < 0) {
        std::fprintf(errors, "vornbsl-cli: could not write %s (error %d)\n", path.c_str(), -rc);
        return 1;
    }
    return 0;
}

int Run(const Plan& plan, std::FILE* screen, std::FILE* table) {
    using Clock = std::chrono::steady_clock;
    const bool live = vorn::platform::IsTerminal(screen);
    std::vector<Unit> units(plan.ports.size());
    std::vector<vorn::platform::ChildProcess> children(plan.ports.size());
    std::vector<std::string> out(plan.ports.size()), err(plan.ports.size());
    std::vector<std::string> lastShown(plan.ports.size());
    const Clock::time_point start = Clock::now();

    for (size_t i = 0; i < plan.ports.size(); ++i) {
        Unit& u = units[i];
        u.port = plan.ports[i];
        u.status = "Starting";
        TakeLeftoverLog(plan, u.port);
        std::vector<std::string> args = plan.arguments;
        args.insert(args.end(), {"--bench-child", "--port", u.port, "--log", UnitLogPath(plan, u.port)});
        if (int rc = vorn::platform::StartChild(plan.program, args, &children[i]); rc != 0) {
            u.messages.push_back("could not start the update: error " + std::to_string(rc));
            u.exitStatus = 127;
            u.outcome = Outcome::kFailed;
        }
    }

    // On a terminal, one line per unit, drawn again in place when one of them changed.
    size_t drawn = 0;
    std::string lastDrawn;
    auto draw = [&] {
        if (!live) return;
        std::string lines;
        const int columns = vorn::platform::TerminalColumns(screen);
        const size_t width = columns >= 60 ? static_cast<size_t>(columns) - 1 : 110;
        for (const Unit& u : units) lines += "\r\033[K" + vorn::EscapeControls(UnitLine(u, width)) + "\n";
        if (lines == lastDrawn) return;
        if (drawn > 0) std::fprintf(screen, "\033[%zuA", drawn);
        std::fputs(lines.c_str(), screen);
        std::fflush(screen);
        drawn = units.size();
        lastDrawn = lines;
    };
    // Without a terminal, each change of step as a line of its own.
    auto say = [&](size_t i) {
        const Unit& u = units[i];
        const std::string now = u.outcome == Outcome::kRunning ? u.status : ResultText(u);
        if (live || now == lastShown[i]) return;
        lastShown[i] = now;
        std::fprintf(screen, "%s: %s\n", u.port.c_str(), now.c_str());
        std::fflush(screen);
    };

    for (;;) {
        bool running = false;
        for (size_t i = 0; i < units.size(); ++i) running |= units[i].outcome == Outcome::kRunning;
        if (!running) break;
        vorn::platform::ReadChildren(children, 100, &out, &err);
        for (size_t i = 0; i < units.size(); ++i) {
            Unit& u = units[i];
            if (u.outcome != Outcome::kRunning) continue;
            for (const std::string& line : TakeLines(&out[i])) ApplyReportLine(line, &u);
            for (const std::string& line : TakeLines(&err[i])) u.messages.push_back(vorn::EscapeControls(line));
            if (children[i].exitStatus >= 0) {
                u.exitStatus = children[i].exitStatus;
                u.seconds = std::chrono::duration<double>(Clock::now() - start).count();
                Conclude(&u, plan.onlyFamily, plan.family);
            }
            say(i);
        }
        draw();
    }
    draw();
    AppendSections(plan, units);

    std::fputs(("\n" + SummaryTable(units)).c_str(), table);
    for (const Unit& u : units) {
        // The failures, and a unit passed over for a reason of its own (one the bench could not tell).
        const bool says = u.outcome == Outcome::kFailed || u.outcome == Outcome::kNotRestored ||
                          (u.outcome == Outcome::kSkipped && u.reportedResult);
        if (!says) continue;
        for (const std::string& m : u.messages) std::fprintf(table, "%s: %s\n", u.port.c_str(), m.c_str());
    }
    std::fflush(table);
    if (!plan.jsonPath.empty() && WriteJson(plan.jsonPath, SummaryJson(units, plan.firmware), screen) != 0) return 1;
    return ExitStatus(units, plan.onlyFamily);
}

ReportUi::ReportUi(VornLog* log, bool assumeYes, std::FILE* report, vorn::update::Updater* updater)
    : TerminalUi(log, assumeYes, stderr, stdin), report_(report), updater_(updater) {}

void ReportUi::Report(const std::string& key, const std::string& value) {
    std::fputs(ReportLine(key, value).c_str(), report_);
    std::fflush(report_);
}

void ReportUi::ReportIdentity() {
    if (!updater_) return;
    const Vorn_protocol& session = updater_->Session();
    const std::string family(vorn::catalogue::FamilyDisplayName(session.Family()));
    if (session.Family() >= 0 && family != "UNKNOWN" && family != family_) Report("family", family_ = family);
    const std::string serial = session.SerialNumber();
    if (!serial.empty() && vorn::IsPlainText(serial) && serial != serial_) Report("serial", serial_ = serial);
}

void ReportUi::ShowStatus(const std::string& text) {
    ReportIdentity();
    Report("status", text);
}

void ReportUi::SetProgress(int position) {
    TerminalUi::SetProgress(position);
    if (Progress() == reported_) return;
    reported_ = Progress();
    Report("progress", std::to_string(reported_));
}

void ReportUi::ShowStanding(const std::string& text) {
    Report("standing", text);
    TerminalUi::ShowStanding(text);
}

void ReportUi::ErrorBox(const std::string& message, const std::string& title, BoxKind kind) {
    ReportIdentity();  // a box may end the update before another step is shown
    Report("box", title);
    TerminalUi::ErrorBox(message, title, kind);
}

}  // namespace vorn::bench
