// Settings around a firmware update, against the simulated instruments: saved to the
// settings file, the instrument wiped, written back from memory and from the file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "session/SettingsFile.h"
#include "session/Vorn_protocol.h"
#include "common/VornLog.h"
#include "sim/Instrument.h"
#include "sim/LabSim.h"
#include "support/TestSupport.h"
#include "support/ZoneCases.h"

using vorn::test::TempDir;

namespace {

struct Held {
    std::map<std::string, std::string> settings;
    std::map<std::string, std::vector<std::string>> records;
    bool operator==(const Held&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Held& h) {
    for (const auto& [k, v] : h.settings) out << k << "=" << v << "; ";
    for (const auto& [k, list] : h.records) {
        out << k << ":";
        for (const auto& r : list) out << " [" << r << "]";
        out << "; ";
    }
    return out;
}

Held Snapshot(vornsim::Simulator& sim) {
    return sim.WithState([](vornsim::InstrumentState& s) {
        Held h{s.settings, s.records};
        // Empty lists are no records.
        for (auto it = h.records.begin(); it != h.records.end();)
            it = it->second.empty() ? h.records.erase(it) : std::next(it);
        return h;
    });
}

void Wipe(vornsim::Simulator& sim) {
    sim.WithState([](vornsim::InstrumentState& s) { s.WipeForUpdate(); });
}

// A firmware update as a logger lives through it: the serial number of a logger with a
// device ID stays with the ID (the updater never writes it), and the build info is the new
// firmware's own.
void UpdateLogger(vornsim::Simulator& sim, const Held& before) {
    sim.WithState([&](vornsim::InstrumentState& s) {
        s.WipeForUpdate();
        if (before.settings.count("-devid")) s.settings["-sn"] = before.settings.at("-sn");
        if (before.settings.count("-build")) s.settings["-build"] = "B999-NEW";
    });
}

// The keys of a settings file's lines, in order, after its header.
std::vector<std::string> FileKeys(const std::string& text) {
    std::vector<std::string> keys;
    const std::string header = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";
    if (text.rfind(header, 0) != 0) return {"<no header>"};
    size_t pos = header.size();
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) return {"<line without CR LF>"};
        std::string line = text.substr(pos, end - pos);
        keys.push_back(line.substr(0, line.find('=')));
        pos = end + 2;
    }
    return keys;
}

// The lab layout's 23 fixed lines.
const std::vector<std::string> kLabLines = {"type",  "name",   "sn",     "lang",     "VornBuild", "contr",  "config", "fvals",
                                            "uvals", "units",  "adc",    "adccal",   "calprefs",  "PCUnits", "sample", "adc15",
                                            "adc30", "location", "chai", "extCal",   "tadj",      "tau",    "hadj"};

std::vector<std::string> LoggerLines(bool adc, bool build) {
    std::vector<std::string> lines = {"type", "deviceid", "name", "sn", "trait", "wake", "padc", "ports", "depth"};
    if (adc) lines.insert(lines.end(), {"ADC15 slopes", "ADC15 offsets", "ADC30 slopes", "ADC30 offsets"});
    lines.insert(lines.end(), {"rmode", "rch", "rsch", "data", "site", "lat", "lon", "timezone", "report", "apn", "user",
                               "passwd", "host", "authkey", "ipport"});
    if (build) lines.push_back("VornBuild");
    lines.insert(lines.end(), {"valid", "savedsn", "savedport", "savedat"});
    return lines;
}

struct Case {
    const char* family;
    uint32_t version;
    std::vector<std::string> lines;  // keys of the settings file, in order
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.family << " " << c.version; }

std::vector<std::string> Lab(std::vector<std::string> more = {}) {
    std::vector<std::string> lines = kLabLines;
    lines.insert(lines.end(), more.begin(), more.end());
    lines.insert(lines.end(), {"valid", "savedsn", "savedport", "savedat"});
    return lines;
}

const std::vector<std::string> kRecordLines = {"user00", "user01", "user02", "eqn00", "eqn01", "eqn02"};

