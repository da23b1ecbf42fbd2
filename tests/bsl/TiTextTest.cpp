// The firmware image: TI-Text files read into the image text and the vector table, and
// the dump written back. The loader is checked against srec_cat as an independent writer
// of TI-Text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "bsl/VornBSLHost.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

constexpr const char* kSpecExample = "@C000\n31 40 00 0A\n@FFFE\n00 C0\nq\n";

class TiTextTest : public ::testing::Test {
protected:
    int32_t Load(const std::string& content, const std::string& name = "fw.txt") {
        WriteFile(dir.File(name), content);
        return host.BSLLoadTIFile(dir.File(name));
    }
    std::string LogText() { return ReadFile(dir.File("log.txt")); }
    bool Logged(const std::string& part) { return LogText().find(part) != std::string::npos; }
    static uint32_t Slot(const VornBSLHost& h, size_t i) { return h.Vectors()[i]; }

    TempDir dir;
    VornLog log{dir.File("log.txt"), 40};
    VornBSLHost host{&log};
};

TEST_F(TiTextTest, SmallFileBecomesHighByteFirstWordsAndVectorTable) {
    ASSERT_EQ(Load(kSpecExample), 1);
    EXPECT_EQ(host.ImageText(), "@0C00040310A00");
    EXPECT_EQ(host.ImageLength(), 14u);
    EXPECT_EQ(Slot(host, 15), 0xC000u);
    for (size_t i = 0; i < 15; ++i) EXPECT_EQ(Slot(host, i), 0xFFFFu) << i;
    EXPECT_EQ(host.FirmwareFileName(), "fw.txt");
    EXPECT_TRUE(Logged("VornBSL: BSLLoadTIFile loaded file " + dir.File("fw.txt") + " ("));
}

TEST_F(TiTextTest, InvalidFilesAreRefusedWithOrWithoutTheirLogLine) {
    // Structural faults are logged as an invalid file...
    for (const char* text : {"@C000\n31 40 00 0A\nq\n",           // no vector block
                             "@C000 31 40 q",                     // "@" line without line feed
                             "@\n\nq",                            // "@" without a number
                             "@C000\n31\n@FFFE\n00 C\nq\n",       // incomplete vector word
                             "@100000\n31 40\n@FFFE\n00 C0\nq\n",  // address above 0xFFFFF
                             "@FFFC\n00 C0 00 C0 00 C0\nq\n"}) {   // vectors past slot 15
        std::filesystem::remove(dir.File("log.txt"));
        EXPECT_EQ(Load(text), vorn::kBadTiText) << text;
        EXPECT_TRUE(Logged("BSLLoadTIFile: file " + dir.File("fw.txt") + " is not a valid TI-Text file")) << text;
    }
    // ...text that is not TI-Text at all is refused without a word.
    for (const char* text : {"\n@C000\n31 40\n@FFFE\n00 C0\nq\n", "@C000\n31 40\n@FFFE\n00 C0\n", ""}) {
        std::filesystem::remove(dir.File("log.txt"));
        EXPECT_EQ(Load(text), vorn::kBadTiText);
        EXPECT_FALSE(Logged("BSLLoadTIFile")) << text;
    }
}

TEST_F(TiTextTest, FailedLoadKeepsThePreviousImageWithItsOwnVectors) {
    ASSERT_EQ(Load(kSpecExample, "good.txt"), 1);
    // Fails after its vector block was read: the table must not be left half-replaced.
    EXPECT_EQ(Load("@FFE0\n11 11\n@C000 no line feed q", "bad.txt"), vorn::kBadTiText);
    EXPECT_EQ(host.ImageText(), "@0C00040310A00");
    EXPECT_EQ(Slot(host, 0), 0xFFFFu);
    EXPECT_EQ(Slot(host, 15), 0xC000u);
    EXPECT_EQ(host.FirmwareFileName(), "good.txt");
}

