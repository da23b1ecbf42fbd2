// Setting commands, radio, clock, erase and whole-device settings against scripted devices.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <random>

#include "support/ProtocolRig.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "support/LocaleScope.h"

using namespace vorn::test;
using namespace vorn::protocol;
using enum vorn::protocol::Direction;

namespace {

// Runs the test body with the host in another time zone.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

std::string Ok(const std::string&) { return Reply("OK"); }

}  // namespace

TEST(NameCommand, ReservedNameIsNotSentAndAnEmptyAnswerMeansUninitialised) {
    Rig rig([](const std::string& c) { return c == "get -i" ? std::string("\r\r>") : Reply("OK"); });
    rig.Identify(LT_KT72, 204);
    std::string name = "post";
    EXPECT_EQ(rig.proto.NameCommand(&name, kSet), kNameReserved);
    EXPECT_TRUE(rig.peer.Commands().empty());
    EXPECT_TRUE(rig.Logged("NameCommand: \"post\" is an illegal device name (error -52)"));

    name = "keep";
    EXPECT_EQ(rig.proto.NameCommand(&name, kGet), kNameEmpty);
    EXPECT_FALSE(rig.Logged("NameCommand failed"));

    name = "Field01";
    EXPECT_EQ(rig.proto.NameCommand(&name, kSet), 1);
    EXPECT_EQ(rig.peer.Count("set -i Field01"), 1);
}

TEST(NameCommand, OldFirmwareAcceptsABarePromptAndNewFirmwareNeedsOK) {
    Rig rig([](const std::string&) { return Reply(std::vector<std::string>{}); });
    rig.Identify(LT_KT7, 120, false);
    std::string name = "Field01";
    EXPECT_EQ(rig.proto.NameCommand(&name, kSet), 1);
    rig.Identify(LT_KT72, 204);
    EXPECT_EQ(rig.proto.NameCommand(&name, kSet), vorn::kNotUnderstood);
    EXPECT_TRUE(rig.Logged("NameCommand failed with error -30"));
}

TEST(SettingLines, CoordinatesTimeZoneAndTextAreSentExactly) {
    ZoneScope zone("PST8");  // UTC-8 without daylight saving
    // The same lines whatever decimal sign the C library's locale has.
    for (const char* name : {static_cast<const char*>(nullptr), kCommaLocale}) {
        LocaleScope locale(name);
        ASSERT_TRUE(locale.Active());
        SCOPED_TRACE(locale.Name());
        Rig rig(Ok);
        rig.Identify(LT_KT72, 204);
        double latitude = 0.0;
        EXPECT_EQ(rig.proto.LatitudeCommand(&latitude, kSet), 1);
        latitude = 46.72;
        EXPECT_EQ(rig.proto.LatitudeCommand(&latitude, kSet), 1);
        double longitude = -117.015;
        EXPECT_EQ(rig.proto.LongitudeCommand(&longitude, kSet), 1);
        int32_t zoneValue = -2;
        EXPECT_EQ(rig.proto.TimeZoneCommand(&zoneValue, kSet), 1);
        EXPECT_EQ(zoneValue, -32);
        std::string site = "North Ridge";
        EXPECT_EQ(rig.proto.SiteCommand(&site, kSet), 1);
        std::string injected = "Ridge\rset -i X";
        EXPECT_EQ(rig.proto.SiteCommand(&injected, kSet), vorn::kOutOfRange);
        // Longer than the instrument holds: refused whole, never sent cut.
        std::string longSite = "Plot \"B\" east of the old river";
        EXPECT_EQ(rig.proto.SiteCommand(&longSite, kSet), vorn::kOutOfRange);
        EXPECT_TRUE(rig.Logged("SiteCommand refused a value of 30 characters, longer than the 25 it holds"));
        int32_t interval = -5;
        EXPECT_EQ(rig.proto.WakeCommand(&interval, kSet), vorn::kOutOfRange);

        const std::vector<std::string> expected = {"set -lat ", "set -lat +46.72000", "set -long -117.01500",
                                                   "set -tz -32", "set -site North Ridge"};
        EXPECT_EQ(rig.peer.Commands(), expected);
        EXPECT_TRUE(rig.Logged("LatitudeCommand set latitude to +46.72000"));
        EXPECT_TRUE(rig.Logged("LongitudeCommand set longitude to -117.01500"));
        EXPECT_EQ(rig.proto.TimeZoneCommand(nullptr, kSet), vorn::kMissingArgument);
    }
}

