#include "serial/WireTranscript.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "common/TimePlatform.h"
#include "common/Timing.h"

namespace vorn::serial {
namespace {

struct EventName {
    WireEvent event;
    const char* name;
    bool carriesBytes;  // a speed and quoted bytes follow
};
constexpr EventName kEvents[] = {
    {WireEvent::kOpen, "OPEN", true},    {WireEvent::kBaud, "BAUD", false},    {WireEvent::kSent, "TX", true},
    {WireEvent::kReceived, "RX", true},  {WireEvent::kPurge, "PURGE", false},  {WireEvent::kHangUp, "HANGUP", false},
    {WireEvent::kClose, "CLOSE", false},
};

const EventName& NameOf(WireEvent event) {
    for (const EventName& e : kEvents)
        if (e.event == event) return e;
    return kEvents[0];
}

TranscriptLine Line(WireEvent event, uint32_t baud, std::string bytes) {
    TranscriptLine line;
    line.event = event;
    line.baud = baud;
    line.bytes = std::move(bytes);
    return line;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Every run of bytes other than line ends and the prompt, as the mask.
std::string MaskWords(std::string_view bytes) {
    std::string out;
    bool inWord = false;
    for (char c : bytes) {
        const bool keep = IsLineEnd(c) || c == '>';
        if (keep) out += c;
        else if (!inWord) out += kCredentialMask;
        inWord = !keep;
    }
    return out;
}

bool ParseNumber(std::string_view text, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = v;
    return true;
}

}  // namespace

std::string AnswerStandIn(std::string_view value) {
    std::string out(value.size(), 'x');
    for (size_t i = 0; i < value.size(); ++i)
        if (HexValue(value[i]) >= 0) out[i] = '0';
    return out;
}

std::string EscapeWireBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

bool UnescapeWireBytes(std::string_view escaped, std::string* bytes) {
    bytes->clear();
    for (size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '"') return false;  // a bare quote ends the bytes before their end
        if (c != '\\') {
            *bytes += c;
            continue;
        }
        if (++i >= escaped.size()) return false;
        switch (escaped[i]) {
            case '\\': *bytes += '\\'; break;
            case '"': *bytes += '"'; break;
            case 'r': *bytes += '\r'; break;
            case 'n': *bytes += '\n'; break;
            case 't': *bytes += '\t'; break;
            case 'x': {
                if (i + 2 >= escaped.size()) return false;
                const int hi = HexValue(escaped[i + 1]), lo = HexValue(escaped[i + 2]);
                if (hi < 0 || lo < 0) return false;
                *bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

std::string FormatTranscriptLine(const TranscriptLine& line) {
    const EventName& name = NameOf(line.event);
    std::string out = std::to_string(line.ms) + " " + name.name + (line.masked ? "*" : "") + (line.varying ? "~" : "");
    if (line.event == WireEvent::kBaud) return out + " " + std::to_string(line.baud);
    if (!name.carriesBytes) return out;
    return out + " " + std::to_string(line.baud) + " \"" + EscapeWireBytes(line.bytes) + "\"";
}

bool ParseTranscriptLine(std::string_view text, TranscriptLine* line, std::string* why) {
    auto fail = [why](const char* what) {
        if (why) *why = what;
        return false;
    };
    *line = TranscriptLine{};
    auto word = [&text]() {
        const size_t end = std::min(text.find(' '), text.size());
        std::string_view w = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        return w;
    };
    if (!ParseNumber(word(), &line->ms)) return fail("no time in milliseconds at its start");
    std::string_view event = word();
    if (!event.empty() && event.back() == '~') {
        line->varying = true;
        event.remove_suffix(1);
    }
    if (!event.empty() && event.back() == '*') {
        line->masked = true;
        event.remove_suffix(1);
    }
    const EventName* name = nullptr;
    for (const EventName& e : kEvents)
        if (event == e.name) name = &e;
    if (!name) return fail("an event this transcript does not know");
    line->event = name->event;
    if (line->masked && line->event != WireEvent::kSent && line->event != WireEvent::kReceived)
        return fail("a star on an event that carries no bytes");
    if (line->varying && line->event != WireEvent::kSent) return fail("a tilde on another event than TX");
    if (!name->carriesBytes && line->event != WireEvent::kBaud) return text.empty() ? true : fail("words after the event");
    uint64_t baud = 0;
    const std::string_view speed = line->event == WireEvent::kBaud ? text : word();
    if (!ParseNumber(speed, &baud) || baud == 0 || baud > 10'000'000) return fail("no line speed");
    line->baud = static_cast<uint32_t>(baud);
    if (line->event == WireEvent::kBaud) return true;
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return fail("no bytes in double quotes");
    if (!UnescapeWireBytes(text.substr(1, text.size() - 2), &line->bytes)) return fail("a bad escape between the quotes");
    return true;
}

bool ReadTranscript(const std::string& path, std::vector<TranscriptEvent>* events, std::string* why) {
    events->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (why) *why = "cannot read " + path;
        return false;
    }
    std::string text;
    size_t number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (number == 1) {
            if (text != kTranscriptHeader) {
                if (why) *why = path + " is not a wire transcript (its first line is not \"" + kTranscriptHeader + "\")";
                return false;
            }
            continue;
        }
        if (text.empty() || text[0] == '#') continue;
        TranscriptEvent e;
        e.lineNumber = number;
        std::string wrong;
        if (!ParseTranscriptLine(text, &e.line, &wrong)) {
            if (why) *why = "line " + std::to_string(number) + " of " + path + ": " + wrong;
            return false;
        }
        events->push_back(std::move(e));
    }
    if (number == 0) {
        if (why) *why = path + " is empty";
        return false;
    }
    return true;
}

bool MatchesMasked(std::string_view masked, std::string_view host) {
    // The mark as one token that matches any run without a line end; the rest byte for
    // byte. Row by row over the host's bytes: no input makes it slower than their product.
    constexpr size_t kLongest = 4096;
    if (masked.size() > kLongest || host.size() > kLongest) return false;
    const std::string_view mark = kCredentialMask;
    std::vector<bool> row(host.size() + 1, false);  // row[j]: the pattern so far matches host[0, j)
    row[0] = true;
    for (size_t i = 0; i < masked.size();) {
        std::vector<bool> next(host.size() + 1, false);
        if (masked.compare(i, mark.size(), mark) == 0) {
            for (size_t j = 0; j <= host.size(); ++j) {
                if (row[j]) next[j] = true;
                else if (j > 0 && next[j - 1] && !IsLineEnd(host[j - 1])) next[j] = true;
            }
            i += mark.size();
        } else {
            for (size_t j = 1; j <= host.size(); ++j) next[j] = row[j - 1] && host[j - 1] == masked[i];
            ++i;
        }
        row.swap(next);
    }
    return row[host.size()];
}

bool MatchesVarying(std::string_view recorded, std::string_view host) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t r = 0, h = 0;
    while (r < recorded.size() && h < host.size()) {
        if (digit(recorded[r]) && digit(host[h])) {
            while (r < recorded.size() && digit(recorded[r])) ++r;
            while (h < host.size() && digit(host[h])) ++h;
            continue;
        }
        if (recorded[r++] != host[h++]) return false;
    }
    return r == recorded.size() && h == host.size();
}

WireTranscript::~WireTranscript() { Stop(); }

int WireTranscript::Start(const std::string& path, const std::string& remark) {
    Stop();
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::exists(status)) {
        // Only an earlier transcript is replaced: a wrong path must not cost a file.
        if (!fs::is_regular_file(status) || vorn::platform::ReadShortLine(path, 64) != kTranscriptHeader) return -EEXIST;
        if (!fs::remove(path, ec)) return -(ec.value() ? ec.value() : EEXIST);
    }
    file_ = vorn::platform::CreatePrivateExclusive(path);
    if (!file_) return -(errno ? errno : EACCES);
    path_ = path;
    startMs_ = vorn::MsTimer();
    const std::tm utc = vorn::platform::UtcTime(std::time(nullptr));
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    std::fprintf(file_, "%s\n# %s, %s\n", kTranscriptHeader, EscapeWireBytes(remark).c_str(), when);
    std::fflush(file_);
    return 0;
}

void WireTranscript::Stop() {
    if (!file_) return;
    credentialDepth_ = 0;
    ReleaseHeld();
    std::fclose(file_);
    file_ = nullptr;
}

void WireTranscript::Opened(const std::string& port, uint32_t baud) {
    Record(Line(WireEvent::kOpen, baud, port));
}
void WireTranscript::BaudChanged(uint32_t baud) { Record(Line(WireEvent::kBaud, baud, {})); }
void WireTranscript::Sent(std::string_view bytes, uint32_t baud) {
    if (!bytes.empty()) Record(Line(WireEvent::kSent, baud, std::string(bytes)));
}
void WireTranscript::Received(std::string_view bytes, uint32_t baud) {
    if (!bytes.empty()) Record(Line(WireEvent::kReceived, baud, std::string(bytes)));
}
void WireTranscript::Purged() { Record(Line(WireEvent::kPurge, 0, {})); }
void WireTranscript::HungUp() { Record(Line(WireEvent::kHangUp, 0, {})); }
void WireTranscript::Closed() { Record(Line(WireEvent::kClose, 0, {})); }

void WireTranscript::BeginCredential(bool wholeAnswers) {
    if (!file_) return;
    // The lines of an exchange that ended are written before another begins.
    if (heldClosed_) ReleaseHeld();
    ++credentialDepth_;
    wholeAnswers_ = wholeAnswers_ || wholeAnswers;
}

void WireTranscript::Credential(std::string_view value) {
    if (!file_ || (credentialDepth_ == 0 && !heldClosed_)) return;
    valueKnown_ = true;
    if (value.empty()) return;
    exchangeValues_.emplace_back(value);
    // A short value taken out everywhere would take the record with it; inside its own
    // exchange it is always taken out.
    if (value.size() >= 4) laterValues_.emplace_back(value);
}

void WireTranscript::EndCredential() {
    if (!file_ || credentialDepth_ == 0) return;
    if (--credentialDepth_ == 0) heldClosed_ = true;
}

std::string WireTranscript::Scrub(std::string_view bytes, const std::vector<std::string>& values, bool answer,
                                  bool* changed) const {
    std::string out(bytes);
    for (const std::string& value : values) {
        const std::string standIn = answer ? AnswerStandIn(value) : std::string(kCredentialMask);
        for (size_t at = out.find(value); at != std::string::npos; at = out.find(value, at + standIn.size())) {
            out.replace(at, value.size(), standIn);
            *changed = true;
        }
    }
    return out;
}

void WireTranscript::ReleaseHeld() {
    std::vector<TranscriptLine> held;
    held.swap(held_);
    const bool maskAnswers = wholeAnswers_ || !valueKnown_;
    std::vector<std::string> values;
    values.swap(exchangeValues_);
    heldClosed_ = false;
    wholeAnswers_ = false;
    valueKnown_ = false;
    for (TranscriptLine& line : held) {
        if (line.event == WireEvent::kSent || line.event == WireEvent::kReceived) {
            bool changed = false;
            if (line.event == WireEvent::kReceived && maskAnswers) {
                line.bytes = MaskWords(line.bytes);
                changed = true;
            } else {
                line.bytes = Scrub(line.bytes, values, line.event == WireEvent::kReceived, &changed);
            }
            line.masked = line.masked || changed;
        }
        Emit(std::move(line));
    }
}

void WireTranscript::Record(TranscriptLine line) {
    if (!file_) return;
    line.ms = static_cast<uint32_t>(vorn::MsTimer() - startMs_);
    line.varying = line.event == WireEvent::kSent && varyingDepth_ > 0;
    if (heldClosed_) ReleaseHeld();
    if (credentialDepth_ > 0) {
        held_.push_back(std::move(line));
        return;
    }
    Emit(std::move(line));
}

void WireTranscript::Emit(TranscriptLine line) {
    if (!file_) return;
    if (line.event == WireEvent::kSent || line.event == WireEvent::kReceived) {
        bool changed = false;
        line.bytes = Scrub(line.bytes, laterValues_, line.event == WireEvent::kReceived, &changed);
        line.masked = line.masked || changed;
    }
    const std::string text = FormatTranscriptLine(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
}

}  // namespace vorn::serial
