#pragma once
// The row of a single setting's get/set commands (device/SettingCommands.cpp): gate, set
// line and acceptance, get line, answer size, where parsing starts, how the value is read,
// log texts. Rows are written with designated initialisers and made through `Checked`,
// which compares every text's conversions with what the executor passes for the row's
// kind: a "%s" where the row sends a number does not compile.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/Status.h"
#include "common/TableFormat.h"
#include "device/ProtocolConstants.h"

namespace vorn::protocol::rows {

enum class Gate : uint8_t {
    None,
    Capability,           // the capability bit must be set
    SetNeedsNewFirmware,  // get always; set only on new firmware
    Cellular,             // trait known, type Kt72 and trait bit 3
};
enum class From : uint8_t { WhiteSpace, AfterCR, Start };
// How the value is read and sent: Text and Word are text ("%s"), Int a whole number
// ("%d"), Real degrees ("%+.5f"), Five five whole numbers.
enum class Kind : uint8_t { Text, Word, Int, Real, Five };
enum class Accept : uint8_t {
    OK,          // "OK" anywhere in the answer
    OKOrPrompt,  // "OK" on new firmware, a bare prompt ("\r>") on old firmware
    Prompt,      // a bare prompt
};

struct SettingRow {
    const char* op = "";
    Gate gate = Gate::None;
    uint32_t capability = 0;
    TableFormat setLine{};      // takes the value (five values for Five)
    TableFormat setLineZero{};  // Real: the line sent for 0 (clears the value); none: no such line
    TableFormat getLine{};
    size_t answerBytes = kSettingAnswerBytes;
    From from = From::WhiteSpace;
    Kind kind = Kind::Text;
    size_t readMax = 0;       // Text / Word: most characters a get stores
    size_t fieldMax = 0;      // Text / Word: most characters a set sends
    Accept accept = Accept::OK;
    bool refuseNegative = false;  // a negative value is never sent
    TableFormat setLog{};           // the value(s), then the milliseconds
    TableFormat getLog{};
    TableFormat notFoundLog{};      // Word, Int, Real: the milliseconds; Five: found, wanted, milliseconds
    int32_t notFoundCode = vorn::kNotUnderstood;
    bool secret = false;          // a credential: its value never reaches the log or the trace
};

// The conversions the executor passes for a value of `kind`, and after it the
// milliseconds in the log lines.
constexpr std::string_view ValueArgs(Kind kind) {
    switch (kind) {
        case Kind::Text:
        case Kind::Word: return "s";
        case Kind::Int: return "d";
        case Kind::Real: return "f";
        case Kind::Five: return "ddddd";
    }
    return "?";
}
constexpr std::string_view LoggedArgs(Kind kind) {
    switch (kind) {
        case Kind::Text:
        case Kind::Word: return "sd";
        case Kind::Int: return "dd";
        case Kind::Real: return "fd";
        case Kind::Five: return "dddddd";
    }
    return "?";
}
constexpr std::string_view NotFoundArgs(Kind kind) { return kind == Kind::Five ? "ddd" : "d"; }

// A row as the executor needs it: its texts take what it passes, a read text has room.
// A row that is not stops the build, at the line that says why.
consteval SettingRow Checked(SettingRow r) {
    if (!r.setLine.Present() || !r.getLine.Present() || !r.setLog.Present() || !r.getLog.Present())
        throw "a row needs its set and get lines and logs";
    if (r.setLine.Args() != ValueArgs(r.kind)) throw "the set line's conversions are not the row kind's value";
    if (r.setLineZero.Present() && (r.kind != Kind::Real || !r.setLineZero.Args().empty()))
        throw "only a Real row has a line for 0, and it takes no value";
    if (!r.getLine.Args().empty()) throw "the get line takes no value";
    if (r.setLog.Args() != LoggedArgs(r.kind) || r.getLog.Args() != LoggedArgs(r.kind))
        throw "a log line's conversions are not the row kind's value and the milliseconds";
    // A Text row reads to the end of its line and says nothing when the value is missing.
    if (r.kind == Kind::Text ? r.notFoundLog.Present() : !r.notFoundLog.Present())
        throw "every row but a Text row logs a value not found, a Text row does not";
    if (r.notFoundLog.Present() && r.notFoundLog.Args() != NotFoundArgs(r.kind))
        throw "the not-found line's conversions are not the row kind's";
    if ((r.kind == Kind::Text || r.kind == Kind::Word) && (r.readMax == 0 || r.fieldMax == 0))
        throw "a text row needs its read and field sizes";
    if (r.gate == Gate::Capability && r.capability == 0) throw "a capability gate needs its bit";
    return r;
}

}  // namespace vorn::protocol::rows