TEST(SettingGates, MissingCapabilitySendsNothing) {
    Rig rig(Ok);
    rig.Identify(LT_KT7R, 203);  // no site settings, no build info, no radio mode
    std::string text = "x";
    int32_t number = 1;
    DeviceInfo::Bytes5 depths{1, 2, 3, 4, 5};
    EXPECT_EQ(rig.proto.SiteCommand(&text, kSet), vorn::kRefused);
    EXPECT_EQ(rig.proto.VornBuildCommand(&text, kGet), vorn::kRefused);
    EXPECT_EQ(rig.proto.RmodeCommand(&number, kGet), vorn::kRefused);
    EXPECT_EQ(rig.proto.APNCommand(&text, kGet), vorn::kRefused);
    EXPECT_EQ(rig.proto.DepthCommand(&depths, kGet), vorn::kRefused);
    EXPECT_EQ(depths, (DeviceInfo::Bytes5{255, 255, 255, 255, 255}));
    EXPECT_TRUE(rig.peer.Commands().empty());
    EXPECT_FALSE(rig.Logged("failed"));

    // Cellular settings need a known trait with bit 3 on a Kt72.
    rig.Identify(LT_KT72, 204);
    rig.proto.Info().trait = 0x4001;
    EXPECT_EQ(rig.proto.HostCommand(&text, kGet), vorn::kRefused);
    rig.proto.Info().trait = 0x4009;
    text = "collect.example";
    EXPECT_EQ(rig.proto.HostCommand(&text, kSet), 1);
    EXPECT_EQ(rig.peer.Count("set -host collect.example"), 1);
}

TEST(SettingParsing, NumbersTextAndArraysAreReadDefensively) {
    Rig rig([](const std::string& c) {
        if (c == "get -depth") return Reply("10 20 30 300 -1");
        if (c == "get -ports") return Reply("1 2 3");
        if (c == "get -report") return Reply("99999999999999");
        if (c == "get -site") return Reply("A site name far longer than twenty-five characters");
        if (c == "get -devid") return Reply(">");
        if (c == "get -data") return Reply("seven");
        if (c == "get -w") return Reply("45");
        if (c == "get -lat") return Reply("north");
        return Reply("OK");
    });
    rig.Identify(LT_KT72, 204);
    DeviceInfo::Bytes5 depths{};
    EXPECT_EQ(rig.proto.DepthCommand(&depths, kGet), 1);
    EXPECT_EQ(depths, (DeviceInfo::Bytes5{10, 20, 30, 255, 255}));
    DeviceInfo::Bytes5 ports{9, 9, 9, 9, 9};
    EXPECT_EQ(rig.proto.PortsCommand(&ports, kGet), vorn::kNotUnderstood);
    EXPECT_EQ(ports, (DeviceInfo::Bytes5{9, 9, 9, 9, 9}));
    EXPECT_TRUE(rig.Logged("PortsCommand only found 3 of 5 ports"));
    int32_t report = 0;
    EXPECT_EQ(rig.proto.ReportCommand(&report, kGet), 1);
    EXPECT_EQ(report, INT32_MAX);
    // Cut to the 25 characters a site keeps, it would come back as another site.
    std::string site;
    EXPECT_EQ(rig.proto.SiteCommand(&site, kGet), vorn::kOutOfRange);
    EXPECT_EQ(site, "");
    EXPECT_TRUE(rig.Logged("SiteCommand found a value of ")) << "a longer site is not read cut";
    std::string id = "old";
    EXPECT_EQ(rig.proto.DeviceIDCommand(&id, kGet), vorn::kEmptyAnswer);
    EXPECT_EQ(id, "old");
    int32_t data = 5;
    EXPECT_EQ(rig.proto.DataParameterCommand(&data, kGet), vorn::kNotUnderstood);
    EXPECT_EQ(data, 5);
    EXPECT_TRUE(rig.Logged("DataParameterCommand could not find device data parameter"));
    int32_t wake = 0;
    EXPECT_EQ(rig.proto.WakeCommand(&wake, kGet), 1);
    EXPECT_EQ(wake, 45);
    double latitude = 1.5;
    EXPECT_EQ(rig.proto.LatitudeCommand(&latitude, kGet), vorn::kEmptyAnswer);
    EXPECT_EQ(latitude, 1.5);
}

