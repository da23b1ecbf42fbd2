// The bench update's bookkeeping: the children's report lines, how a unit ended, the
// summary table, its JSON and the exit status.
#include <gtest/gtest.h>

#include "cli/Bench.h"
#include "common/Status.h"
#include "update/UpdateSequence.h"

namespace vorn::bench {
namespace {

Unit Reported(const std::vector<std::string>& lines) {
    Unit u;
    u.port = "ttyUSB0";
    for (const std::string& line : lines) EXPECT_TRUE(ApplyReportLine(line, &u)) << line;
    return u;
}

TEST(Bench, ReportLinesRoundTripThroughOneLineEach) {
    // A value with a line break cannot start a report line of its own.
    const std::string line = ReportLine("status", "Erasing\nresult 0");
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    Unit u = Reported({line.substr(0, line.size() - 1), "family Readwell", "serial 10001", "progress 140",
                       "old 1.02", "new 2.00", "result -12"});
    EXPECT_EQ(u.status, "Erasing\\nresult 0");
    EXPECT_EQ(u.family, "Readwell");
    EXPECT_EQ(u.serial, "10001");
    EXPECT_EQ(u.progress, 100);  // held to the bar
    EXPECT_EQ(u.oldVersion, "1.02");
    EXPECT_EQ(u.newVersion, "2.00");
    EXPECT_TRUE(u.reportedResult);
    EXPECT_EQ(u.result, -12);
    Unit other;
    EXPECT_FALSE(ApplyReportLine("nonsense", &other));
    EXPECT_FALSE(ApplyReportLine("colour blue", &other));
}

TEST(Bench, HowAUnitEnded) {
    struct Case {
        int exitStatus;
        std::string family;
        int progress;
        bool onlyFamily;
        Outcome expected;
        int32_t result = 0;  // the result it reported (0: none)
    };
    const Case cases[] = {
        {0, "Readwell", 100, false, Outcome::kUpdated},
        {1, "Readwell", 40, false, Outcome::kFailed},
        {1, "", 0, false, Outcome::kFailed},       // named by the user: never passed over
        {1, "", 0, true, Outcome::kSkipped},       // --all: nothing answered there
        {1, "Kt72", 4, true, Outcome::kSkipped},   // --all: another family
        {1, "", 30, true, Outcome::kFailed},       // --all: it got somewhere, then failed
        {1, "Readwell", 4, true, Outcome::kFailed},
        {137, "Readwell", 60, true, Outcome::kFailed},
        // The new firmware runs without the unit's settings: not an update, whoever asked.
        {1, "Readwell", 96, false, Outcome::kNotRestored, vorn::update::kSettingsNotRestored},
        // In its loader, and nothing says which unit it is: nothing was loaded into it.
        {1, "", 2, false, Outcome::kSkipped, vorn::update::kUnitNotIdentified},
        {1, "", 2, true, Outcome::kSkipped, vorn::update::kUnitNotIdentified},
    };
    for (const Case& c : cases) {
        Unit u;
        u.exitStatus = c.exitStatus;
        u.family = c.family;
        u.progress = c.progress;
        u.reportedResult = c.result != 0;
        u.result = c.result;
        Conclude(&u, c.onlyFamily, "Readwell");
        EXPECT_EQ(u.outcome, c.expected) << c.exitStatus << " " << c.family << " " << c.progress << " " << c.result;
    }
}

// Why --all passed a port over: the port itself (permission, in use, gone, no serial port)
// is not the silence of a port with nothing on it. A unit's line fits its terminal,
// cut between words.
TEST(Bench, APortPassedOverSaysWhyAndALineIsCutBetweenWords) {
    const std::pair<int32_t, const char*> reasons[] = {
        {vorn::kPortNoPermission, "skipped (permission denied)"}, {vorn::kPortInUse, "skipped (port in use)"},
        {vorn::kPortNotFound, "skipped (port not found)"},        {vorn::kNotSerialPort, "skipped (not a serial port)"},
        {vorn::kNoConnection, "skipped (no answer)"},
    };
    for (const auto& [connect, said] : reasons) {
        Unit u = Reported({"connect " + std::to_string(connect), "result -20"});
        u.exitStatus = 1;
        Conclude(&u, true, "Readwell");
        EXPECT_NE(SummaryTable({u}).find(said), std::string::npos) << SummaryTable({u});
    }
    Unit waiting = Reported({"family Readwell", "status Restarting the Readwell, please wait... in 4 seconds"});
    const std::string whole = UnitLine(waiting, 200);
    EXPECT_NE(whole.find("in 4 seconds"), std::string::npos);
    const std::string cut = UnitLine(waiting, whole.size() - 3);
    EXPECT_LE(cut.size(), whole.size() - 3);
    EXPECT_EQ(cut.substr(cut.size() - 4), " ...");
    EXPECT_EQ(cut.find("second"), std::string::npos) << cut;  // no word cut in two
}

std::vector<Unit> ThreeUnits() {
    std::vector<Unit> units(3);
    units[0] = Reported({"family Readwell", "serial 10001", "old 1.02", "new 2.00", "result 1"});
    units[0].exitStatus = 0;
    units[0].seconds = 41.4;
    units[1] = Reported({"family Readwell", "serial 10\"02", "old 1.02", "result -3"});
    units[1].port = "/dev/serial/by-id/usb-FTDI";
    units[1].exitStatus = 1;
    units[1].seconds = 12.6;
    units[2].port = "ttyUSB2";
    units[2].exitStatus = 1;
    for (Unit& u : units) Conclude(&u, true, "Readwell");
    return units;
}

TEST(Bench, SummaryTableAndJson) {
    const std::vector<Unit> units = ThreeUnits();
    const std::string table = SummaryTable(units);
    EXPECT_EQ(table,
              "PORT                        SERIAL  FAMILY    OLD   NEW   RESULT               SECONDS\n"
              "ttyUSB0                     10001   Readwell  1.02  2.00  updated                   41\n"
              "/dev/serial/by-id/usb-FTDI  10\"02   Readwell  1.02  -     failed (result -3)        13\n"
              "ttyUSB2                     -       -         -     -     skipped (no answer)        0\n");
    const std::string json = SummaryJson(units, "fw \"2\".txt");
    EXPECT_NE(json.find("\"firmware\": \"fw \\\"2\\\".txt\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"updated\": 1,\n  \"failed\": 1,\n  \"skipped\": 1"), std::string::npos) << json;
    EXPECT_NE(json.find("{\"port\": \"ttyUSB0\", \"serial\": \"10001\", \"family\": \"Readwell\", \"old_version\": "
                        "\"1.02\", \"new_version\": \"2.00\", \"result\": \"updated\", \"code\": 1, \"exit_status\": 0, "
                        "\"seconds\": 41}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"serial\": \"10\\\"02\""), std::string::npos) << json;
}

TEST(Bench, ExitStatusIsZeroOnlyWhenEveryUnitOfTheBenchWasUpdated) {
    std::vector<Unit> units = ThreeUnits();
    EXPECT_EQ(ExitStatus(units, true), 1);  // one failed
    units[1].outcome = Outcome::kUpdated;
    EXPECT_EQ(ExitStatus(units, true), 0);   // --all: the skipped one is not of the bench
    EXPECT_EQ(ExitStatus(units, false), 1);  // named by the user, it was not updated
    units[1].outcome = Outcome::kNotRestored;
    EXPECT_EQ(ExitStatus(units, true), 1);
    units[0].outcome = units[1].outcome = Outcome::kSkipped;
    EXPECT_EQ(ExitStatus(units, true), 1);  // nothing updated at all
    units[0].outcome = Outcome::kRunning;
    EXPECT_EQ(ExitStatus(units, true), 1);
}

}  // namespace
}  // namespace vorn::bench
