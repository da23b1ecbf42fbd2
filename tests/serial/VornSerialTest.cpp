#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "serial/CommPortEnum.h"
#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "serial/SerialPlatform.h"
#include "serial/VornSerial.h"
#include "support/TestSupport.h"

using vorn::test::PortHeldElsewhere;
using vorn::test::PtyPair;
using vorn::test::ReadFile;
using vorn::test::TempDir;

namespace {

// The port list of a system with one serial device, checked through the real platform.
class OnePort : public PortSource {
public:
    explicit OnePort(std::string path) : path_(std::move(path)) {}
    std::vector<SerialDeviceInfo> Devices() override { return {{path_, "", ""}}; }
    std::string Description() {
        CommPortEntry entry;
        int32_t count = 1;
        return CommPortEnum(&entry, &count, false, *this) == 1 ? entry.description : std::string("(not listed)");
    }

private:
    std::string path_;
};

// Counts how often the event pump runs while installed.
class CountingPump {
public:
    CountingPump() {
        vorn::SetEventPump([this](uint32_t ms) {
            ++calls;
            vorn::SleepMs(std::min<uint32_t>(ms, 20));
        });
    }
    ~CountingPump() { vorn::SetEventPump(nullptr); }
    std::atomic<int> calls{0};
};

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Ok()); }
    std::string LogText() { return ReadFile(dir.File("log.txt")); }

    PtyPair pty;
    TempDir dir;
    VornLog log{dir.File("log.txt"), 40};
    VornSerial port{&log};
};

}  // namespace

TEST_F(SerialTest, OpenAtBaudZeroConfiguresNineSixHundred) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 0), 1);
    EXPECT_EQ(port.Baud(), 9600u);
    EXPECT_EQ(pty.HostBaud(), 9600u);
    EXPECT_NE(LogText().find(pty.SlavePath() + ": VSOpen successfully opened and configured comm port at 9600 baud"),
              std::string::npos);
    // A pseudo-terminal has no DTR line: that is a byte-level note, not a failure.
    EXPECT_NE(LogText().find("VSOpen port has no DTR line"), std::string::npos);
    // Nor a latency timer to turn down: noted, and the port is used as it is.
    EXPECT_NE(LogText().find("VSOpen: the driver keeps its latency timer"), std::string::npos);
    EXPECT_EQ(port.VSClose(), 1);
    EXPECT_EQ(port.VSClose(), 0);
    EXPECT_NE(LogText().find("VSClose closed comm port"), std::string::npos);
}

TEST_F(SerialTest, PortsThatCannotBeOpenedAreRefusedWithTheirOwnCodeAndLine) {
    struct Case {
        std::string port;
        int32_t status;
        std::string line;
    };
    const Case cases[] = {
        {"ttyDoesNotExist9", vorn::kPortNotFound, "ttyDoesNotExist9: VSOpen failed to open comm port (error 2)"},
        {"ttyDoesNotExist9", vorn::kPortNotFound, "does not exist"},
        // Not -25, which the update would take for a refused login.
        {"/dev/null", vorn::kNotSerialPort, "/dev/null: VSOpen /dev/null is not a serial port"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(port.VSOpen(c.port, 9600), c.status) << c.port;
        EXPECT_FALSE(port.IsOpen());
        EXPECT_NE(LogText().find(c.line), std::string::npos) << LogText();
    }
    // Nothing to read from, and no buffer was left behind.
    char buf[8];
    int32_t n = 0;
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), vorn::kOutOfMemory);
}

// The exclusive mark belongs to the tty, not to our handle: while the other end stays
// open it outlives a close and keeps every ordinary user out of the next open.
TEST_F(SerialTest, NeitherAClosedPortNorTheListsChecksLeaveAnExclusiveMark) {
    auto marked = [&] {
        int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno == EBUSY;  // an ordinary user is kept out by the mark
        int exclusive = 0;
        ioctl(fd, TIOCGEXCL, &exclusive);
        close(fd);
        return exclusive != 0;
    };
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    EXPECT_TRUE(marked());
    port.VSClose();
    EXPECT_FALSE(marked());
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);  // again, with the far end open all along
    port.VSClose();

    OnePort list(pty.SlavePath());
    EXPECT_EQ(list.Description(), pty.SlavePath() + " Communications Port");
    EXPECT_EQ(list.ProbePort(pty.SlavePath()), PortSource::Probe::Free);
    EXPECT_FALSE(marked());
    EXPECT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
}

