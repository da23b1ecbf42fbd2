#include "sim/BslEngine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "sim/Instrument.h"

namespace vornsim {
namespace {

constexpr uint32_t kChecksumModulus = 65535;
constexpr size_t kChecksumChars = 5;  // "." and four digits
constexpr size_t kMaxAddressDigits = 5;

bool ParseHex(std::string_view text, uint32_t* value) {
    if (text.empty()) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    *value = v;
    return true;
}

bool ParseAddress(std::string_view text, uint32_t* value) {
    return text.size() <= kMaxAddressDigits && ParseHex(text, value);
}

enum class FrameCheck { kNotFrame, kBadChecksum, kGood };

// Splits a frame into letter and argument. A line without the "." and four digits at its
// end is no frame at all (the engine does not understand it); one whose sum is wrong is
// a damaged frame (the engine refuses it).
FrameCheck CheckFrame(const std::string& line, char* letter, std::string_view* argument) {
    if (line.size() < 1 + kChecksumChars) return FrameCheck::kNotFrame;
    const size_t mark = line.size() - kChecksumChars;
    uint32_t given = 0;
    if (line[mark] != '.' || !ParseHex(std::string_view(line).substr(mark + 1), &given)) return FrameCheck::kNotFrame;
    uint32_t sum = 0;
    for (size_t i = 0; i <= mark; ++i) sum += static_cast<unsigned char>(line[i]);
    if (sum % kChecksumModulus != given) return FrameCheck::kBadChecksum;
    *letter = line[0];
    *argument = std::string_view(line).substr(1, mark - 1);
    return FrameCheck::kGood;
}

void LoadFaults(Simulator& sim) {
    InstrumentState& s = sim.State();
    const Options& o = sim.options();
    s.bslRefuseWrite = o.Has("bsl-refuse-write") ? o.Number("bsl-refuse-write", -1) : -1;
    s.bslFlashWriteMs = o.Number("flash-write-ms", 0);
    s.bslPowerLossAfter = o.Has("power-loss-after") ? o.Number("power-loss-after", -1) : -1;
    s.bslUnplugAfter = o.Has("unplug-after") ? o.Number("unplug-after", -1) : -1;
    s.bslDropRate = o.Rate("drop-rate");
    s.bslCorruptRate = o.Rate("corrupt-rate");
    if (o.Has("bsl-missing")) s.bootloaderPresent = false;
    s.bslFaultsLoaded = true;
}

constexpr const char* kNewFirmwareBuild = "B999-NEW";

void EnsureFlash(InstrumentState& s) {
    if (!s.flash.Configured()) s.flash.Configure(FlashLayoutOf(s.family));
}

// After "V": the new firmware starts when what was written can run; the update has
// wiped the settings. Otherwise the engine is all that is left.
void RestartAfterUpdate(Simulator& sim) {
    InstrumentState& s = sim.State();
    if (s.flash.CodeGood()) {
        // A logger with a device ID keeps its serial number with the ID (the updater
        // never writes it back); the build info is the new firmware's own.
        auto keep = [&s](const char* key) { return s.settings.count(key) ? s.settings[key] : std::string(); };
        const std::string serial = s.settings.count("-devid") ? keep("-sn") : std::string();
        const bool hasBuild = s.settings.count("-build") != 0;
        s.WipeForUpdate();
        if (!serial.empty()) s.settings["-sn"] = serial;
        if (hasBuild) s.settings["-build"] = kNewFirmwareBuild;
        BootFirmware(sim);
    } else {
        EnterBootloader(sim, BslEngine::Mode::kWaiting);
    }
}

void LosePower(Simulator& sim) {
    sim.PowerOff();
    sim.After(static_cast<uint32_t>(sim.options().Number("power-loss-ms", kBslPowerLossDownMs)), PowerOnInstrument);
}

char Garble(char c) { return static_cast<char>((static_cast<unsigned char>(c) ^ 0x5A) | 0x80); }

}  // namespace

uint32_t BootloaderBaud(const std::string& familyCode) {
    DeviceProfile p;
    LoadFamilyProfile(FamilyOf(familyCode), 999, &p);
    return p.bootloaderBaud;
}

FlashLayout FlashLayoutOf(const std::string& familyCode) {
    DeviceProfile p;
    LoadFamilyProfile(FamilyOf(familyCode), 999, &p);
    FlashLayout layout;
    layout.mainStart = p.flashStart;
    layout.mainEnd = p.flashEnd;
    layout.infoStart = p.infoStart;
    layout.infoSegmentSize = p.infoSegmentSize;
    layout.infoSegmentCount = p.infoSegmentCount;
    return layout;
}

void EnterBootloader(Simulator& sim, BslEngine::Mode mode) {
    EnsureFlash(sim.State());
    sim.Become(std::make_shared<BslEngine>(mode), BootloaderBaud(sim.State().family));
}

void PowerOnInstrument(Simulator& sim) {
    InstrumentState& s = sim.State();
    EnsureFlash(s);
    const bool first = !s.bslFaultsLoaded;
    if (first) LoadFaults(sim);
    if (first && sim.options().Has("in-bootloader"))
        EnterBootloader(sim, BslEngine::Mode::kCommand);
    else if (s.flash.CodeGood())
        BootFirmware(sim);
    else
        EnterBootloader(sim, BslEngine::Mode::kWaiting);
}

std::string DumpBootloaderState(const InstrumentState& state) {
    std::string out = "code-good=";
    out += state.flash.CodeGood() ? "1" : "0";
    out += "\nvectors=";
    char word[8];
    for (size_t i = 0; i < state.flash.vectors.size(); ++i) {
        std::snprintf(word, sizeof word, i ? " %04X" : "%04X", state.flash.vectors[i]);
        out += word;
    }
    out += "\nflash:\n";
    out += state.flash.ToTiText();
    return out;
}

void BslEngine::OnBytes(Simulator& sim, std::string_view bytes) {
    // A power loss or restart replaces this engine while it works; stay alive till done.
    auto keep = shared_from_this();
    for (char c : bytes) {
        if (sim.Active() != this) return;
        if (mode_ == Mode::kWaiting) {
            if (c == '\r') {
                sim.Send("$");
            } else if (c == 'P') {
                sim.Send("#");
                mode_ = Mode::kCommand;
                line_.clear();
                overlong_ = false;
            }
            continue;
        }
        if (c == '\r') {
            std::string line;
            line.swap(line_);
            const bool overlong = overlong_;
            overlong_ = false;
            OnLine(sim, line, overlong);
        } else if (c != '\n') {
            if (line_.size() < kBslLineMax)
                line_ += c;
            else
                overlong_ = true;
        }
    }
}

void BslEngine::Reply(Simulator& sim, std::string answer, long afterMs) {
    InstrumentState& s = sim.State();
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (s.bslDropRate > 0 && chance(sim.Random()) < s.bslDropRate) return;
    if (s.bslCorruptRate > 0 && chance(sim.Random()) < s.bslCorruptRate) answer[0] = Garble(answer[0]);
    if (afterMs <= 0) {
        sim.Send(answer);
        return;
    }
    sim.After(static_cast<uint32_t>(afterMs), [answer](Simulator& later) { later.Send(answer); });
}

void BslEngine::OnLine(Simulator& sim, const std::string& line, bool overlong) {
    InstrumentState& s = sim.State();
    if (line.empty()) {
        sim.Send("?\r");
        return;
    }
    if (s.bslPowerLossAfter >= 0 && s.bslFrames >= s.bslPowerLossAfter) {
        s.bslPowerLossAfter = -1;  // once
        LosePower(sim);
        return;
    }
    // The frame is lost with the cable; the engine stays where it was, in command mode.
    if (s.bslUnplugAfter >= 0 && s.bslFrames >= s.bslUnplugAfter) {
        s.bslUnplugAfter = -1;  // once
        sim.Unplug(static_cast<uint32_t>(sim.options().Number("unplug-ms", kUnplugDefaultMs)));
        return;
    }
    ++s.bslFrames;

    if (overlong) {  // no frame is that long; what was kept of it means nothing
        Reply(sim, "-\r");
        return;
    }
    if (line[0] == 'g') {
        char version[32];
        std::snprintf(version, sizeof version, "+%d+\r", kBslEngineVersion);
        Reply(sim, version);
        return;
    }
    char letter = 0;
    std::string_view argument;
    switch (CheckFrame(line, &letter, &argument)) {
        case FrameCheck::kNotFrame:
            Reply(sim, "?\r");
            return;
        case FrameCheck::kBadChecksum:
            Reply(sim, "-\r");
            return;
        case FrameCheck::kGood:
            break;
    }
    uint32_t value = 0;
    switch (letter) {
        case '@':
            if (!ParseAddress(argument, &value)) break;
            address_ = value;
            addressSet_ = true;
            Reply(sim, "+\r");
            return;
        case 'X':
            if (!ParseAddress(argument, &value) || !s.flash.Erase(value)) break;
            Reply(sim, "+\r");
            return;
        case 'W': {
            ++s.bslWrites;
            if (s.bslRefuseWrite >= 0 && s.bslWrites == s.bslRefuseWrite) {
                s.bslRefuseWrite = -1;  // once
                break;
            }
            if (!addressSet_ || argument.empty() || argument.size() % 4 != 0) break;
            std::vector<uint8_t> data;
            data.reserve(argument.size() / 2);
            bool ok = true;
            for (size_t i = 0; ok && i < argument.size(); i += 4) {
                uint32_t word = 0;
                ok = ParseHex(argument.substr(i, 4), &word);
                data.push_back(static_cast<uint8_t>(word & 0xFF));
                data.push_back(static_cast<uint8_t>(word >> 8));
            }
            if (!ok || !s.flash.Write(address_, data)) break;
            address_ += static_cast<uint32_t>(data.size());
            Reply(sim, "+\r", s.bslFlashWriteMs);
            return;
        }
        case 'V': {
            if (argument.size() != 4 * kVectorWords) break;
            FlashModel::Vectors words{};
            bool ok = true;
            for (size_t i = 0; ok && i < kVectorWords; ++i) {
                uint32_t word = 0;
                ok = ParseHex(argument.substr(4 * i, 4), &word);
                words[i] = static_cast<uint16_t>(word);
            }
            if (!ok) break;
            s.flash.WriteVectors(words);
            Reply(sim, "+\r");
            sim.After(kBslRestartDelayMs, RestartAfterUpdate);
            return;
        }
        default:
            Reply(sim, "?\r");
            return;
    }
    Reply(sim, "-\r");
}

}  // namespace vornsim
