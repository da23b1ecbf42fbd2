// The simulator's switch table and family list: what vornsim takes on its command line,
// what it refuses and how, what it lists for the scripts, and what SIGUSR1 mends.
#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "sim/Instrument.h"
#include "sim/LabSim.h"
#include "sim/LoggerSim.h"
#include "sim/Switches.h"
#include "support/LocaleScope.h"
#include "support/TestSupport.h"

namespace {

using vornsim::SwitchInfo;
using vornsim::SwitchKind;

constexpr double kText = std::numeric_limits<double>::quiet_NaN();  // a value read as text

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    return parts;
}

// Whether `word` stands alone in `text` (a switch name, not the start of a longer one).
bool HasWord(const std::string& text, const std::string& word) {
    auto plain = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if ((at == 0 || !plain(text[at - 1])) && (end == text.size() || !plain(text[end]))) return true;
    }
    return false;
}

// The range "LO..HI" of a listing or a draw.
bool Range(const std::string& text, std::string* low, std::string* high) {
    const size_t dots = text.find("..");
    if (dots == std::string::npos || dots == 0 || dots + 2 >= text.size()) return false;
    *low = text.substr(0, dots);
    *high = text.substr(dots + 2);
    return true;
}

// A value the switch takes, for the cases that need every switch set.
std::string SomeValue(const SwitchInfo& s) {
    if (std::string low, high; s.draw && Range(s.draw, &low, &high)) return low;
    switch (s.kind) {
        case SwitchKind::kNone: return "";
        case SwitchKind::kWord: return "A";
        case SwitchKind::kText: return "get -sn";
        case SwitchKind::kKey: return "-site";
        default: return std::to_string(s.min);
    }
}

struct SetCase {
    const char* argument;
    const char* refusal;  // a part of the message; nullptr when the switch takes it
    double reads;         // what the simulator reads from a number it took
};

TEST(Switches, SetTakesOnlyWhatTheSwitchTakesInEveryLocale) {
    const SetCase cases[] = {
        {"echo", nullptr, kText},
        {"echo=1", "takes no value", kText},
        {"echo=", "takes no value", kText},
        // Probabilities: a decimal point whatever the locale; a comma is refused, not read as 0.
        {"drop-rate=0.5", nullptr, 0.5},
        {"drop-rate=1", nullptr, 1.0},
        {"drop-rate=0", nullptr, 0.0},
        {"noise-rate=0.05", nullptr, 0.05},
        {"drop-rate=0,5", "not a comma", kText},
        {"corrupt-rate=0,25", "decimal point", kText},
        {"drop-rate=1.5", "from 0 to 1", kText},
        {"drop-rate=-0.1", "from 0 to 1", kText},
        {"drop-rate=1e-1", "from 0 to 1", kText},
        {"drop-rate=nan", "from 0 to 1", kText},
        {"drop-rate=0.5.1", "from 0 to 1", kText},
        {"drop-rate", "needs a value", kText},
        {"drop-rate=", "needs a value", kText},
        // Whole numbers, decimal only, within the switch's range.
        {"battery=100", nullptr, 100},
        {"battery=0", nullptr, 0},
        {"battery=101", "from 0 to 100", kText},
        {"battery=-1", "from 0 to 100", kText},
        {"battery=0x10", "whole number", kText},
        {"battery=12 ", "whole number", kText},
        {"battery=", "needs a value", kText},
        {"trait=010", nullptr, 10},
        {"bsl-refuse-write=0", "from 1 to", kText},
        {"bsl-refuse-write=1", nullptr, 1},
        {"power-loss-after=0", nullptr, 0},
        {"slow-ms=60001", "milliseconds from 0 to 60000", kText},
        {"unplug-ms", "needs a value", kText},
        {"clock-offset=-43200", nullptr, -43200},
        {"clock-offset=+60", nullptr, 60},
        {"clock-offset=1.5", "seconds from", kText},
        {"clock-offset=99999999999999999999", "seconds from", kText},
        {"clock-offset=-", "seconds from", kText},
        // Texts: their length, no control bytes, no space in a word.
        {"serial=", nullptr, kText},
        {"serial=RW-10234", nullptr, kText},
        {"serial", "serial= for none", kText},
        {"serial=RW 10234", "without a space", kText},
        {"serial=1234567890123456", "0 to 15 characters", kText},
        {"name=", "needs a value", kText},
        {"name=FIELD0999", "1 to 8 characters", kText},
        {"error-command=get -sn", nullptr, kText},
        {"error-command=get\r-sn", "1 to 128 characters", kText},
        {"refuse-set=-cal 2", nullptr, kText},
        {"refuse-set=site", "key of a set command", kText},
        {"refuse-set=-", "key of a set command", kText},
        // Names.
        {"drop-rat=0.1", "unknown switch drop-rat;", kText},
        {"=1", "unknown switch", kText},
    };
    for (const char* locale : {static_cast<const char*>(nullptr), vorn::test::kCommaLocale}) {
        vorn::test::LocaleScope scope(locale);
        ASSERT_TRUE(scope.Active());
        for (const SetCase& c : cases) {
            SCOPED_TRACE(std::string(c.argument) + " in " + scope.Name());
            vornsim::Options options;
            const std::string refused = vornsim::SetSwitch(options, c.argument);
            const std::string argument = c.argument;
            const size_t eq = argument.find('=');
            const std::string name = argument.substr(0, eq);
            if (c.refusal) {
                EXPECT_NE(refused.find(c.refusal), std::string::npos) << refused;
                EXPECT_TRUE(options.switches.empty());
                continue;
            }
            ASSERT_EQ(refused, "");
            ASSERT_EQ(options.switches.size(), 1u);
            EXPECT_EQ(options.Text(name, "(none)"), eq == std::string::npos ? "" : argument.substr(eq + 1));
            // What the simulator then reads is the number that was checked.
            if (!std::isnan(c.reads)) {
                const bool rate = vornsim::FindSwitch(name)->kind == SwitchKind::kProbability;
                EXPECT_DOUBLE_EQ(rate ? options.Rate(name) : static_cast<double>(options.Number(name, -999)), c.reads);
            }
        }
    }
}

