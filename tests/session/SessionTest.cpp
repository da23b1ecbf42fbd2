// The instrument session against scripted devices: the exact lines it sends and how it
// judges the answers.
#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

#include "support/ScriptedPeer.h"
#include "session/FamilyTable.h"
#include "session/InstInfo.h"
#include "session/SessionConstants.h"
#include "session/Vorn_protocol.h"
#include "common/Status.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

using vorn::test::Reply;
using vorn::test::ScriptedPeer;
using vorn::test::TempDir;
namespace ib = vorn::instinfo;

namespace {

// A session talking to a scripted device that answers "get -ver" with `identity`; every
// other command goes to `answer` (ERROR when it has nothing to say).
class SessionRig {
public:
    explicit SessionRig(std::string identity)
        : identity_(std::move(identity)),
          log(dir.File("log.txt"), VornLog::kDetails),
          peer([this](const std::string& c) { return Respond(c); }),
          session(&log) {}

    void Answer(std::function<std::string(const std::string&)> fn) {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = std::move(fn);
    }
    int32_t Connect() { return session.VPConnect(peer.SlavePath(), 2, 3, &profile); }
    // The commands heard after the identification.
    std::vector<std::string> Sent() {
        std::vector<std::string> out;
        for (const std::string& c : peer.Commands())
            if (c != "get -ver") out.push_back(c);
        return out;
    }
    bool Logged(const std::string& text) { return vorn::test::ReadFile(dir.File("log.txt")).find(text) != std::string::npos; }

private:
    std::string Respond(const std::string& command) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (command == "get -ver") return identity_;
        return answer_ ? answer_(command) : Reply("ERROR");
    }
    std::mutex mutex_;
    std::string identity_;
    std::function<std::string(const std::string&)> answer_;

public:
    TempDir dir;
    VornLog log;
    ScriptedPeer peer;
    Vorn_protocol session;
    DeviceProfile profile;
};

// Answers `ok` to every "set" line and remembers nothing else.
std::string SetOk(const std::string& command) { return command.rfind("set ", 0) == 0 ? Reply("OK") : Reply("ERROR"); }

// ---------------------------------------------------------------- VPConnect

TEST(SessionConnect, EmptyPortNameOrNoProfileOpensNothing) {
    SessionRig rig(Reply("GLX 1.00"));
    DeviceProfile profile;
    EXPECT_EQ(rig.session.VPConnect("", 2, 3, &profile), -10);
    EXPECT_EQ(rig.session.VPConnect(rig.peer.SlavePath(), 2, 3, nullptr), -10);
    EXPECT_FALSE(rig.session.Connection().IsOpen());
    EXPECT_FALSE(rig.peer.HearsMoreThan(0, 50));
}

TEST(SessionConnect, FailuresOfTheConnectionItself) {
    SessionRig silent("");
    EXPECT_EQ(silent.Connect(), -20);
    EXPECT_TRUE(silent.Logged("VPConnect couldn't connect."));

    DeviceProfile profile;
    const int32_t missing = silent.session.VPConnect(silent.dir.File("no-such-port"), 2, 3, &profile);
    EXPECT_LT(missing, 0);
    EXPECT_NE(missing, -20);
    EXPECT_TRUE(silent.Logged("VPConnect received error " + std::to_string(missing) + " trying to connect to device"));
    EXPECT_EQ(silent.session.VPConnect(silent.peer.SlavePath(), 2, 13, &profile), -11);  // tries out of range
    EXPECT_TRUE(silent.Logged("VPConnect received error -11 trying to configure MOSSY_Prototcol"));
}

TEST(SessionConnect, KnownFamilyAndSupportedVersionFillsSessionAndProfile) {
    SessionRig rig(Reply("GLX 1.00"));
    EXPECT_EQ(rig.Connect(), 1);
    EXPECT_EQ(rig.profile.family, GLX);
    EXPECT_EQ(rig.profile.version, 100u);
    EXPECT_EQ(rig.session.Family(), GLX);
    EXPECT_EQ(rig.session.Profile().displayName, "GLX");
    EXPECT_EQ(rig.session.Info().versionText, "GLX 1.00");
    EXPECT_EQ(rig.session.Info().version, 100);
    EXPECT_TRUE(rig.session.Info().newFirmware);
    EXPECT_TRUE(rig.Logged("VPConnect successfully connected to device"));
}

