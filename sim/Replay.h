#pragma once
// The instrument's side of a wire transcript, played again (vornsim --replay): each time
// the host has said what the transcript says it said, the instrument answers what it
// answered then, as long after as it did; an unplugged adapter is unplugged again. The
// first byte the host says otherwise (another byte, another line speed, more than the
// transcript holds) ends the replay with that line named.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "serial/WireTranscript.h"
#include "sim/Simulator.h"

namespace vornsim {

class Replay : public Personality {
public:
    Replay(std::vector<vorn::serial::TranscriptEvent> events, std::string path);
    const char* Name() const override { return "replay"; }
    void OnEnter(Simulator& sim) override;
    void OnBytes(Simulator& sim, std::string_view bytes) override;
    void OnGarbage(Simulator& sim, size_t count) override;

    // The speed the instrument listens at first: that of the first bytes the host sent.
    uint32_t FirstBaud() const;
    // Whether the host said something else; what, once the simulator has stopped.
    bool Failed() const { return failed_; }
    const std::string& Failure() const { return failure_; }
    // Once the simulator has stopped: what the host had still to say ("" when nothing),
    // and how many of its lines it said.
    std::string Unfinished() const;
    size_t LinesSaid() const { return linesSaid_; }

private:
    // Plays what follows the host's last line up to its next one.
    void Advance(Simulator& sim);
    void Fail(std::string why);
    std::string Where(size_t index) const;
    const vorn::serial::TranscriptLine* Expected() const;

    std::vector<vorn::serial::TranscriptEvent> events_;
    std::string path_;
    size_t next_ = 0;         // the event being played or waited for
    std::string heard_;       // what the host has said of the line waited for
    uint64_t lastSentMs_ = 0; // the transcript's time of the host's last line
    uint64_t saidAt_ = 0;     // when the host finished saying it here (NowMs)
    size_t linesSaid_ = 0;
    std::atomic<bool> failed_{false};
    std::string failure_;
};

}  // namespace vornsim
