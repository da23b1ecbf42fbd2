// The command channel, identification and login against a scripted device.
#include <gtest/gtest.h>

#include <atomic>

#include "support/ProtocolRig.h"
#include "common/Status.h"
#include "common/Timing.h"

using namespace vorn::test;
using namespace vorn::protocol;
using enum vorn::protocol::Direction;

namespace {

std::string Silent(const std::string&) { return {}; }

}  // namespace

TEST(DeviceCommand, EmptyAnswerGivesMinus31AndKeepsTheCopy) {
    Rig rig([](const std::string&) { return std::string("\r\r>"); });
    ASSERT_EQ(rig.opened, 1);
    std::string answer;
    EXPECT_EQ(rig.proto.DeviceCommand("get -i\r", '>', 500, &answer, 32), vorn::kEmptyAnswer);
    EXPECT_EQ(answer, "\r\r>");
    EXPECT_TRUE(rig.Logged("DeviceCommand: device returned empty answer"));
    EXPECT_EQ(rig.peer.Count("get -i"), 1);
}

TEST(DeviceCommand, LongAnswerIsCutAt2048AndTheExcessIsLogged) {
    Rig rig([](const std::string&) { return std::string(3000, 'x'); });
    std::string answer;
    int32_t n = rig.proto.DeviceCommand("dump\r", '>', 300, &answer, 32);
    EXPECT_EQ(n, 2048);
    EXPECT_EQ(rig.proto.LastAnswer().size(), 2048u);
    EXPECT_EQ(answer, std::string(31, 'x'));
    EXPECT_TRUE(rig.Logged("DeviceCommand got 2017 more bytes than expected (dump\\r)"));  // the log escapes the CR
}

TEST(DeviceCommand, SilenceOnEveryTryGivesMinus21AfterAllTries) {
    Rig rig(Silent);
    std::string answer = "stale";
    int32_t elapsed = 0;
    EXPECT_EQ(rig.proto.DeviceCommand("get -w\r", '>', 100, &answer, 32, &elapsed), vorn::kPortClosed);
    EXPECT_TRUE(answer.empty());
    EXPECT_EQ(rig.peer.Count("get -w"), 3);
    EXPECT_GE(elapsed, 3 * (100 + 50));
    EXPECT_LT(elapsed, 3 * (100 + 50) + 1500);
}

TEST(DeviceCommand, ErrorAmongSilentTriesGivesTheStatusOfTheLastTry) {
    {
        std::atomic<int> calls{0};
        Rig rig([&](const std::string&) { return ++calls == 3 ? Reply("ERROR") : std::string(); });
        EXPECT_EQ(rig.proto.DeviceCommand("get -w\r", '>', 100), vorn::kDeviceError);
    }
    {
        std::atomic<int> calls{0};
        Rig rig([&](const std::string&) { return ++calls == 1 ? Reply("ERROR") : std::string(); });
        EXPECT_EQ(rig.proto.DeviceCommand("get -w\r", '>', 100), vorn::kTriesUsedUp);
    }
}

TEST(DeviceCommand, ErrorAnswersAreRetriedAndEchoesAreNot) {
    std::atomic<int> calls{0};
    Rig retry([&](const std::string&) { return ++calls < 3 ? Reply("Unsupported") : Reply("60"); });
    EXPECT_EQ(retry.proto.DeviceCommand("get -w\r", '>', 300), 5);
    EXPECT_EQ(retry.peer.Count("get -w"), 3);

    Rig relay([](const std::string& c) { return "\r" + c + "\r>"; });
    EXPECT_EQ(relay.proto.DeviceCommand("get -w\r", '>', 300), vorn::kEchoed);
    EXPECT_EQ(relay.peer.Count("get -w"), 1);
    EXPECT_TRUE(relay.Logged("DeviceCommand is hearing echoed commands -- device is broken? Relay active?"));
}

