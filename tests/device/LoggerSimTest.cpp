// The device command library against the simulated loggers (vornsim, in-process).
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "device/MOSSY_Protocol.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "sim/Instrument.h"
#include "support/LocaleScope.h"
#include "support/TestSupport.h"

using namespace vorn::protocol;
using enum vorn::protocol::Direction;
using vorn::test::kCommaLocale;
using vorn::test::LocaleScope;
using vorn::test::ReadFile;
using vorn::test::TempDir;

namespace {

using Settings = std::map<std::string, std::string>;

struct SimRig {
    SimRig(const std::string& family, uint32_t version, std::map<std::string, std::string> switches = {},
           uint32_t tries = 3)
        : log(dir.File("log.txt"), VornLog::kDetails), proto(&log) {
        vornsim::Options options;
        options.family = family;
        options.version = version;
        options.portName = "";
        options.switches = std::move(switches);
        sim = vornsim::MakeInstrument(options);
        started = sim->Start();
        ConnectOptions o;
        o.serialTries = tries;
        o.radioTries = tries;
        proto.Options(&o, kSet);
    }
    int32_t Connect(uint8_t type = kConnectionSerial, uint8_t baudCode = kBaudCode9600, const std::string& name = "") {
        request.portName = sim->SlavePath();
        request.connectionType = type;
        request.baudCode = baudCode;
        request.deviceName = name;
        return proto.Connect(&request);
    }
    Settings SimSettings() {
        return sim->WithState([](vornsim::InstrumentState& s) { return s.settings; });
    }
    bool Logged(const std::string& text) { return ReadFile(dir.File("log.txt")).find(text) != std::string::npos; }
    int Sent(const std::string& line) {
        std::string t = sim->HostTranscript();
        int n = 0;
        for (size_t at = t.find(line); at != std::string::npos; at = t.find(line, at + 1)) ++n;
        return n;
    }

    TempDir dir;
    VornLog log;
    std::unique_ptr<vornsim::Simulator> sim;
    MOSSY_Protocol proto;
    ConnectRequest request;
    bool started = false;
};

struct FamilyCase {
    const char* family;
    uint32_t version;
    const char* extraSwitch;  // "" for none
    uint8_t type;
    const char* typeName;
    int32_t version100;
    uint32_t saveMask;        // what the updater saves for the family
};

const FamilyCase kFamilies[] = {
    {"KT72", 204, "", LT_KT72, "Kt72", 204, 0xFFFFFFF},
    {"ZQ8", 110, "", LT_ZQ8, "zQ8", 110, 0x7FFEFFF},
    {"MYR", 120, "", LT_MYR, "MYR4", 120, 0x7FFEFFF},
    {"KT7R", 204, "", LT_KT7R, "Kt7r", 204, 0x8000077},
    {"QV", 110, "", LT_QV, "Quillon", 110, 0xD07},
    {"KT7", 150, "new-firmware", LT_KT7, "Kt7", 150, 0x1E57},
    {"KT7", 170, "", LT_KT7, "Kt7", 170, 0x255},
    {"KT7", 112, "", LT_KT7, "Kt7", 112, 0x215},
};

}  // namespace

class FamilyRoundTrip : public testing::TestWithParam<FamilyCase> {};

TEST_P(FamilyRoundTrip, IdentifiesAndRestoresEverySettingIntoAWipedLogger) {
    const FamilyCase& c = GetParam();
    std::map<std::string, std::string> switches;
    if (*c.extraSwitch) switches[c.extraSwitch] = "";
    SimRig rig(c.family, c.version, switches);
    ASSERT_TRUE(rig.started);
    ASSERT_EQ(rig.Connect(), 1);
    EXPECT_TRUE(rig.proto.Connected());
    EXPECT_EQ(rig.proto.Info().type, c.type);
    EXPECT_EQ(rig.proto.Info().typeName, c.typeName);

    DeviceInfo saved;
    uint32_t mask = c.saveMask;
    int32_t status = rig.proto.DeviceSettings(&saved, &mask, kGet);
    EXPECT_GT(status == vorn::kPartlyDone ? 1 : status, 0) << status;
    EXPECT_EQ(saved.version, c.version100);
    EXPECT_EQ(saved.deviceName, "FIELD01");
    EXPECT_TRUE(mask & setting::kName);
    const Settings before = rig.SimSettings();
    ASSERT_FALSE(before.empty());

    rig.sim->WithState([](vornsim::InstrumentState& s) { s.WipeForUpdate(); });
    ASSERT_TRUE(rig.SimSettings().empty());
    uint32_t restore = mask & c.saveMask;
    EXPECT_EQ(rig.proto.DeviceSettings(&saved, &restore, kSet), 1);
    Settings after = rig.SimSettings();
    EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(Loggers, FamilyRoundTrip, testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<FamilyCase>& info) {
                             return std::string(info.param.family) + (*info.param.extraSwitch ? "new" : "") +
                                    std::to_string(info.param.version);
                         });

