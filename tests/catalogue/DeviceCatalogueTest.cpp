#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "catalogue/DeviceCatalogue.h"
#include "common/Status.h"

using namespace vorn::catalogue;

namespace {
DeviceProfile Identified(const std::string& text, int32_t expect) {
    DeviceProfile p;
    EXPECT_EQ(IdentifyDevice(text, &p), expect) << text;
    return p;
}
}  // namespace

TEST(IdentifyDevice, VersionRulesDecideWhatCanBeUpdated) {
    struct Case {
        const char* text;
        int family;
        uint32_t version;
        bool supported;
    } cases[] = {
        {"KT72 1.03", KT72, 103, true},  {"KT72 1.02", KT72, 102, false}, {"kt72 1.03", KT72, 103, true},
        {"QV 1.04", QV, 104, false},     {"QV 1.05", QV, 105, true},      {"KT7 3.00", KT7, 300, false},
        {"RL 9.99", RL, 999, false},     {"H7S 3.51", H7S, 351, true},    {"H7S 3.50", H7S, 350, false},
        {"HMINI 1.18", HMINI, 118, true}, {"CF22 1.49", CF22, 149, false}, {"MOSSY-QA 1.00", DIGITAL_SENSOR, 100, false},
        {"GLX 0.01", GLX, 1, true},
    };
    for (const Case& c : cases) {
        DeviceProfile p = Identified(c.text, 1);
        EXPECT_EQ(p.family, c.family) << c.text;
        EXPECT_EQ(p.version, c.version) << c.text;
        EXPECT_EQ(p.versionSupported, c.supported) << c.text;
        EXPECT_EQ(p.identityText, c.text);
    }
}

TEST(IdentifyDevice, OneDigitAfterThePointIsTheMinorAndHn9CarriesItsWindow) {
    DeviceProfile p = Identified("HN9 2.3", 1);
    EXPECT_EQ(p.version, 230u);
    EXPECT_TRUE(p.hasVersionWindow);
    EXPECT_EQ(p.minVersion, 202u);
    EXPECT_EQ(p.maxVersion, 999u);
    EXPECT_FALSE(Identified("HN9OPX 2.30", 1).hasVersionWindow);
}

TEST(IdentifyDevice, UnknownCodesGiveTheUnknownProfileWithTheirVersion) {
    for (const char* text : {"ZZ9 1.00", "END 1.00", "UNKNOWN 1.00"}) {
        DeviceProfile p = Identified(text, vorn::kNotUnderstood);
        EXPECT_EQ(p.family, UNKNOWN) << text;
        EXPECT_EQ(p.displayName, "UNKNOWN");
        EXPECT_EQ(p.version, 100u);
        EXPECT_FALSE(p.versionSupported);
        EXPECT_EQ(p.identityText, text);
    }
}

TEST(IdentifyDevice, UnreadableOrMissingTextLeavesTheProfileAlone) {
    DeviceProfile p;
    p.displayName = "untouched";
    EXPECT_EQ(IdentifyDevice("KT72 R1.03", &p), vorn::kNotUnderstood);
    EXPECT_EQ(IdentifyDevice("", &p), vorn::kMissingArgument);
    EXPECT_EQ(p.displayName, "untouched");
    EXPECT_EQ(IdentifyDevice("KT72 1.03", nullptr), vorn::kMissingArgument);
}

TEST(IdentifyDevice, TextWithoutAPointIsUnknownVersionZero) {
    DeviceProfile p = Identified("KT72", 1);
    EXPECT_EQ(p.family, UNKNOWN);
    EXPECT_EQ(p.version, 0u);
    EXPECT_FALSE(p.versionSupported);
    EXPECT_EQ(p.identityText, "KT72");
}

TEST(IdentifyDevice, OverLongTextsAreCutToTheirFields) {
    DeviceProfile p = Identified("KT72 1.03 and a long tail of words", 1);
    EXPECT_EQ(p.identityText, "KT72 1.03 and a long ");
    EXPECT_EQ(p.identityText.size(), DeviceProfile::kIdentityTextMax);
    // A code word longer than its field cannot be one of ours.
    Identified("ABCDEFGHIJKLMNOPQRSTUVW 1.00", vorn::kNotUnderstood);
}