TEST(SessionConnect, UnsupportedVersionGivesMinus120WithTheProfileFilled) {
    SessionRig rig(Reply("KT72 1.02"));
    EXPECT_EQ(rig.Connect(), -120);
    EXPECT_EQ(rig.profile.family, KT72);
    EXPECT_EQ(rig.profile.version, 102u);
    EXPECT_FALSE(rig.profile.versionSupported);
    EXPECT_EQ(rig.profile.displayName, "Kt72");
    EXPECT_TRUE(rig.Logged("VPConnect this firmware version is not supported"));

    SessionRig unknown(Reply("ZZTOP 1.00"));
    EXPECT_EQ(unknown.Connect(), -120);
    EXPECT_EQ(unknown.profile.family, UNKNOWN);
    EXPECT_TRUE(unknown.Logged("VPConnect this device must not be supported"));
}

TEST(SessionConnect, BootloaderAnsweringTheIdentification) {
    SessionRig rig("+VornBSL");
    EXPECT_EQ(rig.Connect(), -80);
    EXPECT_TRUE(rig.Logged("VPConnect found the VornBSL listening (-80)"));
    EXPECT_FALSE(rig.session.Connection().IsOpen());
}

// ---------------------------------------------------------------- VPLogin

// Bytes as they arrived, with their arrival time.
struct Arrival {
    char byte;
    std::chrono::steady_clock::time_point at;
};

// A device that answers each CR with the next of `answers` (round and round) and records
// every byte's arrival.
class TimedPeer {
public:
    explicit TimedPeer(std::vector<std::string> answers) : answers_(std::move(answers)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~TimedPeer() {
        running_ = false;
        thread_.join();
    }
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    std::vector<Arrival> Arrivals() {
        std::lock_guard<std::mutex> lock(mutex_);
        return arrivals_;
    }

private:
    void Run() {
        while (running_) {
            pollfd p{pty_.Master(), POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            char buf[64];
            ssize_t n = read(pty_.Master(), buf, sizeof buf);
            auto now = std::chrono::steady_clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    arrivals_.push_back({buf[i], now});
                }
                if (buf[i] == '\r') pty_.Send(answers_[next_++ % answers_.size()]);
            }
        }
    }
    vorn::test::PtyPair pty_;
    std::vector<std::string> answers_;
    size_t next_ = 0;
    std::mutex mutex_;
    std::vector<Arrival> arrivals_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// A session on its own port to a TimedPeer.
struct LoginRig {
    explicit LoginRig(std::vector<std::string> answers) : peer(std::move(answers)) {
        opened = session.Connection().VSOpen(peer.SlavePath(), 9600);
    }
    std::string Bytes() {
        std::string bytes;
        for (const Arrival& a : peer.Arrivals()) bytes += a.byte;
        return bytes;
    }
    bool Logged(const std::string& text) { return vorn::test::ReadFile(dir.File("log.txt")).find(text) != std::string::npos; }
    TimedPeer peer;
    TempDir dir;
    VornLog log{dir.File("log.txt"), VornLog::kDetails};
    Vorn_protocol session{&log};
    int32_t opened = 0;
};

long GapMs(const Arrival& from, const Arrival& to) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(to.at - from.at).count());
}

TEST(SessionLogin, TypesElevenCharactersFiftyMillisecondsApartThenTheLineEnd) {
    LoginRig rig({Reply("OK")});
    ASSERT_EQ(rig.opened, 1);
    const Arrival start{0, std::chrono::steady_clock::now()};
    EXPECT_EQ(rig.session.VPLogin(), 1);
    ASSERT_EQ(rig.Bytes(), "login *8405\n\r");
    std::vector<Arrival> got = rig.peer.Arrivals();
    // The lower bounds are measured from the start of the login: no character arrives
    // before it is sent, however late the peer reads it (a late read makes one gap longer
    // and the next shorter, so gaps between arrivals only bound from above).
    for (size_t i = 1; i < 11; ++i) {
        EXPECT_GE(GapMs(start, got[i]), static_cast<long>(50 * i)) << "character " << i;
        EXPECT_LT(GapMs(got[i - 1], got[i]), 50 + 150) << "before character " << i;
    }
    // The last character's pause and two of 100 ms, then the line end as one command.
    EXPECT_GE(GapMs(start, got[11]), 50 * 10 + 250);
    EXPECT_LT(GapMs(got[10], got[11]), 250 + 400);
    EXPECT_LT(GapMs(got[11], got[12]), 100);  // one write, not two paced ones
    EXPECT_TRUE(rig.Logged("VPConnect successfully loged into the device"));
}

