#pragma once
// The simulated VornBSL engine: the bootstrap loader that takes over when the firmware
// hands over ("boot ZELK") or when the instrument starts without usable firmware. It runs
// at the family's bootloader speed (catalogue) and has two modes:
//
//   waiting  - a carriage return is answered with "$", "P" with "#" (then command mode);
//              everything else is ignored.
//   command  - lines ending in CR. An empty line is answered "?". A line that begins with
//              "g" is the version request ("+%d+"), whatever follows. Anything else is a
//              frame: letter, argument, "." and four hex digits of the checksum (the
//              byte sum of letter, argument and "." modulo 65535). A bad checksum gets
//              "-", an unknown letter "?". "@" sets the write address, "W" writes words
//              (four hex digits, high byte first) there and moves it on, "X" erases the
//              segment holding an address, "V" writes the 16 vectors and restarts the
//              instrument. Each answers "+" or, refused, "-"; every answer ends in CR.
//
// Fault switches (Options::switches, loaded into InstrumentState at the first power-on):
// bsl-refuse-write=N, power-loss-after=N, unplug-after=N (with unplug-ms=M), bsl-missing,
// in-bootloader, drop-rate=P, corrupt-rate=P; vornsim --help describes them.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/FlashModel.h"
#include "sim/Simulator.h"

namespace vornsim {

inline constexpr int kBslEngineVersion = 3;
inline constexpr uint32_t kBslRestartDelayMs = 300;   // from "V" to the new firmware
inline constexpr uint32_t kBslPowerLossDownMs = 500;  // dark time of a simulated power loss
inline constexpr uint32_t kUnplugDefaultMs = 1000;    // how long an unplugged adapter stays out
inline constexpr size_t kBslLineMax = 1024;           // longer lines are refused

class BslEngine : public Personality, public std::enable_shared_from_this<BslEngine> {
public:
    enum class Mode { kWaiting, kCommand };

    explicit BslEngine(Mode mode) : mode_(mode) {}
    const char* Name() const override { return "VornBSL engine"; }
    void OnBytes(Simulator& sim, std::string_view bytes) override;
    void OnEnter(Simulator&) override { line_.clear(); }
    Mode mode() const { return mode_; }

private:
    void OnLine(Simulator& sim, const std::string& line, bool overlong);
    // The answer to a frame, subject to the drop and corrupt switches.
    // `afterMs` later when positive (the time the engine takes before it can answer).
    void Reply(Simulator& sim, std::string answer, long afterMs = 0);

    Mode mode_;
    std::string line_;
    bool overlong_ = false;
    uint32_t address_ = 0;
    bool addressSet_ = false;
};

// The family's bootloader speed and flash layout, from the catalogue.
uint32_t BootloaderBaud(const std::string& familyCode);
FlashLayout FlashLayoutOf(const std::string& familyCode);

// Makes the engine the instrument's personality at the bootloader speed.
void EnterBootloader(Simulator& sim, BslEngine::Mode mode);

// Power-on: the firmware when the flash holds runnable code, else the engine waiting for
// a connection. The first power-on also reads the fault switches, and with
// "in-bootloader" starts in the engine's command mode.
void PowerOnInstrument(Simulator& sim);

// The bootloader's part of the state dump: whether the code is runnable, the flash as
// TI-Text and the vectors.
std::string DumpBootloaderState(const InstrumentState& state);

}  // namespace vornsim
