// Whether an image fits a device, decided from the image and the catalogue alone.
#include <gtest/gtest.h>

#include <string>

#include "bsl/TiText.h"
#include "catalogue/DeviceCatalogue.h"
#include "update/ImageFit.h"
#include "update/UpdateUi.h"

using vorn::update::ImageMisfit;
using vorn::update::ImageSegment;
using vorn::update::ImageSegments;

namespace {

struct FitCase {
    const char* what;
    int family;
    const char* tiText;
    const char* misfit;  // part of the reason; "" when it fits
};

// RW: main flash 0x02100..0x1FF00, INFO 0x01000..0x010BF, five-digit addresses. KT72: main
// 0x01100..0x0F9FF, INFO 0x01000..0x010FF, four digits. KSR: main 0x05C00..0x3BFFF, INFO
// 0x01800..0x0197F.
const FitCase kCases[] = {
    {"code and reset vector in place", RW, "@2100\n00 11 22 33\n@10000\n44 55\n@FFFE\n00 21\nq\n", ""},
    {"last byte at the end of flash", RW, "@1FEFF\n01 02\n@2100\n00 11\n@FFFE\n00 21\nq\n", ""},
    {"one byte past the end of flash", RW, "@1FEFF\n01 02 03\n@2100\n00 11\n@FFFE\n00 21\nq\n",
     "0x1FEFF to 0x1FF02, outside the program memory 0x02100 to 0x1FF00"},
    {"a block in INFO memory", RW,
     "@1000\n00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n@2100\n00 11\n@FFFE\n00 21\nq\n", ""},
    {"last byte at the end of INFO memory", RW, "@10BE\n01 02\n@2100\n00 11\n@FFFE\n00 21\nq\n", ""},
    {"running past the end of INFO memory", RW,
     "@10B8\n00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF\n@2100\n00 11\n@FFFE\n00 21\nq\n",
     "0x010B8 to 0x010C7, outside the program memory 0x02100 to 0x1FF00 and the INFO memory 0x01000 to 0x010BF"},
    {"in RAM", RW, "@0200\n00 11\n@2100\n00 11\n@FFFE\n00 21\nq\n", "0x00200 to 0x00201, outside"},
    {"INFO memory of another layout", KSR, "@1000\n00 11\n@5C00\n00 11\n@FFFE\n00 5C\nq\n",
     "0x01000 to 0x01001, outside the program memory 0x05C00 to 0x3BFFF and the INFO memory 0x01800 to 0x0197F"},
    {"a block in this layout's INFO memory", KSR, "@1800\n00 11\n@5C00\n00 11\n@FFFE\n00 5C\nq\n", ""},
    {"a block in the INFO memory of a four-digit loader", KT72, "@1000\n00 11\n@C000\n00 11\n@FFFE\n00 C0\nq\n", ""},
    {"running into the loader's area", RW, "@F9F0\n" "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n@FFFE\nF0 F9\nq\n",
     "0x0F9F0 to 0x0FA01, in the firmware loader's own area"},
    {"inside the loader's area past the dropped blocks", RW, "@2100\n00 11\n@FE00\n00 11\n@FFFE\n00 21\nq\n",
     "0x0FE00 to 0x0FE01, in the firmware loader's own area"},
    {"four-digit loader given code above 0xFFFF", KT72, "@C000\n00 11\n@10000\n22 33\n@FFFE\n00 C0\nq\n",
     "0x10000 to 0x10001, above 0xFFFF"},
    {"four-digit loader, code below the loader", KT72, "@F9FE\n00 11\n@C000\n00 11\n@FFFE\n00 C0\nq\n", ""},
    {"no reset vector", RW, "@2100\n00 11\n@FFE0\n00 21\nq\n", "it has no reset vector"},
    {"reset vector between segments", RW, "@2100\n00 11\n@3000\n00 11\n@FFFE\n00 28\nq\n",
     "its reset vector 0x2800 points outside its code"},
    {"reset vector on the last byte", RW, "@2100\n00 11 22 33\n@FFFE\n03 21\nq\n", ""},
    {"no code at all", RW, "@FFFE\n00 21\nq\n", "it holds no program code"},
};

}  // namespace

TEST(ImageFit, EachRuleRefusesWhatBreaksItAndNothingElse) {
    for (const FitCase& c : kCases) {
        SCOPED_TRACE(c.what);
        std::string image;
        vorn::bsl::VectorWords vectors{};
        ASSERT_EQ(vorn::bsl::ConvertTiText(c.tiText, &image, &vectors), vorn::bsl::TiTextVerdict::kImage);
        DeviceProfile profile;
        LoadFamilyProfile(c.family, 999, &profile);
        const std::string reason = ImageMisfit(ImageSegments(image), vectors[15], profile);
        if (std::string(c.misfit).empty())
            EXPECT_EQ(reason, "");
        else
            EXPECT_NE(reason.find(c.misfit), std::string::npos) << reason;
    }
}

TEST(ImageFit, SegmentsAreReadFromTheImageText) {
    std::vector<ImageSegment> s = ImageSegments("@021000011223344@100005566@0F000");
    ASSERT_EQ(s.size(), 2u);  // a header without data is no segment
    EXPECT_EQ(s[0].first, 0x2100u);
    EXPECT_EQ(s[0].last, 0x2103u);
    EXPECT_EQ(s[1].first, 0x10000u);
    EXPECT_EQ(s[1].last, 0x10001u);
    EXPECT_TRUE(ImageSegments("").empty());
}

// The bar: one step per erase report, the upload from its start position by the increment.
TEST(ProgressScaleRule, EraseStepsAndUploadIncrementsRounded) {
    ProgressScale scale;
    scale.step = 1;
    scale.increment = 2.6f;
    EXPECT_EQ(scale.Apply(8, 'X'), 9);
    scale.position = 21.0f;
    EXPECT_EQ(scale.Apply(21, 'W'), 24);  // 23.6
    EXPECT_EQ(scale.Apply(24, 'W'), 26);  // 26.2
    EXPECT_EQ(scale.Apply(26, '?'), 26);
}
