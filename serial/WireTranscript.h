#pragma once
// The wire transcript: every byte a run sent to the instrument and read from it, with its
// time and the line speed, one event a line, so that a support engineer can read what
// happened on a technician's line and vornsim can play the instrument's side again
// (`vornsim --replay`).
//
// The file (UTF-8 text, "\n" line ends, owner-only):
//
//   VornBSL wire transcript 1
//   # vornbsl-cli 1.0.0, 2026-12-11 09:05:07 UTC
//   0 OPEN 9600 "ttyUSB0"
//   12 TX 9600 "get -sn\r"
//   140 RX 9600 "\r\nRW-10234\r\r>"
//   2301 BAUD 38400
//   2310 TX* 9600 "set -passwd ********\r"
//
// Each event line is: the milliseconds since the transcript began, the event, and for TX,
// RX and OPEN the line speed and the bytes in double quotes. Inside the quotes, printable
// ASCII stands for itself except '"' and '\' (written \" and \\); CR, LF and TAB are \r,
// \n and \t; every other byte is \xHH. Events: OPEN (the port opened at that speed), BAUD
// (the host changed speed), TX (the host wrote these bytes), RX (the host read these),
// PURGE (the host discarded what it had not read), HANGUP (the port's device went away),
// CLOSE. A star after TX or RX marks bytes with a credential taken out: in what the host
// sent, each place it stood holds "********"; in an answer it is replaced character for
// character (a hex digit by "0", anything else by "x"), so that a replay hands the host a
// value of the same form; an answer whose credential could not be told has each of its
// words replaced by "********". A tilde after TX marks what depends on when the run was
// (the clock being set): a replay lets its numbers differ. Lines starting with '#' are
// remarks.
//
// Credentials (an APN password, an authentication key) never reach the file: an exchange
// that carries one is held back until its value is known, then written with the value
// replaced; an answer whose value could not be told has every word replaced.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vorn::serial {

inline constexpr char kTranscriptHeader[] = "VornBSL wire transcript 1";
inline constexpr char kCredentialMask[] = "********";

enum class WireEvent { kOpen, kBaud, kSent, kReceived, kPurge, kHangUp, kClose };

struct TranscriptLine {
    uint64_t ms = 0;
    WireEvent event = WireEvent::kSent;
    bool masked = false;  // a credential was taken out of `bytes`
    bool varying = false; // TX: its numbers depend on the time it was sent
    uint32_t baud = 0;    // OPEN, BAUD, TX, RX
    std::string bytes;    // TX and RX; OPEN: the port's name
};

// The bytes as they stand between the quotes, and back. Unescape fails on a bad escape.
std::string EscapeWireBytes(std::string_view bytes);
bool UnescapeWireBytes(std::string_view escaped, std::string* bytes);
std::string FormatTranscriptLine(const TranscriptLine& line);
// One event line; false, with `why`, for anything else (a remark or the header included).
bool ParseTranscriptLine(std::string_view text, TranscriptLine* line, std::string* why);
// A whole transcript: its events with their line numbers (1-based). False, with `why`
// naming the line, when the header is missing or a line is not an event or a remark.
struct TranscriptEvent {
    TranscriptLine line;
    size_t lineNumber = 0;
};
bool ReadTranscript(const std::string& path, std::vector<TranscriptEvent>* events, std::string* why);

// Whether `host` is what a varying TX line stood for: the same, but that each run of
// digits may be another run of digits.
bool MatchesVarying(std::string_view recorded, std::string_view host);
// What stands for a credential in an answer, one for one: "A1b2-z" gives "0000xx".
std::string AnswerStandIn(std::string_view value);
// Whether `host` is what a masked TX line stood for: its text with each "********"
// standing for any run of bytes without a line end.
bool MatchesMasked(std::string_view masked, std::string_view host);

class WireTranscript {
public:
    WireTranscript() = default;
    ~WireTranscript();
    WireTranscript(const WireTranscript&) = delete;
    WireTranscript& operator=(const WireTranscript&) = delete;

    // Begins a transcript at `path`: a new file, created owner-only; an earlier transcript
    // there is replaced; any other file is left alone and refused (-EEXIST), since a
    // mistyped path must not cost the user a file. 0, or the negated C error.
    // `remark` (the program and its version) goes on the second line with the time.
    int Start(const std::string& path, const std::string& remark);
    // Writes what is held back and closes the file.
    void Stop();
    bool Active() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }

    void Opened(const std::string& port, uint32_t baud);
    void BaudChanged(uint32_t baud);
    void Sent(std::string_view bytes, uint32_t baud);
    void Received(std::string_view bytes, uint32_t baud);
    void Purged();
    void HungUp();
    void Closed();

    // An exchange that carries a credential begins: what it sends and reads is held back
    // until it ends and its value is known. `wholeAnswers`: what it reads is masked word
    // by word whatever is known (an answer owed by an earlier such exchange may be in it).
    // Exchanges nest.
    void BeginCredential(bool wholeAnswers = false);
    // The credential's value (set, or read from the answer). May come just after the
    // exchange ended, before the next event; an empty value is known and hides nothing.
    // A value of four characters or more is also taken out of every later line.
    void Credential(std::string_view value);
    void EndCredential();
    // What the host sends meanwhile depends on the time it is sent (the clock). Nest.
    void BeginVarying() { ++varyingDepth_; }
    void EndVarying() { varyingDepth_ = varyingDepth_ > 0 ? varyingDepth_ - 1 : 0; }

private:
    void Record(TranscriptLine line);
    void Emit(TranscriptLine line);
    void ReleaseHeld();
    std::string Scrub(std::string_view bytes, const std::vector<std::string>& values, bool answer, bool* changed) const;

    std::FILE* file_ = nullptr;
    std::string path_;
    uint32_t startMs_ = 0;
    int credentialDepth_ = 0;
    int varyingDepth_ = 0;
    bool heldClosed_ = false;     // the exchange ended; its lines wait for the next event
    bool wholeAnswers_ = false;
    bool valueKnown_ = false;
    std::vector<std::string> exchangeValues_;
    std::vector<TranscriptLine> held_;
    std::vector<std::string> laterValues_;  // taken out of every line from now on
};

// While it lives, `transcript` (none: null) holds an exchange with a credential back
// (BeginCredential, EndCredential).
class CredentialExchange {
public:
    explicit CredentialExchange(WireTranscript* transcript, bool wholeAnswers = false) : transcript_(transcript) {
        if (transcript_) transcript_->BeginCredential(wholeAnswers);
    }
    ~CredentialExchange() {
        if (transcript_) transcript_->EndCredential();
    }
    CredentialExchange(const CredentialExchange&) = delete;
    CredentialExchange& operator=(const CredentialExchange&) = delete;

private:
    WireTranscript* transcript_;
};

// While it lives, what the host sends into `transcript` (none: null) depends on the time.
class VaryingLines {
public:
    explicit VaryingLines(WireTranscript* transcript) : transcript_(transcript) {
        if (transcript_) transcript_->BeginVarying();
    }
    ~VaryingLines() {
        if (transcript_) transcript_->EndVarying();
    }
    VaryingLines(const VaryingLines&) = delete;
    VaryingLines& operator=(const VaryingLines&) = delete;

private:
    WireTranscript* transcript_;
};

}  // namespace vorn::serial
