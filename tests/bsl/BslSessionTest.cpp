// Whole bootloader sessions against the simulated instrument: wake-up, erase, upload and
// vectors leave the image in the simulated flash; the engine's faults are survived or
// reported; an instrument left in its bootloader by a power loss is loaded again.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "bsl/VornBSLHost.h"
#include "catalogue/DeviceCatalogue.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "sim/BslEngine.h"
#include "sim/Instrument.h"
#include "support/TestSupport.h"

using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

struct Block {
    uint32_t start;
    size_t count;
};

// A firmware image of counting bytes in the given blocks, with its reset vector.
class Firmware {
public:
    Firmware(std::vector<Block> blocks, uint16_t reset) {
        int seed = 7;
        for (const Block& b : blocks) {
            char line[16];
            std::snprintf(line, sizeof line, "@%X\n", b.start);
            text_ += line;
            for (size_t i = 0; i < b.count; ++i) {
                const uint8_t value = static_cast<uint8_t>(seed++ * 37 % 251);
                bytes_[b.start + static_cast<uint32_t>(i)] = value;
                std::snprintf(line, sizeof line, "%02X%c", value, i % 16 == 15 ? '\n' : ' ');
                text_ += line;
            }
            text_ += "\n";
        }
        vectors_.fill(0xFFFF);
        vectors_[0] = 0x2200;
        vectors_[15] = reset;
        char tail[64];
        std::snprintf(tail, sizeof tail, "@FFE0\n00 22\n@FFFE\n%02X %02X\nq\n", reset & 0xFF, reset >> 8);
        text_ += tail;
    }
    const std::string& Text() const { return text_; }
    // What the flash must hold: every byte of the image that is not erased flash.
    std::map<uint32_t, uint8_t> Programmed() const {
        std::map<uint32_t, uint8_t> out;
        for (const auto& [a, v] : bytes_)
            if (v != 0xFF) out[a] = v;
        return out;
    }
    const vornsim::FlashModel::Vectors& Vectors() const { return vectors_; }

private:
    std::string text_;
    std::map<uint32_t, uint8_t> bytes_;
    vornsim::FlashModel::Vectors vectors_;
};

const Firmware& ReadwellImage() {
    static const Firmware image({{0x1040, 20}, {0x2100, 600}, {0x1C000, 301}}, 0x2100);
    return image;
}
const Firmware& SixteenBitImage() {
    static const Firmware image({{0x1080, 16}, {0x1100, 600}, {0xC001, 77}, {0xF9F0, 16}}, 0x1100);
    return image;
}