TEST(SNCommand, EmptySerialNumbersAreAskedAgain) {
    std::atomic<int> calls{0};
    Rig rig([&](const std::string&) { return ++calls < 3 ? std::string("\r\r>") : Reply("VL-77"); });
    rig.Identify(LT_KT72, 204);
    std::string sn;
    EXPECT_EQ(rig.proto.SNCommand(&sn, kGet), 1);
    EXPECT_EQ(sn, "VL-77");
    EXPECT_EQ(rig.peer.Count("get -sn"), 3);

    rig.Identify(LT_KT7, 120, false);
    EXPECT_EQ(rig.proto.SNCommand(&sn, kSet), vorn::kRefused);
}

TEST(PADCCommand, OldFirmwareSpellingAndVersionFloor) {
    Rig rig([](const std::string& c) { return c == "hertz" ? Reply("250") : Reply(std::vector<std::string>{}); });
    rig.Identify(LT_KT7, 170, false);
    int32_t hz = 0;
    EXPECT_EQ(rig.proto.PADCCommand(&hz, kGet), 1);
    EXPECT_EQ(hz, 250);
    hz = 300;
    EXPECT_EQ(rig.proto.PADCCommand(&hz, kSet), 1);
    EXPECT_EQ(rig.peer.Count("set -p 300"), 1);
    rig.Identify(LT_KT7, 160, false);
    EXPECT_EQ(rig.proto.PADCCommand(&hz, kGet), vorn::kRefused);
    EXPECT_EQ(hz, -1);
}

TEST(RmodeCommand, ZQ8IsAlwaysMode16AndNothingIsSent) {
    Rig rig(Ok);
    rig.Identify(LT_ZQ8, 100);
    int32_t mode = 3;
    EXPECT_EQ(rig.proto.RmodeCommand(&mode, kSet), 1);
    EXPECT_EQ(rig.proto.RmodeCommand(&mode, kGet), 1);
    EXPECT_EQ(mode, 16);
    EXPECT_TRUE(rig.peer.Commands().empty());
    EXPECT_TRUE(rig.Logged("RmodeCommand found an zQ8 that is always mode 16"));
}

TEST(AuthKeyCommand, LengthRulesAndTheTeakeyFallback) {
    Rig rig([](const std::string& c) {
        if (c == "get -authkey") return Reply("ERROR");
        if (c == "get -teakey") return Reply("00112233445566778899AABBCCDDEEFF");
        return Reply("OK");
    });
    rig.Identify(LT_KT72, 204);
    rig.proto.Info().trait = 0x4009;
    rig.log.SetLevel(VornLog::kBytes);  // byte traces too
    ConnectOptions o;
    rig.proto.Options(&o, kGet);
    o.trace = 3;
    rig.proto.Options(&o, kSet);
    std::string traced;
    rig.proto.SetTraceHook([&](const std::string& text) { traced += text + "|"; });
    std::string key(31, 'A');
    EXPECT_EQ(rig.proto.AuthKeyCommand(&key, kSet), vorn::kOutOfRange);
    EXPECT_TRUE(rig.peer.Commands().empty());
    key = "0123456789abcdef0123456789ABCDEF01234567";
    EXPECT_EQ(rig.proto.AuthKeyCommand(&key, kSet), 1);
    EXPECT_EQ(key, "0123456789abcdef0123456789ABCDEF");
    EXPECT_EQ(rig.peer.Count("set -authkey 0123456789abcdef0123456789ABCDEF"), 1);

    std::string read;
    EXPECT_EQ(rig.proto.AuthKeyCommand(&read, kGet), 1);
    EXPECT_EQ(read, "00112233445566778899AABBCCDDEEFF");
    // A credential: its lines keep their text, the value is masked (also its length).
    EXPECT_TRUE(rig.Logged("AuthKeyCommand found authkey (as teakey) \"********\""));
    EXPECT_TRUE(rig.Logged("AuthKeyCommand set authkey to \"********\""));
    EXPECT_FALSE(rig.Logged("00112233445566778899AABBCCDDEEFF"));
    EXPECT_FALSE(rig.Logged("0123456789abcdef"));
    // The device answered ERROR to "get -authkey" three times (one per try).
    EXPECT_EQ(traced, "set -authkey ********\r|********|get -authkey\r|********|********|********|get -teakey\r|********|");
}

