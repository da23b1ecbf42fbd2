// The framed command exchange of the bootloader client, against a scripted peer.
#include <gtest/gtest.h>

#include <vector>

#include "FakeEngine.h"
#include "bsl/VornBSLHost.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

using vorn::test::AgreeToAll;
using vorn::test::ConnectedHostTest;
using vorn::test::FakeEngine;
using vorn::test::PtyPair;
using vorn::test::TempDir;

namespace {

// One host, connected once for the whole suite (connecting costs over a second).
class ChannelTest : public ConnectedHostTest {
protected:
    // What reached the peer, once anything in flight has arrived.
    static std::string Sent() {
        vorn::SleepMs(30);
        return engine->Raw();
    }
    static void Answer(std::string reply) {
        engine->SetPolicy([reply](const std::string&) { return reply; });
    }

};

TEST_F(ChannelTest, VersionRequestIsSevenBytes) {
    Answer("+3+\r");
    std::string answer;
    uint32_t elapsed = 9999;
    EXPECT_EQ(host->BSLCommand('g', nullptr, 0, '\r', &answer, &elapsed), 4);
    EXPECT_EQ(answer, "+3+\r");
    EXPECT_LT(elapsed, 1000u);  // not the second a silent engine is given
    EXPECT_EQ(Sent(), "g.0095\r");
}

TEST_F(ChannelTest, NumbersGoAsFourOrFiveDigitsWithTheByteSum) {
    uint32_t address = 0xC000;
    EXPECT_EQ(host->BSLCommand('X', &address, 1, '\r', nullptr, nullptr, false), 2);
    EXPECT_EQ(Sent(), "XC000.0159\r");
    engine->Clear();
    address = 0x1C000;
    EXPECT_EQ(host->BSLCommand('X', &address, 1, '\r', nullptr, nullptr, true), 2);
    EXPECT_EQ(Sent(), "X1C000.018A\r");
}

TEST_F(ChannelTest, LargestFramesGoOutWhole) {
    const std::vector<uint32_t> numbers(128, 0xFFFFF);
    EXPECT_GT(host->BSLCommand('V', numbers.data(), 128, '\r', nullptr, nullptr, true), 0);
    const std::string frame = Sent();
    ASSERT_EQ(frame.size(), 647u);
    EXPECT_EQ(frame.substr(0, 6), "VFFFFF");
    EXPECT_EQ(frame.substr(641), ".AF84\r");  // 86 + 640 * 70 + 46

    engine->Clear();
    const std::string text(512, '~');
    std::string answer;
    EXPECT_GT(host->BSLCommand('W', text.data(), 512, '\r', &answer, nullptr), 0);
    EXPECT_EQ(Sent(), "W" + text + ".FC85\r");  // 87 + 512 * 126 + 46
}

TEST_F(ChannelTest, AnswersAreJudgedByTheirFirstTwoCharacters) {
    struct Case {
        const char* reply;
        int32_t result;
    } cases[] = {{"+\r", 2},  {"x+\r", 3},  {"-\r", vorn::kRefused}, {"?\r", vorn::kRefused},
                 {"OK\r", vorn::kRefused}, {"+123456789012345678901234\r", 20}};
    for (const Case& c : cases) {
        Answer(c.reply);
        std::string answer;
        EXPECT_EQ(host->BSLCommand('@', "C000", 4, '\r', &answer, nullptr), c.result) << c.reply;
        EXPECT_LE(answer.size(), 20u);
    }
}

TEST_F(ChannelTest, SilenceIsNoAnswerAfterTheWait) {
    Answer("");
    std::string answer = "old";
    uint32_t elapsed = 0;
    EXPECT_EQ(host->BSLCommand('@', "C000", 4, '\r', &answer, &elapsed), vorn::kPortClosed);
    EXPECT_EQ(answer, "");
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 2500u);
}

TEST_F(ChannelTest, BadArgumentsSendNothing) {
    std::string answer;
    const std::string long513(513, 'A');
    const std::vector<uint32_t> many(129, 1);
    const uint32_t wide4 = 0x10000;
    const uint32_t wide5 = 0x100000;
    EXPECT_EQ(host->BSLCommand('W', long513.data(), 513, '\r', &answer, nullptr), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLCommand('W', nullptr, 0, '\r', &answer, nullptr), vorn::kMissingArgument);
    EXPECT_EQ(host->BSLCommand('@', "C000", 4, '\r', nullptr, nullptr), vorn::kMissingArgument);
    EXPECT_EQ(host->BSLCommand('W', "AB\rCD", 5, '\r', &answer, nullptr), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLCommand('V', many.data(), 129, '+', &answer, nullptr, false), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLCommand('X', &wide4, 1, '\r', &answer, nullptr, false), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLCommand('X', &wide5, 1, '\r', &answer, nullptr, true), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLCommand('X', nullptr, 1, '\r', &answer, nullptr, false), vorn::kMissingArgument);
    EXPECT_EQ(Sent(), "");
}

TEST(ChannelConnectionTest, CommandsNeedTheHostsOwnConnection) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    FakeEngine engine(pty, [](const std::string&) { return std::string(); });
    TempDir dir;
    VornLog log(dir.File("log.txt"), 40);
    VornBSLHost host(&log);
    EXPECT_EQ(host.ConstructionStatus(), 0);

    std::string answer;
    EXPECT_EQ(host.BSLCommand('g', nullptr, 0, '\r', &answer, nullptr), vorn::kPortClosed);
    EXPECT_EQ(host.BSLDisconnect(), 0);

    // Nobody answers the check's carriage return, but the port stays with the host.
    EXPECT_EQ(host.BSLCheck(pty.SlavePath(), 57600), vorn::kPortClosed);
    EXPECT_EQ(pty.HostBaud(), 57600u);
    EXPECT_TRUE(host.Connected());
    EXPECT_NE(vorn::test::ReadFile(dir.File("log.txt")).find("BSLCheck didn't get a response from the VornBSL"),
              std::string::npos);
    EXPECT_EQ(engine.Raw(), "\r");

    EXPECT_EQ(host.BSLDisconnect(), 1);
    EXPECT_EQ(host.BSLDisconnect(), 0);
    EXPECT_FALSE(host.IsOpen());
    EXPECT_EQ(host.BSLCommand('g', nullptr, 0, '\r', &answer, nullptr), vorn::kPortClosed);
    vorn::SleepMs(30);
    EXPECT_EQ(engine.Raw(), "\r");
}

}  // namespace