TEST(SessionLogin, UnconfirmedAnswersStillLogInWithAWarningAndARefusalRefuses) {
    struct Case {
        std::vector<std::string> answers;
        int32_t result;  // 0: the last exchange's own positive status
        int attempts;    // logins typed
        bool warned;
        bool refused;
    } cases[] = {
        {{Reply("OK")}, 1, 1, false, false},
        {{Reply("8405 accepted")}, 1, 1, false, false},
        // Other words, three times: logged in all the same, and the log says so.
        {{Reply("Password")}, 0, 3, true, false},
        // The last exchange failed: refused.
        {{Reply("ERROR")}, -25, 3, false, true},
        // "ERROR", and the bare prompt to the line end asked again: a refusal, not a login.
        {{Reply("ERROR"), "\r>"}, -25, 3, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.front());
        LoginRig rig(c.answers);
        ASSERT_EQ(rig.opened, 1);
        const int32_t rc = rig.session.VPLogin();
        if (c.result == 0) {
            EXPECT_GT(rc, 1);  // the exchange's byte count, not the confirmed 1
            EXPECT_EQ(rc, static_cast<int32_t>(rig.session.Connection().LastAnswer().size()));
        } else {
            EXPECT_EQ(rc, c.result);
        }
        const std::string bytes = rig.Bytes();
        int typed = 0;
        for (size_t at = bytes.find("login *8405"); at != std::string::npos; at = bytes.find("login *8405", at + 1))
            ++typed;
        EXPECT_EQ(typed, c.attempts) << bytes;
        EXPECT_EQ(rig.Logged("VPLogin: the device answered without \"OK\" or \"8405\"; going on as logged in"),
                  c.warned);
        EXPECT_EQ(rig.Logged("VPConnect couldn't log into the device"), c.refused);
        EXPECT_EQ(rig.Logged("VPConnect successfully loged into the device"), !c.refused);
    }
}

// ---------------------------------------------------------------- battery, firmware, erase, logout

TEST(SessionChecks, BatteryPercentageOrNotUnderstood) {
    SessionRig rig(Reply("GLX 1.00"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) { return c == "get -batt" ? Reply("87") : Reply("ERROR"); });
    int32_t percent = 0;
    EXPECT_EQ(rig.session.VPCheckBattery(&percent), 1);
    EXPECT_EQ(percent, 87);
    EXPECT_TRUE(rig.Logged("VPCheckBattery: 87% battery"));

    rig.Answer([](const std::string&) { return Reply("LOW 5"); });
    EXPECT_EQ(rig.session.VPCheckBattery(&percent), -30);
    EXPECT_TRUE(rig.Logged("VPCheckBattery failed to parse battery power"));
    EXPECT_EQ(rig.session.VPCheckBattery(nullptr), -10);
}

TEST(SessionErase, GlxHasNothingToEraseAndSendsNothing) {
    SessionRig rig(Reply("GLX 1.00"));
    ASSERT_EQ(rig.Connect(), 1);
    const size_t heard = rig.peer.Heard().size();
    EXPECT_EQ(rig.session.VPEraseData(), -13);
    EXPECT_FALSE(rig.peer.HearsMoreThan(heard, 50));
    EXPECT_TRUE(rig.Sent().empty());
}

// The lab families' erase, family by family: answering the instrument's question with
// "yes", or nothing to erase (-13, nothing sent).
TEST(SessionErase, EachLabFamilyErasesWithYesOrNotAtAll) {
    struct Case {
        const char* identity;
        bool yes;
    } cases[] = {
        {"TL 1.02", true},      {"CF22 2.00", true},     {"VM 1.02", true},    {"SWXR 1.02", true},
        {"RW 1.02", true},      {"HN9 2.05", true},      {"KSR 1.02", true},   {"HN9OPX 1.02", true},
        {"BLI 1.02", true},     {"HMINI 1.18", false},   {"H7S 3.51", false},  {"PTX9 1.02", false},
        {"HBA 1.02", false},    {"FIELDPT 1.02", false},
    };
    for (const Case& c : cases) {
        SessionRig rig(Reply(c.identity));
        ASSERT_EQ(rig.Connect(), 1) << c.identity;
        rig.Answer([](const std::string&) { return Reply("OK"); });
        EXPECT_EQ(rig.session.VPEraseData(), c.yes ? 1 : -13) << c.identity;
        EXPECT_EQ(rig.Sent(), c.yes ? std::vector<std::string>{"yes"} : std::vector<std::string>{}) << c.identity;
    }
}