// The family table, row by row: identity and update behaviour, then memory layout and
// bootloader speed. `firstVersion` is the version rule: kNever, 0 for every version, else
// the first version that can be updated.
namespace {
constexpr uint32_t kNever = UINT32_MAX;
struct FamilyRow {
    int family;
    const char* code;
    const char* displayName;
    bool save, eraseData, battery, login, clock, checkInit, calibration, updateErasesData;
    uint32_t restartWaitMs;
    uint32_t firstVersion;
    bool extended;
    uint32_t flashStart, flashEnd, infoStart, infoSegments, infoSegmentSize, baud;
};
// clang-format off
const FamilyRow kFamilyTable[] = {
    //                                                   save   erase  batt   login  clock  init   calib  wipes   wait  rule    20-bit flash start/end      INFO  segs size  baud
    {UNKNOWN,        "UNKNOWN",  "UNKNOWN",                 false, false, false, false, false, false, false, false, 7000, kNever, false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {KT7,            "KT7",      "Kt7",                     true,  false, true,  false, true,  true,  false, true,  1000, kNever, false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {KT7R,           "KT7R",     "Kt7r",                    true,  false, true,  false, true,  true,  false, true,  1000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {KT72,           "KT72",     "Kt72",                    true,  true,  true,  false, true,  true,  false, true,  6000, 103,    false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {QV,             "QV",       "Quillon",                 true,  true,  true,  false, false, true,  false, true,  6000, 105,    false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {RL,             "RL",       "Ravelin",                 true,  true,  false, false, false, true,  false, true,  4000, kNever, false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {HMINI,          "HMINI",    "Heron Mini",              true,  false, false, true,  false, false, false, false, 8500, 118,    false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {TL,             "TL",       "Tallis 8",                true,  true,  true,  false, true,  false, false, true,  7000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {CF22,           "CF22",     "Lumex CF-22",             true,  true,  false, false, true,  false, true,  true,  3000, 150,    false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {VM,             "VM",       "Vellum Meter",            true,  true,  true,  false, true,  false, true,  true,  7000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {DIGITAL_SENSOR, "MOSSY-QA", "Digital Sensor",          false, false, false, false, false, false, false, false, 1000, kNever, false, 0x8000, 0xF9FF,  0x1000, 3, 64,  9600},
    {SWXR,           "SWXR",     "Swallow XR",              true,  true,  false, false, true,  false, false, true,  2000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {H7S,            "H7S",      "Heron Series 7",          true,  false, false, true,  false, false, false, false, 2000, 351,    false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {GLX,            "GLX",      "GLX",                     true,  false, true,  false, false, false, false, false, 7000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {RW,             "RW",       "Readwell",                true,  true,  true,  false, true,  false, false, true,  2000, 0,      true,  0x2100, 0x1FF00, 0x1000, 3, 64,  57600},
    {HN9,            "HN9",      "Heron 9",                 true,  true,  false, true,  true,  false, false, true,  8000, 0,      true,  0x2100, 0x1FF00, 0x1000, 3, 64,  57600},
    {KSR,            "KSR",      "Heron KSR",               true,  true,  false, false, true,  false, false, true,  8000, 0,      true,  0x5C00, 0x3BFFF, 0x1800, 3, 128, 57600},
    {PTX9,           "PTX9",     "PTX9",                    true,  false, false, true,  false, false, false, false, 2000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {ZQ8,            "ZQ8",      "zQ8",                     true,  true,  true,  false, true,  true,  false, true,  6000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {MYR,            "MYR",      "MYR4 Logger",             true,  true,  false, false, true,  true,  false, true,  6000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {HBA,            "HBA",      "Heron Base",              true,  false, false, true,  false, false, false, false, 2000, 0,      false, 0x1100, 0xF9FF,  0x1000, 2, 128, 9600},
    {FIELDPT,        "FIELDPT",  "fieldpt",                 true,  false, false, false, true,  true,  false, false, 6000, 0,      true,  0x2100, 0x1FF00, 0x1000, 3, 64,  57600},
    {HN9OPX,         "HN9OPX",   "Heron 9 OPX",             true,  true,  false, true,  true,  false, false, true,  8000, 0,      true,  0x8000, 0x27FFF, 0x1800, 3, 128, 57600},
    {BLI,            "BLI",      "Brasslock Infiltrometer", true,  true,  true,  false, true,  false, false, true,  8000, 0,      true,  0x2100, 0x1FF00, 0x1000, 3, 64,  57600},
};
// clang-format on
}  // namespace

TEST(LoadFamilyProfile, EveryRowAsTheFamilyTableGivesIt) {
    ASSERT_EQ(std::size(kFamilyTable), static_cast<size_t>(END));
    for (size_t i = 0; i < std::size(kFamilyTable); ++i) {
        const FamilyRow& r = kFamilyTable[i];
        SCOPED_TRACE(r.code);
        ASSERT_EQ(r.family, static_cast<int>(i));
        EXPECT_EQ(FamilyCode(r.family), r.code);
        EXPECT_EQ(FamilyDisplayName(r.family), r.displayName);
        EXPECT_EQ(UpdateErasesStoredData(r.family), r.updateErasesData);

        std::vector<uint32_t> versions = {0, 1, 102, 999, 65535};
        if (r.firstVersion != kNever && r.firstVersion > 0) {
            versions.push_back(r.firstVersion - 1);
            versions.push_back(r.firstVersion);
        }
        for (uint32_t version : versions) {
            SCOPED_TRACE(version);
            DeviceProfile p;
            p.identityText = "left over";
            p.minVersion = 5;
            LoadFamilyProfile(r.family, version, &p);
            EXPECT_EQ(p.family, r.family);
            EXPECT_EQ(p.displayName, r.displayName);
            EXPECT_EQ(p.identityText, "");  // the whole profile starts from zero
            EXPECT_EQ(p.version, version);
            EXPECT_EQ(p.restartWaitMs, r.restartWaitMs);
            EXPECT_EQ(p.saveSettings, r.save);
            EXPECT_EQ(p.eraseDataAfterUpdate, r.eraseData);
            EXPECT_EQ(p.checkBattery, r.battery);
            EXPECT_EQ(p.loginBeforeSettings, r.login);
            EXPECT_EQ(p.setClockAfterUpdate, r.clock);
            EXPECT_EQ(p.firmwareCheckInit, r.checkInit);
            EXPECT_EQ(p.calibrationReminder, r.calibration);
            EXPECT_EQ(p.versionSupported, r.firstVersion != kNever && version >= r.firstVersion);
            EXPECT_EQ(p.extendedAddressing, r.extended);
            EXPECT_EQ(p.flashStart, r.flashStart);
            EXPECT_EQ(p.flashEnd, r.flashEnd);
            EXPECT_EQ(p.infoStart, r.infoStart);
            EXPECT_EQ(p.infoSegmentCount, r.infoSegments);
            EXPECT_EQ(p.infoSegmentSize, r.infoSegmentSize);
            EXPECT_EQ(p.bootloaderBaud, r.baud);
            // Only the Heron 9 carries a version window.
            EXPECT_EQ(p.hasVersionWindow, r.family == HN9);
            EXPECT_EQ(p.minVersion, r.family == HN9 ? 202u : 0u);
            EXPECT_EQ(p.maxVersion, r.family == HN9 ? 999u : 0u);
        }
    }
}

TEST(LoadFamilyProfile, ValuesOutsideTheTableAreUnknownAndUnsupported) {
    for (int family : {-1, 24, 99}) {
        DeviceProfile p;
        p.versionSupported = true;
        LoadFamilyProfile(family, 500, &p);
        EXPECT_EQ(p.family, UNKNOWN);
        EXPECT_EQ(p.displayName, "UNKNOWN");
        EXPECT_FALSE(p.versionSupported);
    }
}

// Rows 0 to 23 are in the family table above; here the closing entry and what lies outside.
TEST(CatalogueTables, TheClosingEntryAndValuesOutsideTheTable) {
    EXPECT_EQ(FamilyCode(END), "END");
    EXPECT_EQ(FamilyDisplayName(END), "END");
    EXPECT_FALSE(UpdateErasesStoredData(END));
    EXPECT_EQ(FamilyCode(77), "UNKNOWN");
    EXPECT_EQ(FamilyDisplayName(-1), "UNKNOWN");
    EXPECT_FALSE(UpdateErasesStoredData(-1));
    // Every real family's code identifies that family.
    for (int f = KT7; f < END; ++f) {
        DeviceProfile p;
        EXPECT_EQ(IdentifyDevice(std::string(FamilyCode(f)) + " 9.99", &p), 1) << f;
        EXPECT_EQ(p.family, f);
    }
}