struct OptionsCase {
    const char* family;
    std::map<std::string, std::string> switches;  // as the in-process tests give them
    const char* refusal;                          // nullptr: an instrument is made
};

TEST(Switches, RefusedOptionsChecksFamilyAndEverySwitchValue) {
    const OptionsCase cases[] = {
        {"RW", {{"drop-rate", "0.2"}, {"echo", ""}, {"serial", "RW-1"}}, nullptr},
        {"RW", {{"serial", ""}}, nullptr},
        {"KT72", {{"trait", "8"}, {"name", "SITE4"}, {"clock-offset", "-5000"}}, nullptr},
        {"RW", {{"slow-ms", ""}}, "needs a value"},
        {"RW", {{"echo", "1"}}, "takes no value"},
        {"RW", {{"noise-rate", "0,5"}}, "not a comma"},
        {"KT72", {{"battery", "101"}}, "from 0 to 100"},
        {"RW", {{"silent-after", "40"}}, "unknown switch silent-after;"},
        {"XYZ", {}, "unknown family XYZ;"},
        {"", {}, "unknown family \"\";"},
        {"rw", {}, "unknown family rw;"},
    };
    for (const OptionsCase& c : cases) {
        SCOPED_TRACE(std::string(c.family) + (c.refusal ? std::string(" refused: ") + c.refusal : " taken"));
        vornsim::Options options;
        options.family = c.family;
        options.version = 102;
        options.switches = c.switches;
        const std::string refused = vornsim::RefusedOptions(options);
        if (c.refusal) {
            EXPECT_NE(refused.find(c.refusal), std::string::npos) << refused;
        } else {
            EXPECT_EQ(refused, "");
        }
    }
}

TEST(Switches, AnUnknownNameIsToldTheNamesThereAre) {
    const std::string unknownSwitch = vornsim::UnknownSwitch("drop-rat");
    for (const SwitchInfo& s : vornsim::Switches()) EXPECT_TRUE(HasWord(unknownSwitch, s.name)) << s.name;
    vornsim::Options options;
    options.family = "XYZ";
    const std::string unknownFamily = vornsim::RefusedOptions(options);
    const std::vector<std::string> codes = vornsim::FamilyCodes();
    ASSERT_GE(codes.size(), 20u);
    for (const std::string& code : codes) EXPECT_TRUE(HasWord(unknownFamily, code)) << code;
}