class SettingsRoundTrip : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        vornsim::Options options;
        options.family = GetParam().family;
        options.version = GetParam().version;
        options.portName = "";
        sim = vornsim::MakeInstrument(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    void TearDown() override {
        if (sim) sim->Stop();
        if (HasFailure()) std::cout << vorn::test::ReadFile(dir.File("log.txt"));
    }
    // Connects (logging in where the family wants it); the profile it found.
    DeviceProfile Connect(Vorn_protocol& session, bool login) {
        DeviceProfile profile;
        EXPECT_GE(session.VPConnect(sim->SlavePath(), 2, 3, &profile), 0);
        if (login && profile.loginBeforeSettings) {
            EXPECT_GT(session.VPLogin(), 0);
        }
        return profile;
    }

    TempDir dir;
    VornLog log{dir.File("log.txt"), VornLog::kDetails};
    std::unique_ptr<vornsim::Simulator> sim;
};

TEST_P(SettingsRoundTrip, InstrumentHoldsWhatItHeldAfterRestoreFromMemoryAndFromTheFile) {
    const std::string path = dir.File("device.settings.txt");
    const bool logger = GetParam().lines.at(1) == "deviceid";
    Held before;
    {
        Vorn_protocol session(&log);
        Connect(session, true);
        const std::time_t saving = std::time(nullptr);
        ASSERT_EQ(session.VPSaveInfo(path), 1);
        before = Snapshot(*sim);
        ASSERT_FALSE(before.settings.empty());
        const std::string text = vorn::test::ReadFile(path);
        EXPECT_EQ(FileKeys(text), GetParam().lines);
        // Whose, where and when: the serial number the file holds, the port, the time now.
        const vorn::settingsfile::SavedOrigin origin = vorn::settingsfile::ReadOrigin(text);
        std::string sn;
        vorn::settingsfile::ReadText(text, "sn", 64, &sn);
        EXPECT_EQ(origin.serialNumber, sn);
        EXPECT_EQ(origin.port, sim->SlavePath());
        ASSERT_TRUE(origin.savedAt.has_value());
        EXPECT_GE(*origin.savedAt, saving);
        EXPECT_LE(*origin.savedAt, std::time(nullptr));

        session.VPLogout(false);
        if (logger) {
            UpdateLogger(*sim, before);
            // Only a Kt7r saves its build info, and so brings the old one back.
            if (GetParam().family != std::string("KT7R") && before.settings.count("-build"))
                before.settings["-build"] = "B999-NEW";
        } else {
            Wipe(*sim);
        }
        // The instrument keeps its login: only its memory is wiped here.
        Connect(session, false);
        EXPECT_GE(session.VPRestoreInfo(path, nullptr), 0);
        EXPECT_EQ(Snapshot(*sim), before) << "restored from memory";
        session.VPLogout(false);
    }
    if (logger)
        UpdateLogger(*sim, before);
    else
        Wipe(*sim);
    Vorn_protocol later(&log);
    Connect(later, false);
    EXPECT_GE(later.VPRestoreInfo(path, nullptr), 0);
    EXPECT_EQ(Snapshot(*sim), before) << "restored from the file";
}

INSTANTIATE_TEST_SUITE_P(
    LabInstruments, SettingsRoundTrip,
    ::testing::Values(Case{"RW", 102, Lab({"cal00", "cal01", "cal02"})}, Case{"HN9", 205, Lab(kRecordLines)},
                      Case{"HN9", 203, Lab(kRecordLines)}, Case{"HN9OPX", 102, Lab(kRecordLines)},
                      Case{"KSR", 102, Lab({"eqn00", "eqn01", "eqn02"})}, Case{"CF22", 150, Lab()},
                      Case{"CF22", 201, Lab()}, Case{"TL", 102, Lab()}, Case{"VM", 102, Lab()},
                      Case{"SWXR", 102, Lab({"sys", "wtoffset", "wtfactory", "p1offset", "autosec"})},
                      Case{"H7S", 351, Lab()}, Case{"GLX", 102, Lab()}, Case{"HMINI", 118, Lab()},
                      Case{"PTX9", 102, Lab()}, Case{"HBA", 102, Lab()}, Case{"FIELDPT", 102, Lab()},
                      Case{"BLI", 102, Lab()}),
    [](const auto& info) { return std::string(info.param.family) + std::to_string(info.param.version); });

