#pragma once
// The two record lists of an instrument: user-defined entries ("user", type 1) and
// equations ("eqn", type 2, their text Base64-encoded). Records are written back in the
// alphabetical order of names extracted from their text.
//
// Everything here is pure text work; the serial reading and writing of records belongs
// to the session (Vorn_protocol). Functions that log take a log pointer (not owned, may be
// null) and write with the session's tag at level 10.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class VornLog;

namespace vorn::records {

inline constexpr int kUser = 1;
inline constexpr int kEqn = 2;
inline constexpr size_t kUserMax = 100;        // records an instrument keeps of each type
inline constexpr size_t kEqnMax = 25;
inline constexpr size_t kFileRecordsMax = 100; // numbered keys looked for in a settings file
inline constexpr size_t kUserNameMax = 20;
inline constexpr size_t kEqnNameMax = 9;
inline constexpr size_t kCompareMax = 32;      // characters the sort compares
inline constexpr size_t kEqnNameTab = 3;       // the name follows the third TAB of an equation

// "user" for 1, "eqn" for 2, null otherwise.
const char* TypeName(int type);
// The most records an instrument keeps of a type (0 for an unknown type).
size_t TypeMax(int type);

}  // namespace vorn::records

struct InstrumentRecord {
    static constexpr size_t kNameMax = 32;
    static constexpr size_t kTextMax = 100;

    std::string name;   // sort key, from ExtractNames
    std::string text;   // the record as the instrument gives it

    bool operator==(const InstrumentRecord&) const = default;
};

// A record list: the records read (count = records.size()); an empty list has none.
struct RecordSet {
    std::vector<InstrumentRecord> records;

    size_t Count() const { return records.size(); }
    void Clear() { records.clear(); }
    bool operator==(const RecordSet&) const = default;
};

namespace vorn::records {

// Decodes one group of four Base64 characters (standard alphabet) into three bytes.
// Characters outside the alphabet, and the pad '=', count as zero bits.
std::array<uint8_t, 3> DecodeBase64Group(std::string_view group);
// Decodes a whole text group by group; a last incomplete group is decoded as if padded.
std::string DecodeBase64(std::string_view text);

// The sort name of one record's text. User: up to the first space, at most 20 characters,
// '_' read as a space and '`' as a comma. Equation: the decoded text between its third and
// fourth TAB, at most 9 characters; empty when it has fewer than three TABs.
std::string RecordName(int type, std::string_view text);

// Fills every record's name. 1; kMissingArgument no records; kOutOfRange unknown type.
int32_t ExtractNames(RecordSet* set, int type, VornLog* log);

// Whether name `a` sorts before `b`: compared upper-cased over at most 32 characters;
// equal names and prefixes sort before.
bool SortsBefore(std::string_view a, std::string_view b);

// Extracts the names, then sorts the records by them (insertion sort: a record moves left
// while it sorts before its neighbour). 1; kOutOfRange unknown type.
int32_t AlphabetizeRecords(RecordSet* set, int type, VornLog* log);

// Reads the records of a type from a settings file's text: keys "user00", "user01" ... (or
// "eqn00" ...) from 00 upward up to the first missing key and at most 100. The set is
// replaced. 1 records read; 0 none; kOutOfRange unknown type; kMissingArgument no set.
int32_t GetRecords_File(RecordSet* set, int type, std::string_view text, VornLog* log);

}  // namespace vorn::records
