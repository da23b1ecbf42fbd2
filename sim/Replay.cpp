#include "sim/Replay.h"

#include <algorithm>
#include <utility>

namespace vornsim {

using vorn::serial::EscapeWireBytes;
using vorn::serial::FormatTranscriptLine;
using vorn::serial::TranscriptLine;
using vorn::serial::WireEvent;

namespace {

// How long an adapter pulled out in the transcript stays out when the host never opened
// it again there.
constexpr uint64_t kUnpluggedMsWithoutReturn = 2000;
constexpr uint64_t kUnpluggedMsMin = 200;

}  // namespace

Replay::Replay(std::vector<vorn::serial::TranscriptEvent> events, std::string path)
    : events_(std::move(events)), path_(std::move(path)) {}

uint32_t Replay::FirstBaud() const {
    for (const auto& e : events_)
        if (e.line.event == WireEvent::kSent) return e.line.baud;
    return 9600;
}

std::string Replay::Where(size_t index) const {
    return "line " + std::to_string(events_[index].lineNumber) + " of " + path_;
}

const TranscriptLine* Replay::Expected() const {
    return next_ < events_.size() && events_[next_].line.event == WireEvent::kSent ? &events_[next_].line : nullptr;
}

void Replay::Fail(std::string why) {
    if (failed_) return;
    failure_ = std::move(why);
    failed_ = true;
}

void Replay::OnEnter(Simulator& sim) {
    saidAt_ = NowMs();
    Advance(sim);
}

void Replay::Advance(Simulator& sim) {
    for (; next_ < events_.size(); ++next_) {
        const TranscriptLine& line = events_[next_].line;
        // The instrument's words and an unplugging come as long after the host's last
        // line as they came then.
        const uint64_t after = line.ms > lastSentMs_ ? line.ms - lastSentMs_ : 0;
        const uint64_t due = saidAt_ + after;
        const uint64_t now = NowMs();
        const auto wait = static_cast<uint32_t>(due > now ? due - now : 0);
        switch (line.event) {
            case WireEvent::kSent:
                sim.SetLineBaud(line.baud);
                return;  // the host's turn
            case WireEvent::kReceived:
                // Said at the speed the host read it at (it may have changed speed to hear
                // it); the instrument goes on listening at the speed of the host's next line.
                sim.After(wait, [bytes = line.bytes, baud = line.baud](Simulator& s) {
                    const uint32_t listening = s.LineBaud();
                    s.SetLineBaud(baud);
                    s.Send(bytes);
                    s.SetLineBaud(listening);
                });
                break;
            case WireEvent::kHangUp: {
                uint64_t out = kUnpluggedMsWithoutReturn;
                for (size_t i = next_ + 1; i < events_.size(); ++i)
                    if (events_[i].line.event == WireEvent::kOpen) {
                        out = std::max(kUnpluggedMsMin, events_[i].line.ms > line.ms ? events_[i].line.ms - line.ms : 0);
                        break;
                    }
                sim.After(wait, [out](Simulator& s) { s.Unplug(static_cast<uint32_t>(out)); });
                break;
            }
            case WireEvent::kOpen:
            case WireEvent::kBaud:
            case WireEvent::kPurge:
            case WireEvent::kClose: break;  // the host's own doing; its bytes tell its speed
        }
    }
}

void Replay::OnBytes(Simulator& sim, std::string_view bytes) {
    for (char c : bytes) {
        if (failed_) return;
        const TranscriptLine* expected = Expected();
        if (!expected) {
            Fail("the host sent \"" + EscapeWireBytes(std::string_view(&c, 1)) + "\" after the last line of " + path_ +
                 " it was to say");
            return;
        }
        heard_ += c;
        bool whole = false;
        if (!expected->masked && !expected->varying) {
            if (expected->bytes.compare(0, heard_.size(), heard_) != 0) {
                Fail(Where(next_) + ": the transcript has " + FormatTranscriptLine(*expected) + ", the host sent \"" +
                     EscapeWireBytes(heard_) + "\"");
                return;
            }
            whole = heard_.size() == expected->bytes.size();
        } else {
            // A credential or the time stood in the middle: the line is judged once it has ended.
            const char last = expected->bytes.empty() ? '\r' : expected->bytes.back();
            if (c == last && heard_.size() + 8 >= expected->bytes.size()) {
                const bool same = expected->masked ? vorn::serial::MatchesMasked(expected->bytes, heard_)
                                                   : vorn::serial::MatchesVarying(expected->bytes, heard_);
                if (!same) {
                    Fail(Where(next_) + ": the transcript has " + FormatTranscriptLine(*expected) +
                         ", the host sent \"" + EscapeWireBytes(heard_) + "\"");
                    return;
                }
                whole = true;
            } else if (heard_.size() > expected->bytes.size() + 256) {
                Fail(Where(next_) + ": the host never ended the line " + FormatTranscriptLine(*expected));
                return;
            }
        }
        if (!whole) continue;
        heard_.clear();
        ++linesSaid_;
        lastSentMs_ = expected->ms;
        saidAt_ = NowMs();
        ++next_;
        Advance(sim);
    }
}

void Replay::OnGarbage(Simulator& sim, size_t count) {
    const TranscriptLine* expected = Expected();
    const std::string speed = std::to_string(sim.HostBaud());
    if (!expected) {
        Fail("the host sent " + std::to_string(count) + " bytes at " + speed + " baud after the last line of " + path_ +
             " it was to say");
        return;
    }
    Fail(Where(next_) + ": the transcript has " + FormatTranscriptLine(*expected) + ", the host sent " +
         std::to_string(count) + " bytes at " + speed + " baud");
}

std::string Replay::Unfinished() const {
    for (size_t i = next_; i < events_.size(); ++i)
        if (events_[i].line.event == WireEvent::kSent)
            return Where(i) + ": the host never sent " + FormatTranscriptLine(events_[i].line) +
                   (i == next_ && !heard_.empty() ? " (it sent \"" + EscapeWireBytes(heard_) + "\")" : "");
    return {};
}

}  // namespace vornsim