TEST(SessionLogout, LogoutLineOnlyForFamiliesThatLogIn) {
    SessionRig rig(Reply("HBA 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string&) { return Reply("OK"); });
    EXPECT_EQ(rig.session.VPLogout(true), 1);
    EXPECT_EQ(rig.Sent(), std::vector<std::string>{"logout"});
    EXPECT_FALSE(rig.session.Connection().IsOpen());
    EXPECT_EQ(rig.session.VPLogout(true), 0);  // nothing connected any more

    SessionRig rw(Reply("RW 1.02"));
    ASSERT_EQ(rw.Connect(), 1);
    EXPECT_EQ(rw.session.VPLogout(true), 1);
    EXPECT_TRUE(rw.Sent().empty());
}

// ---------------------------------------------------------------- VPSetTime

class FixedZone : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        saved_ = tz ? std::optional<std::string>(tz) : std::nullopt;
        setenv("TZ", "EST5", 1);  // UTC-5 all year: noon local is 17:00 UTC
        tzset();
    }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> saved_;
};

TEST_F(FixedZone, SecondsFamiliesSendLocalSecondsSince2000) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string&) { return Reply("OK"); });
    // 2026-01-01 12:00:00 local = 17:00:00 UTC.
    rig.session.SetSystemClock([](std::time_t* t, int*) {
        *t = 1767286800;
        return true;
    });
    EXPECT_GT(rig.session.VPSetTime(), 0);
    EXPECT_EQ(rig.Sent(), std::vector<std::string>{"set -sec 820584000"});
    EXPECT_TRUE(rig.Logged("VPSetTime set the time to: 820584000"));
}

TEST_F(FixedZone, ClockFailureAndRefusals) {
    SessionRig rig(Reply("BLI 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.session.SetSystemClock([](std::time_t*, int* error) {
        *error = 75;
        return false;
    });
    EXPECT_EQ(rig.session.VPSetTime(), -30);
    EXPECT_TRUE(rig.Logged("VPSetTime failed to get system time with error 75"));
    EXPECT_TRUE(rig.Sent().empty());

    rig.session.SetSystemClock({});
    rig.Answer([](const std::string&) { return Reply("Busy"); });
    EXPECT_EQ(rig.session.VPSetTime(), -30);  // sent, but not accepted
    ASSERT_EQ(rig.Sent().size(), 1u);
    EXPECT_EQ(rig.Sent()[0].rfind("set -sec ", 0), 0u);

    SessionRig glx(Reply("GLX 1.00"));  // keeps no clock
    ASSERT_EQ(glx.Connect(), 1);
    EXPECT_EQ(glx.session.VPSetTime(), -13);
    EXPECT_TRUE(glx.Sent().empty());
}

// ---------------------------------------------------------------- values

TEST(SessionValues, ValueStringIsCutAtItsMaximum) {
    SessionRig rig(Reply("GLX 1.00"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string&) { return Reply("ABCDEFGHIJKLMNOPQRST"); });
    std::string value = "old";
    EXPECT_EQ(rig.session.GetValueString("get -x", 2000, &value, 15), 1);
    EXPECT_EQ(value, "ABCDEFGHIJKLMNO");
    EXPECT_TRUE(rig.Logged("GetValueString found get -x \"ABCDEFGHIJKLMNO\""));

    rig.Answer([](const std::string&) { return Reply("-42"); });
    int32_t number = 0;
    EXPECT_EQ(rig.session.GetValueLong("get -tau", 2000, &number), 1);
    EXPECT_EQ(number, -42);
}

TEST(SessionValues, ErrorsPromptsAndEmptyValuesAreTriedThreeTimes) {
    SessionRig rig(Reply("GLX 1.00"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string&) { return Reply("Error 4"); });
    std::string value = "old";
    EXPECT_EQ(rig.session.GetValueString("get -x", 2000, &value, 15), -30);
    EXPECT_EQ(value, "");  // nothing half-read is kept
    EXPECT_EQ(rig.peer.Count("get -x"), 3);

    rig.Answer([](const std::string&) { return std::string("\r>"); });
    EXPECT_EQ(rig.session.GetValueString("get -y", 2000, &value, 15), -30);
    EXPECT_EQ(rig.peer.Count("get -y"), 3);
    EXPECT_TRUE(rig.Logged("GetValueString found a leading prompt character executing command \"get -y\""));

    int attempt = 0;
    rig.Answer([&attempt](const std::string&) { return ++attempt < 3 ? std::string("\r\n\r>") : Reply("42"); });
    EXPECT_EQ(rig.session.GetValueString("get -z", 2000, &value, 15), 1);
    EXPECT_EQ(value, "42");
}

// ---------------------------------------------------------------- instrument values