TEST(ADCcalCommand, ChecksumAndFactorRules) {
    std::string answer;
    Rig rig([&](const std::string& c) { return c.rfind("get", 0) == 0 ? Reply(answer) : Reply("OK"); });
    rig.Identify(LT_KT72, 204);
    DeviceInfo::Bytes5 slopes{}, offsets{};

    answer = "120 130 121 131 122 132 123 133 124 134 230";  // 1270 % 256 = 246
    EXPECT_EQ(rig.proto.ADCcalCommand(1, &slopes, &offsets, kGet), vorn::kRefused);
    EXPECT_EQ(slopes, (DeviceInfo::Bytes5{120, 121, 122, 123, 124}));
    EXPECT_TRUE(rig.Logged("ADCcalCommand found (not valid) -adc30"));
    answer = "120 130 121 131 122 132 123 133 124 134 246";
    EXPECT_EQ(rig.proto.ADCcalCommand(1, &slopes, &offsets, kGet), 1);
    EXPECT_EQ(offsets, (DeviceInfo::Bytes5{130, 131, 132, 133, 134}));
    answer = "120 130 121 131 122 132 123 133 124 134 247";  // checksum off by one
    EXPECT_EQ(rig.proto.ADCcalCommand(1, &slopes, &offsets, kGet), vorn::kRefused);
    answer = "0 130 121 131 122 132 123 133 124 134 126";  // a zero factor, checksum right
    EXPECT_EQ(rig.proto.ADCcalCommand(2, &slopes, &offsets, kGet), vorn::kRefused);
    EXPECT_EQ(slopes[0], 0);
    EXPECT_TRUE(rig.Logged("ADCcalCommand found (not valid) -adc15 0 130"));
    EXPECT_TRUE(rig.Logged("ADCcalCommand (-adc15) failed with error -1"));
    answer = "1 2 3";
    EXPECT_EQ(rig.proto.ADCcalCommand(2, &slopes, &offsets, kGet), vorn::kNotUnderstood);
    EXPECT_TRUE(rig.Logged("ADCcalCommand only found 3 of 11 cal -adc15 factors"));

    slopes = {1, 2, 3, 4, 5};
    offsets = {250, 251, 252, 253, 254};
    EXPECT_EQ(rig.proto.ADCcalCommand(1, &slopes, &offsets, kSet), 1);
    EXPECT_EQ(rig.peer.Count("set -adc30 1 250 2 251 3 252 4 253 5 254 251"), 1);  // 1275 % 256
    EXPECT_EQ(rig.proto.ADCcalCommand(3, &slopes, &offsets, kSet), vorn::kOutOfRange);
    EXPECT_EQ(rig.proto.ADCcalCommand(1, nullptr, &offsets, kSet), vorn::kMissingArgument);
}

TEST(TraitCommand, ComplementNativeAndEmulated) {
    Rig rig([](const std::string& c) {
        if (c == "get -trait") return Reply("246");
        if (c == "get -rver") return Reply(std::vector<std::string>{"OK", "1084"});
        return Reply("OK");
    });
    rig.Identify(LT_KT72, 204);
    uint32_t trait = 0;
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kGet), 1);
    EXPECT_EQ(trait, 0x4009u);
    trait = 0x4009;
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kSet), 1);
    EXPECT_EQ(rig.peer.Count("set -trait 246"), 1);

    rig.Identify(LT_QV, 110);
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kGet), 1);
    EXPECT_EQ(trait, 0x4001u);
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kSet), kRefusedNow);

    rig.Identify(LT_KT7, 150, true);  // radio capability, no trait command: asks the radio
    trait = 0;
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kGet), 1);
    EXPECT_EQ(trait, 0x4001u);
    EXPECT_EQ(rig.peer.Count("get -rver"), 1);

    rig.Identify(LT_KT7R, 204);  // neither: no radio
    EXPECT_EQ(rig.proto.TraitCommand(&trait, kGet), 1);
    EXPECT_EQ(trait, 0x4000u);
}

