// The settings file's text: key lookup, both layouts line by line, and every family's
// reader taking back what the writer wrote.
#include <gtest/gtest.h>

#include "catalogue/DeviceCatalogue.h"
#include "session/InstInfo.h"
#include "session/SettingsFile.h"
#include "support/LocaleScope.h"

namespace sf = vorn::settingsfile;
namespace ib = vorn::instinfo;

namespace {

constexpr const char* kHeader = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";

DeviceInfo Kt72Logger() {
    DeviceInfo d;
    d.type = LT_KT72;
    d.typeName = "Kt72";
    d.newFirmware = true;
    d.versionText = "Kt72 2.04";
    d.version = 204;
    d.deviceID = "D0001234";
    d.deviceName = "FIELD01";
    d.serialNumber = "VL-0001234";
    d.trait = 0x4009;
    d.measurementInterval = 60;
    d.padc = 100;
    d.ports = {1, 1, 0, 2, 0};
    d.depths = {10, 20, 30, 40, 50};
    d.radioMode = 3;
    d.radioChannel = 3;
    d.radioSubchannel = 13106;
    d.dataParameter = 7;
    d.site = "North Ridge Plot 4";
    d.latitude = 46.73;
    d.longitude = -117.015;
    d.timeZone = -32;
    d.reportMode = 2;
    d.apn = "internet.example";
    d.apnUser = "vorn";
    d.apnPassword = "s3cret";
    d.host = "collect.vornell.example";
    d.authKey = "0123456789ABCDEF0123456789ABCDEF";
    d.ipPort = 5001;
    d.valid = 0x1FFEFFF;  // every setting but radio version, ADC calibration and build info
    return d;
}

TEST(SettingsKeyLookup, KeyCountsOnlyAtALineStartBeforeTheEqualsSign) {
    // The name holds the letters "sn" and comes first, as in every logger file.
    const std::string text = "name=\"snowfield\"\r\nsnx=\"9\"\r\nsn=\"VL-77\"\r\n";
    std::string value;
    EXPECT_TRUE(sf::ReadText(text, "sn", 16, &value));
    EXPECT_EQ(value, "VL-77");
    // A key spelled inside a value is no key.
    EXPECT_FALSE(sf::ReadText("name=\"user=abc\"\r\n", "user", 36, &value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(sf::FindKey("site=\"x\"\r\n", "sit").has_value());
}

TEST(SettingsKeyLookup, ValueKindsAndBounds) {
    const std::string text = "a=\"12345678901234567890\"\r\nb=\"\"\r\nc=\"abc\r\nd=\"-32\"\r\ne=\"+46.73000\"\r\nf=\"x\"\r\n";
    std::string value;
    EXPECT_TRUE(sf::ReadText(text, "a", 9, &value));
    EXPECT_EQ(value, "12345678");  // capacity 9: eight characters and the zero
    EXPECT_FALSE(sf::ReadText(text, "b", 9, &value));  // empty counts as missing
    EXPECT_TRUE(sf::ReadText(text, "c", 9, &value));
    EXPECT_EQ(value, "abc");  // a missing closing quote ends at the line end
    uint32_t n = 1;
    EXPECT_TRUE(sf::ReadUnsigned(text, "d", &n));
    EXPECT_EQ(static_cast<int32_t>(n), -32);
    EXPECT_TRUE(sf::ReadUnsigned(text, "f", &n));  // found, though no digits follow
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(sf::ReadUnsigned(text, "g", &n));
    double r = 0;
    EXPECT_TRUE(sf::ReadReal(text, "e", &r));
    EXPECT_DOUBLE_EQ(r, 46.73);
    // What the writer's "%+.5f" wrote is read back whole, however long; a zero byte ends a
    // text value, as it ends the text the writer's "%s" writes.
    const std::string big = "x=\"+" + std::string(80, '1') + ".50000\"\r\ny=\"ab" + std::string(1, '\0') + "cd\"\r\n";
    EXPECT_TRUE(sf::ReadReal(big, "x", &r));
    EXPECT_DOUBLE_EQ(r, std::stod(std::string(80, '1') + ".5"));
    EXPECT_TRUE(sf::ReadText(big, "y", 9, &value));
    EXPECT_EQ(value, "ab");
}

TEST(LoggerLayout, Kt72WithoutAdcOrBuildWritesTheFixedLines) {
    const std::string expected = std::string(kHeader) +
                                 "type=\"Kt72\"\r\n"
                                 "deviceid=\"D0001234\"\r\n"
                                 "name=\"FIELD01\"\r\n"
                                 "sn=\"VL-0001234\"\r\n"
                                 "trait=\"16393\"\r\n"
                                 "wake=\"60\"\r\n"
                                 "padc=\"100\"\r\n"
                                 "ports=\"1 1 0 2 0\"\r\n"
                                 "depth=\"10 20 30 40 50\"\r\n"
                                 "rmode=\"3\"\r\n"
                                 "rch=\"3\"\r\n"
                                 "rsch=\"13106\"\r\n"
                                 "data=\"7\"\r\n"
                                 "site=\"North Ridge Plot 4\"\r\n"
                                 "lat=\"+46.73000\"\r\n"
                                 "lon=\"-117.01500\"\r\n"
                                 "timezone=\"-32\"\r\n"
                                 "report=\"2\"\r\n"
                                 "apn=\"internet.example\"\r\n"
                                 "user=\"vorn\"\r\n"
                                 "passwd=\"s3cret\"\r\n"
                                 "host=\"collect.vornell.example\"\r\n"
                                 "authkey=\"0123456789ABCDEF0123456789ABCDEF\"\r\n"
                                 "ipport=\"5001\"\r\n"
                                 "valid=\"33550335\"\r\n";
    DeviceInfo d = Kt72Logger();
    d.adc15Slopes = {110, 111, 112, 113, 114};           // held, but not valid: not written
    EXPECT_EQ(sf::FormatLoggerFile(d), expected);
}

TEST(LoggerReader, TakesBackEverythingTheWriterWrote) {
    DeviceInfo d = Kt72Logger();
    d.adc15Slopes = {110, 111, 112, 113, 114};
    d.adc15Offsets = {140, 141, 142, 143, 144};
    d.adc30Slopes = {0, 121, 122, 123, 124};  // an unusable first factor: no ADC30 bit
    d.adc30Offsets = {130, 131, 132, 133, 134};
    d.buildInfo = "B204-0815";
    d.valid = 0x7FFEFFF | 0x8000000;
    const std::string text = sf::FormatLoggerFile(d);

    // A file one program wrote is read by another in the user's locale (the command-line
    // updater and the window): the same text, and the same values from it, in both.
    for (const char* name : {static_cast<const char*>(nullptr), vorn::test::kCommaLocale}) {
        vorn::test::LocaleScope locale(name);
        ASSERT_TRUE(locale.Active());
        SCOPED_TRACE(locale.Name());
        EXPECT_EQ(sf::FormatLoggerFile(d), text);

        // The identity stays the connected device's; every setting comes from the file.
        DeviceInfo read;
        read.type = LT_KT72;
        read.typeName = "Kt72";
        read.version = 204;
        read.versionText = "Kt72 2.04";
        read.newFirmware = true;
        read.serialNumber = "stale";
        uint32_t mask = 0;
        ASSERT_EQ(sf::ReadLoggerFile(KT72, text, &read, &mask), 1);
        EXPECT_EQ(mask, 0xDFFEFFBu);  // everything but version, radio version and ADC30
        EXPECT_EQ(read.latitude, d.latitude);  // named, for a readable failure
        EXPECT_EQ(read.longitude, d.longitude);
        DeviceInfo expected = d;
        expected.valid = 0;
        expected.capabilities = 0x707FFF7;
        EXPECT_EQ(read, expected);
    }
}

TEST(LoggerReader, EveryLoggerFamilyReadsItsOwnFile) {
    struct Case {
        int family;
        const char* typeName;
    };
    for (Case c : {Case{KT72, "Kt72"}, Case{ZQ8, "zQ8"}, Case{MYR, "MYR4"}, Case{KT7R, "Kt7r"}, Case{QV, "Quillon"}}) {
        DeviceInfo d = Kt72Logger();
        d.typeName = c.typeName;
        DeviceInfo read;
        uint32_t mask = 0;
        EXPECT_EQ(sf::ReadLoggerFile(c.family, sf::FormatLoggerFile(d), &read, &mask), 1) << c.typeName;
        EXPECT_EQ(read.serialNumber, "VL-0001234") << c.typeName;
        EXPECT_TRUE(mask & 0x2) << c.typeName;
    }
    // Files of old: a zQ8 reader takes a Kt72 file.
    DeviceInfo read;
    uint32_t mask = 0;
    EXPECT_EQ(sf::ReadLoggerFile(ZQ8, sf::FormatLoggerFile(Kt72Logger()), &read, &mask), 1);
    // Another family's file, and families without a logger reader.
    DeviceInfo qv = Kt72Logger();
    qv.typeName = "Quillon";
    EXPECT_EQ(sf::ReadLoggerFile(KT72, sf::FormatLoggerFile(qv), &read, &mask), -30);
    EXPECT_EQ(sf::ReadLoggerFile(RW, "type=\"RW\"\r\n", &read, &mask), -13);
}

TEST(LoggerReader, Kt7rKeepsItsPortsAndReadsPortLinesOfOld) {
    DeviceInfo d = Kt72Logger();
    d.typeName = "Kt7r";
    d.ports = {3, 1, 4, 1, 5};
    DeviceInfo read;
    uint32_t mask = 0;
    ASSERT_EQ(sf::ReadLoggerFile(KT7R, sf::FormatLoggerFile(d), &read, &mask), 1);
    EXPECT_EQ(read.ports, d.ports);
    EXPECT_EQ(mask & 0x20, 0x20u);
    EXPECT_EQ(mask & 0x80, 0u);  // a Kt7r file's device ID is not read
    EXPECT_EQ(read.capabilities, 0x474BEu);

    const std::string old = "type=\"Kt7r\"\r\nPort number=\"1\" value=\"2\"\r\nPort number=\"2\" value=\"7\"\r\n"
                            "Port number=\"3\" value=\"0\"\r\nPort number=\"4\" value=\"1\"\r\nPort number=\"5\" value=\"6\"\r\n";
    ASSERT_EQ(sf::ReadLoggerFile(KT7R, old, &read, &mask), 1);
    EXPECT_EQ(read.ports, (DeviceInfo::Bytes5{2, 7, 0, 1, 6}));
    EXPECT_EQ(mask, 0x20u);
    // Ports are restored when any of them is set, not only when the fifth one is.
    const std::string firstTwo = "type=\"Kt7r\"\r\nPort number=\"1\" value=\"2\"\r\nPort number=\"2\" value=\"7\"\r\n"
                                 "Port number=\"5\" value=\"0\"\r\n";
    ASSERT_EQ(sf::ReadLoggerFile(KT7R, firstTwo, &read, &mask), 1);
    EXPECT_EQ(read.ports, (DeviceInfo::Bytes5{2, 7, 0, 0, 0}));
    EXPECT_EQ(mask, 0x20u);
}

TEST(LoggerReader, SubchannelSaysARadioIsFitted) {
    const std::string qv = "type=\"Quillon\"\r\nname=\"Q1\"\r\nsn=\"Q-1\"\r\ntrait=\"255\"\r\nrch=\"2\"\r\nrsch=\"77\"\r\ndata=\"4\"\r\n";
    DeviceInfo read;
    uint32_t mask = 0;
    ASSERT_EQ(sf::ReadLoggerFile(QV, qv, &read, &mask), 1);
    EXPECT_EQ(read.trait, 0x4001u);  // exactly: a Quillon's trait is not read from the file
    EXPECT_EQ(mask, 0x1u | 0x2u | 0x400u | 0x800u | 0x8u | 0x100u);
    EXPECT_EQ(read.capabilities, 0x24583u);

    const std::string kt72 = "type=\"Kt72\"\r\ntrait=\"8\"\r\nrsch=\"77\"\r\n";
    ASSERT_EQ(sf::ReadLoggerFile(KT72, kt72, &read, &mask), 1);
    EXPECT_EQ(read.trait, 0x4009u);

    // The earlier program wrote radio lines of 0 for a logger without a radio, and no
    // "valid" line: the trait it read says there was none, and no radio is made up.
    const std::string radioLess = "type=\"Kt72\"\r\nsn=\"VL-1\"\r\ntrait=\"16392\"\r\nrch=\"3\"\r\nrsch=\"13106\"\r\n";
    ASSERT_EQ(sf::ReadLoggerFile(KT72, radioLess, &read, &mask), 1);
    EXPECT_EQ(read.trait, 0x4008u);
    EXPECT_EQ(mask & (0x400u | 0x800u), 0u);
    EXPECT_EQ(read.radioChannel, 0);  // nor its channel, to be written into the next file
    EXPECT_EQ(read.radioSubchannel, 0);
    EXPECT_NE(mask & 0x8u, 0u);
}

TEST(LoggerReader, ValuesTheValidLineDoesNotNameAreNotRead) {
    // A logger without a radio: the save read its trait but no radio values, and its file
    // still carries rch, rsch and data lines of 0.
    const std::string text = "type=\"MYR4\"\r\nname=\"M1\"\r\ntrait=\"0\"\r\nrch=\"0\"\r\nrsch=\"0\"\r\ndata=\"0\"\r\n"
                             "valid=\"9\"\r\n";
    DeviceInfo read;
    uint32_t mask = 0;
    ASSERT_EQ(sf::ReadLoggerFile(MYR, text, &read, &mask), 1);
    EXPECT_EQ(mask, 0x9u);
    EXPECT_EQ(read.trait, 0u);  // no radio made up from a subchannel line

    InstrumentInfo i;
    DeviceInfo info;
    RecordSet u, e;
    ASSERT_EQ(sf::ReadLabFile(TL, 102, "type=\"TL\"\r\nsn=\"T\"\r\ncontr=\"0\"\r\nunits=\"3\"\r\nvalid=\"130\"\r\n", &i,
                              &info, &u, &e, nullptr),
              1);
    EXPECT_EQ(i.valid, ib::kFamilyKnown | ib::kSerialNumber | ib::kUnits);  // contrast was never read
}

// ---------------------------------------------------------------- lab layout

InstrumentInfo RwInstrument() {
    InstrumentInfo i;
    i.family = RW;
    i.serialNumber = "RW-10234";
    i.name = "WELL3";
    i.contrast = 7;
    i.adc15 = "1.0012 0.0031";
    i.adc30 = "0.9987 -0.0040";
    i.cal[0] = "pH4 0.1785 25.0";
    i.cal[1] = "pH7 0.0021 25.0";
    i.cal[3] = "after a gap: kept";
    i.valid = 0x2C0013;
    return i;
}

TEST(LabLayout, ReadwellWritesTheFixedLinesThenItsCalibration) {
    DeviceInfo build;
    build.buildInfo = "B1";
    const std::string expected = std::string(kHeader) +
                                 "type=\"RW\"\r\n"
                                 "name=\"WELL3\"\r\n"
                                 "sn=\"RW-10234\"\r\n"
                                 "lang=\"0\"\r\n"
                                 "VornBuild=\"B1\"\r\n"
                                 "contr=\"7\"\r\n"
                                 "config=\"\"\r\n"
                                 "fvals=\"\"\r\n"
                                 "uvals=\"\"\r\n"
                                 "units=\"0\"\r\n"
                                 "adc=\"\"\r\n"
                                 "adccal=\"\"\r\n"
                                 "calprefs=\"\"\r\n"
                                 "PCUnits=\"\"\r\n"
                                 "sample=\"\"\r\n"
                                 "adc15=\"1.0012 0.0031\"\r\n"
                                 "adc30=\"0.9987 -0.0040\"\r\n"
                                 "location=\"\"\r\n"
                                 "chai=\"\"\r\n"
                                 "extCal=\"\"\r\n"
                                 "tadj=\"\"\r\n"
                                 "tau=\"0\"\r\n"
                                 "hadj=\"\"\r\n"
                                 "cal00=\"pH4 0.1785 25.0\"\r\n"
                                 "cal01=\"pH7 0.0021 25.0\"\r\n"
                                 // An empty slot before a held one is written empty: the
                                 // ones after it are not lost.
                                 "cal02=\"\"\r\n"
                                 "cal03=\"after a gap: kept\"\r\n"
                                 "valid=\"2883603\"\r\n";
    const InstrumentInfo inst = RwInstrument();
    EXPECT_EQ(sf::FormatLabFile(RW, inst, build, {}, {}), expected);
    // And read back slot by slot, the empty one included.
    InstrumentInfo back;
    DeviceInfo info;
    RecordSet user, eqn;
    ASSERT_EQ(sf::ReadLabFile(RW, 102, expected, &back, &info, &user, &eqn, nullptr), 1);
    EXPECT_EQ(back.cal, inst.cal);
}

// Every slot the fieldpt holds, numbered from 1, up to the last one with a value; its
// "-calA" is the line after the seven numbered ones. Empty slots between keep their place.
TEST(LabLayout, TextsWithQuotesOrLineEndsComeBackExactly) {
    // The instrument's own bytes, whatever they are: a line holds what it can, the .hex line
    // the exact text, and the next save writes the same file again.
    for (const std::string& serial : {std::string("RW\"10234"), std::string("RW\r10234"), std::string("A\nB"),
                                     std::string("\xDD\x90\x12\r\xDD"), std::string("RW\0\x01 7", 5)}) {
        InstrumentInfo inst = RwInstrument();
        inst.serialNumber = serial;
        const std::string text = sf::FormatLabFile(RW, inst, {}, {}, {});
        EXPECT_EQ(text.find("sn=\"" + serial), std::string::npos) << text;
        InstrumentInfo back;
        DeviceInfo info;
        RecordSet user, eqn;
        ASSERT_EQ(sf::ReadLabFile(RW, 102, text, &back, &info, &user, &eqn, nullptr), 1);
        EXPECT_EQ(back.serialNumber, serial);
        back.valid = inst.valid;  // what was read, as the save had it
        EXPECT_EQ(sf::FormatLabFile(RW, back, {}, {}, {}), text);
    }
}

TEST(LabLayout, FieldptNumbersItsCalibrationLinesFromOneAndCarriesCalALast) {
    InstrumentInfo i;
    i.cal = {"c0", "c1", "c2"};
    std::string text = sf::FormatLabFile(FIELDPT, i, {}, {}, {});
    EXPECT_TRUE(text.ends_with("hadj=\"\"\r\ncal01=\"c0\"\r\ncal02=\"c1\"\r\ncal03=\"c2\"\r\nvalid=\"0\"\r\n")) << text;
    EXPECT_NE(text.find("type=\"FIELDPT\"\r\n"), std::string::npos);
    i.cal[7] = "cA";
    text = sf::FormatLabFile(FIELDPT, i, {}, {}, {});
    EXPECT_NE(text.find("cal03=\"c2\"\r\ncal04=\"\"\r\ncal05=\"\"\r\ncal06=\"\"\r\ncal07=\"\"\r\ncal08=\"cA\"\r\n"),
              std::string::npos)
        << text;
    // Other families write no calibration lines.
    EXPECT_EQ(sf::FormatLabFile(TL, i, {}, {}, {}).find("cal0"), std::string::npos);
}

TEST(LabLayout, RecordsUpToTheFirstEmptyTextAndSwallowValuesLast) {
    RecordSet user;
    user.records = {{"", "Sand 5 9"}, {"", "Soil_Type`A 12 34"}, {"", ""}, {"", "lost"}};
    RecordSet eqn;
    eqn.records = {{"", "MQkwCTIJYgl4"}};
    InstrumentInfo i;
    i.sys = "3 1 0";
    i.autosec = "600";
    i.valid = ib::kSys | ib::kAutosec;
    const std::string text = sf::FormatLabFile(SWXR, i, {}, user, eqn);
    EXPECT_TRUE(text.ends_with("hadj=\"\"\r\n"
                               "user00=\"Sand 5 9\"\r\n"
                               "user01=\"Soil_Type`A 12 34\"\r\n"
                               "eqn00=\"MQkwCTIJYgl4\"\r\n"
                               "sys=\"3 1 0\"\r\n"
                               "autosec=\"600\"\r\n"
                               "valid=\"2147500032\"\r\n"))
        << text;
}

// Fills every value a family's save collects, as GetInstInfo would.
InstrumentInfo Collected(int family, uint32_t mask, RecordSet* user, RecordSet* eqn) {
    InstrumentInfo i;
    i.family = static_cast<int8_t>(family);
    for (const ib::InstItem& item : ib::InstItems()) {
        if (!(mask & item.bit)) continue;
        switch (item.kind) {
            case ib::ItemKind::Text: i.*item.text = "v" + std::to_string(item.bit % 9973); break;
            case ib::ItemKind::Number: i.*item.number = static_cast<int32_t>(item.bit % 97) + 1; break;
            case ib::ItemKind::Calibration: i.cal[0] = "c0"; i.cal[1] = "c1"; break;
            case ib::ItemKind::UserRecords: user->records = {{"", "Clay 1"}, {"", "Sand 2"}}; break;
            case ib::ItemKind::EqnRecords: eqn->records = {{"", "MQkwCTIJQQl4"}}; break;
            case ib::ItemKind::HadjTau: i.hadj = "0.5"; i.tau = 30; break;
            case ib::ItemKind::Pressure: i.fvals = "101.3"; i.uvals = "99.8"; break;
        }
    }
    i.valid = mask;
    return i;
}

TEST(LabReader, EveryFamilyTakesBackWhatItsSaveCollected) {
    struct Case {
        int family;
        uint32_t profileVersion;
        int32_t infoVersion;
    };
    for (Case c : {Case{HMINI, 118, 118}, Case{TL, 102, 102}, Case{CF22, 150, 150}, Case{CF22, 201, 201},
                   Case{VM, 102, 102}, Case{SWXR, 102, 102}, Case{H7S, 351, 351}, Case{GLX, 102, 102},
                   Case{RW, 102, 102}, Case{HN9, 204, 204}, Case{HN9, 205, 205}, Case{KSR, 102, 102},
                   Case{PTX9, 102, 102}, Case{HBA, 102, 102}, Case{FIELDPT, 102, 102}, Case{HN9OPX, 102, 102},
                   Case{BLI, 102, 102}}) {
        const uint32_t mask = ib::SaveRequestMask(c.family, c.profileVersion, c.infoVersion);
        ASSERT_NE(mask, 0u) << c.family;
        RecordSet user, eqn;
        const InstrumentInfo saved = Collected(c.family, mask, &user, &eqn);
        const std::string text = sf::FormatLabFile(c.family, saved, {}, user, eqn);

        InstrumentInfo read;
        DeviceInfo info;
        RecordSet readUser, readEqn;
        ASSERT_EQ(sf::ReadLabFile(c.family, c.profileVersion, text, &read, &info, &readUser, &readEqn, nullptr), 1)
            << c.family;
        InstrumentInfo expected = saved;
        expected.valid = mask | ib::kFamilyKnown;
        EXPECT_EQ(read, expected) << "family " << c.family << " valid " << std::hex << read.valid;
        EXPECT_EQ(readUser, user) << c.family;
        EXPECT_EQ(readEqn, eqn) << c.family;
    }
}

TEST(LabReader, TypeLinesOfOldAndOfThisProgram) {
    InstrumentInfo i;
    DeviceInfo info;
    RecordSet u, e;
    EXPECT_EQ(sf::ReadLabFile(VM, 102, "type=\"WQ\"\r\nsn=\"A\"\r\n", &i, &info, &u, &e, nullptr), 1);
    EXPECT_EQ(i.serialNumber, "A");
    EXPECT_EQ(sf::ReadLabFile(VM, 102, "type=\"VM\"\r\nsn=\"B\"\r\n", &i, &info, &u, &e, nullptr), 1);
    EXPECT_EQ(sf::ReadLabFile(FIELDPT, 102, "type=\"TRWK\"\r\n", &i, &info, &u, &e, nullptr), 1);
    EXPECT_EQ(sf::ReadLabFile(FIELDPT, 102, "type=\"FIELDPT\"\r\n", &i, &info, &u, &e, nullptr), 1);
    EXPECT_EQ(i.family, FIELDPT);
    EXPECT_EQ(i.valid, ib::kFamilyKnown);
    EXPECT_EQ(sf::ReadLabFile(TL, 102, "type=\"RW\"\r\n", &i, &info, &u, &e, nullptr), -30);
    EXPECT_EQ(sf::ReadLabFile(DIGITAL_SENSOR, 102, "type=\"MOSSY-QA\"\r\n", &i, &info, &u, &e, nullptr), -30);
    // The type written in another line's value does not count.
    EXPECT_EQ(sf::ReadLabFile(TL, 102, "name=\"type=TL\"\r\n", &i, &info, &u, &e, nullptr), -30);
}

// Settings are named to the user by the lines of the file that holds them, each once.
TEST(SettingNames, AreTheKeysOfTheFileLinesInFileOrder) {
    namespace sb = vorn::protocol::setting;
    using Names = std::vector<std::string>;
    EXPECT_EQ(sf::SettingNames(KT72, sb::kSite | sb::kRadioChannel | sb::kAdc15),
              (Names{"ADC15 slopes", "ADC15 offsets", "rch", "site"}));
    EXPECT_EQ(sf::SettingNames(KSR, ib::kPressure | ib::kSerialNumber), (Names{"sn", "fvals", "uvals"}));
    EXPECT_EQ(sf::SettingNames(HN9, ib::kTadj | ib::kUserRecords), (Names{"tadj", "user"}));
    EXPECT_EQ(sf::SettingNames(RW, ib::kCalibration), (Names{"cal"}));
    EXPECT_EQ(sf::SettingNames(KT7, sb::kSite), Names{});  // no layout
    EXPECT_EQ(sf::SettingNames(RW, 0), Names{});
}

TEST(LabReader, Cf22ReadsItsNewerValuesOnlyForFirmwareThatKeepsThemFromFilesThatSaySo) {
    const std::string text = "type=\"CF22\"\r\nsn=\"CF-1\"\r\ncontr=\"0\"\r\nconfig=\"3\"\r\n";
    const uint32_t newer = ib::kSerialNumber | ib::kContrast | ib::kConfig;
    struct Case {
        uint32_t version;
        bool validLine;  // files of the earlier program have none, and may hold contr="0"
        uint32_t read;
    };
    for (const Case& c : {Case{150, false, 0}, Case{200, false, 0}, Case{150, true, 0}, Case{200, true, newer}}) {
        InstrumentInfo i;
        DeviceInfo info;
        RecordSet u, e;
        const std::string file = text + (c.validLine ? "valid=\"" + std::to_string(newer) + "\"\r\n" : std::string());
        ASSERT_EQ(sf::ReadLabFile(CF22, c.version, file, &i, &info, &u, &e, nullptr), 1);
        EXPECT_EQ(i.valid, ib::kFamilyKnown | c.read) << c.version << " " << c.validLine;
    }
}

TEST(LabReader, AHumidityAdjustmentComesBackWithOrWithoutItsTau) {
    struct Case {
        const char* lines;
        bool tauRead;
    };
    const std::string valid = std::to_string(ib::kHadjTau);
    const std::string validTauUnread = std::to_string(ib::kHadjTau | ib::kTauUnread);
    const Case cases[] = {
        {"hadj=\"1.5 2\"\r\ntau=\"40\"\r\n", true},                                     // a file of old
        {"hadj=\"1.5 2\"\r\n", false},                                                      // tau missing
        {"hadj=\"1.5 2\"\r\ntau=\"0\"\r\nvalid=\"", false},  // saved without tau (valid line below)
        {"hadj=\"1.5 2\"\r\ntau=\"40\"\r\nvalid=\"", true},
    };
    for (size_t n = 0; n < std::size(cases); ++n) {
        std::string file = std::string("type=\"HMINI\"\r\n") + cases[n].lines;
        if (file.back() == '"') file += (n == 2 ? validTauUnread : valid) + "\"\r\n";
        InstrumentInfo i;
        DeviceInfo info;
        RecordSet u, e;
        ASSERT_EQ(sf::ReadLabFile(HMINI, 102, file, &i, &info, &u, &e, nullptr), 1);
        EXPECT_TRUE(i.valid & ib::kHadjTau) << n;
        EXPECT_EQ(i.hadj, "1.5 2") << n;
        EXPECT_EQ(!(i.valid & ib::kTauUnread), cases[n].tauRead) << n;
        if (cases[n].tauRead) {
            EXPECT_EQ(i.tau, 40) << n;
        }
    }
}

}  // namespace

// Which unit, where and when: lines after every key a reader takes back, so a reader
// that does not know them (an earlier release) reads the file as it did.
TEST(SettingsOrigin, TrailingLinesChangeNothingAReaderTakesBack) {
    const sf::SavedOrigin origin{.serialNumber = "RW-10234", .port = "ttyUSB0", .savedAt = 1796856600};
    const std::string lines = sf::FormatOrigin(origin);
    EXPECT_EQ(lines, "savedsn=\"RW-10234\"\r\nsavedport=\"ttyUSB0\"\r\nsavedat=\"2026-12-09T22:50:00Z\"\r\n");

    DeviceInfo logger = Kt72Logger();
    logger.valid = 0x7FFEFFF;
    const std::string loggerText = sf::FormatLoggerFile(logger);
    DeviceInfo plain, trailed;
    uint32_t plainMask = 0, trailedMask = 0;
    ASSERT_EQ(sf::ReadLoggerFile(KT72, loggerText, &plain, &plainMask), 1);
    ASSERT_EQ(sf::ReadLoggerFile(KT72, loggerText + lines, &trailed, &trailedMask), 1);
    EXPECT_EQ(trailed, plain);
    EXPECT_EQ(trailedMask, plainMask);

    for (int family : {RW, HN9, KSR, CF22}) {
        const uint32_t mask = ib::SaveRequestMask(family, 250, 250);
        RecordSet user, eqn;
        const std::string text = sf::FormatLabFile(family, Collected(family, mask, &user, &eqn), {}, user, eqn);
        InstrumentInfo a, b;
        DeviceInfo ia, ibInfo;
        RecordSet ua, ea, ub, eb;
        ASSERT_EQ(sf::ReadLabFile(family, 250, text, &a, &ia, &ua, &ea, nullptr), 1) << family;
        ASSERT_EQ(sf::ReadLabFile(family, 250, text + lines, &b, &ibInfo, &ub, &eb, nullptr), 1) << family;
        EXPECT_EQ(b, a) << family;
        EXPECT_EQ(ub, ua) << family;
        EXPECT_EQ(eb, ea) << family;
        EXPECT_EQ(sf::FamilyOfFile(text + lines), family);
    }
}

TEST(SettingsOrigin, ReadBackAndTheSerialNumberOfFilesOfOld) {
    struct Case {
        const char* name;
        std::string text;
        std::string serial, port, savedAt;  // savedAt empty: none
    };
    const std::string old = std::string(kHeader) + "type=\"RW\"\r\nsn=\"RW-00017\"\r\nvalid=\"3\"\r\n";
    const Case cases[] = {
        {"file of old", old, "RW-00017", "", ""},
        {"origin lines", old + sf::FormatOrigin({.serialNumber = "RW-00018", .port = "pts/4", .savedAt = 951782400}), "RW-00018", "pts/4",
         "2000-02-29T00:00:00Z"},
        // The unit told no serial number: the origin says so, the sn line does not count.
        {"no serial number read", old + "savedsn=\"\"\r\nsavedport=\"x\"\r\n", "", "x", ""},
        {"a time that is not one", old + "savedat=\"2026-02-30T00:00:00Z\"\r\n", "RW-00017", "", ""},
        // Text a line cannot hold never ends it early or starts another.
        {"values a line cannot hold", old + sf::FormatOrigin({.serialNumber = "A\"B\r\nsn=\"X", .port = std::string(sf::kOriginTextMax + 80, 'p')}),
         "A_B__sn=_X", std::string(sf::kOriginTextMax, 'p'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const sf::SavedOrigin read = sf::ReadOrigin(c.text);
        EXPECT_EQ(sf::SerialOfFile(c.text), c.serial);
        EXPECT_EQ(read.port, c.port);
        EXPECT_EQ(read.savedAt ? sf::FormatUtc(*read.savedAt) : std::string(), c.savedAt);
        std::string sn;
        sf::ReadText(c.text, "sn", 16, &sn);
        EXPECT_EQ(sn, "RW-00017");  // the file's own line is untouched
    }
}

// The journal of the update that holds the file rides after its origin lines: written
// only where it says something, read back whole, and the settings before it are found
// again byte for byte whatever the lines hold.
TEST(SettingsOrigin, TheJournalRoundTripsAndLeavesTheSettingsAsTheyWere) {
    const std::string settings = std::string(kHeader) + "type=\"RW\"\r\nsn=\"RW-00017\"\r\nvalid=\"3\"\r\n";
    const sf::SavedOrigin full{.serialNumber = "RW-00017", .port = "/dev/serial/by-id/usb-FTDI_A1-if00-port0",
                               .savedAt = 951782400, .stage = "erasing", .stagePort = "vornsim0",
                               .stageAt = 951782460, .loading = "RW"};
    const std::string text = settings + sf::FormatOrigin(full);
    const sf::SavedOrigin read = sf::ReadOrigin(text);
    EXPECT_EQ(read.stage, "erasing");
    EXPECT_EQ(read.stagePort, "vornsim0");
    ASSERT_TRUE(read.stageAt);
    EXPECT_EQ(*read.stageAt, 951782460);
    EXPECT_EQ(read.loading, "RW");
    EXPECT_EQ(sf::FormatOrigin(read), sf::FormatOrigin(full));
    EXPECT_EQ(sf::WithoutOrigin(text), settings);
    EXPECT_EQ(sf::WithoutOrigin(settings), settings);
    // Without a journal no journal line is written: earlier releases' files stay as they were.
    EXPECT_EQ(sf::FormatOrigin({.serialNumber = "A", .port = "p"}), "savedsn=\"A\"\r\nsavedport=\"p\"\r\n");
    EXPECT_EQ(sf::OriginValue("A\"B"), "A_B");
}

TEST(SettingsOrigin, UtcTimesWhateverTheLocale) {
    vorn::test::LocaleScope locale(vorn::test::kCommaLocale);
    ASSERT_TRUE(locale.Active());
    for (std::time_t t : {std::time_t{0}, std::time_t{951782400}, std::time_t{1796856600}, std::time_t{4102444799}}) {
        std::time_t back = -1;
        ASSERT_TRUE(sf::ParseUtc(sf::FormatUtc(t), &back)) << sf::FormatUtc(t);
        EXPECT_EQ(back, t);
    }
    EXPECT_EQ(sf::FormatUtc(4102444799), "2099-12-31T23:59:59Z");
    std::time_t t = 0;
    for (const char* bad : {"2026-12-09 22:50:00Z", "2026-12-09T22:50:00", "2026-13-01T00:00:00Z", "2026-12-09T24:00:00Z",
                            "2026-12-09T22:50:0xZ", "+026-12-09T22:50:00Z", ""})
        EXPECT_FALSE(sf::ParseUtc(bad, &t)) << bad;
}
