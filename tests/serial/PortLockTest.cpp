// The lock on a port that every serial program and every account honours (the UUCP lock
// file), and the port name that outlives a re-enumerated adapter.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/FilesPlatform.h"
#include "serial/SerialPlatform.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
namespace platform = vorn::platform;
using vorn::test::EnvScope;
using vorn::test::PortHeldElsewhere;
using vorn::test::PtyPair;
using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::UucpLockText;
using vorn::test::WriteFile;

namespace {

// "/dev/pts/5" -> "pts/5"
std::string UnderDev(const std::string& path) { return path.substr(5); }

// The lock file of a pseudo-terminal's device, as other programs name it.
std::string LockFileOf(const PtyPair& pty, const TempDir& locks) {
    return locks.File("LCK..pts_" + pty.SlavePath().substr(9));
}

// The pid of a process that has ended.
long DeadPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

struct Attempt {
    long answer = 0;  // LockPortForSystem's
    long holder = -1;
};

// LockPortForSystem from another process (as "nobody" when `asNobody`), which lets go at
// once of a lock it got.
Attempt LockFromAnotherProcess(const std::string& portName, const std::string& folder, bool asNobody = false) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        Attempt a;
        if (asNobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        a.answer = static_cast<long>(platform::LockPortForSystem(portName, &a.holder, folder));
        if (a.answer >= 0) platform::UnlockPortForSystem(a.answer);
        _exit(write(pipeEnds[1], &a, sizeof a) == static_cast<ssize_t>(sizeof a) ? 0 : 4);
    }
    close(pipeEnds[1]);
    Attempt a;
    a.answer = -9999;  // no answer came back
    if (read(pipeEnds[0], &a, sizeof a) != static_cast<ssize_t>(sizeof a)) a.answer = -9999;
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return a;
}

// What `count` processes answer that ask for the lock at the same moment; those that get
// it keep it until every one has answered.
std::vector<long> RaceForTheLock(const std::string& portName, const std::string& folder, int count) {
    int start[2], answers[2], hold[2];
    if (pipe(start) != 0 || pipe(answers) != 0 || pipe(hold) != 0) return {};
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            close(start[1]);
            close(hold[1]);
            char c;
            (void)!read(start[0], &c, 1);  // until the parent closes its end: all go at once
            const long answer = static_cast<long>(platform::LockPortForSystem(portName, nullptr, folder));
            (void)!write(answers[1], &answer, sizeof answer);
            if (answer >= 0) {
                (void)!read(hold[0], &c, 1);
                platform::UnlockPortForSystem(answer);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    close(start[0]);
    close(answers[1]);
    close(hold[0]);
    close(start[1]);
    std::vector<long> got;
    long answer = 0;
    while (got.size() < children.size() && read(answers[0], &answer, sizeof answer) == sizeof answer) got.push_back(answer);
    close(answers[0]);
    close(hold[1]);
    for (pid_t child : children) waitpid(child, nullptr, 0);
    return got;
}

// A simulator's port `name`, a link to `device`, registered in a runtime folder of `dir`
// for as long as this lives.
class SimulatorRegistration {
public:
    SimulatorRegistration(const TempDir& dir, const std::string& name, const std::string& device)
        : runtime_("XDG_RUNTIME_DIR", dir.Path().string()) {
        std::error_code ec;
        ok_ = platform::MakePrivateFolder(platform::SimulatorFolder(), nullptr);
        fs::create_symlink(device, platform::SimulatorFolder() + "/" + name, ec);
        ok_ = ok_ && !ec;
    }
    bool Ok() const { return ok_; }

private:
    EnvScope runtime_;
    bool ok_ = false;
};

size_t FilesIn(const TempDir& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++n;
    return n;
}

}  // namespace

TEST(SystemPortLock, IsAReadableHdbLockFileThatGoesWithTheLock) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir locks;
    long holder = -1;
    const intptr_t held = platform::LockPortForSystem(pty.SlavePath(), &holder, locks.Path().string());
    ASSERT_GE(held, 0);
    EXPECT_EQ(holder, 0);
    const std::string lock = LockFileOf(pty, locks);
    EXPECT_EQ(ReadFile(lock), UucpLockText(getpid()));
    struct stat st{};
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // other programs read the pid
    EXPECT_EQ(FilesIn(locks), 1u);        // no temporary file left beside it
    platform::UnlockPortForSystem(held);
    EXPECT_FALSE(fs::exists(lock));
    EXPECT_EQ(FilesIn(locks), 0u);
}