TEST_F(SerialTest, APortHeldWithoutALockIsListedBusyAndRefusedWithItsHolderNamed) {
    OnePort list(pty.SlavePath());
    {
        PortHeldElsewhere holder(pty.SlavePath());
        ASSERT_TRUE(holder.Ok());
        EXPECT_EQ(list.Description(), pty.SlavePath() + " Communications Port (busy)");
        EXPECT_EQ(list.ProbePort(pty.SlavePath()), PortSource::Probe::Busy);
        EXPECT_EQ(port.VSOpen(pty.SlavePath(), 9600), vorn::kPortInUse);
        EXPECT_NE(LogText().find("is in use by another program, held by sleep (pid " + std::to_string(holder.Pid()) + ")"),
                  std::string::npos)
            << LogText();
        EXPECT_EQ(vorn::platform::DescribeHolders(vorn::platform::PortHolders(pty.SlavePath())),
                  "sleep (pid " + std::to_string(holder.Pid()) + ")");
    }
    EXPECT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
}

// Another port list checks the port by opening it for a moment: an update that starts in
// that moment opens it once the check is over, and a holder that stays is still refused.
TEST_F(SerialTest, APortHeldForAMomentIsOpenedOnceItIsLetGoAndOneHeldOnIsRefused) {
    const struct {
        uint32_t heldMs;
        int32_t opened;
    } cases[] = {{150, 1}, {VornSerial::kBusyRetryMs + 1000, vorn::kPortInUse}};
    for (const auto& c : cases) {
        vorn::platform::PortHandle check = vorn::platform::kInvalidHandle;
        ASSERT_EQ(vorn::platform::OpenPort(pty.SlavePath(), &check), 0);
        std::thread letGo([&] {
            vorn::SleepMs(c.heldMs);
            vorn::platform::ClosePort(check);
        });
        EXPECT_EQ(port.VSOpen(pty.SlavePath(), 9600), c.opened) << c.heldMs;
        letGo.join();
        port.VSClose();
    }
}

TEST_F(SerialTest, ASecondOpenerIsRefusedEvenAsRoot) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    VornSerial other(&log);
    EXPECT_EQ(other.VSOpen(pty.SlavePath(), 9600), vorn::kPortInUse);
    EXPECT_NE(LogText().find("is in use by another program"), std::string::npos);
    port.VSClose();
    EXPECT_EQ(other.VSOpen(pty.SlavePath(), 9600), 1);
}

