// Erase, upload and vectors as they appear on the wire, against a scripted peer; and the
// connection's verdict when the engine never states its version.
#include <gtest/gtest.h>

#include <atomic>
#include <tuple>
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
using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

// A TI-Text block of `count` bytes counting up from `first`.
std::string Block(uint32_t address, size_t count, int first = 0) {
    char line[16];
    std::snprintf(line, sizeof line, "@%X\n", address);
    std::string text = line;
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%02X%c", static_cast<unsigned>((first + i) & 0xFF), i % 16 == 15 ? '\n' : ' ');
        text += line;
    }
    return text + "\n";
}

std::string Argument(const FakeEngine::Line& line) { return line.text.substr(1, line.text.size() - 6); }

class OperationsTest : public ConnectedHostTest {
protected:
    void SetUp() override {
        ConnectedHostTest::SetUp();
        host->SetTries(3);
        host->SetProgressReporting(false);
        host->SetProgressReport(nullptr);
    }
    static void LoadImage(const std::string& blocks) {
        WriteFile(dir->File("fw.txt"), blocks + "@FFFE\n00 C0\nq\n");
        ASSERT_EQ(host->BSLLoadTIFile(dir->File("fw.txt")), 1);
    }
    static bool Logged(const std::string& part) {
        return ReadFile(dir->File("log.txt")).find(part) != std::string::npos;
    }
    static std::vector<uint32_t> Addresses(char letter) {
        std::vector<uint32_t> out;
        for (const auto& l : engine->Frames(letter)) out.push_back(std::stoul(Argument(l), nullptr, 16));
        return out;
    }

};

TEST_F(OperationsTest, SixHundredByteSegmentIsOneAddressAndThreeBlocks) {
    LoadImage(Block(0xC000, 600));
    ASSERT_EQ(host->ImageLength(), 1206u);
    EXPECT_EQ(host->BSLSendFirmware(false), 1);
    const auto lines = engine->Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Argument(lines[0]), "C000");
    EXPECT_EQ(lines[0].text[0], '@');
    const std::string& image = host->ImageText();
    EXPECT_EQ(Argument(lines[1]), image.substr(6, 512));
    EXPECT_EQ(Argument(lines[2]), image.substr(518, 512));
    EXPECT_EQ(Argument(lines[3]), image.substr(1030, 176));
    EXPECT_TRUE(Logged("BSLSendFirmware successful (0 s)"));
}

TEST_F(OperationsTest, RefusedBlockIsResentFromItsAddressAfterThePause) {
    LoadImage(Block(0xC000, 600));
    std::atomic<int> writes{0};
    engine->SetPolicy([&writes](const std::string& line) -> std::string {
        if (line[0] == 'W' && ++writes == 2) return "-\r";
        return "+\r";
    });
    EXPECT_EQ(host->BSLSendFirmware(false), 1);
    const auto lines = engine->Lines();
    ASSERT_EQ(lines.size(), 6u);
    // @C000, W1, W2 refused, @C100, W2 again, W3.
    EXPECT_EQ(lines[3].text[0], '@');
    EXPECT_EQ(Argument(lines[3]), "C100");
    EXPECT_EQ(lines[4].text, lines[2].text);
    EXPECT_EQ(Argument(lines[5]), host->ImageText().substr(1030));
    const uint32_t pause = lines[3].atMs - lines[2].atMs;
    EXPECT_GE(pause, 175u);
    EXPECT_LT(pause, 175u + 150u);
}

TEST_F(OperationsTest, ABlockRefusedEveryTimeLeavesTheEngineAtItsAddress) {
    LoadImage(Block(0xC000, 600));
    std::atomic<int> writes{0};
    engine->SetPolicy([&writes](const std::string& line) -> std::string {
        if (line[0] == 'W' && ++writes >= 2) return "-\r";  // the second block, every time
        return "+\r";
    });
    EXPECT_EQ(host->BSLSendFirmware(false), vorn::kRefused);
    const auto lines = engine->Lines();
    // @C000, W1, then three refused tries of W2, each followed by @C100; no W3.
    std::string letters;
    for (const auto& l : lines) letters += l.text[0];
    EXPECT_EQ(letters, "@WW@W@W@");
    EXPECT_EQ(Addresses('@'), (std::vector<uint32_t>{0xC000, 0xC100, 0xC100, 0xC100}));
    ASSERT_EQ(lines.size(), 8u);
    const uint32_t pause = lines[7].atMs - lines[6].atMs;
    EXPECT_GE(pause, 175u);
    EXPECT_LT(pause, 175u + 150u);
    EXPECT_TRUE(Logged("BSLSendFirmware failed with error -1"));
}

