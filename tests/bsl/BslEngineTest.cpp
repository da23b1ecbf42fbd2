// The simulated VornBSL engine and its flash model: the rules the updater's recovery and
// the session tests rely on.
#include <gtest/gtest.h>

#include <memory>

#include "bsl/VornBSLHost.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "sim/BslEngine.h"
#include "sim/FlashModel.h"
#include "sim/Instrument.h"
#include "support/TestSupport.h"

using vorn::test::TempDir;
using vorn::test::WriteFile;
using vornsim::FlashModel;

namespace {

FlashModel ReadwellFlash() {
    FlashModel flash;
    flash.Configure(vornsim::FlashLayoutOf("RW"));
    return flash;
}

TEST(FlashModelTest, WritesNeedErasedFlashAndMayRepeatThemselves) {
    FlashModel flash = ReadwellFlash();
    EXPECT_FALSE(flash.Write(0x2200, {0x12, 0x34}));  // still the factory firmware
    ASSERT_TRUE(flash.Erase(0x2300));                 // the 512 bytes from 0x2200
    EXPECT_TRUE(flash.HoldsFactoryData(0x2400));
    EXPECT_TRUE(flash.Write(0x2200, {0x12, 0x34}));
    EXPECT_TRUE(flash.Write(0x2200, {0x12, 0x34}));   // a block sent again
    EXPECT_TRUE(flash.Write(0x2201, {0xFF}));         // programs nothing
    EXPECT_EQ(flash.Read(0x2201), 0x34);
    EXPECT_FALSE(flash.Write(0x2200, {0x99}));        // a different value
    EXPECT_EQ(flash.Read(0x2200), 0x12);
    // A change refused in the middle leaves the whole write undone.
    ASSERT_TRUE(flash.Write(0x2204, {0x11}));
    EXPECT_FALSE(flash.Write(0x2203, {0x77, 0x22}));
    EXPECT_EQ(flash.Read(0x2203), 0xFF);
    EXPECT_FALSE(flash.Write(0x23FF, {0x01, 0x02}));  // runs into an unerased segment
    EXPECT_EQ(flash.Read(0x23FF), 0xFF);
    EXPECT_FALSE(flash.Erase(0xFA00));
    ASSERT_TRUE(flash.Erase(0x2200));
    EXPECT_EQ(flash.Read(0x2200), 0xFF);
}

TEST(FlashModelTest, CodeRunsOnlyWithVectorsWrittenAfterTheLastErase) {
    FlashModel flash = ReadwellFlash();
    EXPECT_TRUE(flash.CodeGood());  // the factory firmware
    ASSERT_TRUE(flash.Erase(0x2100));
    EXPECT_FALSE(flash.CodeGood());
    ASSERT_TRUE(flash.Write(0x2100, {0x31, 0x40}));
    FlashModel::Vectors vectors;
    vectors.fill(0xFFFF);
    vectors[15] = 0x2180;  // points at nothing programmed
    flash.WriteVectors(vectors);
    EXPECT_FALSE(flash.CodeGood());
    vectors[15] = 0x2100;
    flash.WriteVectors(vectors);
    EXPECT_TRUE(flash.CodeGood());
    ASSERT_TRUE(flash.Erase(0x1000));
    EXPECT_FALSE(flash.CodeGood());
}

TEST(FlashModelTest, DumpIsTiTextTheClientReads) {
    FlashModel flash = ReadwellFlash();
    ASSERT_TRUE(flash.Erase(0x2100));
    ASSERT_TRUE(flash.Erase(0x10000));
    ASSERT_TRUE(flash.Write(0x2100, {0x01, 0x02, 0x03}));
    ASSERT_TRUE(flash.Write(0x10001, {0xAB}));
    FlashModel::Vectors vectors;
    vectors.fill(0xFFFF);
    vectors[15] = 0x2100;
    flash.WriteVectors(vectors);
    TempDir dir;
    WriteFile(dir.File("dump.txt"), flash.ToTiText());
    VornBSLHost host(nullptr);
    ASSERT_EQ(host.BSLLoadTIFile(dir.File("dump.txt")), 1);
    EXPECT_EQ(host.ImageText(), "@021000201FF03@10001FFAB");
    EXPECT_EQ(host.Vectors()[15], 0x2100u);
}

// The engine in command mode at 9600 baud, talked to through the client's own channel.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        vornsim::Options options;
        options.family = "KT72";
        options.portName = "";
        options.switches["in-bootloader"] = "";
        sim = vornsim::MakeInstrument(options);
        ASSERT_TRUE(sim->Start());
        ASSERT_EQ(host.BSLCheck(sim->SlavePath(), 9600), vorn::kBslActive);
    }
    // A raw line and what comes back within `waitMs`.
    std::string Say(const std::string& line, uint32_t waitMs = 300) {
        host.VSFlush(1);
        EXPECT_GT(host.VSWrite(line + "\r"), 0);
        (void)host.VSWait(waitMs, '\r');  // what came back, if anything, is the answer
        char buffer[64] = {};
        int32_t got = 0;
        EXPECT_GE(host.VSRead(buffer, sizeof buffer - 1, &got), 0);
        return std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    }
    int32_t Frame(char letter, const std::string& text) {
        std::string answer;
        return host.BSLCommand(letter, text.data(), static_cast<uint32_t>(text.size()), '\r', &answer, nullptr);
    }

    TempDir dir;
    VornLog log{dir.File("log.txt"), 30};
    VornBSLHost host{&log};
    std::unique_ptr<vornsim::Simulator> sim;
};