// On a slow line an answer can come after its command gave up on it. Read by the next
// command, it would shift every answer after it by one ("get -sn" answered with the
// contrast, and so on), and the wrong values would be saved and restored.
TEST(DeviceCommand, ALateAnswerIsDroppedNotReadAsTheNextCommandsAnswer) {
    Rig rig(
        [](const std::string& c) {
            if (c == "get -slow") vorn::SleepMs(400);  // the peer answers late, in order
            return Reply(c == "get -slow" ? "S" : c == "get -a" ? "A" : "B");
        },
        1);
    std::string answer;
    ASSERT_GT(rig.proto.DeviceCommand("get -a\r", '>', 1000, &answer, 32), 0);
    EXPECT_EQ(rig.proto.DeviceCommand("get -slow\r", '>', 100, &answer, 32), vorn::kPortClosed);
    ASSERT_GT(rig.proto.DeviceCommand("get -b\r", '>', 1000, &answer, 32), 0);
    EXPECT_EQ(answer, Reply("B"));
    EXPECT_TRUE(rig.Logged("DeviceCommand dropped 4 bytes of late answers"));

    // A device that never answered owes nothing: its next command is sent at once.
    Rig silent(Silent, 1);
    EXPECT_EQ(silent.proto.DeviceCommand("get -w\r", '>', 100), vorn::kPortClosed);
    int32_t elapsed = 0;
    EXPECT_EQ(silent.proto.DeviceCommand("get -w\r", '>', 100, nullptr, 0, &elapsed), vorn::kPortClosed);
    EXPECT_LT(elapsed, 2000);  // no wait for the 2.5 s a late answer is given
}

TEST(Options, BoundsAreCheckedAndZeroTriesMeanTheDefaults) {
    VornLog log;
    MOSSY_Protocol proto(nullptr);
    ConnectOptions o;
    ASSERT_EQ(proto.Options(&o, kGet), 1);
    EXPECT_EQ(o.serialTries, 3u);
    EXPECT_EQ(o.radioTries, 5u);

    ConnectOptions bad;
    bad.serialTries = 13;
    EXPECT_EQ(proto.Options(&bad, kSet), vorn::kOutOfRange);
    bad = ConnectOptions{};
    bad.radioTries = 13;
    EXPECT_EQ(proto.Options(&bad, kSet), vorn::kOutOfRange);
    bad = ConnectOptions{};
    bad.trace = 4;
    EXPECT_EQ(proto.Options(&bad, kSet), vorn::kOutOfRange);
    bad = ConnectOptions{};
    bad.extraWaitMs = 30001;
    EXPECT_EQ(proto.Options(&bad, kSet), vorn::kOutOfRange);
    EXPECT_EQ(proto.Tries(), 3u);  // nothing changed

    ConnectOptions good;
    good.serialTries = 12;
    good.extraWaitMs = 30000;
    ASSERT_EQ(proto.Options(&good, kSet), 1);
    EXPECT_EQ(proto.Tries(), 12u);
    ConnectOptions zero;
    ASSERT_EQ(proto.Options(&zero, kSet), 1);
    EXPECT_EQ(zero.serialTries, 3u);
    EXPECT_EQ(zero.radioTries, 5u);
    EXPECT_EQ(proto.Tries(), 3u);
}

TEST(CheckDeviceName, RulesInOrder) {
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName(""), kNameMissing);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("ABCDEFGHI"), kNameTooLong);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("login"), kNameReserved);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("post"), kNameReserved);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("Login"), 1);  // case-sensitive
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("Field 1"), kNameBadCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("A\x7f"), kNameBadCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("A\xff"), kNameBadCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("Plot:1"), kNameForbiddenCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("a,b"), kNameForbiddenCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("Caf\xe9"), kNameHighCharacter);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("Field01"), 1);
    EXPECT_EQ(MOSSY_Protocol::CheckDeviceName("ABCDEFGH"), 1);
}

