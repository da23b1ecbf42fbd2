#pragma once
// A bench of instruments updated at once: one vornbsl-cli process per port (the core
// stays single-threaded), each reporting its steps as lines on a pipe; this side shows
// one line per port, then a summary table and, when asked, the summary as JSON.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/TerminalUi.h"
#include "update/UpdateSequence.h"

namespace vorn::update {
class Updater;
}

namespace vorn::bench {

// How one unit of the bench ended.
// kNotRestored: the new firmware runs, but the unit's saved settings did not go back.
enum class Outcome { kRunning, kUpdated, kFailed, kNotRestored, kSkipped };

struct Unit {
    std::string port;
    std::string family, serial, oldVersion, newVersion;
    std::string status;                 // the step it is at
    std::string standing;               // where the instrument stands after a failure
    int progress = 0;
    int32_t result = 0;                 // the update's result code
    bool reportedResult = false;
    int32_t connect = 0;                // why the port could not be had (kPortNoPermission ...); 0: it could
    int exitStatus = -1;                // the process's; -1 while it runs
    double seconds = 0.0;
    Outcome outcome = Outcome::kRunning;
    std::vector<std::string> messages;  // its boxes and other lines, for after the table
};

// The child's side: one line per event, "<key> <value>" (keys status, progress, box,
// family, serial, old, new, result, standing, connect), values defanged to one line.
std::string ReportLine(const std::string& key, const std::string& value);
// Applies one line of a child's report to its unit; false for a line that is not one.
bool ApplyReportLine(const std::string& line, Unit* unit);

// Decides a finished unit's outcome from its exit and report. With `onlyFamily` (--all),
// a unit that never answered, or answered as another family than `family`, is skipped;
// so is a unit waiting in its loader that the bench could not tell (it loads nothing
// into one).
void Conclude(Unit* unit, bool onlyFamily, const std::string& family);

// One line per unit for a terminal: port, family, serial, bar, step (at most `width`).
std::string UnitLine(const Unit& unit, size_t width);
// The table at the end, a header then one row per unit.
std::string SummaryTable(const std::vector<Unit>& units);
// A --json file, written whole and readable by its owner only; 1 after a line on `errors`
// when it cannot be.
int WriteJson(const std::string& path, const std::string& text, std::FILE* errors);
// The same as a JSON document, for scripts.
std::string SummaryJson(const std::vector<Unit>& units, const std::string& firmware);
// 0 when every unit was updated, and at least one was; with `onlyFamily` (--all) units
// skipped as not of the bench do not count against it.
int ExitStatus(const std::vector<Unit>& units, bool onlyFamily);

// What the parent runs: the program itself, with the user's arguments less the bench's
// own options, once per port.
struct Plan {
    std::string program;                // this program's file
    std::vector<std::string> arguments; // the user's, without --port, --all and --json
    std::vector<std::string> ports;
    bool onlyFamily = false;            // --all
    std::string family;                 // the firmware's family, for --all
    std::string firmware;               // the firmware file, for the summary
    std::string jsonPath;
    std::string logPath;                // the log the units' sections are added to
    std::string unitLogFolder;          // the private folder each unit's own log is kept in meanwhile
};
int Run(const Plan& plan, std::FILE* screen, std::FILE* table);

// The child's UI: every status and bar position reported on `report` instead of drawn,
// boxes named there too (their text goes to stderr, as on a terminal); the family and
// serial number reported as soon as the session knows them. Questions are the terminal's,
// with none to ask: the options answer them, or Cancel.
class ReportUi : public TerminalUi {
public:
    ReportUi(VornLog* log, bool assumeYes, std::FILE* report, vorn::update::Updater* updater);
    void ShowStatus(const std::string& text) override;
    void HideStatus() override {}
    void SetConnectText(ConnectLine, const std::string&) override {}
    void SetProgress(int position) override;
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override;
    void ShowStanding(const std::string& text) override;
    void Report(const std::string& key, const std::string& value);

private:
    void ReportIdentity();

    std::FILE* report_;
    vorn::update::Updater* updater_;
    int reported_ = -1;
    std::string family_, serial_;
};

}  // namespace vorn::bench