double Number(const std::string& text) {
    double value = std::numeric_limits<double>::quiet_NaN();
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

TEST(Switches, EveryRowHasHelpAKindAndARangeItTakes) {
    std::set<std::string> names;
    for (const SwitchInfo& s : vornsim::Switches()) {
        SCOPED_TRACE(s.name);
        const std::string name = s.name;
        EXPECT_TRUE(names.insert(name).second) << "twice in the table";
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"), std::string::npos);
        ASSERT_NE(s.help, nullptr);
        EXPECT_GT(std::string(s.help).size(), 10u);
        EXPECT_NE(std::string(vornsim::KindName(s.kind)), "?");
        // A value word in the help exactly when the switch takes a value.
        EXPECT_EQ(s.value != nullptr, s.kind != SwitchKind::kNone);
        EXPECT_LE(s.min, s.max);
        if (s.kind == SwitchKind::kNone) {
            EXPECT_EQ(vornsim::SwitchValueRefused(s, ""), "");
        }
        if (s.kind == SwitchKind::kProbability) {
            EXPECT_TRUE(s.min == 0 && s.max == 1);
        }
        // Both ends of the range are taken, and one past either end is not.
        if (s.kind == SwitchKind::kCount || s.kind == SwitchKind::kMilliseconds || s.kind == SwitchKind::kSeconds) {
            EXPECT_EQ(vornsim::SwitchValueRefused(s, std::to_string(s.min)), "");
            EXPECT_EQ(vornsim::SwitchValueRefused(s, std::to_string(s.max)), "");
            EXPECT_NE(vornsim::SwitchValueRefused(s, std::to_string(s.max + 1)), "");
            if (s.min > 0 || s.kind == SwitchKind::kSeconds) {
                EXPECT_NE(vornsim::SwitchValueRefused(s, std::to_string(s.min - 1)), "");
            }
        }
        // A campaign draws only faults, and only values the switch takes.
        if (!s.draw) continue;
        EXPECT_TRUE(s.fault) << "a draw range on a switch no campaign draws";
        std::string low, high;
        ASSERT_TRUE(Range(s.draw, &low, &high)) << s.draw;
        EXPECT_EQ(vornsim::SwitchValueRefused(s, low), "");
        EXPECT_EQ(vornsim::SwitchValueRefused(s, high), "");
        EXPECT_LE(Number(low), Number(high));
    }
    EXPECT_GE(names.size(), 30u);
}

TEST(Switches, TheListingIsOneTabSeparatedLineARow) {
    const std::vector<std::string> lines = Split(vornsim::SwitchListing(), '\n');
    const std::vector<SwitchInfo>& table = vornsim::Switches();
    ASSERT_EQ(lines.size(), table.size());
    size_t faults = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const std::vector<std::string> f = Split(lines[i], '\t');
        ASSERT_EQ(f.size(), 5u);
        EXPECT_EQ(f[0], table[i].name);
        EXPECT_EQ(f[1], vornsim::KindName(table[i].kind));
        std::string low, high;
        if (table[i].kind == SwitchKind::kNone) {
            EXPECT_EQ(f[2], "-");
        } else {
            ASSERT_TRUE(Range(f[2], &low, &high));
            EXPECT_EQ(Number(low), static_cast<double>(table[i].min));
            EXPECT_EQ(Number(high), static_cast<double>(table[i].max));
        }
        EXPECT_EQ(f[3], table[i].fault ? "fault" : "-");
        EXPECT_EQ(f[4], table[i].draw ? table[i].draw : "-");
        faults += table[i].fault;
    }
    // The line faults the fault campaign has always drawn are among them.
    for (const char* fault : {"power-loss-after", "unplug-after", "drop-rate", "corrupt-rate", "bsl-refuse-write",
                              "slow-ms", "echo", "noise-rate", "quiet-after"})
        EXPECT_TRUE(vornsim::FindSwitch(fault) && vornsim::FindSwitch(fault)->fault) << fault;
    EXPECT_GE(faults, 9u);
}