INSTANTIATE_TEST_SUITE_P(Loggers, SettingsRoundTrip,
                         ::testing::Values(Case{"KT72", 204, LoggerLines(true, false)},
                                           Case{"ZQ8", 102, LoggerLines(true, false)},
                                           Case{"MYR", 102, LoggerLines(true, false)},
                                           Case{"KT7R", 204, LoggerLines(false, true)},
                                           Case{"QV", 109, LoggerLines(false, false)}),
                         [](const auto& info) { return std::string(info.param.family) + std::to_string(info.param.version); });

// ---------------------------------------------------------------- single behaviours

class SimulatedInstrument : public ::testing::Test {
protected:
    void Start(const char* family, uint32_t version, std::map<std::string, std::string> switches = {}) {
        vornsim::Options options;
        options.family = family;
        options.version = version;
        options.portName = "";
        options.switches = std::move(switches);
        sim = vornsim::MakeInstrument(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
        ASSERT_GE(session.VPConnect(sim->SlavePath(), 2, 3, &profile), 0);
    }
    void TearDown() override {
        session.VPLogout(false);
        if (sim) sim->Stop();
    }
    std::string Setting(const std::string& key) {
        return sim->WithState([&](vornsim::InstrumentState& s) { return s.settings[key]; });
    }

    TempDir dir;
    VornLog log{dir.File("log.txt"), VornLog::kDetails};
    std::unique_ptr<vornsim::Simulator> sim;
    Vorn_protocol session{&log};
    DeviceProfile profile;
};

// A logger with a device ID kept its serial number through an update, so the restore
// leaves it alone; but one whose serial number did not survive gets its own back, and a
// new one asked for is written.
TEST_F(SimulatedInstrument, LoggerWithADeviceIdGetsItsSerialNumberBackOrTheNewOne) {
    Start("KT72", 204);
    const std::string path = dir.File("kt72.txt");
    ASSERT_EQ(session.VPSaveInfo(path), 1);
    const std::string serial = Setting("-sn");
    ASSERT_FALSE(serial.empty());
    struct Case {
        const char* kept;       // the serial number the unit holds after its update
        const char* requested;  // a new one asked for, or none
        std::string expected;
    };
    for (const Case& c : {Case{"same", nullptr, serial}, Case{"", nullptr, serial}, Case{"VL-9999999", nullptr, serial},
                          Case{"same", "NEW-0001", "NEW-0001"}}) {
        Wipe(*sim);
        sim->WithState([&](vornsim::InstrumentState& s) {
            if (std::string(c.kept) == "same")
                s.settings["-sn"] = serial;
            else if (*c.kept)
                s.settings["-sn"] = c.kept;
        });
        const std::string requested = c.requested ? c.requested : "";
        EXPECT_GE(session.VPRestoreInfo(path, c.requested ? &requested : nullptr), 0) << c.kept;
        EXPECT_EQ(Setting("-sn"), c.expected) << c.kept;
        EXPECT_FALSE(Setting("-devid").empty());
    }
}

TEST_F(SimulatedInstrument, LoggerWithoutADeviceIdTakesTheNewSerialNumber) {
    Start("QV", 109);
    ASSERT_EQ(session.VPSaveInfo(dir.File("qv.txt")), 1);
    Wipe(*sim);
    const std::string newSerial = "QV-NEW-7";
    EXPECT_GE(session.VPRestoreInfo(dir.File("qv.txt"), &newSerial), 0);
    EXPECT_EQ(Setting("-sn"), "QV-NEW-7");
}

TEST_F(SimulatedInstrument, UninitialisedLoggerSavesNothing) {
    Start("KT72", 204, {{"uninitialised", ""}});
    EXPECT_EQ(session.VPSaveInfo(dir.File("kt72.txt")), -36);
    EXPECT_FALSE(session.SettingsSaved());
}

TEST_F(SimulatedInstrument, Hn9SaveSetsTheSensorTypeAndANewSerialNumberMovesTheChecksum) {
    Start("HN9", 205);
    ASSERT_GT(session.VPLogin(), 0);
    ASSERT_EQ(session.VPSaveInfo(dir.File("hn9.txt")), 1);
    EXPECT_EQ(sim->WithState([](vornsim::InstrumentState& s) { return s.labSensorType; }), "0");
    const std::string oldSerial = Setting("-sn");
    const long oldConfig = std::stol(Setting("-config"));
    Wipe(*sim);
    const std::string newSerial = "H9-00418";  // last character one higher
    EXPECT_EQ(session.VPRestoreInfo(dir.File("hn9.txt"), &newSerial), 1);
    EXPECT_EQ(Setting("-sn"), newSerial);
    EXPECT_EQ(std::stol(Setting("-config")), oldConfig + 1) << oldSerial;
}

TEST_F(SimulatedInstrument, LoginFamilyRefusesValuesBeforeTheLogin) {
    Start("H7S", 351);
    EXPECT_LT(session.GetInstInfo(0xC00), 0);
    EXPECT_EQ(session.Instrument().valid, 0u);
    ASSERT_GT(session.VPLogin(), 0);
    EXPECT_EQ(session.GetInstInfo(0xC00), 1);
    EXPECT_EQ(session.Instrument().config, "17");
}

TEST_F(SimulatedInstrument, RevisionBatteryFirmwareCheckAndEraseSwitches) {
    Start("TL", 102, {{"hver", "B"}, {"low-battery", ""}, {"code-corrupt", ""}, {"dataflash-fail", ""}});
    std::string answer;
    ASSERT_GT(session.Connection().DeviceCommand("get -hver\r", '>', 1100, &answer, 32), 0);
    EXPECT_EQ(answer, "\rB\r>");
    int32_t percent = 0;
    EXPECT_EQ(session.VPCheckBattery(&percent), 1);
    EXPECT_EQ(percent, vornsim::kLowBattery);
    EXPECT_EQ(session.VPCheckFirmware(false), -1);
    EXPECT_EQ(session.VPEraseData(), -65);
}

TEST_F(SimulatedInstrument, DefaultsAreARevisionCInstrumentWithGoodCodeAndErasableData) {
    Start("RW", 102);
    std::string answer;
    ASSERT_GT(session.Connection().DeviceCommand("get -hver\r", '>', 1100, &answer, 32), 0);
    EXPECT_EQ(answer, "\rC\r>");
    EXPECT_EQ(session.VPCheckFirmware(true), 1);
    EXPECT_EQ(session.VPEraseData(), 1);
    EXPECT_EQ(sim->WithState([](vornsim::InstrumentState& s) { return s.dataRecords; }), 0);
    EXPECT_GT(session.VPSetTime(), 0);  // through the library: "set -sec" for a Readwell
}

// The clock an update sets, against the instrument's own reading of the host's wall clock.
// An offset taken as "standard time plus an hour in summer" is off in Dublin and on Lord
// Howe Island from October to March, and in Troll from March to October.
TEST_F(SimulatedInstrument, ClockSetAfterAnUpdateIsTheHostsLocalTime) {
    const std::pair<const char*, uint32_t> devices[] = {{"RW", 102}, {"TL", 102}, {"KT72", 204}};
    for (const char* zone : {"Europe/Dublin", "Australia/Lord_Howe", "Antarctica/Troll"}) {
        if (!vorn::test::HaveZone(zone)) continue;
        vorn::test::EnvScope tz("TZ", zone);
        for (const auto& [family, version] : devices) {
            SCOPED_TRACE(std::string(family) + " in " + zone);
            Start(family, version);
            EXPECT_GT(session.VPSetTime(), 0);
            const long long offset = sim->WithState([](vornsim::InstrumentState& s) { return s.clockOffsetSeconds; });
            EXPECT_LE(std::llabs(offset), 2);
            TearDown();
        }
    }
}

TEST_F(SimulatedInstrument, RestoreSortsRecordsTheInstrumentHeldUnsorted) {
    Start("KSR", 102);
    sim->WithState([](vornsim::InstrumentState& s) {
        auto& eqn = s.records["eqn"];
        std::reverse(eqn.begin(), eqn.end());
    });
    ASSERT_EQ(session.VPSaveInfo(dir.File("ksr.txt")), 1);
    Wipe(*sim);
    EXPECT_EQ(session.VPRestoreInfo(dir.File("ksr.txt"), nullptr), 1);
    std::vector<std::string> eqn = sim->WithState([](vornsim::InstrumentState& s) { return s.records["eqn"]; });
    ASSERT_EQ(eqn.size(), 3u);
    EXPECT_EQ(eqn[0], vornsim::EncodeBase64("1\t0\t2\tAmmonia\t0.5*x+1"));
    EXPECT_EQ(eqn[2], vornsim::EncodeBase64("1\t0\t2\tPhosphate\t2*x"));
}

}  // namespace