// A restore writes only what a file holds: a value the logger refuses to take (its firmware
// lacks the command, a set whose answer has no "OK") did not go back, and says so.
TEST(LoggerSim, ARestoreTheLoggerRefusesInPartIsPartlyDoneAndNamesWhatDidNotGoBack) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> switches;
        bool withoutSiteCommands;
        uint32_t refused;
    };
    const Case cases[] = {
        {"a set answered ERROR", {{"refuse-set", "-rch"}}, false, setting::kRadioChannel},
        {"a firmware without the site commands", {}, true, setting::kSite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimRig rig("KT72", 210, c.switches);
        ASSERT_EQ(rig.Connect(), 1);
        DeviceInfo saved;
        uint32_t mask = 0xFFFFFFF;
        ASSERT_EQ(rig.proto.DeviceSettings(&saved, &mask, kGet), 1);
        rig.sim->WithState([](vornsim::InstrumentState& s) { s.WipeForUpdate(); });
        if (c.withoutSiteCommands) saved.capabilities &= ~vorn::protocol::capability::kSiteSettings;
        uint32_t restore = mask & (setting::kName | setting::kSite | setting::kRadioChannel | setting::kWake);
        const uint32_t written = restore;
        EXPECT_EQ(rig.proto.DeviceSettings(&saved, &restore, kSet), vorn::kPartlyDone);
        EXPECT_EQ(written & ~restore, c.refused);
        EXPECT_EQ(rig.SimSettings().at("-i"), "FIELD01");
    }
}

TEST(LoggerSim, Kt72ReadsEveryValueItsCapabilitiesAllow) {
    SimRig rig("KT72", 204);
    ASSERT_EQ(rig.Connect(), 1);
    DeviceInfo info;
    uint32_t mask = 0xFFFFFFF;
    ASSERT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), 1);
    EXPECT_EQ(mask, 0xFFFFFFFu);
    EXPECT_EQ(info.trait, 0x4009u);
    EXPECT_EQ(info.site, "North Ridge Plot 4");
    EXPECT_DOUBLE_EQ(info.latitude, 46.72);
    EXPECT_EQ(info.timeZone, -32);
    EXPECT_EQ(info.depths, (DeviceInfo::Bytes5{10, 20, 30, 40, 50}));
    EXPECT_EQ(info.adc30Slopes, (DeviceInfo::Bytes5{120, 121, 122, 123, 124}));
    EXPECT_EQ(info.radioChannel, 3);
    EXPECT_EQ(info.radioSubchannel, 0x3332);
    EXPECT_EQ(info.radioVersion, "1084");
    EXPECT_EQ(info.authKey, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(info.ipPort, 5001);
    EXPECT_EQ(rig.proto.Info().valid, 0xFFFFFFFu);
}