TEST(SessionInstInfo, GetRunGoesOnPastFailuresAndEndsPartlyDone) {
    SessionRig rig(Reply("PTX9 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) {
        if (c == "get -sn") return Reply("PTX-0977");
        if (c == "get -config") return Reply("9");
        return Reply("ERROR");
    });
    EXPECT_EQ(rig.session.GetInstInfo(ib::kLanguage | ib::kSerialNumber | ib::kConfig), -35);
    EXPECT_EQ(rig.session.Instrument().valid, ib::kSerialNumber | ib::kConfig);
    EXPECT_EQ(rig.session.Instrument().serialNumber, "PTX-0977");
    EXPECT_EQ(rig.session.Instrument().config, "9");
    EXPECT_EQ(rig.session.Instrument().family, PTX9);
    EXPECT_TRUE(rig.Logged("GetInstInfo could not collect all settings"));
    EXPECT_EQ(rig.session.GetInstInfo(0), 0);
}

TEST(SessionInstInfo, AnEchoStopsTheRun) {
    SessionRig rig(Reply("PTX9 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) { return "\r" + c + "\r>"; });
    EXPECT_EQ(rig.session.GetInstInfo(ib::kSerialNumber | ib::kConfig), -32);
    EXPECT_EQ(rig.peer.Count("get -config"), 0);
}

TEST(SessionInstInfo, OptionalSampleAndThePairs) {
    SessionRig rig(Reply("KSR 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) {
        if (c == "get -p") return Reply("101.3 0.2");
        if (c == "get -pv") return Reply("99.8 0.1");
        if (c == "get -hadj") return Reply("0.5");
        return Reply("ERROR");
    });
    EXPECT_EQ(rig.session.GetInstInfo(ib::kSample | ib::kPressure | ib::kHadjTau), 1);
    const InstrumentInfo& i = rig.session.Instrument();
    EXPECT_EQ(i.fvals, "101.3 0.2");
    EXPECT_EQ(i.uvals, "99.8 0.1");
    // sample failed but counts as done; hadj is kept though its tau could not be read
    EXPECT_EQ(i.valid, ib::kPressure | ib::kHadjTau | ib::kTauUnread);
    EXPECT_EQ(i.hadj, "0.5");
}

TEST(SessionInstInfo, HeronMiniKeepsItsHadjWhenTauCannotBeReadAndRestoresItAlone) {
    struct Case {
        const char* tauAnswer;       // "" for a refused "get -tau"
        uint32_t hadjBits;           // what the save keeps of the pair
        std::vector<std::string> restored;
    } cases[] = {
        {"45", ib::kHadjTau, {"set -tau 45", "set -hadj 0.5 -0.2"}},
        {"", ib::kHadjTau | ib::kTauUnread, {"set -hadj 0.5 -0.2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tauAnswer);
        SessionRig rig(Reply("HMINI 1.18"));
        ASSERT_EQ(rig.Connect(), 1);
        const std::string tau = c.tauAnswer;
        rig.Answer([tau](const std::string& cmd) {
            if (cmd == "get -hadj") return Reply("0.5 -0.2");
            if (cmd == "get -tau" && !tau.empty()) return Reply(tau);
            return cmd.rfind("set ", 0) == 0 ? Reply("OK") : Reply("ERROR");
        });
        // Only the pair is asked for, so the run's other values do not muddle the result.
        EXPECT_EQ(rig.session.GetInstInfo(ib::kHadjTau), 1);
        InstrumentInfo& i = rig.session.Instrument();
        EXPECT_EQ(i.valid & (ib::kHadjTau | ib::kTauUnread), c.hadjBits);
        EXPECT_EQ(i.hadj, "0.5 -0.2");

        const size_t before = rig.Sent().size();
        EXPECT_EQ(rig.session.SetInstInfo(i.valid), 1);
        const std::vector<std::string> sent = rig.Sent();
        EXPECT_EQ(std::vector<std::string>(sent.begin() + static_cast<long>(before), sent.end()), c.restored);
    }
}

TEST(SessionInstInfo, SetRunWritesTestOnceThenLocation) {
    SessionRig rig(Reply("BLI 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer(SetOk);
    rig.session.Instrument().sample = "15 3 1";
    rig.session.Instrument().location = "Lab 2";
    EXPECT_EQ(rig.session.SetInstInfo(ib::kTest | ib::kLocation), 1);
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"set -test 15 3 1", "set -loc Lab 2"}));
    EXPECT_TRUE(rig.Logged("SetInstInfo set test to \"15 3 1\""));
    EXPECT_TRUE(rig.Logged("SetInstInfo set location to \"Lab 2\""));
}

TEST(SessionInstInfo, SetRunFollowsItsOwnOrderAndFamilyKeys) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer(SetOk);
    InstrumentInfo& i = rig.session.Instrument();
    i.serialNumber = "H9-1";
    i.language = 2;
    i.config = "52730";
    i.uvals = "12 40 7";
    i.tau = 30;
    i.hadj = "0.5";
    i.cal[0] = "c0";
    i.cal[1] = "c1";
    EXPECT_EQ(rig.session.SetInstInfo(ib::kHadjTau | ib::kUvals | ib::kConfig | ib::kLanguage | ib::kSerialNumber |
                                      ib::kCalibration | ib::kFamilyKnown),
              1);
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"set -sn H9-1", "set -lang 2", "set -config 52730",
                                                    "set -pvuser 12 40 7", "set -cal 0 c0", "set -cal 1 c1",
                                                    "set -tau 30", "set -hadj 0.5"}));
}