TEST_F(EngineTest, UnderstandsOnlyFramesButTakesAnyGLineAsTheVersionRequest) {
    EXPECT_EQ(Say("get -ver"), "+3+\r");  // what an identification attempt sends
    EXPECT_EQ(Say(""), "?\r");
    EXPECT_EQ(Say("boot ZELK"), "?\r");
    EXPECT_EQ(Say("XC000.0000"), "-\r");  // damaged: wrong sum
    EXPECT_EQ(Say("Z1.00B9"), "?\r");     // a sound frame of no known letter
    // Bytes at another speed are garbage to it: no answer at all.
    ASSERT_GE(host.VSHostBaud(57600), 0);
    EXPECT_EQ(Say("get -ver"), "");
}

TEST_F(EngineTest, WritesLandAtTheAddressAndMoveItOn) {
    EXPECT_EQ(Frame('W', "3412"), vorn::kRefused);  // no address yet
    EXPECT_GT(Frame('@', "C000"), 0);
    EXPECT_EQ(Frame('W', "3412"), vorn::kRefused);  // not erased
    EXPECT_GT(Frame('X', "C000"), 0);
    EXPECT_GT(Frame('@', "C000"), 0);
    EXPECT_GT(Frame('W', "3412"), 0);
    EXPECT_GT(Frame('W', "7856"), 0);
    EXPECT_GT(Frame('@', "C000"), 0);
    EXPECT_GT(Frame('W', "34127856"), 0);  // the same block again
    EXPECT_GT(Frame('@', "C002"), 0);
    EXPECT_EQ(Frame('W', "7857"), vorn::kRefused);
    EXPECT_EQ(Frame('W', "785"), vorn::kRefused);   // not whole words
    EXPECT_EQ(Frame('X', "FA00"), vorn::kRefused);  // the engine's own area
    sim->WithState([](vornsim::InstrumentState& s) {
        EXPECT_EQ(s.flash.Read(0xC000), 0x12);
        EXPECT_EQ(s.flash.Read(0xC001), 0x34);
        EXPECT_EQ(s.flash.Read(0xC002), 0x56);
        EXPECT_EQ(s.flash.Read(0xC003), 0x78);
        EXPECT_NE(vornsim::DumpState(s).find("\nflash:\n@C000\n12 34 56 78\n@FFE0\n"), std::string::npos);
    });
}

}  // namespace

// A real line at 9600 baud: a full "W" frame (519 bytes) takes 541 ms to cross after the
// write returned, and a slow flash 800 ms to program it. The answer comes about 1350 ms
// after the write: within the engine's 1000 ms once the frame has left, so it is taken at
// the first try and the frame is not sent again. Counted from the write's return, the
// window (1000 ms, read in slices of 100, and one more read) closes before it.
TEST(PacedLineTest, AFullFrameAndASlowFlashAreAnsweredInTimeAt9600) {
    vornsim::Options options;
    options.family = "KT72";
    options.portName = "";
    options.pacing = true;
    options.switches["in-bootloader"] = "";
    options.switches["flash-write-ms"] = "800";
    auto sim = vornsim::MakeInstrument(options);
    ASSERT_TRUE(sim->Start());
    TempDir dir;
    VornLog log{dir.File("log.txt"), 30};
    VornBSLHost host{&log};
    ASSERT_EQ(host.BSLCheck(sim->SlavePath(), 9600), vorn::kBslActive);
    auto frame = [&host](char letter, const std::string& text) {
        std::string answer;
        return host.BSLCommand(letter, text.data(), static_cast<uint32_t>(text.size()), '\r', &answer, nullptr);
    };
    ASSERT_GT(frame('X', "C000"), 0);
    ASSERT_GT(frame('@', "C000"), 0);
    std::string block;
    for (int i = 0; i < 128; ++i) block += "A55A";  // 256 bytes, the largest frame
    const uint32_t start = vorn::MsTimer();
    EXPECT_GT(frame('W', block), 0);
    EXPECT_GE(vorn::MsTimer() - start, 1000u);  // the line and the flash took their time
    sim->WithState([](vornsim::InstrumentState& s) {
        EXPECT_EQ(s.bslWrites, 1);
        EXPECT_EQ(s.flash.Read(0xC000), 0x5A);
        EXPECT_EQ(s.flash.Read(0xC0FF), 0xA5);
    });
}