TEST_F(TiTextTest, BlocksInTheEngineAreaAreLeftOutAndTheirNeighboursKept) {
    ASSERT_EQ(Load("@F9FE\n01 02\n@FA00\n03 04\n@FDFE\n05 06\n@FDFF\n07\n@FFE0\n00 C0\nq\n"), 1);
    EXPECT_EQ(host.ImageText(), "@0F9FE0201@0FDFFFF07");
    EXPECT_EQ(Slot(host, 0), 0xC000u);
}

TEST_F(TiTextTest, OddByteCountsAndCaseAndLineEndsAreKept) {
    ASSERT_EQ(Load("@c000\r\n12 34 56\r\n@10000\r\nab cd\r\n\tef\r\n@fffe\r\n00 c0\r\nq\r\n"), 1);
    EXPECT_EQ(host.ImageText(), "@0C0003412FF56@10000cdabFFef");
    EXPECT_EQ(Slot(host, 15), 0xC000u);
}

TEST_F(TiTextTest, VectorBlockFillsOnlyItsOwnSlots) {
    ASSERT_EQ(Load("@C000\n00\n@FFF0\n01 00 02 00 03 00 04 00\nq\n"), 1);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(Slot(host, i), i >= 8 && i <= 11 ? i - 7 : 0xFFFFu) << i;
}

TEST_F(TiTextTest, ImageGrowsBeyondTheFileForTinyBlocks) {
    // Five characters a block in the file, ten in the image.
    std::string file;
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        char block[32];
        std::snprintf(block, sizeof block, "@%X\n%X\n", 0x2000 + 4 * i, i % 16);
        file += block;
        std::snprintf(block, sizeof block, "@%05XFF%XF", 0x2000 + 4 * i, i % 16);
        expected += block;
    }
    file += "@FFFE\n00 20\nq";
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(host.ImageText(), expected);
    EXPECT_GT(host.ImageLength(), file.size());
}

TEST_F(TiTextTest, HugeBinaryAndMissingFilesGetAClearResult) {
    // Far larger than any firmware: refused without reading it all.
    const std::string huge = dir.File("huge.txt");
    WriteFile(huge, "@C000\n");
    std::filesystem::resize_file(huge, 64L * 1024 * 1024);
    EXPECT_EQ(host.BSLLoadTIFile(huge), vorn::kBadTiText);
    // A zero byte ends the text: the "q" behind it is never reached.
    const char binary[] = "@C000\n31 40\x00\x01\x02 @FFFE\n00 C0\nq\n";
    EXPECT_EQ(Load(std::string(binary, sizeof binary - 1)), vorn::kBadTiText);
    EXPECT_FALSE(host.HasImage());

    EXPECT_EQ(host.BSLLoadTIFile(dir.File("absent.txt")), -ENOENT);
    EXPECT_TRUE(Logged("BSLLoadTIFile got error 2 trying to open datafile " + dir.File("absent.txt")));
}

TEST_F(TiTextTest, BaseNameIsCutAtEitherSeparatorAndBounded) {
    const std::string name = std::string(70, 'n') + ".txt";
    ASSERT_EQ(Load(kSpecExample, name), 1);
    EXPECT_EQ(host.FirmwareFileName(), std::string(64, 'n'));
#ifdef _WIN32
    std::filesystem::create_directory(dir.File("c"));  // the backslash is a folder separator here
#endif
    ASSERT_EQ(Load(kSpecExample, "c\\fw2.txt"), 1);
    EXPECT_EQ(host.FirmwareFileName(), "fw2.txt");
}

// ------------------------------------------------------------------------------ dump

