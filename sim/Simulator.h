#pragma once
// vornsim: a simulated instrument on a pseudo-terminal. The host opens the slave side
// like any serial port; the simulator plays the instrument on the master side.
//
// What the instrument is doing at a moment is its personality: the firmware's command
// interpreter (a CommandShell), the VornBSL engine, or nothing (powered off). Each
// personality listens at its own line speed; bytes the host sends at another speed
// arrive as garbage, and what the instrument says then reaches the host as garbage.
//
// Threads: the simulator runs its own thread. Personalities and timers run on it; tests
// read and change the instrument through WithState(), which takes the state lock.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/InstrumentState.h"

namespace vornsim {

class Simulator;

class Personality {
public:
    virtual ~Personality() = default;
    virtual const char* Name() const = 0;
    // Bytes the host sent at the personality's line speed.
    virtual void OnBytes(Simulator& sim, std::string_view bytes) = 0;
    // Bytes sent at a wrong line speed: by default nobody understands them.
    virtual void OnGarbage(Simulator&, size_t) {}
    // Called when the personality becomes the active one.
    virtual void OnEnter(Simulator&) {}
};

struct Options {
    std::string family = "RW";        // catalogue code
    uint32_t version = 102;           // firmware version, 102 = 1.02
    std::string portName = "vornsim0";// registered name ("" = do not register)
    std::string description;          // one-line description for the port list
    bool pacing = false;              // bytes cross the line at its speed both ways (10 bits a byte)
    uint32_t seed = 1;                // for the random fault switches
    std::string stateFile;            // written at exit when not empty
    // Fault switches and other settings by name ("bsl-refuse-write=3", "silent-after=40",
    // "echo", "error-command=get -sn" ...): each module reads the ones it knows.
    std::map<std::string, std::string> switches;
    // Values the instrument holds at its first power-on instead of the factory's, by the
    // key of their set command ("-devid" = "" for one held empty), in the order given.
    std::vector<std::pair<std::string, std::string>> values;

    bool Has(const std::string& name) const { return switches.count(name) != 0; }
    long Number(const std::string& name, long otherwise = 0) const;  // decimal
    std::string Text(const std::string& name, const std::string& otherwise = {}) const;
    // A rate (0..1) written with "." whatever the process's locale; 0 when not set.
    double Rate(const std::string& name) const;
};

class Simulator {
public:
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens the pseudo-terminal, registers the port and starts the thread. False (with
    // Error()) when the pseudo-terminal cannot be had.
    bool Start();
    // Stops the thread, writes the state file, removes the registration.
    void Stop();
    const std::string& Error() const { return error_; }

    // The path the host opens (the pseudo-terminal), and the registered name. The path
    // changes when the port comes back after an Unplug; the registered name stays.
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& PortName() const { return options_.portName; }
    std::string RegisteredPath() const;
    const Options& options() const { return options_; }

    // --- for personalities (simulator thread) ---
    // Switches what the instrument is doing, listening at `baud` from now on.
    void Become(std::shared_ptr<Personality> personality, uint32_t baud);
    // The same personality, listening at another speed from now on ("set -baud").
    void SetLineBaud(uint32_t baud) { lineBaud_ = baud; }
    // Powered off: silent until PowerOn (bytes sent meanwhile are lost).
    void PowerOff();
    Personality* Active() const { return active_.get(); }
    uint32_t LineBaud() const { return lineBaud_; }
    // Sends bytes to the host (garbage when the host listens at another speed), through
    // the line's faults: "slow-ms=M" delays every answer by M ms, "noise-rate=P" puts a
    // burst of bytes at the wrong speed ahead of an answer with probability P.
    void Send(std::string_view bytes);
    // Runs `fn` on the simulator thread after `ms`.
    void After(uint32_t ms, std::function<void(Simulator&)> fn);
    std::mt19937& Random() { return random_; }
    // The instrument's memory; lock with Lock() when not on the simulator thread.
    InstrumentState& State() { return state_; }
    std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(mutex_); }

    // --- for tests and the program ---
    template <typename Fn>
    auto WithState(Fn fn) {
        auto lock = Lock();
        return fn(state_);
    }
    // Runs `fn` on the simulator thread and waits for it.
    void Call(std::function<void(Simulator&)> fn);
    // Everything the host sent, as the simulator received it (for tests).
    std::string HostTranscript();
    void ClearTranscript();
    // The speed the host's end is set to.
    uint32_t HostBaud() const;
    // Writes the state dump to `path` (flash as TI-Text, settings, clock, data).
    bool WriteState(const std::string& path);
    // The USB adapter is pulled out: the pseudo-terminal closes (the host's handle hangs
    // up, its device node vanishes) and the registration goes with it; `ms` later a new
    // pseudo-terminal is registered under the same name. The instrument keeps its state
    // and what it was doing, as one at the far end of a cable does. Any thread; nothing
    // happens while the port is already out.
    void Unplug(uint32_t ms);
    // The line is mended (a good cable, no relay): every fault switch of the line (those
    // the switch table marks as faults) is off from now on, and the faults still waiting
    // to happen once are dropped. What the
    // instrument itself is (its family, battery, settings, a missing loader) stays.
    // Any thread.
    void Mend();
    // Turns one switch off from now on. Any thread.
    void ClearSwitch(const std::string& name);

    // Builds the personality the instrument starts in; set by the instrument factory.
    std::function<void(Simulator&)> onPowerOn;
    // Writes the state dump text; set by the instrument factory.
    std::function<std::string(const InstrumentState&)> dumpState;

private:
    void Run();
    void Receive(std::string_view bytes);
    void Deliver(std::string_view bytes);
    void Transmit(std::string_view bytes);
    // To the host through its adapter: with "adapter-latency-ms", held in the adapter's
    // packets until one is full or its latency timer ran out.
    void ThroughAdapter(std::string out);
    void WriteToHost(std::string_view out);
    void FlushAdapter();
    bool OpenTerminal();
    void PlugIn();
    bool Register();
    void Unregister();

    Options options_;
    InstrumentState state_;
    std::string error_;
    std::atomic<int> master_{-1};  // -1 while unplugged
    bool started_ = false;
    std::string slavePath_;
    std::vector<int> passedOver_;  // nodes a lock of another process claimed
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::recursive_mutex mutex_;
    std::shared_ptr<Personality> active_;
    std::vector<std::shared_ptr<Personality>> retired_;  // replaced during the current turn
    uint32_t lineBaud_ = 9600;
    uint64_t receiveFreeAtUs_ = 0;
    std::string adapterHeld_;        // in the host's adapter, not yet handed over
    uint64_t adapterHeldSince_ = 0;  // when its first byte came  // with pacing: when the bytes heard so far have all arrived
    std::mt19937 random_;
    std::string transcript_;
    struct Timer {
        uint64_t due;
        uint64_t order;
        std::function<void(Simulator&)> fn;
    };
    std::vector<Timer> timers_;
    uint64_t timerOrder_ = 0;
    bool registered_ = false;
};

// The catalogue family of a code ("RW" -> RW), UNKNOWN when it is not one.
int FamilyOf(const std::string& code);

// The simulator's millisecond clock.
uint64_t NowMs();

}  // namespace vornsim
