// Record lists: names, Base64, sorting and reading records back from a settings file.
#include "session/Records.h"

#include <cctype>
#include <cstdio>

#include "session/SessionConstants.h"
#include "session/SettingsFile.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"

namespace vorn::records {
namespace {

constexpr uint32_t kLevel = VornLog::kMilestones;

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;  // the pad and anything foreign count as zero bits
}

std::string KeyOf(const char* name, size_t index) {
    char key[16];
    std::snprintf(key, sizeof key, "%s%02zu", name, index);
    return key;
}

}  // namespace

const char* TypeName(int type) {
    switch (type) {
        case kUser: return "user";
        case kEqn: return "eqn";
        default: return nullptr;
    }
}

size_t TypeMax(int type) {
    switch (type) {
        case kUser: return kUserMax;
        case kEqn: return kEqnMax;
        default: return 0;
    }
}

std::array<uint8_t, 3> DecodeBase64Group(std::string_view group) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) bits = (bits << 6) | static_cast<uint32_t>(i < group.size() ? Base64Value(group[i]) : 0);
    return {static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        auto bytes = DecodeBase64Group(text.substr(i, 4));
        out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    return out;
}

std::string RecordName(int type, std::string_view text) {
    std::string name;
    if (type == kUser) {
        std::string_view word = text.substr(0, text.find(' '));
        for (char c : word.substr(0, kUserNameMax)) name += c == '_' ? ' ' : c == '`' ? ',' : c;
        return name;
    }
    if (type != kEqn) return name;
    std::string decoded = DecodeBase64(text);
    // The decoded text ends at its first zero byte (padding decodes to zeros).
    std::string_view plain(decoded.c_str());
    size_t pos = 0;
    for (size_t tab = 0; tab < kEqnNameTab; ++tab) {
        pos = plain.find('\t', pos);
        // Fewer than three TABs: the equation has no name field, so it sorts first.
        if (pos == std::string_view::npos) return name;
        ++pos;
    }
    std::string_view field = plain.substr(pos);
    return vorn::Bounded(field.substr(0, field.find('\t')), kEqnNameMax);
}

int32_t ExtractNames(RecordSet* set, int type, VornLog* log) {
    if (!set || set->records.empty()) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "ExtractNames found an null record pointer");
        return vorn::kMissingArgument;
    }
    if (!TypeName(type)) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "ExtractNames found an unexpected record type \"%d\"", type);
        return vorn::kOutOfRange;
    }
    for (InstrumentRecord& r : set->records) vorn::StoreBounded(r.name, RecordName(type, r.text), InstrumentRecord::kNameMax);
    return 1;
}

bool SortsBefore(std::string_view a, std::string_view b) {
    for (size_t i = 0; i < kCompareMax; ++i) {
        if (i >= a.size()) return true;
        if (i >= b.size()) return false;
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return true;
}

int32_t AlphabetizeRecords(RecordSet* set, int type, VornLog* log) {
    if (!TypeName(type)) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "AlphabetizeRecords found an unexpected record type \"%d\"", type);
        return vorn::kOutOfRange;
    }
    if (!set) return vorn::kMissingArgument;
    if (set->records.empty()) return 1;
    ExtractNames(set, type, log);
    auto& r = set->records;
    for (size_t i = 1; i < r.size(); ++i)
        for (size_t j = i; j > 0 && SortsBefore(r[j].name, r[j - 1].name); --j) std::swap(r[j], r[j - 1]);
    return 1;
}

int32_t GetRecords_File(RecordSet* set, int type, std::string_view text, VornLog* log) {
    const char* name = TypeName(type);
    if (!name) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "GetRecords_File found an unexpected record type \"%d\"", type);
        return vorn::kOutOfRange;
    }
    if (!set) return vorn::kMissingArgument;
    if (!set->records.empty()) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "GetRecords_File found a non-null \"%s\" set", name);
        set->Clear();
    }
    size_t count = 0;
    while (count < kFileRecordsMax && vorn::settingsfile::FindKey(text, KeyOf(name, count))) ++count;
    if (count == 0) {
        if (log) log->Log(kLevel, vorn::session::kLogTag, "GetRecords_File found no \"%s\" records in instrument", name);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        std::string value;
        if (!vorn::settingsfile::ReadText(text, KeyOf(name, i), InstrumentRecord::kTextMax + 1, &value)) break;
        if (log) log->Log(kLevel, vorn::session::kLogTag, "GetRecords_File found \"%s\" %d as \"%s\"", name, static_cast<int>(i), value.c_str());
        set->records.push_back(InstrumentRecord{{}, std::move(value)});
    }
    if (log)
        log->Log(kLevel, vorn::session::kLogTag, "GetRecords_File retrieved %d of %d \"%s\" records",
                 static_cast<int>(set->Count()), static_cast<int>(count), name);
    return 1;
}

}  // namespace vorn::records
