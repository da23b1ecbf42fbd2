// What each simulated lab instrument knows and holds when it leaves the factory.
#include <algorithm>
#include <cstdlib>

#include "sim/LabSim.h"

namespace vornsim {
namespace {

struct LabValue {
    std::string key;
    std::string factory;    // "" = known but empty
    uint32_t fromVersion;   // the firmware knows the key from this version on
};

struct LabFamily {
    const char* code;
    bool login;
    std::vector<LabValue> values;
    std::vector<const char*> recordLists;
};

// Calibration slots the firmware knows, empty from the factory.
std::vector<LabValue> Slots(const char* prefix, int first, int count) {
    std::vector<LabValue> out;
    for (int i = first; i < first + count; ++i) out.push_back({prefix + std::to_string(i), "", 0});
    return out;
}

std::vector<LabValue> Join(std::vector<LabValue> a, const std::vector<LabValue>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Values never hold '?', '"', "Error" or "ERROR": the updater would take them for a refusal.
const std::vector<LabFamily>& Families() {
    static const std::vector<LabFamily> families = [] {
        std::vector<LabValue> rw = {{"-sn", "RW-10234", 0},           {"-i", "WELL3", 0},
                                    {"-contr", "7", 0},               {"-adc15", "1.0012 0.0031", 0},
                                    {"-adc30", "0.9987 -0.0040", 0},  {"-cal 0", "pH4 0.1785 25.0", 0},
                                    {"-cal 1", "pH7 0.0021 25.0", 0}, {"-cal 2", "pH10 -0.1702 25.0", 0}};
        rw = Join(rw, Slots("-cal ", 3, 17));
        std::vector<LabValue> fieldpt = {{"-sn", "FP-6610", 0}, {"-test", "20 4", 0}, {"-calA", "", 0}};
        fieldpt = Join(fieldpt, Slots("-cal", 1, 7));
        return std::vector<LabFamily>{
            {"RW", false, rw, {}},
            {"HN9", true, {{"-sn", "H9-00417", 0}, {"-config", "52730", 0}, {"-tadj", "0.25 -0.10", 0},
                           {"-pvuser", "12 40 7", 205}}, {"user", "eqn"}},
            {"HN9OPX", true, {{"-sn", "OPX-0091", 0}, {"-config", "61022", 0}, {"-tadj", "0.30 0.05", 0},
                              {"-pvuser", "", 0}}, {"user", "eqn"}},
            {"KSR", false, {{"-sn", "KSR-2231", 0}, {"-config", "4410", 0}, {"-tadj", "0.12", 0},
                            {"-p", "101.3 0.2", 0}, {"-pv", "99.8 0.1", 0}}, {"eqn"}},
            {"CF22", false, {{"-adccal", "512 1024 2048", 0}, {"-loc", "Lab bench 2", 0}, {"-x", "CHAI-7", 0},
                             {"-ext", "EXT-3", 0}, {"-sn", "CF-2201", 200}, {"-config", "3", 200},
                             {"-contr", "5", 200}}, {}},
            {"TL", false, {{"-sn", "TL8-0042", 0}, {"-contr", "4", 0}, {"-units", "2", 0}, {"-adc", "51.23", 0},
                           {"-sample", "30 5 1", 0}}, {}},
            {"VM", false, {{"-sn", "VM-7781", 0}, {"-contr", "6", 0}, {"-fvals", "0.981 1.004 0.997", 0},
                           {"-units", "1", 0}}, {}},
            {"SWXR", false, {{"-sn", "SX-5150", 0}, {"-adccal", "2048 4096", 0}, {"-sys", "3 1 0", 0},
                             {"-wtfactory", "1.002", 0}, {"-auto", "600", 0}, {"-p1offset", "0.015", 0},
                             {"-wtoffset", "-0.004", 0}}, {}},
            {"H7S", true, {{"-adccal", "1024 2048", 0}, {"-config", "17", 0}}, {}},
            {"GLX", false, {{"-i", "GLX01", 0}, {"-sn", "GLX-3302", 0}}, {}},
            {"HMINI", true, {{"-lang", "2", 0}, {"-sn", "HM-1180", 0}, {"-contr", "5", 0}, {"-fvals", "1.00 0.98", 0},
                             {"-uvals", "1.01 0.99", 0}, {"-hadj", "0.5 -0.2", 0}, {"-tau", "30", 0}}, {}},
            {"PTX9", true, {{"-config", "9", 0}, {"-sn", "PTX-0977", 0}}, {}},
            {"HBA", true, {{"-config", "12", 0}, {"-sn", "HB-0451", 0}}, {}},
            {"FIELDPT", false, fieldpt, {}},
            {"BLI", false, {{"-sn", "BLI-0310", 0}, {"-test", "15 3 1", 0}, {"-contr", "4", 0}}, {}},
        };
    }();
    return families;
}

const LabFamily* Find(const std::string& code) {
    for (const LabFamily& f : Families())
        if (code == f.code) return &f;
    return nullptr;
}

// Kept in the order of their names, as the instruments list them.
const std::vector<std::string> kUserRecords = {"Clay_Loam 12 30", "Sand 5 9", "Soil_Type`A 12 34"};
const std::vector<std::string> kEquations = {
    "1\t0\t2\tAmmonia\t0.5*x+1",
    "1\t0\t2\tNitrate\tx*x",
    "1\t0\t2\tPhosphate\t2*x",
};

// The longest value each key holds, as the firmware's fields do; numbers are numbers.
constexpr size_t kNumber = 0;
size_t ValueMax(const std::string& key) {
    static const std::vector<std::pair<std::string, size_t>> kMax = {
        {"-lang", kNumber}, {"-contr", kNumber}, {"-units", kNumber}, {"-int", kNumber}, {"-tau", kNumber}, {"-sn", 15}, {"-i", 8},
        {"-config", 64}, {"-adc", 16}, {"-x", 16}, {"-ext", 16}, {"-adccal", 63}, {"-wtoffset", 63},
        {"-wtfactory", 63}, {"-p1offset", 63}, {"-auto", 63}};
    for (const auto& [k, max] : kMax)
        if (k == key) return max;
    return 128;  // the long texts and the calibration slots
}

bool IsWhole(const std::string& text) {
    size_t i = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

long CharSum(const std::string& text) {
    long sum = 0;
    for (unsigned char c : text) sum += c;
    return sum;
}

// The HN9 kind's configuration number carries a checksum over the serial number: the
// factory's pair sets the constant every unit's pair keeps.
bool ConfigChecksumWanted(const std::string& code) { return code == "HN9" || code == "HN9OPX"; }

long ConfigChecksum(const LabFamily& f) {
    std::string sn, config;
    for (const LabValue& v : f.values) {
        if (v.key == "-sn") sn = v.factory;
        if (v.key == "-config") config = v.factory;
    }
    return std::strtol(config.c_str(), nullptr, 10) - CharSum(sn);
}

}  // namespace

bool LabRecordKey(const std::string& code, const std::string& key, std::string* list, size_t* index) {
    for (const std::string& l : LabRecordLists(code)) {
        const std::string prefix = "-" + l + " ";
        if (key.compare(0, prefix.size(), prefix) != 0 || key.size() == prefix.size()) continue;
        const std::string number = key.substr(prefix.size());
        if (number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos) return false;
        const size_t n = static_cast<size_t>(std::stoul(number));
        if (n >= LabRecordsMax(l)) return false;
        *list = l;
        *index = n;
        return true;
    }
    return false;
}

size_t LabRecordsMax(const std::string& list) { return list == "eqn" ? kEqnRecordsMax : kUserRecordsMax; }

bool LabRecordFits(const std::string& text) { return text.size() <= kRecordTextMax && text.find('>') == std::string::npos; }

bool LabAccepts(const InstrumentState& s, const std::string& key, const std::string& value) {
    const LabFamily* f = Find(s.family);
    if (!f) return false;
    const std::vector<std::string> keys = LabKeys(s.family, s.version);
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) return false;
    if (value.empty()) return true;
    const size_t max = ValueMax(key);
    if (max == kNumber ? !IsWhole(value) : value.size() > max) return false;
    if (key == "-config" && ConfigChecksumWanted(s.family)) {
        auto sn = s.settings.find("-sn");
        return IsWhole(value) && std::strtol(value.c_str(), nullptr, 10) ==
                                     ConfigChecksum(*f) + CharSum(sn == s.settings.end() ? "" : sn->second);
    }
    return true;
}

void StoreLabValue(InstrumentState& s, const std::string& key, const std::string& value) {
    if (value.empty())
        s.settings.erase(key);
    else
        s.settings[key] = value;
}

bool IsLabFamily(const std::string& code) { return Find(code) != nullptr; }

std::vector<std::string> LabFamilyCodes() {
    std::vector<std::string> codes;
    for (const LabFamily& f : Families()) codes.push_back(f.code);
    return codes;
}

bool LabNeedsLogin(const std::string& code) {
    const LabFamily* f = Find(code);
    return f && f->login;
}

std::vector<std::string> LabKeys(const std::string& code, uint32_t version) {
    std::vector<std::string> keys;
    if (const LabFamily* f = Find(code))
        for (const LabValue& v : f->values)
            if (version >= v.fromVersion) keys.push_back(v.key);
    return keys;
}

std::vector<std::string> LabRecordLists(const std::string& code) {
    std::vector<std::string> lists;
    if (const LabFamily* f = Find(code)) lists.assign(f->recordLists.begin(), f->recordLists.end());
    return lists;
}

void FillLabFactoryValues(InstrumentState& s) {
    const LabFamily* f = Find(s.family);
    if (!f) return;
    for (const LabValue& v : f->values)
        if (s.version >= v.fromVersion && !v.factory.empty()) s.settings[v.key] = v.factory;
    for (const char* list : f->recordLists) {
        std::vector<std::string>& records = s.records[list];
        records.clear();
        if (std::string(list) == "user") {
            records = kUserRecords;
        } else {
            for (const std::string& e : kEquations) records.push_back(EncodeBase64(e));
        }
    }
    s.dataRecords = 120;
}

// What a unit of the options' family holds at its first power-on: the factory's values
// (unless lab-blank), its serial number, then the --value ones; those the instrument
// would refuse are left out and named in `refused`.
void StartLabState(InstrumentState& s, const Options& o, std::vector<std::string>* refused) {
    if (!o.Has("lab-blank")) FillLabFactoryValues(s);
    auto serialChanged = [&s](const std::string& serial) {
        // A unit of another serial number carries its own checksum in its configuration.
        const LabFamily* f = Find(s.family);
        if (ConfigChecksumWanted(s.family) && s.settings.count("-config"))
            s.settings["-config"] = std::to_string(ConfigChecksum(*f) + CharSum(serial));
        s.settings["-sn"] = serial;
    };
    if (o.Has("serial") && s.settings.count("-sn")) serialChanged(o.Text("serial"));
    std::vector<std::string> listsGiven;  // a list given record by record holds only those
    for (const auto& [key, value] : o.values) {
        std::string list;
        size_t index = 0;
        if (LabRecordKey(s.family, key, &list, &index)) {
            if (!LabRecordFits(value)) {
                if (refused) refused->push_back(key + "=" + value);
                continue;
            }
            std::vector<std::string>& records = s.records[list];
            if (std::find(listsGiven.begin(), listsGiven.end(), list) == listsGiven.end()) {
                listsGiven.push_back(list);
                records.clear();
            }
            if (records.size() <= index) records.resize(index + 1);
            records[index] = value;
            continue;
        }
        if (!LabAccepts(s, key, value)) {
            if (refused) refused->push_back(key + "=" + value);
        } else if (key == "-sn") {
            serialChanged(value);
            if (value.empty()) s.settings.erase("-sn");
        } else {
            StoreLabValue(s, key, value);
        }
    }
}

void EnsureLabStarted(Simulator& sim) {
    InstrumentState& s = sim.State();
    if (s.labStarted || !IsLabFamily(s.family)) return;
    s.labStarted = true;
    const Options& o = sim.options();
    if (s.hardwareRevision.empty()) s.hardwareRevision = o.Text("hver", kDefaultHardwareRevision);
    if (o.Has("low-battery")) s.battery = kLowBattery;
    if (o.Has("battery")) s.battery = static_cast<int>(o.Number("battery", s.battery));
    StartLabState(s, o, nullptr);
}

std::vector<std::string> LabValueKinds(const Options& o) {
    std::vector<std::string> out;
    for (const std::string& key : LabKeys(o.family, o.version)) {
        const size_t max = ValueMax(key);
        if (key == "-config" && ConfigChecksumWanted(o.family))
            out.push_back(key + "\tchecksum");
        else
            out.push_back(key + (max == kNumber ? "\tint 0 99" : "\ttext " + std::to_string(max)));
    }
    // A record list: "-user\trecords 100 100", its most records and the longest text.
    for (const std::string& list : LabRecordLists(o.family))
        out.push_back("-" + list + "\trecords " + std::to_string(LabRecordsMax(list)) + " " + std::to_string(kRecordTextMax));
    return out;
}

std::vector<std::string> LabStartingValuesRefused(const Options& o) {
    std::vector<std::string> refused;
    InstrumentState scratch;
    scratch.family = o.family;
    scratch.version = o.version;
    StartLabState(scratch, o, &refused);
    return refused;
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

}  // namespace vornsim
