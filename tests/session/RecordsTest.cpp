// Record names, Base64, sort order and reading records back from a settings file's text.
#include <gtest/gtest.h>

#include "session/Records.h"

namespace rec = vorn::records;

namespace {

// Base64 of `plain`, written out here so the decoder is checked against known texts.
// "1\t0\t2\tNitrate\tx*x" and friends, encoded with the standard alphabet.
constexpr const char* kNitrate = "MQkwCTIJTml0cmF0ZQl4Kng=";          // 1\t0\t2\tNitrate\tx*x
constexpr const char* kNoName = "MQkwCTI=";                           // 1\t0\t2
constexpr const char* kLongName = "MQkwCTIJQ29uZHVjdGl2aXR5CXg=";     // 1\t0\t2\tConductivity\tx

RecordSet Records(std::initializer_list<const char*> texts) {
    RecordSet set;
    for (const char* t : texts) set.records.push_back(InstrumentRecord{{}, t});
    return set;
}

std::vector<std::string> Names(const RecordSet& set) {
    std::vector<std::string> out;
    for (const auto& r : set.records) out.push_back(r.name);
    return out;
}

TEST(Base64, DecodesGroupsWithPaddingAndForeignCharactersAsZeroBits) {
    auto group = rec::DecodeBase64Group("TWFu");
    EXPECT_EQ(std::string(group.begin(), group.end()), "Man");
    EXPECT_EQ(rec::DecodeBase64("TWFuTWE="), std::string("ManMa\0", 6));
    // An incomplete last group decodes as if padded.
    EXPECT_EQ(rec::DecodeBase64("TWFuTQ"), std::string("ManM\0\0", 6));
    // '*' is outside the alphabet: zero bits, like 'A'.
    EXPECT_EQ(rec::DecodeBase64("*WFu"), rec::DecodeBase64("AWFu"));
}

TEST(RecordNames, UserNameIsTheFirstWordWithUnderscoreAndBacktickRead) {
    EXPECT_EQ(rec::RecordName(rec::kUser, "Soil_Type`A 12 34"), "Soil Type,A");
    EXPECT_EQ(rec::RecordName(rec::kUser, "Sand"), "Sand");
    EXPECT_EQ(rec::RecordName(rec::kUser, "ABCDEFGHIJKLMNOPQRSTUVWXYZ 1"), "ABCDEFGHIJKLMNOPQRST");
}

TEST(RecordNames, EquationNameFollowsTheThirdTabAtMostNineCharacters) {
    EXPECT_EQ(rec::RecordName(rec::kEqn, kNitrate), "Nitrate");
    EXPECT_EQ(rec::RecordName(rec::kEqn, kLongName), "Conductiv");
    // Fewer than three TABs: no name field.
    EXPECT_EQ(rec::RecordName(rec::kEqn, kNoName), "");
}

TEST(RecordNames, ExtractNamesRefusesEmptySetsAndUnknownTypes) {
    RecordSet empty;
    EXPECT_EQ(rec::ExtractNames(&empty, rec::kUser, nullptr), -10);
    RecordSet one = Records({"Sand 1"});
    EXPECT_EQ(rec::ExtractNames(&one, 3, nullptr), -11);
    EXPECT_EQ(rec::ExtractNames(&one, rec::kUser, nullptr), 1);
    EXPECT_EQ(one.records[0].name, "Sand");
}

TEST(RecordSort, ComparesCaseInsensitivelyAndPrefixesFirst) {
    EXPECT_TRUE(rec::SortsBefore("Clay", "clay loam"));
    EXPECT_FALSE(rec::SortsBefore("clay loam", "Clay"));
    EXPECT_TRUE(rec::SortsBefore("a", "B"));
    EXPECT_FALSE(rec::SortsBefore("b", "A"));
    EXPECT_TRUE(rec::SortsBefore("same", "SAME"));  // equal names count as "before"
}

TEST(RecordSort, EquationsSortByDecodedNames) {
    // Names b, A, a (as equations) and "Nitr" as a prefix of "Nitrate".
    RecordSet set = Records({"MQkwCTIJYgl4", "MQkwCTIJQQl4", "MQkwCTIJYQl4", kNitrate, "MQkwCTIJTml0cgl4"});
    ASSERT_EQ(rec::AlphabetizeRecords(&set, rec::kEqn, nullptr), 1);
    std::vector<std::string> names = Names(set);
    ASSERT_EQ(names.size(), 5u);
    EXPECT_TRUE((names[0] == "A" && names[1] == "a") || (names[0] == "a" && names[1] == "A")) << names[0] << names[1];
    EXPECT_EQ(names[2], "b");
    EXPECT_EQ(names[3], "Nitr");
    EXPECT_EQ(names[4], "Nitrate");
}

TEST(RecordSort, UserRecordsAndUnknownTypes) {
    RecordSet set = Records({"Soil_Type`A 1", "clay 2", "Sand 3", "Clay_Loam 4"});
    ASSERT_EQ(rec::AlphabetizeRecords(&set, rec::kUser, nullptr), 1);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"clay", "Clay Loam", "Sand", "Soil Type,A"}));
    EXPECT_EQ(set.records[1].text, "Clay_Loam 4");
    EXPECT_EQ(rec::AlphabetizeRecords(&set, 0, nullptr), -11);
}

TEST(RecordsFromFile, StopsAtTheFirstMissingNumber) {
    const std::string text =
        "type=\"HN9\"\r\n"
        "eqn00=\"AAAA\"\r\n"
        "eqn01=\"BBBB\"\r\n"
        "eqn03=\"DDDD\"\r\n";
    RecordSet set = Records({"old"});
    ASSERT_EQ(rec::GetRecords_File(&set, rec::kEqn, text, nullptr), 1);
    ASSERT_EQ(set.Count(), 2u);
    EXPECT_EQ(set.records[0].text, "AAAA");
    EXPECT_EQ(set.records[1].text, "BBBB");
}

TEST(RecordsFromFile, NoRecordsEmptyValuesAndBadTypes) {
    RecordSet set;
    EXPECT_EQ(rec::GetRecords_File(&set, rec::kUser, "eqn00=\"x\"\r\n", nullptr), 0);
    EXPECT_EQ(set.Count(), 0u);
    // An empty value ends the list even though the key is there.
    EXPECT_EQ(rec::GetRecords_File(&set, rec::kUser, "user00=\"a 1\"\r\nuser01=\"\"\r\nuser02=\"c\"\r\n", nullptr), 1);
    EXPECT_EQ(set.Count(), 1u);
    EXPECT_EQ(rec::GetRecords_File(&set, 7, "user00=\"a\"\r\n", nullptr), -11);
    // A key inside another line's value is not a record.
    EXPECT_EQ(rec::GetRecords_File(&set, rec::kUser, "name=\"user00=x\"\r\n", nullptr), 0);
}

TEST(RecordsFromFile, TextIsCutAtOneHundredCharacters) {
    const std::string longText(150, 'x');
    RecordSet set;
    ASSERT_EQ(rec::GetRecords_File(&set, rec::kUser, "user00=\"" + longText + "\"\r\n", nullptr), 1);
    EXPECT_EQ(set.records[0].text, std::string(100, 'x'));
}

}  // namespace