TEST_F(TiTextTest, DumpPutsEightWordsALineAndSegmentHeadersOnTheirOwn) {
    std::string ten = "@C000\n";
    for (int i = 0; i < 20; ++i) ten += "AB ";
    ASSERT_EQ(Load(ten + "\n@FFFE\n34 12\nq\n"), 1);
    ASSERT_EQ(host.BSLWriteTIFile(dir.File("dump.txt")), 1);
    std::string line32;
    for (int i = 0; i < 16; ++i) line32 += "AB";
    EXPECT_EQ(ReadFile(dir.File("dump.txt")), "@0C000\n" + line32 + "\nABABABAB\n@FFE0\n" + std::string(32, 'F') +
                                                  "\n" + std::string(28, 'F') + "1234\n");
    EXPECT_TRUE(Logged("BSLWriteTIFile wrote file " + dir.File("dump.txt")));

    std::string two = ten + "\n@D000\n" + ten.substr(6);
    ASSERT_EQ(Load(two + "\n@FFFE\n34 12\nq\n"), 1);
    ASSERT_EQ(host.BSLWriteTIFile(dir.File("dump2.txt")), 1);
    std::istringstream lines(ReadFile(dir.File("dump2.txt")));
    std::vector<std::string> got;
    for (std::string l; std::getline(lines, l);) got.push_back(l);
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(got[0], "@0C000");
    EXPECT_EQ(got[1].size(), 32u);
    EXPECT_EQ(got[2], "ABABABAB");
    EXPECT_EQ(got[3], "@0D000");
    EXPECT_EQ(got[5], "ABABABAB");
    EXPECT_EQ(got[6], "@FFE0");
}

TEST_F(TiTextTest, DumpFailsWithoutImageOrFolder) {
    EXPECT_EQ(host.BSLWriteTIFile(dir.File("none.txt")), vorn::kMissingArgument);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
    ASSERT_EQ(Load(kSpecExample), 1);
    EXPECT_EQ(host.BSLWriteTIFile(dir.File("no/such/folder.txt")), -ENOENT);
    EXPECT_TRUE(Logged("BSLWriteTIFile got error 2 trying to open datafile"));
}

// ------------------------------------------------------------------------ srec_cat oracle

struct Block {
    uint32_t start;
    std::vector<uint8_t> bytes;
};

bool HaveSrecCat() { return std::system("srec_cat -VERSion >/dev/null 2>&1") == 0; }

// Blocks of random bytes: ordinary ones below and above 64 KB, one inside the engine's
// area, one just outside it, and a vector block; never touching, so srec_cat keeps them apart.
std::vector<Block> RandomBlocks(std::mt19937& rng) {
    auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
    std::vector<Block> blocks;
    auto add = [&](uint32_t start, uint32_t length) {
        for (const Block& b : blocks)
            if (start < b.start + b.bytes.size() + 2 && b.start < start + length + 2) return;
        Block b{start, {}};
        for (uint32_t i = 0; i < length; ++i) b.bytes.push_back(static_cast<uint8_t>(pick(0, 255)));
        blocks.push_back(std::move(b));
    };
    for (int i = 0, n = static_cast<int>(pick(2, 4)); i < n; ++i) {
        bool high = pick(0, 1) == 1;
        add(high ? pick(0x10000, 0x1F000) : pick(0x1100, 0xF000), pick(1, 700));
    }
    const uint32_t inside = pick(0xFA00, 0xFDFE);
    add(inside, pick(1, std::min<uint32_t>(64, 0xFFDF - inside)));
    if (pick(0, 1))
        add(0xF9FE, 2);
    else
        add(0xFDFF, pick(1, 32));
    const uint32_t slot = pick(0, 15);
    add(0xFFE0 + 2 * slot, 2 * pick(1, 16 - slot));
    return blocks;
}

std::string SrecCatTiText(const TempDir& dir, const std::vector<Block>& blocks) {
    std::string command = "srec_cat";
    for (size_t i = 0; i < blocks.size(); ++i) {
        const std::string bin = dir.File("block" + std::to_string(i) + ".bin");
        WriteFile(bin, std::string(blocks[i].bytes.begin(), blocks[i].bytes.end()));
        command += " " + bin + " -binary -offset " + std::to_string(blocks[i].start);
    }
    command += " -o " + dir.File("srec.txt") + " -ti-txt";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(dir.File("srec.txt"));
}