// The window runs with the user's C library locale; coordinates keep "." on the wire, in
// the log and when read back.
TEST(LoggerSim, CoordinatesRoundTripWhateverTheDecimalSign) {
    struct Case {
        const char* locale;  // null: the process's own
        double latitude;
        double longitude;
        const char* latitudeLine;
        const char* longitudeLine;
    };
    const Case cases[] = {
        {nullptr, 46.72, -117.015, "set -lat +46.72000\r", "set -long -117.01500\r"},
        {kCommaLocale, 46.72, -117.015, "set -lat +46.72000\r", "set -long -117.01500\r"},
        {kCommaLocale, -0.5, 12.25, "set -lat -0.50000\r", "set -long +12.25000\r"},
    };
    for (const Case& c : cases) {
        LocaleScope locale(c.locale);  // before the simulator's thread starts
        ASSERT_TRUE(locale.Active());
        SCOPED_TRACE(locale.Name() + " " + c.latitudeLine);
        SimRig rig("KT72", 204);
        ASSERT_EQ(rig.Connect(), 1);

        double latitude = 0, longitude = 0;  // as the logger left the factory
        ASSERT_EQ(rig.proto.LatitudeCommand(&latitude, kGet), 1);
        ASSERT_EQ(rig.proto.LongitudeCommand(&longitude, kGet), 1);
        EXPECT_DOUBLE_EQ(latitude, 46.72);
        EXPECT_DOUBLE_EQ(longitude, -117.015);
        EXPECT_TRUE(rig.Logged("LatitudeCommand found device latitude +46.72000"));

        latitude = c.latitude;
        longitude = c.longitude;
        ASSERT_EQ(rig.proto.LatitudeCommand(&latitude, kSet), 1);
        ASSERT_EQ(rig.proto.LongitudeCommand(&longitude, kSet), 1);
        EXPECT_EQ(rig.Sent(c.latitudeLine), 1);
        EXPECT_EQ(rig.Sent(c.longitudeLine), 1);

        double readLatitude = 0, readLongitude = 0;
        ASSERT_EQ(rig.proto.LatitudeCommand(&readLatitude, kGet), 1);
        ASSERT_EQ(rig.proto.LongitudeCommand(&readLongitude, kGet), 1);
        EXPECT_DOUBLE_EQ(readLatitude, c.latitude);
        EXPECT_DOUBLE_EQ(readLongitude, c.longitude);
    }
}

TEST(LoggerSim, OldKt7BelowVersion110IsRefused) {
    SimRig rig("KT7", 109);
    ASSERT_EQ(rig.Connect(), 1);  // identified as old firmware, "show" not read yet
    DeviceInfo info;
    uint32_t mask = setting::kName;
    EXPECT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), vorn::kNotApplicable);
    EXPECT_TRUE(info.deviceName.empty());
}

TEST(LoggerSim, UninitialisedLoggerAnswersAnEmptyName) {
    SimRig rig("KT72", 204, {{"uninitialised", ""}});
    ASSERT_EQ(rig.Connect(), 1);
    DeviceInfo info;
    uint32_t mask = setting::kName | setting::kSite;
    EXPECT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), kNameEmpty);
    EXPECT_EQ(mask, setting::kVersion);
}

TEST(LoggerSim, ClockInTextAndSecondsForms) {
    const std::pair<const char*, uint32_t> devices[] = {{"KT72", 204}, {"KT7", 150}, {"RW", 102}};
    for (const auto& [family, version] : devices) {
        SimRig rig(family, version);
        ASSERT_EQ(rig.Connect(), 1) << family;
        const VornSeconds wanted = 446992200;  // 2014-03-01 12:30:00
        VornSeconds value = wanted;
        ASSERT_EQ(rig.proto.DeviceTime(&value, kSet), 1) << family;
        VornSeconds read = 0;
        ASSERT_EQ(rig.proto.DeviceTime(&read, kGet), 1) << family;
        EXPECT_GE(read, wanted) << family;
        EXPECT_LE(read, wanted + 2) << family;
        const bool seconds = std::string(family) == "RW";
        EXPECT_EQ(rig.Sent("set -sec 446992200\r"), seconds ? 1 : 0) << family;
        EXPECT_EQ(rig.Sent("set -t 12:30:0\r"), seconds ? 0 : 1) << family;
        EXPECT_EQ(rig.Sent("set -d 2014-3-1\r"), seconds ? 0 : 1) << family;

        value = 0;  // now
        ASSERT_EQ(rig.proto.DeviceTime(&value, kSet), 1);
        const long long offset = rig.sim->WithState([](vornsim::InstrumentState& s) { return s.clockOffsetSeconds; });
        EXPECT_LE(std::llabs(offset), 2) << family;
    }
}