// A program that took our lock for stale has made its own: that one stays.
TEST(SystemPortLock, ReleasingLeavesALockThatIsNoLongerOurs) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir locks;
    const intptr_t held = platform::LockPortForSystem(pty.SlavePath(), nullptr, locks.Path().string());
    ASSERT_GE(held, 0);
    const std::string lock = LockFileOf(pty, locks);
    ASSERT_EQ(std::remove(lock.c_str()), 0);
    WriteFile(lock, UucpLockText(1));
    platform::UnlockPortForSystem(held);
    EXPECT_EQ(ReadFile(lock), UucpLockText(1));
}

// Whatever lock file is found: held while it names a live process other than this one,
// taken over once it names none that lives. A file naming no process at all may be one
// its program has not written yet, so it counts only when old.
TEST(SystemPortLock, ALockFileHoldsOnlyWhileItNamesALiveProcess) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir locks;
    const std::string lock = LockFileOf(pty, locks);
    PortHeldElsewhere sleeper("/dev/null");  // a live process, and not this one
    ASSERT_TRUE(sleeper.Ok());
    char withProgram[64];
    std::snprintf(withProgram, sizeof withProgram, "%10ld minicom nobody\n", sleeper.Pid());
    struct Case {
        const char* what;
        std::string text;
        int ageSeconds;
        bool held;
        long holder;
    };
    const Case cases[] = {
        {"a live process", UucpLockText(sleeper.Pid()), 0, true, sleeper.Pid()},
        {"a live process, with its program and user after it", withProgram, 0, true, sleeper.Pid()},
        {"the system's first process (another user's, to an ordinary user)", UucpLockText(1), 0, true, 1},
        {"a process that has ended", UucpLockText(DeadPid()), 0, false, 0},
        {"this process's pid, left by an earlier one", UucpLockText(getpid()), 0, false, 0},
        {"no pid, just written", "not a pid\n", 0, true, 0},
        {"no pid, long ago", "not a pid\n", 60, false, 0},
        {"nothing, long ago", "", 60, false, 0},
    };
    for (const Case& c : cases) {
        WriteFile(lock, c.text);
        const timespec when[2] = {{std::time(nullptr) - c.ageSeconds, 0}, {std::time(nullptr) - c.ageSeconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, lock.c_str(), when, 0), 0);
        long holder = -1;
        const intptr_t answer = platform::LockPortForSystem(pty.SlavePath(), &holder, locks.Path().string());
        if (c.held) {
            EXPECT_EQ(answer, -EBUSY) << c.what;
            EXPECT_EQ(holder, c.holder) << c.what;
            EXPECT_EQ(ReadFile(lock), c.text) << c.what;
        } else {
            ASSERT_GE(answer, 0) << c.what;
            EXPECT_EQ(ReadFile(lock), UucpLockText(getpid())) << c.what;
            platform::UnlockPortForSystem(answer);
            EXPECT_FALSE(fs::exists(lock)) << c.what;
        }
        EXPECT_EQ(FilesIn(locks), c.held ? 1u : 0u) << c.what;
        std::remove(lock.c_str());
    }
}

// Several programs that find one stale lock at once: one of them takes it over, and no
// other then removes the lock it made as stale too.
TEST(SystemPortLock, ProcessesTakingOverOneStaleLockAtOnceLeaveOneHolder) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir locks;
    const std::string lock = LockFileOf(pty, locks);
    const long dead = DeadPid();
    for (int round = 0; round < 100; ++round) {
        WriteFile(lock, UucpLockText(dead));
        const std::vector<long> answers = RaceForTheLock(pty.SlavePath(), locks.Path().string(), 6);
        ASSERT_EQ(answers.size(), 6u);
        int holders = 0;
        for (long answer : answers) {
            if (answer >= 0) {
                ++holders;
            } else {
                EXPECT_EQ(answer, -EBUSY) << "round " << round;
            }
        }
        EXPECT_EQ(holders, 1) << "round " << round;
        EXPECT_EQ(FilesIn(locks), 0u) << "round " << round;  // the holder's went with it
    }
}