// Every byte the image text places, by address. `fillers` gets the addresses of the high
// bytes of segments' last words that read FF: each is data or the filler of an odd count.
std::map<uint32_t, uint8_t> ImageBytes(const std::string& image, std::set<uint32_t>* fillers) {
    std::map<uint32_t, uint8_t> out;
    uint32_t address = 0;
    for (size_t i = 0; i < image.size();) {
        if (image[i] == '@') {
            address = static_cast<uint32_t>(std::stoul(image.substr(i + 1, 5), nullptr, 16));
            i += 6;
            continue;
        }
        const uint32_t word = static_cast<uint32_t>(std::stoul(image.substr(i, 4), nullptr, 16));
        out[address] = static_cast<uint8_t>(word & 0xFF);
        out[address + 1] = static_cast<uint8_t>(word >> 8);
        const bool last = i + 4 >= image.size() || image[i + 4] == '@';
        if (last && (word >> 8) == 0xFF) fillers->insert(address + 1);
        address += 2;
        i += 4;
    }
    return out;
}

std::string Variant(std::string text, int kind) {
    if (kind & 1) std::transform(text.begin(), text.end(), text.begin(), [](char c) { return std::tolower(c); });
    if (kind & 2) text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    if (kind & 4) {
        std::string crlf;
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = crlf;
    }
    return text;
}

TEST_F(TiTextTest, EveryByteLandsWhereSrecCatPutIt) {
    if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        const std::vector<Block> blocks = RandomBlocks(rng);
        const std::string written = SrecCatTiText(dir, blocks);
        ASSERT_FALSE(written.empty()) << "srec_cat failed, seed " << seed;

        std::map<uint32_t, uint8_t> kept;
        std::array<uint32_t, 16> vectors;
        vectors.fill(0xFFFF);
        for (const Block& b : blocks) {
            if (b.start >= 0xFFE0 && b.start <= 0xFFFE) {
                for (size_t i = 0; i < b.bytes.size(); i += 2)
                    vectors[(b.start - 0xFFE0 + i) / 2] = b.bytes[i] | b.bytes[i + 1] << 8;
            } else if (b.start < 0xFA00 || b.start > 0xFDFE) {
                for (size_t i = 0; i < b.bytes.size(); ++i) kept[b.start + static_cast<uint32_t>(i)] = b.bytes[i];
            }
        }
        for (int kind : {0, 1, 3, 5, 7}) {
            const std::string text = Variant(written, kind);
            // srec_cat must read the variant as the same data, or it is no test of ours
            // (it does not read byte pairs without blanks between them, which we do).
            if (!(kind & 2)) {
                WriteFile(dir.File("variant.txt"), text);
                const std::string back =
                    "srec_cat " + dir.File("variant.txt") + " -ti-txt -o " + dir.File("back.txt") + " -ti-txt";
                ASSERT_EQ(std::system(back.c_str()), 0);
                ASSERT_EQ(ReadFile(dir.File("back.txt")), written) << "seed " << seed << " kind " << kind;
            }

            ASSERT_EQ(Load(text), 1) << "seed " << seed << " kind " << kind;
            std::set<uint32_t> fillers;
            std::string upper = host.ImageText();
            std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
            const std::map<uint32_t, uint8_t> placed = ImageBytes(upper, &fillers);
            size_t mismatches = 0;
            for (const auto& [address, value] : placed) {
                auto it = kept.find(address);
                if (it == kept.end() ? fillers.count(address) == 0 : it->second != value) ++mismatches;
            }
            for (const auto& [address, value] : kept)
                if (placed.count(address) == 0) ++mismatches;
            EXPECT_EQ(mismatches, 0u) << "seed " << seed << " kind " << kind;
            for (size_t i = 0; i < 16; ++i) EXPECT_EQ(host.Vectors()[i], vectors[i]) << "seed " << seed << " slot " << i;
        }
    }
}

}  // namespace