TEST(MSRadioCommand, NoRadioAnswerAndValueForms) {
    Rig none([](const std::string&) { return Reply("No Radio"); });
    none.Identify(LT_KT72, 204);
    int32_t channel = 0, subchannel = 0;
    std::string version = "x";
    uint32_t mask = setting::kRadioAll;
    EXPECT_EQ(none.proto.MSRadioCommand(&channel, &subchannel, &version, kGet, &mask), vorn::kNoRadio);
    EXPECT_EQ(mask, 0u);
    EXPECT_TRUE(version.empty());
    EXPECT_EQ(none.peer.Count("get -rver"), 1);
    EXPECT_EQ(none.peer.Count("get -rch"), 0);
    EXPECT_TRUE(none.Logged("MSRadioCommand couldn't find a radio"));

    Rig radio([](const std::string& c) {
        if (c == "get -rver") return Reply(std::vector<std::string>{"OK", "1084"});
        if (c == "get -rch") return Reply(std::vector<std::string>{"OK", "9"});  // above 6: never right
        if (c == "get -rsch") return Reply(std::vector<std::string>{"OK", "3332"});
        return Reply("OK");
    });
    radio.Identify(LT_KT72, 204);
    mask = setting::kRadioAll;
    EXPECT_EQ(radio.proto.MSRadioCommand(&channel, &subchannel, &version, kGet, &mask), vorn::kPartlyDone);
    EXPECT_EQ(mask, setting::kRadioVersion | setting::kRadioSubchannel);
    EXPECT_EQ(version, "1084");
    EXPECT_EQ(subchannel, 0x3332);
    EXPECT_EQ(radio.peer.Count("get -rch"), 3);
    EXPECT_TRUE(radio.Logged("MSRadioCommand failed with error -35 setting 1024"));

    channel = 5;
    subchannel = 0xABC;
    mask = setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_EQ(radio.proto.MSRadioCommand(&channel, &subchannel, nullptr, kSet, &mask), 1);
    EXPECT_EQ(mask, setting::kRadioChannel | setting::kRadioSubchannel);
    EXPECT_EQ(radio.peer.Count("set -rch 5"), 1);
    EXPECT_EQ(radio.peer.Count("set -rsch ABC"), 1);
    EXPECT_EQ(radio.proto.MSRadioCommand(&channel, &subchannel, nullptr, kSet, nullptr), vorn::kMissingArgument);
}

TEST(Qr4Config, ModemThatNeverEntersCommandModeGivesMinus23) {
    Rig rig([](const std::string& c) { return c == "+++" ? std::string("NAK\r") : std::string(); });
    int32_t channel = 1, subchannel = 2;
    uint32_t mask = setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_EQ(rig.proto.Qr4Config(&channel, &subchannel, nullptr, kSet, &mask), kRadioCommandMode);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(rig.peer.Count("+++"), 2);
    EXPECT_EQ(rig.peer.Commands().size(), 2u);
    EXPECT_TRUE(rig.Logged("Qr4Config failed to get into AT command mode: -23"));
}

TEST(Qr4Config, ReadsAndWritesTheModemRegisters) {
    Rig rig([](const std::string& c) {
        if (c == "ATHP") return std::string("4\r");
        if (c == "ATDT") return std::string("1F2E\r");
        if (c == "ATVR") return std::string("10A5\r");
        return std::string("OK\r");
    });
    int32_t channel = 0, subchannel = 0;
    std::string version;
    uint32_t mask = setting::kRadioAll;
    EXPECT_EQ(rig.proto.Qr4Config(&channel, &subchannel, &version, kGet, &mask), 1);
    EXPECT_EQ(mask, setting::kRadioAll);
    EXPECT_EQ(channel, 4);
    EXPECT_EQ(subchannel, 0x1F2E);
    EXPECT_EQ(version, "10A5");

    channel = 6;
    subchannel = 0x3332;
    mask = setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_EQ(rig.proto.Qr4Config(&channel, &subchannel, nullptr, kSet, &mask), 1);
    const std::vector<std::string> tail = {"+++", "ATHP6", "ATDT3332", "ATWR", "ATCN"};
    auto all = rig.peer.Commands();
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(all.end() - 5, all.end()), tail);
}