TEST(LoggerSim, EraseChecksTheNameFirst) {
    for (const auto& [family, version] : {std::pair<const char*, uint32_t>{"KT72", 204}, {"KT7", 150}}) {
        SimRig rig(family, version);
        ASSERT_EQ(rig.Connect(), 1);
        DeviceInfo info;
        uint32_t mask = setting::kName;
        ASSERT_GT(rig.proto.DeviceSettings(&info, &mask, kGet), 0);
        rig.sim->WithState([](vornsim::InstrumentState& s) { s.dataRecords = 50; });
        EXPECT_EQ(rig.proto.EraseData(), 1) << family;
        EXPECT_EQ(rig.sim->WithState([](vornsim::InstrumentState& s) { return s.dataRecords; }), 0);

        rig.sim->WithState([](vornsim::InstrumentState& s) {
            s.settings["-i"] = "RENAMED";
            s.dataRecords = 50;
        });
        rig.sim->ClearTranscript();
        EXPECT_EQ(rig.proto.EraseData(), kIdentityMismatch) << family;
        EXPECT_EQ(rig.Sent("yes\r"), 0);
        EXPECT_EQ(rig.sim->WithState([](vornsim::InstrumentState& s) { return s.dataRecords; }), 50);
    }
}

TEST(LoggerSim, BaudChangeSwitchesBothEnds) {
    SimRig rig("KT72", 204, {{"baud-silent", ""}}, 1);
    ASSERT_EQ(rig.Connect(), 1);
    EXPECT_EQ(rig.proto.SetBaudCommand(9600), 1);  // switched without a word: success for 9600
    rig.proto.DisconnectDevice();

    SimRig fast("KT72", 204);
    ASSERT_EQ(fast.Connect(kConnectionSerial, 4), 1);
    EXPECT_EQ(fast.request.baudCode, 4);
    EXPECT_EQ(fast.proto.Baud(), 38400u);
    uint32_t line = 0;
    fast.sim->Call([&](vornsim::Simulator& s) { line = s.LineBaud(); });
    EXPECT_EQ(line, 38400u);
    std::string name;
    EXPECT_EQ(fast.proto.NameCommand(&name, kGet), 1);
    EXPECT_EQ(name, "FIELD01");

    // A host that does not follow hears garbage.
    ASSERT_EQ(fast.proto.VSHostBaud(9600), 1);
    name.clear();
    EXPECT_LT(fast.proto.DeviceCommand("get -i\r", '>', 200, &name, 32), 0);
    ASSERT_EQ(fast.proto.VSHostBaud(38400), 1);

    EXPECT_EQ(fast.proto.DisconnectDevice(), 1);
    EXPECT_FALSE(fast.proto.Connected());
    fast.sim->Call([&](vornsim::Simulator& s) { line = s.LineBaud(); });
    EXPECT_EQ(line, 9600u);
}

TEST(LoggerSim, SilenceInTheMiddleOfAGetLogsInAgainAndRereadsTheSetting) {
    // Lines: "get -ver" (login), "get -i", then "get -site" goes unanswered once.
    SimRig rig("KT72", 204, {{"quiet-after", "2"}, {"quiet-lines", "1"}}, 1);
    ASSERT_EQ(rig.Connect(), 1);
    DeviceInfo info;
    uint32_t mask = setting::kName | setting::kSite | setting::kWake;
    EXPECT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), 1);
    EXPECT_EQ(mask, setting::kVersion | setting::kName | setting::kSite | setting::kWake);
    EXPECT_EQ(info.site, "North Ridge Plot 4");
    EXPECT_EQ(rig.Sent("get -site\r"), 2);
    EXPECT_EQ(rig.Sent("get -ver\r"), 2);
    EXPECT_TRUE(rig.Logged("- ******: DeviceSettings re-connected to device"));
}