// Terminal programs lock the device, by its name under /dev ("LCK..pts_5" for pts/5),
// whichever name they were given for it; our own lock is no other program's.
TEST_F(SerialTest, AUucpLockOnThePortsDeviceMakesItBusyWhicheverWayItIsSpeltButOursDoesNot) {
    namespace platform = vorn::platform;
    if (!platform::FolderIsWritable(platform::kSystemLockFolder))
        GTEST_SKIP() << "cannot write " << platform::kSystemLockFolder;
    auto lockOf = [](const PtyPair& line) {
        return std::string(platform::kSystemLockFolder) + "/LCK..pts_" + line.SlavePath().substr(9);
    };
    // A process killed under another account (a root run of the suite) leaves its lock
    // of a pseudo-terminal behind, which this account may not remove: such a line is
    // passed over for the next one.
    std::vector<std::unique_ptr<PtyPair>> passedOver;
    const PtyPair* line = &pty;
    while (std::remove(lockOf(*line).c_str()) != 0 && errno != ENOENT && passedOver.size() < 32) {
        passedOver.push_back(std::make_unique<PtyPair>());
        ASSERT_TRUE(passedOver.back()->Ok());
        line = passedOver.back().get();
    }
    const std::string lock = lockOf(*line);
    ASSERT_FALSE(std::filesystem::exists(lock));
    const std::string link = dir.File("usb-Vornell_Readwell-if00-port0");
    std::filesystem::create_symlink(line->SlavePath(), link);
    PortHeldElsewhere other("/dev/null");  // a live process that is not us, the port not open
    ASSERT_TRUE(other.Ok());
    vorn::test::WriteFile(lock, vorn::test::UucpLockText(other.Pid()));
    for (const std::string& spelling : {line->SlavePath(), link}) {
        EXPECT_EQ(port.VSOpen(spelling, 9600), vorn::kPortInUse) << spelling;
        EXPECT_NE(LogText().find(spelling + " is in use by another program, held by sleep (pid " +
                                 std::to_string(other.Pid()) + ")"),
                  std::string::npos)
            << LogText();
    }
    vorn::test::WriteFile(lock, vorn::test::UucpLockText(getpid()));
    EXPECT_EQ(port.VSOpen(link, 9600), 1);
    port.VSClose();
    std::remove(lock.c_str());

    const intptr_t ours = platform::LockPortForSystem(link, nullptr);
    ASSERT_GE(ours, 0);
    EXPECT_TRUE(std::filesystem::exists(lock));
    EXPECT_EQ(port.VSOpen(line->SlavePath(), 9600), 1);
    port.VSClose();
    platform::UnlockPortForSystem(ours);
    EXPECT_FALSE(std::filesystem::exists(lock));
}

TEST_F(SerialTest, APortTheUserMayNotOpenGetsItsOwnLineAndIsNotListedBusy) {
    // Nobody may open the pseudo-terminal; root would anyway, so as root the open is
    // tried from a child that has become "nobody".
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
    chmod(dir.Path().c_str(), 0777);
    std::string logPath = dir.File("child.txt");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        VornLog childLog(logPath, 40);
        VornSerial other(&childLog);
        bool refused = other.VSOpen(pty.SlavePath(), 9600) == vorn::kPortNoPermission;
        OnePort list(pty.SlavePath());
        bool listedFree = list.Description() == pty.SlavePath() + " Communications Port";
        _exit(refused && listedFree ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "cannot drop privileges";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(ReadFile(logPath).find("no permission to open"), std::string::npos) << ReadFile(logPath);
}

TEST_F(SerialTest, OpeningTwiceClosesTheFirstHandleAndPausesFirst) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    uint32_t start = vorn::MsTimer();
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 57600), 1);
    EXPECT_GE(vorn::MsTimer() - start, 100u);
    EXPECT_EQ(pty.HostBaud(), 57600u);
    EXPECT_NE(LogText().find("VornSerial: VSOpen found port"), std::string::npos);
}

TEST_F(SerialTest, WaitBuffersAnAnswerThatReadThenDeliversWithoutTheLine) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    pty.Send("OK\r");
    EXPECT_EQ(port.VSWait(1000, '\r'), '\r');
    EXPECT_TRUE(port.DataReady());
    // Anything arriving later stays on the line: the read takes only the buffered answer.
    pty.Send("later");
    vorn::SleepMs(50);
    char buf[64];
    int32_t n = 0;
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), 3);
    EXPECT_EQ(std::string(buf, 3), "OK\r");
    EXPECT_FALSE(port.DataReady());
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), 5);
    EXPECT_EQ(std::string(buf, 5), "later");
}

TEST_F(SerialTest, ASmallReadTakesWhatFitsAndDropsTheRest) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    pty.Send("OK\r");
    ASSERT_EQ(port.VSWait(1000, '\r'), '\r');
    char buf[2];
    int32_t n = 0;
    EXPECT_EQ(port.VSRead(buf, 2, &n), 2);
    EXPECT_EQ(std::string(buf, 2), "OK");
    EXPECT_TRUE(port.ReadBuffer().empty());
}

TEST_F(SerialTest, AnAnswerSplitOverReadsIsFound) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    std::thread device([&] {
        pty.Send("\rRW 1");
        vorn::SleepMs(150);
        pty.Send(".02\r>");
    });
    EXPECT_EQ(port.VSWait(1000, '>'), '>');
    device.join();
    char buf[64];
    int32_t n = 0;
    EXPECT_GE(port.VSRead(buf, sizeof buf, &n), 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "\rRW 1.02\r>");
}

