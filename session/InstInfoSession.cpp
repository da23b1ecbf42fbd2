// The session's get and set runs over the instrument value table: one loop each, one
// executor for an item in either direction.
#include <string>

#include "device/ProtocolConstants.h"
#include "session/SessionConstants.h"
#include "common/Text.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/VornLog.h"

using namespace vorn::session;
using vorn::Format;
namespace ib = vorn::instinfo;
using vorn::instinfo::InstItem;
using vorn::instinfo::ItemKind;

namespace {

constexpr uint32_t kLevel = VornLog::kMilestones;

// A value the instrument holds empty: nothing was missed, and there is nothing to write back.
bool Empty(int32_t status) { return status == vorn::kEmptyAnswer; }

// A set the instrument answered without "OK" did not take: it keeps its old value, or none.
int32_t Confirmed(int32_t rc, const std::string& answer) {
    if (rc <= 0) return rc;
    return answer.find("OK") != std::string::npos ? 1 : vorn::kNotUnderstood;
}

bool StopsRun(int32_t status, bool set) {
    return status == vorn::kEchoed || status == vorn::kPortClosed || (set && status == vorn::kRelayActive);
}

// First item of `request` in `order`; null when none is handled.
const InstItem* FirstGetItem(uint32_t request) {
    for (const InstItem& item : ib::InstItems())
        if (request & item.bit) return &item;
    return nullptr;
}

const InstItem* FirstSetItem(uint32_t request) {
    for (uint32_t bit : ib::SetOrder())
        if (request & bit) return ib::FindItem(bit);
    return nullptr;
}

// Keeps the first failure of a composite item's several exchanges.
int32_t Worse(int32_t sofar, int32_t next) { return sofar < 0 ? sofar : next; }

}  // namespace

int32_t Vorn_protocol::GetInstInfo(uint32_t request) {
    if (request == 0) {
        Say(kLevel, "GetInstInfo should be called with non-zero flags");
        return 0;
    }
    inst_.family = family_;
    int32_t result = 1;
    int32_t last = 0;
    uint32_t previous = 0;
    while (request != 0 && request != previous) {
        if (StopsRun(last, false)) {
            result = last;
            break;
        }
        if (last < 0 && !Empty(last)) result = vorn::kPartlyDone;
        previous = request;
        if (const InstItem* item = FirstGetItem(request)) {
            request &= ~item->bit;
            last = GetInstItem(*item);
        }
    }
    if (result == 1 && last < 0 && !Empty(last)) result = last;
    if (result < 0) Say(kLevel, "GetInstInfo could not collect all settings");
    return result;
}

int32_t Vorn_protocol::SetInstInfo(uint32_t request) {
    if (request == 0) {
        Say(kLevel, "SetInstInfo should be called with non-zero flags");
        return 0;
    }
    int32_t result = 1;
    int32_t last = 0;
    uint32_t previous = 0;
    bool anyTaken = false;
    while (request != 0) {
        if (StopsRun(last, true)) {
            result = last;
            break;
        }
        if (last < 0) result = vorn::kPartlyDone;
        if (request == previous) break;
        previous = request;
        if (const InstItem* item = FirstSetItem(request)) {
            request &= ~item->bit;
            last = SetInstItem(*item);
            if (last < 0) notRestored_ |= item->bit;
            anyTaken = anyTaken || last > 0;
        }
    }
    // The last item refused after others went back is a restore in part, as one in the
    // middle is; a line that stopped answering ends the run with its own status.
    if (result == 1 && last < 0) result = anyTaken && !StopsRun(last, true) ? vorn::kPartlyDone : last;
    if (result < 0) Say(kLevel, "SetInstInfo could not restore all settings");
    return result;
}

