// Device answers read as text: the answer scanners (device/AnswerScan), the identity
// text (catalogue IdentifyDevice), Base64, the record names and the records of a settings
// file (session/Records). Each reader must stay inside its bounds; Base64 must decode what
// a standard encoder wrote; sorted records must come out in order.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/DeviceCatalogue.h"
#include "device/AnswerScan.h"
#include "session/Records.h"

namespace scan = vorn::protocol::scan;
namespace rec = vorn::records;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string EncodeBase64(std::string_view bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t bits = 0;
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        for (size_t k = 0; k < 3; ++k) bits = bits << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(bits >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

void Scanners(std::string_view text) {
    const size_t start = text.empty() ? 0 : static_cast<uint8_t>(text[0]) % (text.size() + 2);
    Check(scan::SkipSpace(text, start) <= text.size());
    Check(scan::AfterFirstCR(text) <= text.size());
    const std::string line = scan::UpToCR(text, start, 20);
    Check(line.size() <= 20 && line.find('\r') == std::string::npos);
    const std::string word = scan::Word(text, start, 8);
    Check(word.size() <= 8);
    for (char c : word) Check(!scan::IsSpace(c));

    // The patterns the device library reads with.
    for (std::string_view pattern : {"d.11", "d", "x", "d d d d d", "d:d:d", "d/d/d d:d:d", "1 x", "OK d"}) {
        int64_t out[6] = {};
        size_t pos = 0;
        const int n = scan::Scan(text, start, pattern, out, 5, &pos);
        Check(n >= 0 && n <= 5 && pos <= text.size());
        for (int i = 0; i < n; ++i) scan::ClampInt32(out[i]);
    }
    double real = 0;
    if (scan::Real(text, start, &real)) Check(std::isfinite(real));
}

void Identity(std::string_view text) {
    DeviceProfile profile;
    const int32_t rc = IdentifyDevice(text, &profile);
    Check(rc == 1 || rc == -30 || rc == -10);
    if (rc == 1) Check(profile.family >= UNKNOWN && profile.family < END);
    Check(profile.identityText.size() <= DeviceProfile::kIdentityTextMax);
}

void Base64(std::string_view bytes) {
    const std::string decoded = rec::DecodeBase64(bytes);
    Check(decoded.size() == (bytes.size() + 3) / 4 * 3);
    const std::string back = rec::DecodeBase64(EncodeBase64(bytes));
    Check(back.substr(0, bytes.size()) == bytes);
}

// The input's lines as a record list, sorted as a restore sorts it.
void Records(std::string_view text, int type) {
    RecordSet set;
    for (size_t at = 0; at <= text.size() && set.Count() < rec::kFileRecordsMax;) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        set.records.push_back(InstrumentRecord{{}, std::string(text.substr(at, end - at))});
        at = end + 1;
    }
    Check(rec::AlphabetizeRecords(&set, type, nullptr) == 1);
    for (size_t i = 0; i < set.Count(); ++i) {
        Check(set.records[i].name.size() <= InstrumentRecord::kNameMax);
        if (i > 0) Check(rec::SortsBefore(set.records[i - 1].name, set.records[i].name));
    }
    RecordSet fromFile;
    const int32_t rc = rec::GetRecords_File(&fromFile, type, text, nullptr);
    Check(rc == 0 || rc == 1);
    Check(fromFile.Count() <= rec::kFileRecordsMax);
    for (const InstrumentRecord& r : fromFile.records) Check(r.text.size() <= InstrumentRecord::kTextMax);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Scanners(text);
    Identity(text);
    Base64(text);
    Check(rec::RecordName(rec::kUser, text).size() <= rec::kUserNameMax);
    Check(rec::RecordName(rec::kEqn, text).size() <= rec::kEqnNameMax);
    Records(text, rec::kUser);
    Records(text, rec::kEqn);
    return 0;
}