TEST_F(SerialTest, ShortWaitsTimeOutWithoutPumpingLongOnesPump) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    CountingPump pump;
    uint32_t start = vorn::MsTimer();
    EXPECT_EQ(port.VSWait(300, '>'), 0);
    uint32_t took = vorn::MsTimer() - start;
    EXPECT_GE(took, 300u);
    EXPECT_LT(took, 700u);
    EXPECT_EQ(pump.calls, 0);

    pty.Send("no prompt");
    start = vorn::MsTimer();
    EXPECT_EQ(port.VSWait(2000, '>'), 0);
    took = vorn::MsTimer() - start;
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 2800u);
    EXPECT_GT(pump.calls, 0);
    // What came without its terminator stays buffered for a read.
    EXPECT_EQ(port.ReadBuffer(), "no prompt");
    EXPECT_NE(LogText().find("VSWait read 9 bytes, but never found '>'"), std::string::npos);
}

TEST(MsDelay, OnlyWaitsOf170MsOrMorePumpEvents) {
    CountingPump pump;
    vorn::MsDelay(169);
    EXPECT_EQ(pump.calls, 0);
    uint32_t start = vorn::MsTimer();
    vorn::MsDelay(170);
    EXPECT_GE(vorn::MsTimer() - start, 170u);
    EXPECT_GT(pump.calls, 0);
}

TEST_F(SerialTest, FlushEmptiesTheBufferAndDiscardsWhatTheLineHolds) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    pty.Send("stale");
    vorn::SleepMs(50);
    EXPECT_EQ(port.VSFlush(1), 0);
    char buf[16];
    int32_t n = -1;
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), 0);
}

TEST_F(SerialTest, OperationsOnAClosedPortFailWithTheirOwnLines) {
    char buf[4];
    int32_t n = 0;
    EXPECT_EQ(port.VSWrite("x", 1, &n), vorn::kPortClosed);
    EXPECT_EQ(port.VSWait(100, '>'), vorn::kPortClosed);
    std::string text = LogText();
    EXPECT_NE(text.find("VornSerial: VSWrite tried to write to a closed port"), std::string::npos);
    EXPECT_NE(text.find("VornSerial: VSWait tried to operate on a closed port"), std::string::npos);
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), vorn::kOutOfMemory);  // no buffer before an open
}

// A pulled-out adapter hangs its port up for good: waiting, reading and writing fail at
// once and say why, instead of passing for a silent line until their time-outs.
TEST_F(SerialTest, AHungUpPortFailsEveryTransferAtOnceNamingTheHangUp) {
    auto adapter = std::make_unique<PtyPair>();
    ASSERT_EQ(port.VSOpen(adapter->SlavePath(), 9600), 1);
    adapter.reset();
    char buf[8];
    int32_t n = 0;
    const uint32_t start = vorn::MsTimer();
    EXPECT_EQ(port.VSWait(2000, '>'), vorn::kPortClosed);
    EXPECT_EQ(port.VSRead(buf, sizeof buf, &n), vorn::kPortClosed);
    EXPECT_EQ(port.VSWrite("x", 1, &n), vorn::kPortClosed);
    EXPECT_LT(vorn::MsTimer() - start, 1500u);  // not the 2 s wait: a pulled adapter is known at once
    const std::string text = LogText();
    for (const char* op : {"VSWait", "VSRead", "VSWrite"})
        EXPECT_NE(text.find(std::string(op) + " port hung up: its device was unplugged or went away"), std::string::npos)
            << op << "\n" << text;
    EXPECT_EQ(port.VSClose(), 1);
}

TEST_F(SerialTest, WritesReachTheLine) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    int32_t written = 0;
    EXPECT_EQ(port.VSWrite("get -ver\r", 9, &written), 9);
    EXPECT_EQ(written, 9);
    EXPECT_EQ(pty.Receive(500, "\r"), "get -ver\r");
}