TEST_F(OperationsTest, UploadReportsEvery512CharactersAndOnceAtTheEnd) {
    LoadImage(Block(0xC000, 600));
    std::vector<std::tuple<long, long, int, int>> reports;
    host->SetProgressReporting(true);
    host->SetProgressReport([&](long total, long done, int stage, int code) {
        reports.emplace_back(total, done, stage, code);
        return true;
    });
    EXPECT_EQ(host->BSLSendFirmware(false), 1);
    const std::vector<std::tuple<long, long, int, int>> expected = {
        {1206, 0, 1, 'W'}, {1206, 512, 1, 'W'}, {1206, 1024, 1, 'W'}, {1206, 1206, 2, 'W'}};
    EXPECT_EQ(reports, expected);
}

TEST_F(OperationsTest, NoAtTheFirstReportSendsNothing) {
    LoadImage(Block(0xC000, 600));
    int calls = 0;
    host->SetProgressReporting(true);
    host->SetProgressReport([&](long, long done, int stage, int) {
        if (++calls == 1) {
            EXPECT_EQ(done, 0);
        }
        return stage == 2;
    });
    EXPECT_EQ(host->BSLSendFirmware(false), vorn::kCancelled);
    vorn::SleepMs(30);
    EXPECT_EQ(engine->Raw(), "");
    EXPECT_TRUE(Logged("BSLSendFirmware failed with error -40"));
}

TEST_F(OperationsTest, SegmentsAboveSixtyFourKNeedFiveDigits) {
    LoadImage(Block(0x1C000, 4) + Block(0x2100, 2));
    EXPECT_EQ(host->BSLSendFirmware(false), vorn::kOutOfRange);
    vorn::SleepMs(30);
    EXPECT_EQ(engine->Raw(), "");
    EXPECT_EQ(host->BSLSendFirmware(true), 1);
    EXPECT_EQ(Addresses('@'), (std::vector<uint32_t>{0x1C000, 0x2100}));
    EXPECT_EQ(engine->Frames('@')[0].text.substr(0, 6), "@1C000");
    EXPECT_EQ(Argument(engine->Frames('W')[0]), "01000302");
}

TEST_F(OperationsTest, FlashEraseStopsBeforeTheProtectedArea) {
    EXPECT_EQ(host->BSLEraseFlash(0xC000, 0x10000, false), 1);
    const std::vector<uint32_t> addresses = Addresses('X');
    // 0xC000, 0xC200 ... 0xF800; the next, 0xFA00, would jump to 0x10000, not below the end.
    ASSERT_EQ(addresses.size(), 29u);
    for (size_t i = 0; i < addresses.size(); ++i) EXPECT_EQ(addresses[i], 0xC000u + 512 * i);
    EXPECT_EQ(engine->Frames('X').front().text, "XC000.0159");
    EXPECT_TRUE(Logged("BSLEraseFlash successful: segment C000 to 10000 (0 s)"));

    engine->Clear();
    EXPECT_EQ(host->BSLEraseFlash(0xFA00, 0x10000, false), vorn::kOutOfRange);
    EXPECT_EQ(host->BSLEraseFlash(0x1100, 0x1100, false), 1);  // nothing to erase
    vorn::SleepMs(30);
    EXPECT_EQ(engine->Raw(), "");
}

TEST_F(OperationsTest, FlashEraseJumpsTheProtectedAreaAndReportsEveryTenthSegment) {
    std::vector<std::pair<long, long>> reports;
    host->SetProgressReporting(true);
    host->SetProgressReport([&](long total, long done, int, int code) {
        EXPECT_EQ(code, 'X');
        reports.emplace_back(total, done);
        return true;
    });
    EXPECT_EQ(host->BSLEraseFlash(0xE800, 0x10400, true), 1);
    std::vector<uint32_t> expected;
    for (uint32_t a = 0xE800; a < 0xFA00; a += 512) expected.push_back(a);
    expected.push_back(0x10000);
    expected.push_back(0x10200);
    EXPECT_EQ(Addresses('X'), expected);
    EXPECT_EQ(engine->Frames('X').back().text.substr(0, 6), "X10200");
    // 11 segments: reports before the 1st and the 11th, then the closing one.
    const long total = (0x10400 - 0xE800) / 512;
    const std::vector<std::pair<long, long>> wanted = {{total, 0}, {total, (0x10200 - 0xE800) / 512}, {total, total}};
    EXPECT_EQ(reports, wanted);
}

TEST_F(OperationsTest, InfoEraseLogsTheAddressAfterItsLastSegment) {
    EXPECT_EQ(host->BSLEraseINFO(0x1000, 4, 0x40, false), 1);
    EXPECT_EQ(Addresses('X'), (std::vector<uint32_t>{0x1000, 0x1040, 0x1080, 0x10C0}));
    EXPECT_TRUE(Logged("BSLEraseINFO successful: 4 segments @ 1100 ("));
}