TEST(DeviceTime, TextFormReadsTheSameWhateverTheHostZone) {
    Rig rig([](const std::string&) { return Reply("Date\\Time: 2014-03-01 12:30:00"); });
    rig.Identify(LT_KT7, 150, false);
    for (const char* zone : {"UTC0", "PST8PDT", "CET-1CEST", "NZST-12NZDT"}) {
        ZoneScope scope(zone);
        VornSeconds value = 0;
        EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), 1) << zone;
        EXPECT_EQ(value, 446992200) << zone;
    }
    EXPECT_EQ(rig.peer.Count("time"), 4);
    EXPECT_EQ(rig.proto.DeviceTime(nullptr, kGet), vorn::kMissingArgument);
}

TEST(DeviceTime, BadAnswersGiveMinusOne) {
    std::string answer;
    Rig rig([&](const std::string&) { return Reply(answer); });
    rig.Identify(LT_KT72, 204);
    VornSeconds value = 5;
    answer = "2014-13-01 12:30:00";
    EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), vorn::kNotUnderstood);
    EXPECT_EQ(value, -1);
    answer = "2014-03-01";
    EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), vorn::kNotUnderstood);
    EXPECT_TRUE(rig.Logged("DeviceTime failed with error -30"));

    rig.Identify(LT_RW, 102);
    answer = "3000000000";  // top bit set in 32 bits
    EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), vorn::kNotUnderstood);
    EXPECT_EQ(value, -1);
    answer = "820584000";
    EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), 1);
    EXPECT_EQ(value, 820584000);
    EXPECT_EQ(rig.peer.Count("get -sec"), 2);

    rig.Identify(LT_QV, 110);  // no clock
    EXPECT_EQ(rig.proto.DeviceTime(&value, kGet), vorn::kRefused);
    EXPECT_EQ(value, -1);
}

TEST(DeviceTime, SetSendsSecondsOrTimeAndDate) {
    Rig rig(Ok);
    rig.Identify(LT_RW, 102);
    VornSeconds value = 820584000;  // 2026-01-01 12:00:00
    EXPECT_EQ(rig.proto.DeviceTime(&value, kSet), 1);
    EXPECT_EQ(rig.peer.Commands(), std::vector<std::string>{"set -sec 820584000"});

    rig.Identify(LT_KT72, 204);
    EXPECT_EQ(rig.proto.DeviceTime(&value, kSet), 1);
    const std::vector<std::string> expected = {"set -sec 820584000", "set -t 12:0:0", "set -d 2026-1-1"};
    EXPECT_EQ(rig.peer.Commands(), expected);

    VornSeconds now = 0;
    const VornSeconds before = vorn::LocalUtcOffset() + std::time(nullptr) - 946684800;
    EXPECT_EQ(rig.proto.DeviceTime(&now, kSet), 1);
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 5);
}

TEST(DeviceTime, RefusedTimeOfDayIsAFailureEvenWhenTheDateIsTaken) {
    Rig rig([](const std::string& c) { return c.rfind("set -t", 0) == 0 ? Reply("ERROR") : Reply("OK"); }, 1);
    rig.Identify(LT_KT72, 204);
    VornSeconds value = 820584000;
    EXPECT_EQ(rig.proto.DeviceTime(&value, kSet), vorn::kDeviceError);
    EXPECT_EQ(rig.peer.Count("set -d 2026-1-1"), 1);
}