// A value with a line end or another control character would end its command early and
// run the rest as a command of its own ("boot ZELK" starts the loader mid-restore).
// Whatever the value's source, the device's answers (refused as damaged when read), the
// settings file (cut at the line break when read) or the user's new serial number
// (refused by the command channel), such a command never reaches the wire, on the logger
// and lab paths alike.
TEST_F(SimulatedInstrument, NoValueSmugglesACommandOntoTheWire) {
    struct Case {
        const char* family;
        uint32_t version;
        const char* poisonedKey;   // the device's own value, or empty
        const char* fileKey;       // a settings-file line whose value is replaced, or empty
        std::string newSerial;     // the user's, or empty
    };
    const std::string smuggled = "X\rboot ZELK";
    const Case cases[] = {
        {"KT72", 204, "-site", "", ""},   // logger: a device answer
        {"QV", 109, "", "name", ""},      // logger: the settings file
        {"QV", 109, "", "", smuggled},     // logger: the new serial number
        {"HN9", 205, "-tadj", "", ""},    // lab: a device answer
        {"HN9", 205, "", "name", ""},     // lab: the settings file
        {"HN9", 205, "", "", smuggled},    // lab: the new serial number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + c.poisonedKey + c.fileKey + (c.newSerial.empty() ? "" : "serial"));
        TearDown();
        Start(c.family, c.version);
        if (*c.poisonedKey)
            sim->WithState([&](vornsim::InstrumentState& s) { s.settings[c.poisonedKey] = "Ridge\x1b[2Jboot ZELK"; });
        if (profile.loginBeforeSettings) {
            ASSERT_GT(session.VPLogin(), 0);
        }
        const std::string path = dir.File("settings.txt");
        const int32_t saved = session.VPSaveInfo(path);
        // A device value with a control character in it is damaged text: it is not kept.
        if (*c.poisonedKey) {
            EXPECT_EQ(vorn::test::ReadFile(path).find("boot ZELK"), std::string::npos);
        } else {
            ASSERT_EQ(saved, 1);
        }
        if (*c.fileKey) {
            std::string text = vorn::test::ReadFile(path);
            const std::string key = std::string(c.fileKey) + "=\"";
            const size_t at = text.find(key);
            ASSERT_NE(at, std::string::npos);
            text.insert(at + key.size(), smuggled);
            vorn::test::WriteFile(path, text);
            session.ClearSavedSettings();  // restored from the file, as after an interrupted update
        }
        Wipe(*sim);
        sim->ClearTranscript();
        const size_t logBefore = vorn::test::ReadFile(dir.File("log.txt")).size();
        // Whether it reports a failure or not, what counts is what reached the instrument.
        (void)session.VPRestoreInfo(path, c.newSerial.empty() ? nullptr : &c.newSerial);
        const std::string logged = vorn::test::ReadFile(dir.File("log.txt")).substr(logBefore);
        EXPECT_EQ(sim->HostTranscript().find("boot ZELK"), std::string::npos);
        EXPECT_EQ(sim->HostTranscript().find('\x1b'), std::string::npos);
        // The file's reader ends a value at its line break; the user's serial number is
        // refused whole by the command channel.
        if (!c.newSerial.empty()) {
            EXPECT_NE(logged.find("refused to send a command with a control character"), std::string::npos) << logged;
        }
    }
}