// A pseudo-terminal, a link to it and a simulator's registration of it are one device:
// one lock, which this process, and every other, finds held.
TEST(SystemPortLock, EverySpellingOfAPortMeetsAtOneLock) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir dir, locks;
    const std::string folder = locks.Path().string();
    const std::string link = dir.File("usb-Vornell_Readwell-if00-port0");
    fs::create_symlink(pty.SlavePath(), link);
    SimulatorRegistration simulator(dir, "vornsim0", pty.SlavePath());
    ASSERT_TRUE(simulator.Ok());

    const intptr_t held = platform::LockPortForSystem(link, nullptr, folder);
    ASSERT_GE(held, 0);
    EXPECT_TRUE(fs::exists(LockFileOf(pty, locks)));
    for (const std::string& spelling : {pty.SlavePath(), UnderDev(pty.SlavePath()), link, std::string("vornsim0")}) {
        const Attempt other = LockFromAnotherProcess(spelling, folder);
        EXPECT_EQ(other.answer, -EBUSY) << spelling;
        EXPECT_EQ(other.holder, static_cast<long>(getpid())) << spelling;
        long holder = -1;
        EXPECT_EQ(platform::LockPortForSystem(spelling, &holder, folder), -EBUSY) << spelling;
        EXPECT_EQ(holder, static_cast<long>(getpid())) << spelling;
    }
    EXPECT_EQ(FilesIn(locks), 1u);
    platform::UnlockPortForSystem(held);
    EXPECT_GE(LockFromAnotherProcess("vornsim0", folder).answer, 0);
    EXPECT_EQ(FilesIn(locks), 0u);
}

// Where no lock can be made the caller goes on without one: never "busy".
TEST(SystemPortLock, WhereNoLockCanBeMadeTheAnswerIsAnErrorOtherThanBusy) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir dir;
    const std::string closed = dir.File("closed");
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec);
    struct Case {
        const char* what;
        std::string folder;
        long answer;
        bool ordinaryUserOnly;  // root writes anywhere
    };
    const Case cases[] = {
        {"no lock folder", dir.File("missing"), -ENOENT, false},
        {"a folder this user cannot write", closed, -EACCES, true},
    };
    for (const Case& c : cases) {
        if (c.ordinaryUserOnly && vorn::test::RunningAsRoot()) continue;
        EXPECT_EQ(platform::LockPortForSystem(pty.SlavePath(), nullptr, c.folder), c.answer) << c.what;
    }
    EXPECT_EQ(platform::LockPortForSystem("", nullptr, dir.Path().string()), -ENOENT);
    fs::permissions(closed, fs::perms::owner_all);
}

// Another account's lock as an ordinary user meets it in the shared, sticky lock folder:
// its live lock holds; its dead one is stale but not this user's to remove, so no lock
// can be had, which is not "busy" either.
TEST(SystemPortLockAcrossAccounts, AnotherAccountsLiveLockHoldsAndItsDeadOneIsLeftAlone) {
    if (!vorn::test::RunningAsRoot()) GTEST_SKIP() << "leaving a lock as another account needs root";
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TempDir locks;
    fs::permissions(locks.Path(), fs::perms::all | fs::perms::sticky_bit);
    const std::string folder = locks.Path().string();
    const std::string lock = LockFileOf(pty, locks);

    const intptr_t held = platform::LockPortForSystem(pty.SlavePath(), nullptr, folder);
    ASSERT_GE(held, 0);
    const Attempt live = LockFromAnotherProcess(pty.SlavePath(), folder, true);
    EXPECT_EQ(live.answer, -EBUSY);
    EXPECT_EQ(live.holder, static_cast<long>(getpid()));
    platform::UnlockPortForSystem(held);

    const std::string dead = UucpLockText(DeadPid());
    WriteFile(lock, dead);
    ASSERT_EQ(chmod(lock.c_str(), 0644), 0);
    const Attempt stale = LockFromAnotherProcess(pty.SlavePath(), folder, true);
    EXPECT_EQ(stale.answer, -EPERM);
    EXPECT_EQ(ReadFile(lock), dead);
    EXPECT_EQ(FilesIn(locks), 1u);  // nor a temporary file of the attempt
    // Its own account may.
    const intptr_t taken = platform::LockPortForSystem(pty.SlavePath(), nullptr, folder);
    EXPECT_GE(taken, 0);
    platform::UnlockPortForSystem(taken);
}