TEST(EraseData, DifferentNameIsRefusedAndNothingIsErased) {
    Rig rig([](const std::string& c) { return c == "get -i" ? Reply("OTHER") : Reply("OK"); });
    rig.Identify(LT_KT72, 204);
    rig.proto.Info().deviceName = "FIELD01";
    EXPECT_EQ(rig.proto.EraseData(), kIdentityMismatch);
    EXPECT_EQ(rig.peer.Count("yes"), 0);
    EXPECT_TRUE(rig.Logged("EraseData: Identity mismatch. Class: FIELD01, Device: OTHER"));

    rig.proto.Info().deviceName = "OTHER";
    EXPECT_EQ(rig.proto.EraseData(), 1);
    EXPECT_EQ(rig.peer.Count("yes"), 1);

    Rig broken([](const std::string& c) { return c == "get -i" ? Reply("A") : Reply("DataFlash FAIL"); });
    broken.Identify(LT_KT72, 204);
    broken.proto.Info().deviceName = "A";
    EXPECT_EQ(broken.proto.EraseData(), kBrokenDataFlash);
    EXPECT_TRUE(broken.Logged("EraseData failed due to a broken DataFlash"));

    Rig blank([](const std::string&) { return std::string("\r\r>"); });
    blank.Identify(LT_KT72, 204);
    EXPECT_EQ(blank.proto.EraseData(), kIdentityMismatch);
    EXPECT_EQ(blank.peer.Count("yes"), 0);
}

TEST(DeviceSettings, EmptyRequestsAndAllFailing) {
    Rig rig([](const std::string&) { return Reply("ERROR"); }, 1);
    rig.Identify(LT_KT72, 204);
    DeviceInfo record;
    uint32_t mask = 0;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), 1);
    EXPECT_EQ(mask, setting::kVersion);
    EXPECT_EQ(record.version, 204);
    mask = 0;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kSet), 1);
    EXPECT_EQ(mask, 0u);
    EXPECT_TRUE(rig.peer.Commands().empty());

    record.deviceName = "Field01";
    record.site = "X";
    mask = setting::kName | setting::kSite;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kSet), vorn::kPartlyDone);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, static_cast<Direction>(2)), vorn::kOutOfRange);
    EXPECT_EQ(rig.proto.DeviceSettings(nullptr, &mask, kGet), vorn::kMissingArgument);
}

TEST(DeviceSettings, RadioBitsBringTheTraitFirst) {
    Rig rig([](const std::string& c) {
        if (c == "get -trait") return Reply("254");  // radio fitted
        if (c == "get -rch") return Reply(std::vector<std::string>{"OK", "3"});
        return Reply("ERROR");
    });
    rig.Identify(LT_KT72, 204);
    DeviceInfo record;
    uint32_t mask = setting::kRadioChannel;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), 1);
    EXPECT_EQ(mask, setting::kVersion | setting::kTrait | setting::kRadioChannel);
    EXPECT_EQ(record.radioChannel, 3);
    EXPECT_EQ(record.trait, 0x4001u);
    EXPECT_EQ(rig.peer.Commands(), (std::vector<std::string>{"get -trait", "get -rch"}));

    // A known trait without radio: the radio step is not even tried, and nothing was
    // missed (a logger without a radio has no channel to save).
    rig.proto.Info().trait = 0x4000;
    mask = setting::kRadioChannel;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), 1);
    EXPECT_EQ(rig.peer.Count("get -rch"), 1);
}