TEST(LoggerSim, RadioQueryLoginSettingsAndLogout) {
    SimRig rig("KT72", 204, {{"radio", ""}});
    ASSERT_EQ(rig.Connect(kConnectionRadio), 1);
    EXPECT_EQ(rig.request.deviceName, "FIELD01");
    EXPECT_EQ(rig.proto.Tries(), 3u);
    EXPECT_TRUE(rig.Logged("QueryCommand heard from: FIELD01"));

    DeviceInfo info;
    uint32_t mask = setting::kName | setting::kWake | setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), 1);
    EXPECT_EQ(info.version, 204);
    EXPECT_EQ(info.measurementInterval, 60);
    EXPECT_EQ(info.trait, 0x4009u);  // native command, over the air
    EXPECT_EQ(info.radioChannel, 3);  // asked from the host's modem
    EXPECT_EQ(info.radioSubchannel, 0x3332);
    EXPECT_EQ(rig.Sent("ATHP\r"), 1);
    EXPECT_EQ(rig.Sent("get -rch\r"), 0);

    int32_t channel = 1;
    uint32_t setMask = setting::kRadioChannel;
    EXPECT_EQ(rig.proto.MSRadioCommand(&channel, nullptr, nullptr, kSet, &setMask), kRefusedNow);

    EXPECT_EQ(rig.proto.DisconnectDevice(), 1);
    EXPECT_EQ(rig.sim->WithState([](vornsim::InstrumentState& s) { return s.radioLink; }), 0);
    EXPECT_TRUE(rig.Logged("DisconnectDevice successful"));
}

TEST(LoggerSim, RadioWithKnownChannelsConfiguresTheModemFirst) {
    SimRig rig("KT72", 204, {{"radio", ""}});
    rig.request.radioKnown = true;
    rig.request.radioChannel = 3;
    rig.request.radioSubchannel = 0x3332;
    ASSERT_EQ(rig.Connect(kConnectionRadio, kBaudCode9600, "FIELD01"), 1);
    EXPECT_EQ(rig.Sent("+++"), 1);
    EXPECT_EQ(rig.Sent("ATHP3\r"), 1);
    EXPECT_EQ(rig.Sent("ATDT3332\r"), 1);
    EXPECT_EQ(rig.Sent("ATWR\r"), 1);
    EXPECT_EQ(rig.Sent("query"), 0);  // the name was given
    DeviceInfo info;
    uint32_t identify = 0;
    ASSERT_EQ(rig.proto.DeviceSettings(&info, &identify, kGet), 1);
    int32_t channel = 0, subchannel = 0;
    uint32_t mask = setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_EQ(rig.proto.MSRadioCommand(&channel, &subchannel, nullptr, kGet, &mask), 1);
    EXPECT_EQ(channel, 3);
    EXPECT_TRUE(rig.Logged("MSRadioCommand knows the RCH is 3 and RSCH is 13106 (can't get RVER)"));
}

TEST(LoggerSim, RelayOverTheRadioGivesMinus33) {
    SimRig rig("KT72", 204, {{"radio", ""}, {"echo", ""}});
    EXPECT_EQ(rig.Connect(kConnectionRadio), vorn::kRelayActive);
    EXPECT_FALSE(rig.proto.IsOpen());
}

TEST(LoggerSim, OldKt7ReachesItsRadioModuleThroughTerm) {
    SimRig rig("KT7", 150);
    ASSERT_EQ(rig.Connect(), 1);
    DeviceInfo info;
    uint32_t mask = setting::kName;
    ASSERT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), 1);
    int32_t channel = 0, subchannel = 0;
    std::string version;
    uint32_t radioMask = setting::kRadioAll;
    EXPECT_EQ(rig.proto.MSRadioCommand(&channel, &subchannel, &version, kGet, &radioMask), 1);
    EXPECT_EQ(radioMask, setting::kRadioAll);
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(subchannel, 0x3332);
    EXPECT_EQ(version, "1084");

    channel = 5;
    radioMask = setting::kRadioChannel;
    EXPECT_EQ(rig.proto.MSRadioCommand(&channel, nullptr, nullptr, kSet, &radioMask), 1);
    auto [hp, passThrough] = rig.sim->WithState([](vornsim::InstrumentState& s) {
        return std::make_pair(s.loggerModule.registers["HP"], s.termPassThrough);
    });
    EXPECT_EQ(hp, "5");
    EXPECT_FALSE(passThrough);
    std::string name;
    EXPECT_EQ(rig.proto.ParseShowCommand(&name), 1);  // the logger answers again
}