TEST(SetCapabilities, TypeAndVersionRule) {
    MOSSY_Protocol proto(nullptr);
    struct Case {
        uint8_t type;
        int32_t version;
        bool newFirmware;
        uint32_t expected;
    };
    const Case cases[] = {
        {LT_KT72, 204, true, 0x5E7FFF7}, {LT_KT72, 100, true, 0x7737},   {LT_KT72, 114, true, 0x7737 | 0x70000 | 0x8800 | 0x40 | 0x80},
        {LT_KT72, 201, true, 0x7737 | 0x1000000 | 0x200000 | 0xC00000 | 0x70000 | 0x8800 | 0x40 | 0x80},
        {LT_QV, 109, true, 0x4503 | 0x20000 | 0x80}, {LT_QV, 104, true, 0x4503}, {LT_KT7, 120, true, 0x371F},
        {LT_KT7, 120, false, 0x331C}, {LT_KT7R, 204, true, 0x74BE | 0x40000}, {LT_KT7R, 203, true, 0x74BE},
        {LT_RW, 102, true, 0x1D3083}, {LT_ZQ8, 100, true, 0x5E3FFF7}, {LT_MYR, 100, true, 0x7C3F6F7},
        {LT_GLX, 100, true, 0x3007}, {LT_MOSSY_CAL, 100, true, 0x10026}, {LT_RL, 300, true, 0x1005},
        {LT_UNKNOWN, 0, false, 0x1005},
    };
    for (const Case& c : cases) {
        proto.Info().type = c.type;
        proto.Info().version = c.version;
        proto.Info().newFirmware = c.newFirmware;
        proto.SetCapabilities();
        EXPECT_EQ(proto.Info().capabilities, c.expected) << int(c.type) << " " << c.version;
    }
}

TEST(VerCommand, Kt72IdentityGivesTypeVersionAndCapabilities) {
    Rig rig([](const std::string& c) { return c == "get -ver" ? Reply("Kt72 2.04") : std::string(); });
    ASSERT_EQ(rig.proto.VerCommand(1), 1);
    const DeviceInfo& info = rig.proto.Info();
    EXPECT_EQ(info.type, LT_KT72);
    EXPECT_EQ(info.typeName, "Kt72");
    EXPECT_EQ(info.version, 204);
    EXPECT_EQ(info.versionText, "Kt72 2.04");
    EXPECT_TRUE(info.newFirmware);
    EXPECT_EQ(info.capabilities, 0x5E7FFF7u);
    EXPECT_TRUE(rig.Logged("VerCommand found \"Kt72 2.04\" ver 204"));
}

TEST(VerCommand, RefusedTwiceIsAnOldKt7AndShowBelow110IsRefused) {
    Rig rig([](const std::string& c) {
        if (c == "show") return Reply({"ID: OLDONE", "Version: 1.09", "Radio: 2", "Wake: 30", "Resets: 4"});
        return Reply("ERROR");
    });
    ASSERT_EQ(rig.proto.VerCommand(1), 1);
    EXPECT_EQ(rig.proto.Info().type, LT_KT7);
    EXPECT_FALSE(rig.proto.Info().newFirmware);
    EXPECT_EQ(rig.proto.Info().capabilities, 0x331Cu);
    EXPECT_EQ(rig.peer.Count("get -ver"), 6);  // two refusals of three tries each
    EXPECT_EQ(rig.peer.Count("show"), 0);      // skipped
    EXPECT_TRUE(rig.Logged("VerCommand found Kt7 with old firmware"));

    EXPECT_EQ(rig.proto.ParseShowCommand(nullptr), vorn::kNotApplicable);
    // Known as old firmware: identification goes to "show" directly and is refused too.
    EXPECT_EQ(rig.proto.VerCommand(0), vorn::kNotApplicable);
    EXPECT_EQ(rig.peer.Count("get -ver"), 6);

    DeviceInfo record;
    record.site = "untouched";
    uint32_t mask = setting::kName;
    rig.proto.Info().version = 0;  // not yet known: DeviceSettings identifies first
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), vorn::kNotApplicable);
    EXPECT_EQ(record.site, "untouched");
    EXPECT_TRUE(rig.Logged("DeviceSettings: old Vaultline model 007 not supported"));
}