// An instrument that keeps its old value answers without "OK": the set did not take.
TEST(SessionInstInfo, ASetAnsweredWithoutOKIsNotDone) {
    struct Case {
        uint32_t bit;
        const char* refusedLine;
    };
    for (const Case& c : {Case{ib::kLocation, "set -loc Plot 4"}, Case{ib::kCalibration, "set -cal 1 c1"}}) {
        SessionRig rig(Reply("RW 1.02"));
        ASSERT_EQ(rig.Connect(), 1);
        const std::string refused = c.refusedLine;
        rig.Answer([refused](const std::string& line) { return line == refused ? Reply("Bad value") : Reply("OK"); });
        InstrumentInfo& i = rig.session.Instrument();
        i.location = "Plot 4";
        i.cal[0] = "c0";
        i.cal[1] = "c1";
        EXPECT_LT(rig.session.SetInstInfo(c.bit | ib::kFamilyKnown), 0) << refused;
        EXPECT_TRUE(rig.Logged("SetInstInfo found no OK after set -")) << refused;
        EXPECT_FALSE(rig.Logged("SetInstInfo set location")) << refused;
    }
}

TEST(SessionInstInfo, RefusedSerialNumberAndFailuresAfterIt) {
    SessionRig rig(Reply("PTX9 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) { return c.rfind("set -sn", 0) == 0 ? Reply("ERROR") : Reply("OK"); });
    rig.session.Instrument().serialNumber = "X";
    EXPECT_EQ(rig.session.SetInstInfo(ib::kSerialNumber), -12);
    rig.session.Instrument().config = "9";
    EXPECT_EQ(rig.session.SetInstInfo(ib::kSerialNumber | ib::kConfig), -35);
    EXPECT_EQ(rig.peer.Count("set -config 9"), 1);
}

// ---------------------------------------------------------------- records

TEST(SessionRecords, WithoutACountAnswerNumberedRecordsAreStillRead) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    const std::vector<std::string> texts = {"Sand 5 9", "Clay 1 2", "Loam 3 4", "Silt 7 8"};
    rig.Answer([texts](const std::string& c) {
        for (size_t i = 0; i < texts.size(); ++i)
            if (c == "get -user " + std::to_string(i)) return Reply(texts[i]);
        return Reply("ERROR");
    });
    RecordSet set;
    EXPECT_EQ(rig.session.GetRecords_Serial(&set, 1), 1);
    ASSERT_EQ(set.Count(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(set.records[i].text, texts[i]);
    EXPECT_EQ(rig.peer.Count("get -user 5"), 0);  // the first failure ends the reading
    EXPECT_TRUE(rig.Logged("GetRecords_Serial instrument reports 100 \"user\" records"));
    EXPECT_TRUE(rig.Logged("GetRecords_Serial retrieved 4 of 100 \"user\" records"));
}

TEST(SessionRecords, CountAnswerAndNoRecords) {
    SessionRig rig(Reply("KSR 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer([](const std::string& c) {
        if (c == "get -eqn") return Reply("2");
        if (c == "get -eqn 0") return Reply("MQkwCTIJYgl4");
        if (c == "get -eqn 1") return Reply("MQkwCTIJQQl4");
        if (c == "get -user") return Reply("0");
        return Reply("ERROR");
    });
    RecordSet eqn;
    EXPECT_EQ(rig.session.GetRecords_Serial(&eqn, 2), 1);
    EXPECT_EQ(eqn.Count(), 2u);
    EXPECT_EQ(rig.peer.Count("get -eqn 2"), 0);
    RecordSet user;
    EXPECT_EQ(rig.session.GetRecords_Serial(&user, 1), 0);
    EXPECT_EQ(rig.session.GetRecords_Serial(&user, 3), -11);
}

// Line noise is no answer: a count or a value with bytes no instrument sends is asked
// again, and records the device said it has but that did not come are a partial read,
// never a complete one the update could wipe the rest after.
TEST(SessionRecords, DamagedAnswersAreAskedAgainAndMissingRecordsArePartlyDone) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    std::atomic<int> countAsked{0}, recordAsked{0};
    rig.Answer([&](const std::string& c) {
        if (c == "get -user") return ++countAsked == 1 ? Reply("\xC3\xA9\x9B") : Reply("3");
        if (c == "get -user 0") return ++recordAsked == 1 ? Reply("\xD9\xE7Sand 5 9") : Reply("Sand 5 9");
        if (c == "get -user 1") return Reply("Clay 1 2");
        return Reply("ERROR");  // the third record does not come
    });
    RecordSet set;
    EXPECT_EQ(rig.session.GetRecords_Serial(&set, 1), vorn::kPartlyDone);
    EXPECT_EQ(countAsked, 2);
    ASSERT_EQ(set.Count(), 2u);
    EXPECT_EQ(set.records[0].text, "Sand 5 9");
    EXPECT_TRUE(rig.Logged("GetValueString found damaged text executing command \"get -user 0\""));
    EXPECT_TRUE(rig.Logged("GetRecords_Serial retrieved 2 of 3 \"user\" records"));

    // A record the device holds empty is no record missed: the ones after it are read.
    SessionRig held(Reply("HN9 2.05"));
    ASSERT_EQ(held.Connect(), 1);
    held.Answer([](const std::string& c) {
        if (c == "get -user") return Reply("3");
        if (c == "get -user 0") return Reply("Sand 5 9");
        if (c == "get -user 1") return Reply("");
        return Reply("Clay 1 2");
    });
    RecordSet withGap;
    EXPECT_EQ(held.session.GetRecords_Serial(&withGap, 1), 1);
    ASSERT_EQ(withGap.Count(), 2u);
    EXPECT_EQ(withGap.records[1].text, "Clay 1 2");
}

TEST(SessionRecords, SetWritesInAlphabeticalOrderPassingOverEmptyTextsAndCountsRefusals) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer(SetOk);
    RecordSet set;
    set.records = {{"", "Soil_Type`A 12 34"}, {"", "Clay 1 2"}, {"", "Sand 5 9"}};
    EXPECT_EQ(rig.session.SetRecords_Serial(&set, 1), 1);
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"set -user 0 Clay 1 2", "set -user 1 Sand 5 9",
                                                    "set -user 2 Soil_Type`A 12 34"}));

    // A record with an empty text sorts first and holds nothing: the others are all
    // written, one slot after another. One the device answers without "OK" did not go
    // back: its slot stays empty and the run is partly done.
    SessionRig other(Reply("HN9 2.05"));
    ASSERT_EQ(other.Connect(), 1);
    other.Answer([](const std::string& c) { return Reply(c.find("Clay") != std::string::npos ? "Bad value" : "OK"); });
    RecordSet gap;
    gap.records = {{"", "Sand 5 9"}, {"", ""}, {"", "Clay 1 2"}, {"", "Tuff 3 4"}};
    EXPECT_EQ(other.session.SetRecords_Serial(&gap, 1), vorn::kPartlyDone);
    EXPECT_EQ(other.Sent(), (std::vector<std::string>{"set -user 0 Clay 1 2", "set -user 1 Sand 5 9",
                                                      "set -user 2 Tuff 3 4"}));
    EXPECT_TRUE(other.Logged("SetRecords_Serial could not write 1 \"user\" records"));

    RecordSet empty;
    EXPECT_EQ(other.session.SetRecords_Serial(&empty, 2), 0);
}