// What a settings file should name a port by, so that it finds the same adapter when the
// kernel gives it another node on its way back.
TEST(StablePortName, NamesTheAdapterWhereALinkDoesAndTheNodeOtherwise) {
    PtyPair adapter, other;
    ASSERT_TRUE(adapter.Ok() && other.Ok());
    TempDir dir;
    const std::string byId = dir.File("by-id");
    fs::create_directory(byId);
    const std::string adapterLink = byId + "/usb-Vornell_Readwell_RW-40001-if00-port0";
    fs::create_symlink(adapter.SlavePath(), adapterLink);
    fs::create_symlink("/dev/null", byId + "/a-link-to-something-else");
    const std::string userLink = dir.File("my-logger");
    fs::create_symlink(other.SlavePath(), userLink);
    SimulatorRegistration simulator(dir, "vornsim0", other.SlavePath());
    ASSERT_TRUE(simulator.Ok());

    struct Case {
        std::string port, stable;
    };
    const Case cases[] = {
        {adapter.SlavePath(), adapterLink},
        {UnderDev(adapter.SlavePath()), adapterLink},
        {adapterLink, adapterLink},
        {other.SlavePath(), UnderDev(other.SlavePath())},
        {UnderDev(other.SlavePath()), UnderDev(other.SlavePath())},
        {userLink, userLink},
        {"vornsim0", "vornsim0"},
        {"ttyVornGone7", "ttyVornGone7"},
        {"/dev/ttyVornGone7", "ttyVornGone7"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::StablePortName(c.port, byId), c.stable) << c.port;

    // The adapter comes back under the other node: its link follows it there.
    fs::remove(adapterLink);
    fs::create_symlink(other.SlavePath(), adapterLink);
    EXPECT_EQ(platform::StablePortName(other.SlavePath(), byId), adapterLink);
    EXPECT_EQ(platform::StablePortName(adapter.SlavePath(), byId), UnderDev(adapter.SlavePath()));
    // The user's own link to that node is still the name the user chose.
    EXPECT_EQ(platform::StablePortName(userLink, byId), userLink);
}

// An update holds its port's lock while the instrument restarts and the node is gone; the
// kernel gives that node's number to the next pseudo-terminal. A stand-in instrument must
// not come up under a name every serial program takes for busy, unless the name is its
// own from before it was unplugged (the update is waiting for it there).
TEST(StandInTerminal, PassesOverANodeALiveLockStillClaimsUnlessItWasItsOwn) {
    if (!platform::FolderIsWritable(platform::kSystemLockFolder))
        GTEST_SKIP() << "cannot write " << platform::kSystemLockFolder;
    PortHeldElsewhere updater("/dev/null");  // the live process that holds the lock
    ASSERT_TRUE(updater.Ok());
    for (const bool itsOwn : {false, true}) {
        std::string freed;
        { freed = PtyPair().SlavePath(); }  // the node whose pair is gone again
        ASSERT_EQ(freed.rfind("/dev/pts/", 0), 0u);
        const std::string lock = std::string(platform::kSystemLockFolder) + "/LCK..pts_" + freed.substr(9);
        if (fs::exists(lock)) GTEST_SKIP() << lock << " is someone else's";
        WriteFile(lock, UucpLockText(updater.Pid()));

        std::vector<int> passedOver;
        std::string name;
        const int master = platform::OpenUnclaimedPseudoTerminal(0, &name, &passedOver, itsOwn ? freed : "");
        // Another test's terminal may have taken the node meanwhile.
        const bool takenMeanwhile = name != freed && passedOver.empty() && fs::exists(freed);
        EXPECT_GE(master, 0) << itsOwn;
        if (!takenMeanwhile) {
            EXPECT_EQ(name == freed, itsOwn);
            EXPECT_EQ(passedOver.size(), itsOwn ? 0u : 1u);
        }
        for (int fd : passedOver) EXPECT_STREQ(ptsname(fd), freed.c_str());
        if (!itsOwn) {
            EXPECT_EQ(platform::CheckPort(name), 0) << name;  // free to every program
        }
        std::remove(lock.c_str());
        for (int fd : passedOver) close(fd);
        if (master >= 0) close(master);
    }
}

TEST(OrdinaryUser, PassesEveryPortLockTest) {
    if (!vorn::test::RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(vorn::test::PassedEveryTest(vorn::test::RunAgainAsOrdinaryUser("SystemPortLock.*:StablePortName.*:StandInTerminal.*")));
}