TEST(VerCommand, BootloaderAndUnknownAnswers) {
    Rig bsl([](const std::string&) { return std::string("+3+\r"); });
    EXPECT_EQ(bsl.proto.VerCommand(1), vorn::kBslActive);
    EXPECT_EQ(bsl.proto.Info().type, LT_UNKNOWN);

    Rig other([](const std::string&) { return Reply("XYZ 1.50"); });
    ASSERT_EQ(other.proto.VerCommand(1), 1);
    EXPECT_EQ(other.proto.Info().type, LT_UNKNOWN);
    EXPECT_EQ(other.proto.Info().typeName, "Unknown");
    EXPECT_EQ(other.proto.Info().version, 150);
    EXPECT_EQ(other.proto.Info().capabilities, 0x1005u);

    Rig garbled([](const std::string&) { return Reply("Kt72 two"); });
    EXPECT_EQ(garbled.proto.VerCommand(1), vorn::kNotUnderstood);
    EXPECT_TRUE(garbled.proto.Info().versionText.empty());
    EXPECT_TRUE(garbled.Logged("VerCommand failed with error -30"));
}

TEST(ParseShowCommand, ReadsLabelsAndSurvivesTruncatedAnswers) {
    Rig rig([](const std::string& c) {
        if (c == "show") return Reply({"ID: STATION9", "Version: 1.12", "Radio: 3", "Wake: 60", "Resets: 7"});
        return Reply("ERROR");
    });
    rig.Identify(LT_KT7, 0, false);
    ASSERT_EQ(rig.proto.ParseShowCommand(nullptr), 1);
    EXPECT_EQ(rig.proto.Info().deviceName, "STATION9");
    EXPECT_EQ(rig.proto.Info().versionText, "1.12");
    EXPECT_EQ(rig.proto.Info().version, 112);
    EXPECT_EQ(rig.proto.Info().radioMode, 3);
    EXPECT_EQ(rig.proto.Info().measurementInterval, 60);
    EXPECT_EQ(rig.proto.Resets(), 7u);
    std::string name;
    EXPECT_EQ(rig.proto.ParseShowCommand(&name), 1);
    EXPECT_EQ(name, "STATION9");

    Rig cut([](const std::string&) { return std::string("\rID: A\rVersion: 1.12\rRadio:>"); });
    cut.Identify(LT_KT7, 0, false);
    EXPECT_EQ(cut.proto.ParseShowCommand(nullptr), vorn::kNotUnderstood);
    EXPECT_EQ(cut.proto.Info().version, -1);
    EXPECT_TRUE(cut.proto.Info().deviceName.empty());

    // A version that cannot be read is not one to work with.
    Rig noVersion([](const std::string&) { return std::string("\rID: A\rVersion:>"); });
    noVersion.Identify(LT_KT7, 0, false);
    EXPECT_EQ(noVersion.proto.ParseShowCommand(nullptr), vorn::kNotApplicable);

    Rig newer([](const std::string&) { return Reply("x"); });
    newer.Identify(LT_KT72, 204);
    EXPECT_EQ(newer.proto.ParseShowCommand(nullptr), vorn::kOutOfRange);
    EXPECT_EQ(newer.peer.Count("show"), 0);
}

TEST(LoginCommand, PromptOnlyIsSuccessAndLongNamesAreNotSent) {
    Rig rig([](const std::string&) { return std::string("\r\r>"); });
    EXPECT_EQ(rig.proto.LoginCommand("LOG1"), 1);
    EXPECT_EQ(rig.peer.Count("login LOG1"), 1);
    EXPECT_EQ(rig.proto.LoginCommand(""), 1);
    EXPECT_EQ(rig.peer.Count("login"), 1);
    EXPECT_EQ(rig.proto.LoginCommand("NINECHARS"), kNameTooLong);
    EXPECT_EQ(rig.proto.LoginCommand("A\rset"), kNameBadCharacter);
    EXPECT_EQ(rig.peer.Commands().size(), 2u);

    Rig noPrompt([](const std::string&) { return std::string("\rWHO\r"); });
    EXPECT_EQ(noPrompt.proto.LoginCommand("LOG1"), vorn::kNotUnderstood);
}