// ---------------------------------------------------------------- settings file and restore

// The request masks of a settings save, family by family: the lab families' instrument
// value masks (with the versions that change them, each read from the right version),
// and none for the loggers and the families without a save.
TEST(SessionSave, EveryFamilyAsksForItsOwnMask) {
    struct Case {
        int family;
        uint32_t profileVersion;
        int32_t infoVersion;
        uint32_t mask;
    } cases[] = {
        {HMINI, 118, 118, 0x4000007A},   {TL, 102, 102, 0x100192},
        {CF22, 150, 150, 0x7000400},     {CF22, 199, 250, 0x7000400},     {CF22, 200, 200, 0x7000C12},
        {CF22, 250, 150, 0x7000C12},     {VM, 102, 102, 0xB2},            {SWXR, 102, 102, 0x80027402},
        {H7S, 351, 351, 0xC00},          {GLX, 102, 102, 0x3},            {RW, 102, 102, 0x2C0013},
        {HN9, 204, 204, 0x38000802},     {HN9, 250, 204, 0x38000802},     {HN9, 205, 205, 0x38000842},
        {HN9, 150, 205, 0x38000842},     {KSR, 102, 102, 0x28400802},     {PTX9, 102, 102, 0x802},
        {HBA, 102, 102, 0x802},          {FIELDPT, 102, 102, 0x208002},     {HN9OPX, 205, 205, 0x38000842},
        {BLI, 102, 102, 0x8012},
        // Loggers save through the device library's settings; the rest save nothing.
        {KT72, 204, 204, 0},             {ZQ8, 110, 110, 0},              {MYR, 120, 120, 0},
        {KT7R, 204, 204, 0},             {QV, 110, 110, 0},               {KT7, 150, 150, 0},
        {RL, 100, 100, 0},               {DIGITAL_SENSOR, 100, 100, 0},   {UNKNOWN, 100, 100, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ib::SaveRequestMask(c.family, c.profileVersion, c.infoVersion), c.mask)
            << "family " << c.family << " versions " << c.profileVersion << "/" << c.infoVersion;

    // The loggers' device-library request masks (their rows in session/FamilyTable.h):
    // every setting but the radio version and the build for KT72, ZQ8 and MYR; KT7R and
    // QV their own. No version changes them.
    for (int family : {KT72, ZQ8, MYR})
        EXPECT_EQ(vorn::session::SaveMaskOf(vorn::session::FactsOf(family), 999, 999), 0x7FFEFFFu) << family;
    EXPECT_EQ(vorn::session::SaveMaskOf(vorn::session::FactsOf(KT7R), 0, 0), 0x8000077u);
    EXPECT_EQ(vorn::session::SaveMaskOf(vorn::session::FactsOf(QV), 0, 0), 0xD07u);
}

TEST(SessionSettingsFile, MissingFileAndFamiliesWithoutALayout) {
    SessionRig rig(Reply("TL 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    const std::string missing = rig.dir.File("none.settings.txt");
    EXPECT_EQ(rig.session.ReadInfoFile(missing), -102);
    EXPECT_EQ(rig.session.VPRestoreInfo(missing, nullptr), -102);
    EXPECT_TRUE(rig.Logged("VPRestoreInfo received error -102 trying to read device settings from"));
    EXPECT_EQ(rig.session.ReadInfoFile(""), -10);
    EXPECT_EQ(rig.session.WriteInfoFile(""), -10);

    SessionRig unknown(Reply("MOSSY-QA 1.00"));  // a digital sensor: refused, never a layout
    EXPECT_EQ(unknown.Connect(), -120);
    EXPECT_EQ(unknown.session.WriteInfoFile(unknown.dir.File("x.txt")), -13);
}

TEST(SessionSettingsFile, FileIsReadableByItsOwnerOnly) {
    SessionRig rig(Reply("TL 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    const std::string path = rig.dir.File("Tallis 8.settings.txt");
    vorn::test::WriteFile(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(rig.session.WriteInfoFile(path), 1);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(vorn::test::ReadFile(path).rfind("***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\ntype=\"TL\"", 0), 0u);

    const std::string fresh = rig.dir.File("new.settings.txt");
    EXPECT_EQ(rig.session.WriteInfoFile(fresh), 1);
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_LT(rig.session.WriteInfoFile(rig.dir.File("no/such/folder.txt")), 0);
}

TEST(SessionRestore, Hn9ChecksumRisesByOneFromAToB) {
    SessionRig rig(Reply("HN9 2.05"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer(SetOk);
    rig.session.PrepareSerialNumberOnlyRestore();
    rig.session.Instrument().serialNumber = "A";
    rig.session.Instrument().config = "1000";
    const std::string b = "B";
    EXPECT_EQ(rig.session.VPRestoreInfo(rig.dir.File("unused.txt"), &b), 1);
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"set -sn B", "set -config 1001"}));
    EXPECT_EQ(rig.session.Instrument().config, "1001");
}

TEST(SessionRestore, Hn9WithoutAConfigurationNumberSendsTheSerialNumberAlone) {
    SessionRig rig(Reply("HN9OPX 1.02"));
    ASSERT_EQ(rig.Connect(), 1);
    rig.Answer(SetOk);
    rig.session.PrepareSerialNumberOnlyRestore();
    const std::string serial = "OPX-0200";
    EXPECT_EQ(rig.session.VPRestoreInfo(rig.dir.File("unused.txt"), &serial), 1);
    EXPECT_EQ(rig.Sent(), std::vector<std::string>{"set -sn OPX-0200"});
}

}  // namespace
