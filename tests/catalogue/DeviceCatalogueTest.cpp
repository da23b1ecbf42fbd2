#include <gtest/gtest.h>

#include "catalogue/DeviceCatalogue.h"
#include "serial/Status.h"

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

TEST(LoadFamilyProfile, LayoutsAndBehaviourComeFromTheTable) {
    DeviceProfile rw;
    LoadFamilyProfile(RW, 999, &rw);
    EXPECT_EQ(rw.displayName, "Readwell");
    EXPECT_TRUE(rw.extendedAddressing);
    EXPECT_EQ(rw.flashStart, 0x2100u);
    EXPECT_EQ(rw.flashEnd, 0x1FF00u);
    EXPECT_EQ(rw.infoStart, 0x1000u);
    EXPECT_EQ(rw.infoSegmentCount, 3u);
    EXPECT_EQ(rw.infoSegmentSize, 64u);
    EXPECT_EQ(rw.bootloaderBaud, 57600u);
    EXPECT_EQ(rw.restartWaitMs, 2000u);
    EXPECT_TRUE(rw.saveSettings && rw.eraseDataAfterUpdate && rw.checkBattery && rw.setClockAfterUpdate);
    EXPECT_FALSE(rw.loginBeforeSettings || rw.firmwareCheckInit || rw.calibrationReminder);

    DeviceProfile ksr;
    LoadFamilyProfile(KSR, 100, &ksr);
    EXPECT_EQ(ksr.flashStart, 0x5C00u);
    EXPECT_EQ(ksr.flashEnd, 0x3BFFFu);
    EXPECT_EQ(ksr.infoStart, 0x1800u);
    EXPECT_EQ(ksr.infoSegmentSize, 128u);

    DeviceProfile sensor;
    LoadFamilyProfile(DIGITAL_SENSOR, 999, &sensor);
    EXPECT_EQ(sensor.flashStart, 0x8000u);
    EXPECT_FALSE(sensor.extendedAddressing);
    EXPECT_FALSE(sensor.versionSupported);

    DeviceProfile cf;
    LoadFamilyProfile(CF22, 150, &cf);
    EXPECT_TRUE(cf.calibrationReminder);
    EXPECT_EQ(cf.displayName, "Lumex CF-22");
    EXPECT_FALSE(cf.extendedAddressing);
    EXPECT_EQ(cf.flashEnd, 0xF9FFu);
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

TEST(CatalogueTables, CodesNamesAndTheErasesDataColumn) {
    EXPECT_EQ(FamilyCode(DIGITAL_SENSOR), "MOSSY-QA");
    EXPECT_EQ(FamilyCode(END), "END");
    EXPECT_EQ(FamilyDisplayName(END), "END");
    EXPECT_EQ(FamilyDisplayName(BLI), "Brasslock Infiltrometer");
    EXPECT_EQ(FamilyDisplayName(ZQ8), "zQ8");
    EXPECT_EQ(FamilyCode(77), "UNKNOWN");
    EXPECT_TRUE(UpdateErasesStoredData(RW));
    EXPECT_FALSE(UpdateErasesStoredData(HMINI));
    EXPECT_FALSE(UpdateErasesStoredData(FIELDPT));
    EXPECT_FALSE(UpdateErasesStoredData(GLX));
    // Every real family's code identifies that family.
    for (int f = KT7; f < END; ++f) {
        DeviceProfile p;
        EXPECT_EQ(IdentifyDevice(std::string(FamilyCode(f)) + " 9.99", &p), 1) << f;
        EXPECT_EQ(p.family, f);
    }
}