TEST(Connect, RelayRepeatingTheQueryGivesMinus33OverTheRadio) {
    // The relay repeats the whole "\rquery\r" once it has heard it.
    Rig rig([](const std::string& c) { return c == "query" ? std::string("\rquery\r") : std::string(); });
    rig.proto.VSClose();
    ConnectRequest request;
    request.portName = rig.peer.SlavePath();
    request.connectionType = kConnectionRadio;
    EXPECT_EQ(rig.proto.Connect(&request), vorn::kRelayActive);
    EXPECT_FALSE(rig.proto.Connected());
    EXPECT_FALSE(rig.proto.IsOpen());
    EXPECT_EQ(rig.peer.Count("query"), 1);
    EXPECT_TRUE(rig.Logged("QueryCommand is hearing \"query\" -- a relay must be active"));
}

TEST(Connect, RefusesBadRequestsBeforeOpening) {
    MOSSY_Protocol proto(nullptr);
    ConnectRequest request;
    request.portName = "/nonexistent/port";
    EXPECT_EQ(proto.Connect(nullptr), vorn::kMissingArgument);
    request.connectionType = 0;
    EXPECT_EQ(proto.Connect(&request), vorn::kOutOfRange);
    request.connectionType = 20;
    EXPECT_EQ(proto.Connect(&request), vorn::kNotApplicable);
    request.connectionType = 55;
    EXPECT_EQ(proto.Connect(&request), vorn::kMissingArgument);
    request.connectionType = kConnectionSerial;
    request.baudCode = 9;
    EXPECT_EQ(proto.Connect(&request), vorn::kOutOfRange);
    request.baudCode = 0;
    EXPECT_LT(proto.Connect(&request), 0);  // the port does not exist
    EXPECT_EQ(request.baudCode, kBaudCode9600);
    EXPECT_FALSE(proto.Connected());
}

TEST(QueryCommand, OnlyAnswersThatCannotBeANameAreAFailure) {
    Rig rig([](const std::string& c) { return c == "query" ? std::string("no way\r") : std::string(); });
    std::string name;
    EXPECT_EQ(rig.proto.QueryCommand(&name), vorn::kNotUnderstood);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(rig.peer.Count("query"), 3);
    EXPECT_EQ(rig.proto.Tries(), 3u);  // restored
}

TEST(SetBaudCommand, DeviceNumberingAndSilenceAfterAskingFor9600) {
    Rig rig([](const std::string& c) { return c == "set -baud 2" ? std::string("\rOK") : std::string(); }, 1);
    rig.Identify(LT_KT72, 204);
    EXPECT_EQ(rig.proto.SetBaudCommand(38400), 1);
    EXPECT_EQ(rig.proto.SetBaudCommand(9600), 1);  // silence: the device switched first
    EXPECT_EQ(rig.peer.Count("set -baud 0"), 1);
    rig.Identify(LT_KT7, 120, false);
    EXPECT_EQ(rig.proto.SetBaudCommand(38400), vorn::kRefused);
    EXPECT_EQ(rig.peer.Count("set -baud 2"), 1);

    Rig odd([](const std::string&) { return std::string("\rOK"); }, 1);
    odd.Identify(LT_KT72, 204);
    EXPECT_EQ(odd.proto.SetBaudCommand(1200), 1);  // not a device rate: asks for 9600
    EXPECT_EQ(odd.peer.Count("set -baud 0"), 1);
    EXPECT_TRUE(odd.Logged("SetBaudCommand: unsupported baud rate 1200, using 9600"));
}