TEST(Switches, FamiliesComeFromTheFamilyTablesAndTheHelpNamesThem) {
    const std::vector<std::string> codes = vornsim::FamilyCodes();
    const std::string help = vornsim::SwitchHelp();
    std::set<std::string> seen;
    for (const std::string& code : codes) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(seen.insert(code).second) << "listed twice";
        EXPECT_NE(vornsim::IsLoggerFamily(code), vornsim::IsLabFamily(code));
        EXPECT_NE(vornsim::FamilyOf(code), UNKNOWN) << "not a catalogue code";
        EXPECT_TRUE(HasWord(help, code)) << "the help's headings do not name it";
    }
    EXPECT_EQ(codes.size(), vornsim::LoggerFamilyCodes().size() + vornsim::LabFamilyCodes().size());
    EXPECT_EQ(codes.front(), vornsim::LoggerFamilyCodes().front());
}

TEST(Switches, MendingTurnsOffEveryFaultAndNothingElse) {
    vornsim::Options options;
    options.portName = "";
    for (const SwitchInfo& s : vornsim::Switches())
        if (s.fault) options.switches[s.name] = SomeValue(s);
    options.switches["serial"] = "RW-1";
    options.switches["battery"] = "40";
    ASSERT_EQ(vornsim::RefusedOptions(options), "");
    auto sim = vornsim::MakeInstrument(options);
    sim->Mend();
    for (const SwitchInfo& s : vornsim::Switches()) {
        if (s.fault) {
            EXPECT_FALSE(sim->options().Has(s.name)) << s.name << " still on after mending";
        }
    }
    EXPECT_TRUE(sim->options().Has("serial"));
    EXPECT_TRUE(sim->options().Has("battery"));
}

struct ProgramCase {
    const char* arguments;              // after the program's name
    int status;
    std::vector<const char*> printed;   // parts of what it prints
};

TEST(Switches, TheProgramRefusesWithStatusTwoAndSaysWhy) {
    const std::string program = std::string("'") + VORNSIM_PROGRAM + "'";
    const std::string comma = std::string("LC_ALL=") + vorn::test::kCommaLocale + " ";
    const ProgramCase cases[] = {
        {"--set drop-rat=0.1", 2, {"vornsim: unknown switch drop-rat;", "drop-rate", "no-record-count"}},
        {"--family XYZ", 2, {"vornsim: unknown family XYZ;", "KT72", "BLI"}},
        {"--family XYZ --list-values", 2, {"unknown family XYZ;", "FIELDPT"}},
        {"--set slow-ms", 2, {"the switch slow-ms needs a value"}},
        {"--set echo=1", 2, {"the switch echo takes no value"}},
        {"--set battery=101 --list-values", 2, {"from 0 to 100"}},
        {"--set drop-rate=0,5 --list-values", 2, {"not a comma"}},
        {"--set drop-rate=0.5 --set serial= --list-values", 0, {"-sn"}},
    };
    for (const bool inComma : {false, true}) {
        for (const ProgramCase& c : cases) {
            const std::string command = (inComma ? comma : std::string()) + program + " " + c.arguments;
            SCOPED_TRACE(command);
            const vorn::test::ProgramRun run = vorn::test::RunCommand(command);
            EXPECT_EQ(run.status, c.status) << run.output;
            for (const char* part : c.printed) EXPECT_NE(run.output.find(part), std::string::npos) << run.output;
        }
    }
    // The listings are the library's, as the scripts read them.
    std::string families;
    for (const std::string& code : vornsim::FamilyCodes()) families += code + "\n";
    const vorn::test::ProgramRun listedFamilies = vorn::test::RunCommand(program + " --list-families");
    EXPECT_EQ(listedFamilies.status, 0);
    EXPECT_EQ(listedFamilies.output, families);
    const vorn::test::ProgramRun listedSwitches = vorn::test::RunCommand(program + " --list-switches");
    EXPECT_EQ(listedSwitches.status, 0);
    EXPECT_EQ(listedSwitches.output, vornsim::SwitchListing());
}

}  // namespace