TEST_F(OperationsTest, EraseGivesUpAfterItsTries) {
    engine->SetPolicy([](const std::string& line) { return std::string(line.rfind("X1040", 0) == 0 ? "-\r" : "+\r"); });
    EXPECT_EQ(host->BSLEraseINFO(0x1000, 4, 0x40, false), vorn::kRefused);
    EXPECT_EQ(Addresses('X'), (std::vector<uint32_t>{0x1000, 0x1040, 0x1040, 0x1040}));
    EXPECT_TRUE(Logged("BSLEraseINFO failed with error -1 ("));
    engine->Clear();
    host->SetTries(0);
    EXPECT_EQ(host->BSLEraseINFO(0x1000, 1, 0x40, false), vorn::kTriesUsedUp);
    EXPECT_EQ(engine->Raw(), "");
}

TEST_F(OperationsTest, VectorsGoAsSixteenWordsAndWaitForThePlus) {
    WriteFile(dir->File("fw.txt"), Block(0xC000, 2) + "@FFE0\n01 02 03 04\n@FFFE\n00 C0\nq\n");
    ASSERT_EQ(host->BSLLoadTIFile(dir->File("fw.txt")), 1);
    engine->SetPolicy([](const std::string&) { return std::string("+"); });  // no line end
    EXPECT_EQ(host->BSLSendVectors(), 1);
    const auto frames = engine->Frames('V');
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(Argument(frames[0]), "02010403" + std::string(13 * 4, 'F') + "C000");
    EXPECT_TRUE(Logged("BSLSendVectors successful"));
}

// The engine answers the wake-up and "g", but never with a number.
TEST(ConnectVerdictTest, NoVersionInAnyAnswerIsAFailure) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    FakeEngine engine(pty, [](const std::string& line) -> std::string {
        if (line == "boot ZELK") return "\rOK\r";
        if (line.empty()) return "$";
        if (line == "P") return "#";
        return "+\r";
    });
    TempDir dir;
    VornLog log(dir.File("log.txt"), 40);
    VornBSLHost host(&log);
    EXPECT_EQ(host.BSLConnect(pty.SlavePath(), 9600, false, 2), vorn::kNotUnderstood);
    EXPECT_FALSE(host.Connected());
    EXPECT_EQ(engine.Frames('g').size(), 2u);
    EXPECT_EQ(engine.Frames('P').size(), 2u);
    const std::string text = ReadFile(dir.File("log.txt"));
    EXPECT_NE(text.find("BSLInvocation successful (1 tries)"), std::string::npos);
    EXPECT_NE(text.find("BSLConnect failed to connect to device (error -30)"), std::string::npos);
    EXPECT_EQ(host.BSLConnect("", 9600, false, 2), vorn::kMissingArgument);
}

// An engine already in command mode answers "boot ZELK" with "?" at the firmware's
// 9600 baud: it listens there, so the version request must go at 9600 too.
TEST(ConnectVerdictTest, AnEngineThatAnsweredAt9600IsAskedItsVersionAt9600) {
    for (uint32_t engineBaud : {9600u, 57600u}) {
        SCOPED_TRACE(engineBaud);
        PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        std::atomic<uint32_t> versionAsked{0};
        FakeEngine engine(pty, [&](const std::string& line) -> std::string {
            if (line == "boot ZELK") return "?\r";
            if (!line.empty() && line[0] == 'g') {
                versionAsked = pty.HostBaud();
                return "+3+\r";
            }
            return {};
        });
        TempDir dir;
        VornLog log(dir.File("log.txt"), 40);
        VornBSLHost host(&log);
        EXPECT_EQ(host.BSLConnect(pty.SlavePath(), engineBaud, false, 1), 3);
        EXPECT_EQ(versionAsked.load(), 9600u);
        EXPECT_EQ(engine.Frames('P').size(), 0u);  // no handshake with an active engine
        EXPECT_NE(ReadFile(dir.File("log.txt")).find("BSLInvocation found the VornBSL already active"),
                  std::string::npos);
    }
}

}  // namespace

TEST_F(OperationsTest, AnImageOfVectorsAloneSendsNothingAndReportsNothing) {
    LoadImage("");  // only the vector block
    ASSERT_EQ(host->ImageLength(), 0u);
    int reports = 0;
    host->SetProgressReporting(true);
    host->SetProgressReport([&](long, long, int, int) {
        ++reports;
        return true;
    });
    EXPECT_EQ(host->BSLSendFirmware(false), vorn::kOutOfRange);
    EXPECT_EQ(reports, 0);
    EXPECT_TRUE(engine->Lines().empty());
}