int32_t Vorn_protocol::GetInstItem(const InstItem& item) {
    const uint32_t timeout = kValueTimeoutMs;
    const std::string get = std::string("get ") + ib::ItemKey(item, family_);
    int32_t st = vorn::kNotUnderstood;
    switch (item.kind) {
        case ItemKind::Text:
            st = GetValueString(get, timeout, &(inst_.*item.text), item.maxChars);
            if (st > 0) inst_.valid |= item.bit;
            return item.optional ? 1 : st;
        case ItemKind::Number:
            st = GetValueLong(get, timeout, &(inst_.*item.number));
            if (st > 0) inst_.valid |= item.bit;
            return st;
        case ItemKind::Calibration: {
            // Every slot: an empty one between others is no end of them.
            const ib::CalNumbering n = ib::CalibrationNumbering(family_);
            size_t read = 0;
            int32_t failed = 1;
            for (size_t i = 0; i < n.Count(); ++i) {
                st = GetValueString("get " + n.Key(i), timeout, &inst_.cal[i], InstrumentInfo::kLongTextMax);
                if (st > 0) ++read;
                else if (!Empty(st)) failed = Worse(failed, st);
            }
            if (read > 0) inst_.valid |= item.bit;
            if (failed < 0) return failed;
            return read > 0 ? 1 : vorn::kEmptyAnswer;
        }
        case ItemKind::UserRecords:
        case ItemKind::EqnRecords: {
            const bool user = item.kind == ItemKind::UserRecords;
            st = GetRecords_Serial(user ? &user_ : &eqn_, user ? vorn::records::kUser : vorn::records::kEqn);
            if (st > 0) inst_.valid |= item.bit;
            return st;
        }
        case ItemKind::HadjTau:
            // A humidity adjustment whose tau cannot be read is still kept: dropping it
            // would lose it on every update of such an instrument.
            // The tau is kept whether or not the adjustment holds a text.
            st = GetValueString("get -hadj", timeout, &inst_.hadj, InstrumentInfo::kLongTextMax);
            if (GetValueLong("get -tau", timeout, &inst_.tau) > 0) {
                inst_.valid &= ~ib::kTauUnread;
                inst_.valid |= item.bit;
            } else {
                inst_.valid |= ib::kTauUnread;
            }
            if (st > 0) inst_.valid |= item.bit;
            // Optional: firmware without it refuses the command, and holds nothing to lose.
            return st > 0 || Empty(st) || st == vorn::kDeviceError ? 1 : st;
        case ItemKind::Pressure: {
            // Each of the pair: one held empty is no reason to lose the other. The restore
            // writes only what holds a value.
            inst_.fvals.clear();
            inst_.uvals.clear();
            const int32_t p = GetValueString("get -p", timeout, &inst_.fvals, InstrumentInfo::kLongTextMax);
            const int32_t pv = GetValueString("get -pv", timeout, &inst_.uvals, InstrumentInfo::kLongTextMax);
            if (p > 0 || pv > 0) inst_.valid |= item.bit;
            for (int32_t one : {p, pv})
                if (one <= 0 && !Empty(one)) return one;
            return (p > 0 || pv > 0) ? 1 : vorn::kEmptyAnswer;
        }
    }
    return st;
}

int32_t Vorn_protocol::SetValue(const std::string& key, const std::string& value, const vorn::TableFormat& setLog,
                                bool number) {
    std::string answer;
    int32_t ms = 0;
    const int32_t rc = Confirmed(Command("set " + key + " " + value + "\r", kValueTimeoutMs, &answer, &ms), answer);
    if (rc == vorn::kNotUnderstood)
        Say(VornLog::kFailures, "SetInstInfo found no OK after set %s (%d ms)", key.c_str(), ms);
    if (rc > 0) {
        if (setLog.Present() && number)
            Say(kLevel, "%s", setLog.Fill({std::strtol(value.c_str(), nullptr, 10), ms}).c_str());
        else if (setLog.Present())
            Say(kLevel, "%s", setLog.Fill({value, ms}).c_str());
    }
    return rc;
}

int32_t Vorn_protocol::SetInstItem(const InstItem& item) {
    switch (item.kind) {
        case ItemKind::Text: {
            int32_t rc = SetValue(ib::ItemKey(item, family_), inst_.*item.text, item.setLog, false);
            if (item.bit == ib::kSerialNumber && rc == vorn::kDeviceError) rc = vorn::protocol::kRefusedNow;
            return rc;
        }
        case ItemKind::Number:
            return SetValue(item.key, std::to_string(inst_.*item.number), item.setLog, true);
        case ItemKind::Calibration: {
            const ib::CalNumbering n = ib::CalibrationNumbering(family_);
            int32_t st = 1;
            for (size_t i = 0; i < n.Count(); ++i) {
                if (inst_.cal[i].empty()) continue;  // held empty: nothing to write
                const std::string key = n.Key(i);
                std::string answer;
                int32_t ms = 0;
                const int32_t rc =
                    Confirmed(Command("set " + key + " " + inst_.cal[i] + "\r", kValueTimeoutMs, &answer, &ms), answer);
                if (rc == vorn::kNotUnderstood)
                    Say(VornLog::kFailures, "SetInstInfo found no OK after set %s (%d ms)", key.c_str(), ms);
                if (rc > 0 && i < n.slots)
                    Say(kLevel, "SetInstInfo set cal %d to \"%s\" (%d ms)", n.first + static_cast<int>(i), inst_.cal[i].c_str(), ms);
                else if (rc > 0)
                    Say(kLevel, "SetInstInfo set %s to \"%s\" (%d ms)", key.c_str(), inst_.cal[i].c_str(), ms);
                st = Worse(st, rc);
            }
            return st;
        }
        case ItemKind::UserRecords: return SetRecords_Serial(&user_, vorn::records::kUser);
        case ItemKind::EqnRecords: return SetRecords_Serial(&eqn_, vorn::records::kEqn);
        case ItemKind::HadjTau: {
            int32_t st = 1;
            if (!(inst_.valid & ib::kTauUnread))
                st = SetValue("-tau", std::to_string(inst_.tau), "SetInstInfo set tau to \"%ld\" (%d ms)", true);
            if (inst_.hadj.empty()) return st;  // held empty: nothing to write
            return Worse(st, SetValue("-hadj", inst_.hadj, "SetInstInfo set hadj to \"%s\" (%d ms)", false));
        }
        case ItemKind::Pressure: {
            int32_t st = 1;
            if (!inst_.fvals.empty()) st = SetValue("-p", inst_.fvals, "SetInstInfo set -p to \"%s\" (%d ms)", false);
            if (!inst_.uvals.empty())
                st = Worse(st, SetValue("-pv", inst_.uvals, "SetInstInfo set -pv to \"%s\" (%d ms)", false));
            return st;
        }
    }
    return vorn::kNotUnderstood;
}
