#include <gtest/gtest.h>

#include "e2e/E2ESupport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "session/SettingsFile.h"

#include "support/TestSupport.h"
#include "common/Timing.h"
#include "e2e/CliSupport.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn::test {

SimInstrument::SimInstrument(const std::string& family, uint32_t version, std::map<std::string, std::string> switches,
                             std::vector<std::pair<std::string, std::string>> values) {
    vornsim::Options options;
    options.family = family;
    options.version = version;
    options.portName = "";  // tests never register in the user's port list
    options.switches = std::move(switches);
    options.values = std::move(values);
    if (const std::string refused = vornsim::RefusedOptions(options); !refused.empty())
        ADD_FAILURE() << "no such unit: " << refused;
    sim_ = vornsim::MakeInstrument(options);
    if (!sim_->Start()) ADD_FAILURE() << "simulator did not start: " << sim_->Error();
}

SimInstrument::~SimInstrument() { sim_->Stop(); }

std::vector<std::string> RecordingUi::Titles() const {
    std::vector<std::string> titles;
    for (const Box& b : boxes) titles.push_back(b.title);
    return titles;
}

bool RecordingUi::SawStatus(const std::string& text) const {
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
}

bool RecordingUi::SawTitle(const std::string& title) const {
    return std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) { return b.title == title; });
}

std::vector<std::string> SettingsFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 13 && name.compare(name.size() - 13, 13, ".settings.txt") == 0) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string JournalStage(const std::string& path) { return vorn::settingsfile::ReadOrigin(ReadFile(path)).stage; }

::testing::AssertionResult StartsWith(const std::string& text, const std::string& start) {
    if (text.compare(0, start.size(), start) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\"\ndoes not begin with\n\"" << start << "\"";
}

Background::Background(const std::string& command, const std::string& outputFile) : output_(outputFile) {
    pid_ = fork();
    group_ = pid_;
    if (pid_ == 0) {
        setpgid(0, 0);  // its own process group: killed together with whatever it started
        execl("/bin/sh", "sh", "-c", ("exec " + command + " </dev/null >'" + outputFile + "' 2>&1").c_str(), nullptr);
        _exit(127);
    }
}

Background::~Background() {
    if (pid_ > 0) Wait(0);
}

bool Background::WaitFor(const std::string& text, int ms) const {
    for (int waited = 0; waited <= ms; waited += 50) {
        if (Output().find(text) != std::string::npos) return true;
        vorn::SleepMs(50);
    }
    return false;
}

int Background::Wait(int ms) {
    if (pid_ <= 0) return -1;
    int status = 0;
    for (int waited = 0;; waited += 50) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) break;
        if (waited >= ms) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        vorn::SleepMs(50);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Background::Output() const { return ReadFile(output_); }

bool Background::WaitForItsGroup(int ms) const {
    for (int waited = 0; waited <= ms; waited += 50) {
        if (kill(-group_, 0) != 0 && errno == ESRCH) return true;
        vorn::SleepMs(50);
    }
    return false;
}

TiTextBytes ReadTiText(const std::string& text) {
    TiTextBytes out;
    out.vectors.fill(0xFFFF);
    std::istringstream in(text);
    std::string line;
    uint32_t address = 0;
    std::vector<uint8_t> vectorBytes;
    bool inVectors = false;
    uint32_t vectorBase = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == 'q') break;
        if (line[0] == '@') {
            address = static_cast<uint32_t>(std::stoul(line.substr(1), nullptr, 16));
            inVectors = address >= 0xFFE0 && address <= 0xFFFE;
            vectorBase = address;
            continue;
        }
        std::istringstream bytes(line);
        std::string hex;
        while (bytes >> hex) {
            uint8_t b = static_cast<uint8_t>(std::stoul(hex, nullptr, 16));
            if (inVectors) {
                uint32_t slotByte = address - 0xFFE0;
                uint16_t& word = out.vectors[slotByte / 2];
                word = (slotByte % 2) ? static_cast<uint16_t>((word & 0x00FF) | (b << 8))
                                      : static_cast<uint16_t>((word & 0xFF00) | b);
            } else {
                out.bytes[address] = b;
            }
            ++address;
        }
    }
    (void)vectorBase;
    return out;
}

std::string SampleFirmwarePath() {
    const char* carried = std::getenv("VORN_SAMPLE_FIRMWARE");  // a copy an ordinary user can read
    return carried ? carried : VORN_SAMPLE_FIRMWARE;
}

std::string WriteSixteenBitFirmware(const std::string& path) {
    std::string text = "@C000\n";
    for (int i = 0; i < 600; ++i) {
        char b[8];
        std::snprintf(b, sizeof b, "%02X%c", (i * 37 + 11) & 0xFF, i % 16 == 15 ? '\n' : ' ');
        text += b;
    }
    text += "\n@FFFE\n00 C0\nq\n";
    WriteFile(path, text);
    return text;
}

::testing::AssertionResult FlashHolds(const vornsim::InstrumentState& state, const TiTextBytes& image) {
    size_t wrong = 0;
    std::ostringstream first;
    for (const auto& [address, value] : image.bytes) {
        uint8_t got = state.flash.Read(address);
        if (got != value && wrong++ == 0)
            first << std::hex << "at 0x" << address << " flash holds 0x" << int(got) << ", image 0x" << int(value);
    }
    for (size_t slot = 0; slot < 16; ++slot) {
        if (state.flash.vectors[slot] != image.vectors[slot] && wrong++ == 0)
            first << std::hex << "vector " << std::dec << slot << std::hex << " is 0x" << state.flash.vectors[slot]
                  << ", image 0x" << image.vectors[slot];
    }
    if (wrong) return ::testing::AssertionFailure() << wrong << " differences; first " << first.str();
    return ::testing::AssertionSuccess() << image.bytes.size() << " bytes and 16 vectors match";
}

}  // namespace vorn::test