class SessionTest : public ::testing::Test {
protected:
    void Start(const std::string& family, std::map<std::string, std::string> switches = {}) {
        vornsim::Options options;
        options.family = family;
        options.portName = "";
        options.seed = 11;
        options.switches = std::move(switches);
        sim = vornsim::MakeInstrument(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
        LoadFamilyProfile(vornsim::FamilyOf(family), 999, &profile);
    }
    void Load(const Firmware& firmware) {
        WriteFile(dir.File("fw.txt"), firmware.Text());
        ASSERT_EQ(host.BSLLoadTIFile(dir.File("fw.txt")), 1);
    }
    int32_t Connect(uint32_t tries = 3) {
        return host.BSLConnect(sim->SlavePath(), profile.bootloaderBaud, true, tries);
    }
    // Erase, upload and vectors, as the update runs them.
    void LoadFlash() {
        const bool five = profile.extendedAddressing;
        ASSERT_GE(host.BSLEraseINFO(profile.infoStart, profile.infoSegmentCount, profile.infoSegmentSize, five), 0);
        ASSERT_GE(host.BSLEraseFlash(profile.flashStart, profile.flashEnd, five), 0);
        ASSERT_GE(host.BSLSendFirmware(five), 0);
        ASSERT_GE(host.BSLSendVectors(), 0);
        host.BSLDisconnect();
    }
    void ExpectFlashHolds(const Firmware& firmware) {
        sim->WithState([&](vornsim::InstrumentState& s) {
            EXPECT_EQ(s.flash.bytes, firmware.Programmed());
            EXPECT_EQ(s.flash.vectors, firmware.Vectors());
            EXPECT_TRUE(s.flash.CodeGood());
        });
    }
    std::string Active() {
        std::string name;
        sim->Call([&](vornsim::Simulator& s) { name = s.Active() ? s.Active()->Name() : "off"; });
        return name;
    }
    size_t BootLines() {
        const std::string sent = sim->HostTranscript();
        size_t n = 0;
        for (size_t at = sent.find("boot ZELK\r"); at != std::string::npos; at = sent.find("boot ZELK\r", at + 1)) ++n;
        return n;
    }
    // Frames the host sent that begin with `letter`.
    size_t Frames(char letter) {
        const std::string sent = sim->HostTranscript();
        size_t n = 0;
        for (size_t at = 0; at < sent.size(); at = sent.find('\r', at) == std::string::npos ? sent.size() : sent.find('\r', at) + 1)
            n += sent[at] == letter;
        return n;
    }
    bool Logged(const std::string& part) { return ReadFile(dir.File("log.txt")).find(part) != std::string::npos; }

    TempDir dir;
    VornLog log{dir.File("log.txt"), 30};
    VornBSLHost host{&log};
    std::unique_ptr<vornsim::Simulator> sim;
    DeviceProfile profile;
    std::vector<std::pair<long, int>> reports;
};

TEST_F(SessionTest, ReadwellSessionLeavesTheImageInFlash) {
    Start("RW");
    ASSERT_TRUE(profile.extendedAddressing);
    ASSERT_EQ(profile.bootloaderBaud, 57600u);
    Load(ReadwellImage());
    sim->WithState([](vornsim::InstrumentState& s) { s.settings["-sn"] = "1234"; });
    host.SetProgressReport([&](long, long done, int, int code) {
        reports.emplace_back(done, code);
        return true;
    });

    EXPECT_EQ(Connect(), vornsim::kBslEngineVersion);
    EXPECT_TRUE(Logged("BSLInvocation successful (1 tries)"));
    EXPECT_EQ(sim->HostBaud(), 57600u);
    LoadFlash();
    ExpectFlashHolds(ReadwellImage());
    EXPECT_TRUE(Logged("BSLConnect connected to device running VornBSL version 3"));
    EXPECT_NE(sim->HostTranscript().find("@1C000."), std::string::npos);
    size_t uploads = 0;
    for (const auto& r : reports) uploads += r.second == 'W';
    EXPECT_EQ(uploads, 4u + 1u);  // at 0, 512, 1024 and 1536 of the 1862 image characters, and the end

    // The instrument restarts into its new firmware, without its old settings.
    vorn::SleepMs(vornsim::kBslRestartDelayMs + 200);
    EXPECT_EQ(Active(), "command interpreter");
    sim->WithState([](vornsim::InstrumentState& s) { EXPECT_TRUE(s.settings.empty()); });
}

TEST_F(SessionTest, SixteenBitSessionLeavesTheImageInFlash) {
    Start("KT72");
    ASSERT_FALSE(profile.extendedAddressing);
    ASSERT_EQ(profile.bootloaderBaud, 9600u);
    Load(SixteenBitImage());
    EXPECT_EQ(Connect(), vornsim::kBslEngineVersion);
    LoadFlash();
    ExpectFlashHolds(SixteenBitImage());
    EXPECT_NE(sim->HostTranscript().find("@C001."), std::string::npos);
    EXPECT_EQ(sim->HostTranscript().find("@0C001"), std::string::npos);
}

TEST_F(SessionTest, DamagedAnswersAreRetriedAndTheFlashStillMatches) {
    // Damaged "+" answers to written blocks make the client write them again; the flash
    // takes the same bytes a second time.
    Start("KT72", {{"corrupt-rate", "0.04"}});
    Load(SixteenBitImage());
    ASSERT_GE(Connect(), 0);
    LoadFlash();
    ExpectFlashHolds(SixteenBitImage());
    // 4 segments, 6 blocks, 2 + 117 erased segments: anything beyond was a retry.
    EXPECT_GT(Frames('@') + Frames('W') + Frames('X'), 4u + 6u + 119u);
}

TEST_F(SessionTest, MissingEngineFailsWithoutFurtherTries) {
    Start("RW", {{"bsl-missing", ""}});
    EXPECT_EQ(Connect(), vorn::kNoBootloader);
    EXPECT_EQ(BootLines(), 1u);
    EXPECT_FALSE(host.Connected());
    EXPECT_TRUE(Logged("BSLInvocation failed with error -112"));
    EXPECT_TRUE(Logged("BSLConnect failed to connect to device (error -112)"));
}

TEST_F(SessionTest, EngineAlreadyInCommandModeCountsAsInvoked) {
    Start("KT72", {{"in-bootloader", ""}});
    EXPECT_EQ(Connect(), vornsim::kBslEngineVersion);
    EXPECT_EQ(BootLines(), 1u);
    EXPECT_TRUE(Logged("BSLInvocation found the VornBSL already active"));
}

TEST_F(SessionTest, PowerLossMidUploadFailsCleanlyAndTheLeftEngineIsLoadedAgain) {
    Start("RW");
    Load(ReadwellImage());
    ASSERT_GE(Connect(), 0);
    const bool five = profile.extendedAddressing;
    ASSERT_GE(host.BSLEraseINFO(profile.infoStart, profile.infoSegmentCount, profile.infoSegmentSize, five), 0);
    ASSERT_GE(host.BSLEraseFlash(profile.flashStart, profile.flashEnd, five), 0);
    // Power goes after three more frames, in the middle of the upload.
    sim->WithState([](vornsim::InstrumentState& s) { s.bslPowerLossAfter = s.bslFrames + 3; });
    host.SetTries(1);
    EXPECT_LT(host.BSLSendFirmware(five), 0);
    EXPECT_TRUE(Logged("BSLSendFirmware failed with error"));
    host.BSLDisconnect();

    // The instrument comes back in its bootloader, waiting at its own speed.
    EXPECT_EQ(host.BSLCheck(sim->SlavePath(), profile.bootloaderBaud), vorn::kBslWaiting);
    EXPECT_TRUE(Logged("BSLCheck found the VornBSL waiting for a connection"));
    host.BSLDisconnect();
    EXPECT_EQ(Active(), "VornBSL engine");

    // "boot ZELK" at 9600 baud never reaches it; the check finds it waiting and the
    // connection is completed at 57600.
    EXPECT_EQ(Connect(), vornsim::kBslEngineVersion);
    EXPECT_TRUE(Logged("BSLConnect completed the connection to the waiting VornBSL"));
    LoadFlash();
    ExpectFlashHolds(ReadwellImage());
}

}  // namespace
