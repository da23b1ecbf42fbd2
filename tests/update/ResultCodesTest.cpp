// What a failure says: the words of the result codes (one meaning a code, every code an
// update or a restore ends with among them, a number outside them the system's), and
// the box of a port the user may not open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "common/Status.h"
#include "session/SessionConstants.h"
#include "device/ProtocolConstants.h"
#include "update/ResultCodes.h"
#include "update/UpdateSequence.h"
#include "update/UpdateTexts.h"

namespace u = vorn::update;

TEST(ResultCodes, EachCodeOnceWithWordsAndEveryEndOfARunAmongThem) {
    std::set<int32_t> codes;
    for (const u::ResultMeaning& m : u::ResultMeanings()) {
        EXPECT_LT(m.code, 0);
        EXPECT_TRUE(codes.insert(m.code).second) << m.code << " is listed twice";
        EXPECT_GT(std::string(m.meaning).size(), 10u) << m.code;
    }
    for (int32_t code : std::initializer_list<int32_t>{vorn::kNoConnection, vorn::kCancelled, vorn::kBslRefused, vorn::kNotSupported, u::kWrongDevice,
                         u::kBatteryLow, u::kNoFirmware, u::kImageDoesNotFit, u::kSettingsFileFailed,
                         u::kUnitNotIdentified, u::kSettingsNotRestored, vorn::kPartlyDone, vorn::kPortInUse,
                         vorn::kPortClosed, vorn::kBadTiText, vorn::session::kSettingsFileMissing, vorn::kBslActive})
        EXPECT_EQ(codes.count(code), 1u) << code;
    // Each layer keeps its codes' words; the update's stand for a number it means otherwise.
    for (std::span<const vorn::CodeMeaning> layer : {u::UpdateMeanings(), vorn::session::SessionMeanings(),
                                                     vorn::protocol::DeviceMeanings(), vorn::StatusMeanings()})
        for (const vorn::CodeMeaning& m : layer) EXPECT_EQ(codes.count(m.code), 1u) << m.code << " " << m.meaning;
    EXPECT_EQ(vorn::Describe(vorn::kPortClosed), "the instrument stopped answering");
    EXPECT_EQ(vorn::protocol::Describe(vorn::kPortClosed), "");
    EXPECT_EQ(u::ResultLine(u::kNoFirmware), "result -10: no firmware file was opened");
    EXPECT_EQ(vorn::Describe(vorn::kMissingArgument), "a value the command needs is missing");
    EXPECT_EQ(u::ResultLine(-21), "result -21: the instrument stopped answering");
    EXPECT_EQ(u::ResultLine(-28), "result -28: error 28 from the system");
}

// A port the user may not open: what is wrong with its device node, and so what to do.
TEST(PortPermission, TheBoxSaysWhatIsWrongWithTheNode) {
    namespace t = vorn::update::texts;
    const t::Names names{"Vornell Firmware Updater", "Readwell", "ttyUSB0"};
    struct Case {
        const char* what;
        vorn::platform::PortAccess access;
        const char* said;
        const char* notSaid;
    };
    const Case cases[] = {
        {"a node only root may use", {true, "/dev/ttyUSB0", "root", "root", 0600, false, true},
         "belongs to root:root with mode 0600, so only root may use it; joining a group does not help", "usermod"},
        {"the group's node, not in the group", {true, "/dev/ttyUSB0", "root", "dialout", 0660, false, false},
         "your account is not in the group \"dialout\".\n\nPlease ask your administrator to add it (sudo usermod -aG dialout",
         "log out and log in again (or restart)"},
        {"in the group, not yet in this session", {true, "/dev/ttyUSB0", "root", "uucp", 0660, false, true},
         "is in the group \"uucp\", but this session started before it joined", "usermod"},
        {"nothing known of the node", {}, "add your user account to the \"dialout\" group", "belongs to"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = t::ConnectionFailed(names, vorn::kPortNoPermission, {}, &c.access).text;
        EXPECT_EQ(text.rfind("You do not have permission to use Comm Port \"ttyUSB0\"", 0), 0u) << text;
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        EXPECT_EQ(text.find(c.notSaid), std::string::npos) << text;
    }
    // The node's facts, from the system.
    const std::string file = testing::TempDir() + "vorn-port-access";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    const vorn::platform::PortAccess own = vorn::platform::PortAccessOf(file);
    EXPECT_TRUE(own.known);
    EXPECT_TRUE(own.isOwner);
    EXPECT_TRUE(own.inGroup);
    EXPECT_EQ(own.mode, 0640u);
    EXPECT_FALSE(vorn::platform::PortAccessOf(file + ".missing").known);
    std::remove(file.c_str());
}
