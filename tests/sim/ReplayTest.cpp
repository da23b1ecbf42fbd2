// vornsim's replay of a wire transcript, with the serial layer as the host: what it lets
// differ (a credential, the clock's numbers), what it does not, and the line speed.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/Timing.h"
#include "serial/VornSerial.h"
#include "serial/WireTranscript.h"
#include "sim/Replay.h"
#include "sim/Simulator.h"

namespace {

using vorn::serial::TranscriptEvent;

std::vector<TranscriptEvent> Events(const std::vector<std::string>& lines) {
    std::vector<TranscriptEvent> events;
    size_t number = 2;  // after the header
    for (const std::string& text : lines) {
        TranscriptEvent e;
        e.lineNumber = ++number;
        std::string why;
        EXPECT_TRUE(vorn::serial::ParseTranscriptLine(text, &e.line, &why)) << text << ": " << why;
        events.push_back(e);
    }
    return events;
}

// A replay on a pseudo-terminal of its own, and the host's end of it.
struct Replayed {
    explicit Replayed(const std::vector<std::string>& lines) {
        vornsim::Options options;
        options.portName.clear();  // not registered: the test opens the terminal itself
        replay = std::make_shared<vornsim::Replay>(Events(lines), "t.txt");
        sim = std::make_unique<vornsim::Simulator>(options);
        sim->onPowerOn = [r = replay](vornsim::Simulator& s) { s.Become(r, r->FirstBaud()); };
        EXPECT_TRUE(sim->Start()) << sim->Error();
        EXPECT_EQ(host.VSOpen(sim->SlavePath(), 9600), 1);
    }
    // What the host hears within `ms` after sending `line`.
    std::string Say(const std::string& line, uint32_t ms = 400) {
        int32_t written = 0;
        EXPECT_GE(host.VSWrite(line, &written), 0);
        const int32_t found = host.VSWait(ms, '>');
        char buffer[256];
        int32_t count = 0;
        (void)host.VSRead(buffer, sizeof buffer, &count);
        return found > 0 ? std::string(buffer, static_cast<size_t>(count)) : std::string();
    }
    std::string Failure() {
        sim->Stop();
        return replay->Failure();
    }

    std::shared_ptr<vornsim::Replay> replay;
    std::unique_ptr<vornsim::Simulator> sim;
    VornSerial host{nullptr};
};

const std::vector<std::string> kSession = {
    "0 OPEN 9600 \"ttyUSB0\"",
    "5 TX 9600 \"get -ver\\r\"",
    "130 RX 9600 \"\\rKt72 2.10\\r>\"",
    "200 TX* 9600 \"set -passwd ********\\r\"",
    "210 RX 9600 \"\\rOK\\r>\"",
    "300 TX~ 9600 \"set -t 9:5:7\\r\"",
    "310 RX 9600 \"\\rOK\\r>\"",
    "400 BAUD 38400",
    "410 TX 38400 \"W\"",
    "420 RX 38400 \"\\r>\"",
};

}  // namespace

TEST(Replay, AnswersWhatWasAnsweredThenAsLongAfterAndLetsOnlyACredentialOrTheClockDiffer) {
    Replayed r(kSession);
    const uint32_t sent = vorn::MsTimer();
    EXPECT_EQ(r.Say("get -ver\r"), "\rKt72 2.10\r>");
    EXPECT_GE(vorn::MsTimer() - sent, 110u);  // 125 ms after the question, as then
    EXPECT_EQ(r.Say("set -passwd other-one\r"), "\rOK\r>");
    EXPECT_EQ(r.Say("set -t 23:59:1\r"), "\rOK\r>");
    ASSERT_EQ(r.host.VSHostBaud(38400), 1);
    EXPECT_EQ(r.Say("W"), "\r>");
    EXPECT_EQ(r.Failure(), "");
    EXPECT_EQ(r.replay->Unfinished(), "");
    EXPECT_EQ(r.replay->LinesSaid(), 4u);
}

TEST(Replay, TheFirstDifferenceIsNamedWithItsLine) {
    struct Case {
        const char* what;
        std::vector<std::string> said;
        std::string failure;
    };
    const Case cases[] = {
        {"another command", {"get -vex\r"},
         "line 4 of t.txt: the transcript has 5 TX 9600 \"get -ver\\r\", the host sent \"get -vex\""},
        // The credential's line ends at its line end: what follows is the next line.
        {"a command after the credential", {"get -ver\r", "set -passwd x\rboot ZELK\r"},
         "line 8 of t.txt: the transcript has 300 TX~ 9600 \"set -t 9:5:7\\r\", the host sent \"boot ZELK\\r\""},
        {"words for the clock's numbers", {"get -ver\r", "set -passwd x\r", "set -t now\r"},
         "line 8 of t.txt: the transcript has 300 TX~ 9600 \"set -t 9:5:7\\r\", the host sent \"set -t now\\r\""},
        {"the old speed", {"get -ver\r", "set -passwd x\r", "set -t 1:2:3\r", "W"},
         "line 11 of t.txt: the transcript has 410 TX 38400 \"W\", the host sent 1 bytes at 9600 baud"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Replayed r(kSession);
        for (const std::string& line : c.said) (void)r.Say(line, 300);
        EXPECT_EQ(r.Failure(), c.failure);
    }
    // Stopped before the host said everything: the first line it never said.
    Replayed early(kSession);
    EXPECT_EQ(early.Say("get -ver\r"), "\rKt72 2.10\r>");
    EXPECT_EQ(early.Failure(), "");
    EXPECT_EQ(early.replay->Unfinished(),
              "line 6 of t.txt: the host never sent 200 TX* 9600 \"set -passwd ********\\r\"");
}
