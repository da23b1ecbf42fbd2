// Record lists over the command channel, and the session's forms of the record helpers.
#include <algorithm>
#include <cstdlib>

#include "session/SessionConstants.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/VornLog.h"

using namespace vorn::session;
using vorn::Format;
namespace rec = vorn::records;

namespace {
constexpr uint32_t kLevel = VornLog::kMilestones;
}  // namespace

int32_t Vorn_protocol::GetRecords_Serial(RecordSet* set, int type) {
    const char* name = rec::TypeName(type);
    if (!name) {
        Say(kLevel, "GetRecords_Serial found an unexpected record type \"%d\"", type);
        return vorn::kOutOfRange;
    }
    if (!set) return vorn::kMissingArgument;
    if (!set->records.empty()) {
        Say(kLevel, "GetRecords_Serial found a non-null \"%s\" set", name);
        set->Clear();
    }

    // The count, asked again when its answer arrives without a number (damaged on the
    // line): taken as 0, it would save none of the records and the update would lose them.
    long count = static_cast<long>(rec::TypeMax(type));
    bool counted = false;
    for (uint32_t attempt = 0; attempt < kValueAttempts; ++attempt) {
        std::string answer;
        const int32_t rc = Command(Format("get -%s\r", name), kValueTimeoutMs, &answer, nullptr);
        // A device that does not tell its count is read up to the first record it lacks.
        if (rc <= 0) break;
        char* end = nullptr;
        const long told = std::strtol(answer.c_str(), &end, 10);  // skips the leading white space
        if (end == answer.c_str()) continue;
        // No instrument keeps more than its maximum; a larger count is a garbled answer.
        count = std::clamp(told, 0L, static_cast<long>(rec::TypeMax(type)));
        counted = true;
        break;
    }
    if (count == 0) {
        Say(kLevel, "GetRecords_Serial found no \"%s\" records in instrument", name);
        return 0;
    }
    Say(kLevel, "GetRecords_Serial instrument reports %d \"%s\" records", static_cast<int>(count), name);

    set->records.reserve(static_cast<size_t>(count));
    long heldEmpty = 0;  // records the device keeps without a text: nothing to save
    for (long i = 0; i < count; ++i) {
        std::string text;
        const int32_t rc = GetValueString(Format("get -%s %ld", name, i), kValueTimeoutMs, &text, InstrumentRecord::kTextMax);
        if (rc == vorn::kEmptyAnswer && counted) {
            ++heldEmpty;
            continue;
        }
        if (rc <= 0) break;
        set->records.push_back(InstrumentRecord{{}, std::move(text)});
    }
    Say(kLevel, "GetRecords_Serial retrieved %d of %d \"%s\" records", static_cast<int>(set->Count()),
        static_cast<int>(count), name);
    // Fewer than the device said it keeps: the rest would be lost by the update.
    return counted && static_cast<long>(set->Count()) + heldEmpty < count ? vorn::kPartlyDone : 1;
}

int32_t Vorn_protocol::SetRecords_Serial(RecordSet* set, int type) {
    const char* name = rec::TypeName(type);
    if (!name) {
        Say(kLevel, "SetRecords_Serial found an unexpected record type \"%d\"", type);
        return vorn::kOutOfRange;
    }
    if (!set || set->records.empty()) {
        Say(kLevel, "SetRecords_Serial found an empty \"%s\" set", name);
        return 0;
    }
    AlphabetizeRecords(set, type);
    // One slot after another for the records that hold a text: an empty one (it sorts
    // first) holds nothing to write, and is no end of the list. A record the device did
    // not take leaves its slot empty; the others keep their order.
    int slot = 0;
    int failed = 0;
    for (size_t i = 0; i < set->Count(); ++i) {
        const std::string& text = set->records[i].text;
        if (text.empty()) continue;
        if (text.size() > kRecordSetTextMax) {
            // Cut, it would be another record: it stays in the file.
            Say(VornLog::kFailures, "SetRecords_Serial cannot write \"%s\" record %d: longer than %d characters", name, slot,
                static_cast<int>(kRecordSetTextMax));
            ++failed;
            ++slot;
            continue;
        }
        std::string answer;
        int32_t ms = 0;
        const int32_t rc = Command(Format("set -%s %d %s\r", name, slot, text.c_str()), kValueTimeoutMs, &answer, &ms);
        if (rc > 0 && answer.find("OK") != std::string::npos)
            Say(kLevel, "SetRecords_Serial set \"%s\" %d to \"%s\" (%d ms)", name, slot, text.c_str(), ms);
        else
            ++failed;  // refused, or unanswered: the run goes on, and says so at its end
        ++slot;
    }
    Say(kLevel, "GetRecords_Serial retrieved %d of %d \"%s\" records", slot, static_cast<int>(set->Count()), name);
    if (failed > 0) {
        Say(VornLog::kFailures, "SetRecords_Serial could not write %d \"%s\" records", failed, name);
        return vorn::kPartlyDone;
    }
    return 1;
}

int32_t Vorn_protocol::GetRecords_File(RecordSet* set, int type, std::string_view text) {
    return rec::GetRecords_File(set, type, text, log_);
}

int32_t Vorn_protocol::AlphabetizeRecords(RecordSet* set, int type) { return rec::AlphabetizeRecords(set, type, log_); }

int32_t Vorn_protocol::ExtractNames(RecordSet* set, int type) { return rec::ExtractNames(set, type, log_); }