TEST(LoggerSim, LoggerWithoutRadioAndRefusedCommands) {
    SimRig rig("KT72", 204, {{"trait", "8"}, {"error-command", "get -authkey"}});
    ASSERT_EQ(rig.Connect(), 1);
    DeviceInfo info;
    uint32_t mask = setting::kRadioChannel | setting::kAuthKey;
    // No radio: no channel to miss; the authkey refused as such was read as the teakey.
    EXPECT_EQ(rig.proto.DeviceSettings(&info, &mask, kGet), 1);
    EXPECT_EQ(mask, setting::kVersion | setting::kTrait | setting::kAuthKey);
    EXPECT_EQ(info.authKey, "0123456789ABCDEF0123456789ABCDEF");  // read as the teakey
    EXPECT_EQ(rig.Sent("get -rch\r"), 0);

    int32_t channel = 0;
    std::string version;
    uint32_t radioMask = setting::kRadioVersion | setting::kRadioChannel;
    EXPECT_EQ(rig.proto.MSRadioCommand(&channel, nullptr, &version, kGet, &radioMask), vorn::kNoRadio);
    EXPECT_EQ(radioMask, 0u);
}

TEST(LoggerSim, SleepingRadioLoggerWakesOnWakePacketsAndModemTakesATCommands) {
    SimRig rig("KT72", 204, {{"radio", ""}, {"asleep", ""}});
    VornSerial port(nullptr);
    ASSERT_EQ(port.VSOpen(rig.sim->SlavePath(), 9600), 1);
    char buffer[64];
    int32_t count = 0;
    auto ask = [&](const std::string& bytes, char until) {
        port.VSFlush(1);
        EXPECT_GT(port.VSWrite(bytes), 0);
        (void)port.VSWait(400, until);  // what came back, if anything, is the answer
        EXPECT_GE(port.VSRead(buffer, sizeof buffer, &count), 0);
        return std::string(buffer, static_cast<size_t>(count));
    };
    EXPECT_EQ(ask("\rquery\r", '\r'), "");
    EXPECT_EQ(ask(std::string(25, '\r') + "query\r", '\r'), "FIELD01\r");
    EXPECT_EQ(ask("login OTHER\r", '>'), "");
    EXPECT_EQ(ask("+++", 'K'), "OK\r");
    EXPECT_EQ(ask("ATHP\r", '\r'), "3\r");
    EXPECT_EQ(ask("ATVR\r", '\r'), "10A5\r");
    EXPECT_EQ(ask("ATCN\r", 'K'), "OK\r");
}

TEST(LoggerSim, NewFirmwareAnswersWhatTheUpdaterChecks) {
    SimRig rig("KT72", 204, {{"battery", "87"}});
    ASSERT_EQ(rig.Connect(), 1);
    std::string answer;
    ASSERT_GT(rig.proto.DeviceCommand("get -batt\r", '>', 500, &answer, 32), 0);
    EXPECT_EQ(answer, "\r87\r>");
    ASSERT_GT(rig.proto.DeviceCommand("get -hver\r", '>', 500, &answer, 32), 0);
    EXPECT_EQ(answer, "\rC\r>");
    const bool good = rig.sim->WithState([](vornsim::InstrumentState& s) { return s.flash.CodeGood(); });
    ASSERT_GT(rig.proto.DeviceCommand("post -init\r", '>', 500, &answer, 32), 0);
    EXPECT_EQ(answer, good ? "\rCode Good!\r>" : "\rCode Corrupt!\r>");
}

// The fault campaign's line: answers that leave late and with noise at the wrong speed
// ahead of them, until the line is mended.
TEST(LoggerSim, ASlowNoisyLineUntilItIsMended) {
    SimRig rig("KT72", 204, {{"slow-ms", "400"}, {"noise-rate", "1"}}, 1);
    ASSERT_EQ(rig.proto.VSOpen(rig.sim->SlavePath(), 9600), 1);
    std::string answer;
    int32_t elapsed = 0;
    ASSERT_GT(rig.proto.DeviceCommand("get -hver\r", '>', 2000, &answer, 64, &elapsed), 0);
    EXPECT_GE(elapsed, 400);
    ASSERT_GT(answer.size(), 5u);
    EXPECT_EQ(answer.substr(answer.size() - 4), "\rC\r>");
    EXPECT_TRUE(static_cast<unsigned char>(answer[0]) & 0x80) << "noise ahead of the answer";

    rig.sim->Mend();
    ASSERT_GT(rig.proto.DeviceCommand("get -hver\r", '>', 2000, &answer, 64, &elapsed), 0);
    EXPECT_EQ(answer, "\rC\r>");
    EXPECT_LT(elapsed, 400);  // no longer held back
}