TEST_F(SerialTest, AWriteToALineNobodyReadsEndsInItsTimeOutWithFewerBytes) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    struct Outcome {
        size_t filled = 0;
        int32_t lastFill = 0;
        int32_t rc = 0;
        int32_t written = 0;
        uint32_t took = 0;
    };
    // On a thread of its own, so a write that hangs fails the test instead of the run.
    auto writes = std::async(std::launch::async, [this] {
        Outcome o;
        // Nobody reads the master end: write until the line holds no more.
        const std::string chunk(64, 'x');
        o.lastFill = static_cast<int32_t>(chunk.size());
        while (o.lastFill == static_cast<int32_t>(chunk.size()) && o.filled < 4 * 1024 * 1024) {
            if (port.VSWrite(chunk.data(), chunk.size(), &o.lastFill) < 0) break;
            o.filled += static_cast<size_t>(o.lastFill);
        }
        // A full line: 20 bytes wait their time-out of 20 x 10 ms + 100 ms, then return short.
        const uint32_t start = vorn::MsTimer();
        o.rc = port.VSWrite("0123456789abcdefghij", 20, &o.written);
        o.took = vorn::MsTimer() - start;
        return o;
    });
    if (writes.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "VSWrite hangs on a line nobody reads";
        while (writes.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) pty.Receive(10);
    }
    const Outcome o = writes.get();
    ASSERT_LT(o.lastFill, 64) << "the line took " << o.filled << " bytes and never filled";
    EXPECT_EQ(o.rc, o.written);
    EXPECT_GE(o.rc, 0);
    EXPECT_LT(o.rc, 20);
    EXPECT_GE(o.took, 300u - 10u);
    EXPECT_LT(o.took, 300u + 300u);
}

TEST_F(SerialTest, HostBaudChangesOnlyWhenItMust) {
    EXPECT_EQ(port.VSHostBaud(9600), vorn::kNoPortName);
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    EXPECT_EQ(port.VSHostBaud(9600), 0);
    EXPECT_EQ(port.VSHostBaud(57600), 1);
    EXPECT_EQ(pty.HostBaud(), 57600u);
    EXPECT_EQ(port.Baud(), 57600u);
    // The rate survives a close, so the next open port compares against it.
    port.VSClose();
    EXPECT_EQ(port.VSHostBaud(57600), 0);
}

TEST(LocalUtcOffset, FollowsTheTimeZone) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(vorn::LocalUtcOffset(), 0);
    setenv("TZ", "EST5", 1);  // no daylight saving
    tzset();
    EXPECT_EQ(vorn::LocalUtcOffset(), -5 * 3600);
    setenv("TZ", "<+0530>-5:30", 1);
    tzset();
    EXPECT_EQ(vorn::LocalUtcOffset(), 5 * 3600 + 1800);
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

TEST(OrdinaryUser, PassesEveryPortTest) {
    if (!vorn::test::RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(vorn::test::PassedEveryTest(vorn::test::RunAgainAsOrdinaryUser("SerialTest.*")));
}

// An answer window opens when the frame has left the line, not when the write returned:
// 1000 bytes at 9600 baud are 1042 ms on the wire, so a 100 ms wait after them lasts
// past 1.1 s; the next wait, with nothing left on the line, lasts its own time only.
TEST_F(SerialTest, TheAnswerWindowOpensWhenTheFrameHasLeft) {
    ASSERT_EQ(port.VSOpen(pty.SlavePath(), 9600), 1);
    ASSERT_EQ(port.VSWrite(std::string(1000, 'x')), 1000);
    uint32_t start = vorn::MsTimer();
    EXPECT_EQ(port.VSWait(100, '\r'), 0);
    EXPECT_GE(vorn::MsTimer() - start, 1100u);
    EXPECT_NE(LogText().find("VSWait waits"), std::string::npos);
    start = vorn::MsTimer();
    EXPECT_EQ(port.VSWait(100, '\r'), 0);
    EXPECT_LT(vorn::MsTimer() - start, 1000u);
    EXPECT_EQ(port.VSClose(), 1);
}