// Answers of any length and content: no command may crash, overrun a field or store more
// than its field holds.
TEST(Robustness, RandomAnswersNeverOverrunAField) {
    std::mt19937 random(20240611);
    std::mutex mutex;
    Rig rig([&](const std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        std::uniform_int_distribution<int> length(0, 300), byte(0, 255), pick(0, 5);
        std::string answer;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            char c = static_cast<char>(byte(random));
            if (c == '$') c = '#';  // keeps a bootloader's 3 s pause out of the loop
            switch (pick(random)) {
                case 0: answer += ' '; break;
                case 1: answer += '\r'; break;
                case 2: answer += static_cast<char>('0' + byte(random) % 10); break;
                default: answer += c;
            }
        }
        return answer + "\rK>";
    }, 1);
    for (int round = 0; round < 12; ++round) {
        // New firmware: the old firmware's "term" path pauses a second each time.
        rig.Identify(LT_KT72, round % 2 ? 204 : 100);
        DeviceInfo& i = rig.proto.Info();
        i.trait = 0x4009;
        const Direction d = kGet;
        rig.proto.NameCommand(&i.deviceName, d);
        rig.proto.DeviceIDCommand(&i.deviceID, d);
        rig.proto.ReportCommand(&i.reportMode, d);
        rig.proto.DepthCommand(&i.depths, d);
        rig.proto.SiteCommand(&i.site, d);
        rig.proto.LatitudeCommand(&i.latitude, d);
        rig.proto.LongitudeCommand(&i.longitude, d);
        rig.proto.TimeZoneCommand(&i.timeZone, d);
        rig.proto.SNCommand(&i.serialNumber, d);
        rig.proto.WakeCommand(&i.measurementInterval, d);
        rig.proto.PADCCommand(&i.padc, d);
        rig.proto.PortsCommand(&i.ports, d);
        rig.proto.ADCcalCommand(1, &i.adc30Slopes, &i.adc30Offsets, d);
        rig.proto.DataParameterCommand(&i.dataParameter, d);
        rig.proto.VornBuildCommand(&i.buildInfo, d);
        rig.proto.TraitCommand(&i.trait, d);
        i.trait = 0x4009;
        rig.proto.APNCommand(&i.apn, d);
        rig.proto.APNUserCommand(&i.apnUser, d);
        rig.proto.APNPasswdCommand(&i.apnPassword, d);
        rig.proto.AuthKeyCommand(&i.authKey, d);
        rig.proto.HostCommand(&i.host, d);
        rig.proto.IPPortCommand(&i.ipPort, d);
        rig.proto.RmodeCommand(&i.radioMode, d);
        uint32_t mask = setting::kRadioAll;
        rig.proto.MSRadioCommand(&i.radioChannel, &i.radioSubchannel, &i.radioVersion, d, &mask);
        mask = setting::kRadioAll;
        rig.proto.Qr4Config(&i.radioChannel, &i.radioSubchannel, &i.radioVersion, d, &mask);
        VornSeconds t = 0;
        rig.proto.DeviceTime(&t, d);
        std::string name;
        i.newFirmware = false;
        i.type = LT_KT7;
        rig.proto.ParseShowCommand(round % 3 ? nullptr : &name);
        if (round % 4 == 0) rig.proto.VerCommand(1);  // its pauses are long: now and then
        EXPECT_LE(name.size(), DeviceInfo::kDeviceNameMax);

        const DeviceInfo& r = rig.proto.Info();
        EXPECT_LE(r.deviceName.size(), DeviceInfo::kDeviceNameMax);
        EXPECT_LE(r.deviceID.size(), DeviceInfo::kDeviceIDMax);
        EXPECT_LE(r.serialNumber.size(), DeviceInfo::kSerialNumberMax);
        EXPECT_LE(r.versionText.size(), 20u);
        EXPECT_LE(r.buildInfo.size(), 16u);
        EXPECT_LE(r.site.size(), 25u);
        EXPECT_LE(r.radioVersion.size(), DeviceInfo::kRadioVersionMax);
        EXPECT_LE(r.apn.size(), DeviceInfo::kApnMax);
        EXPECT_LE(r.apnUser.size(), DeviceInfo::kApnMax);
        EXPECT_LE(r.apnPassword.size(), DeviceInfo::kApnMax);
        EXPECT_LE(r.authKey.size(), DeviceInfo::kAuthKeyMax);
        EXPECT_LE(r.host.size(), DeviceInfo::kHostMax);
        EXPECT_LE(rig.proto.LastAnswer().size(), kAnswerMax);
    }
    EXPECT_GT(rig.peer.Commands().size(), 12u * 20);
}

TEST(MSRadioCommand, NoRadioOnTheChannelStillSetsTheSubchannel) {
    Rig none([](const std::string&) { return Reply("No Radio"); });
    none.Identify(LT_KT72, 204);
    int32_t channel = 3, subchannel = 0x1234;
    uint32_t mask = setting::kRadioChannel | setting::kRadioSubchannel;
    EXPECT_LT(none.proto.MSRadioCommand(&channel, &subchannel, nullptr, kSet, &mask), 0);
    EXPECT_EQ(none.peer.Count("set -rch 3"), 1);
    EXPECT_EQ(none.peer.Count("set -rsch 1234"), 1);
}