TEST(Hooks, ProgressCanStopWakeAndSettingsAndTraceSeesBothWays) {
    Rig rig([](const std::string& c) { return c == "get -i" ? Reply("LOG1") : std::string(); });
    rig.Identify(LT_KT72, 204);
    ConnectOptions o;
    rig.proto.Options(&o, kGet);
    o.progressReporting = true;
    o.trace = 3;
    ASSERT_EQ(rig.proto.Options(&o, kSet), 1);
    std::vector<std::string> traced;
    rig.proto.SetTraceHook([&](const std::string& text) { traced.push_back(text); });

    std::vector<long> seen;
    rig.proto.SetProgressHook([&](long total, long done, int phase) {
        EXPECT_EQ(total, 909);
        EXPECT_EQ(phase, kPhaseRunning);
        seen.push_back(done);
        return done < 36;
    });
    EXPECT_EQ(rig.proto.SendWake(), vorn::kCancelled);
    EXPECT_EQ(seen, (std::vector<long>{0, 18, 36}));
    EXPECT_TRUE(rig.Logged("SendWake canceled by user after sending 36 of 909 packets"));
    for (int wait = 0; wait < 50 && rig.peer.Heard().size() < 37; ++wait) vorn::SleepMs(10);
    EXPECT_EQ(rig.peer.Heard(), std::string(37, '\r'));

    rig.proto.SetProgressHook([](long, long, int phase) { return phase != kPhaseRunning; });
    DeviceInfo record;
    uint32_t mask = setting::kName | setting::kSite;
    EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), vorn::kCancelled);
    EXPECT_TRUE(rig.Logged("DeviceSettings canceled by user after getting 2 of 2 settings"));

    rig.proto.SetProgressHook(nullptr);  // back to the program's hook, which always goes on
    std::string name;
    EXPECT_EQ(rig.proto.NameCommand(&name, kGet), 1);
    EXPECT_EQ(traced, (std::vector<std::string>{"get -i\r", "\rLOG1\r>"}));
}

TEST(DeviceSettings, SilenceNoLoginCuresIsTriedUpToTheTriesAndEndsAsMinus21) {
    // "get -i", the last setting asked for, goes unanswered; every new login then hears
    // an identity nobody can read, so nothing is left to run but the next login.
    for (uint32_t tries : {1u, 2u}) {
        SCOPED_TRACE(tries);
        Rig rig([](const std::string& c) { return c == "get -ver" ? Reply("HELLO") : std::string(); }, tries);
        ASSERT_EQ(rig.opened, 1);
        rig.Identify(LT_KT72, 204);
        DeviceInfo record;
        uint32_t mask = setting::kName;
        EXPECT_EQ(rig.proto.DeviceSettings(&record, &mask, kGet), vorn::kPortClosed);
        EXPECT_EQ(mask, setting::kVersion);  // known before the run; the name never came
        const std::string text = rig.LogText();
        int logins = 0;
        for (size_t at = text.find("DeviceLogin failed with error -30"); at != std::string::npos;
             at = text.find("DeviceLogin failed with error -30", at + 1))
            ++logins;
        EXPECT_EQ(logins, static_cast<int>(tries));
        EXPECT_EQ(rig.peer.Count("get -i"), static_cast<int>(tries));  // one exchange, never repeated
        EXPECT_FALSE(rig.Logged("DeviceSettings re-connected to device"));
    }
}

TEST(DisconnectDevice, KeepPortOpenLeavesTheConnectionForTheNextConnect) {
    Rig rig([](const std::string& c) { return c == "get -ver" ? Reply("MYR 1.20") : std::string(); });
    rig.proto.VSClose();
    ConnectOptions o;
    rig.proto.Options(&o, kGet);
    o.keepPortOpen = true;
    rig.proto.Options(&o, kSet);
    ConnectRequest request;
    request.portName = rig.peer.SlavePath();
    request.connectionType = kConnectionSerial;
    ASSERT_EQ(rig.proto.Connect(&request), 1);
    EXPECT_EQ(rig.proto.Info().type, LT_MYR);
    EXPECT_EQ(rig.proto.DisconnectDevice(), 1);
    EXPECT_TRUE(rig.proto.IsOpen());
    EXPECT_TRUE(rig.proto.Connected());
    EXPECT_EQ(rig.proto.Info().type, LT_UNKNOWN);  // forgotten all the same
    ASSERT_EQ(rig.proto.Connect(&request), 1);
    EXPECT_EQ(rig.peer.Count("get -ver"), 2);

    o.keepPortOpen = false;
    rig.proto.Options(&o, kSet);
    EXPECT_EQ(rig.proto.DisconnectDevice(), 1);
    EXPECT_FALSE(rig.proto.IsOpen());
    EXPECT_FALSE(rig.proto.Connected());
    EXPECT_EQ(rig.proto.DisconnectDevice(), 0);
}
