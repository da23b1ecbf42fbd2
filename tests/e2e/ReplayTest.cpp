// A field failure as a test: vornbsl-cli records an update's wire transcript against a
// simulated instrument, and a fresh run against vornsim --replay of that transcript ends
// the same way. Both programs run as real processes, as a support engineer runs them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "e2e/CliSupport.h"
#include "e2e/E2ESupport.h"
#include "serial/WireTranscript.h"
#include "support/TestSupport.h"

using namespace vorn::test;

namespace {

std::string VornsimPath() {
    const char* carried = std::getenv("VORN_SIM_PATH");
    return carried ? carried : VORNSIM_PROGRAM;
}

class ReplayTest : public CliFixture {
protected:
    // vornsim with `args`, registered as `name` in this test's runtime folder.
    std::unique_ptr<Background> Vornsim(const std::string& name, const std::string& args) {
        auto sim = std::make_unique<Background>(Environment() + "'" + VornsimPath() + "' --name " + name + " " + args,
                                                dir.File(name + ".out"));
        EXPECT_TRUE(sim->WaitFor("vornsim: ", 5000)) << sim->Output();
        return sim;
    }
    // Stops it as a user would (SIGTERM) and gives its exit status.
    static int Stop(Background& sim) {
        ::kill(static_cast<pid_t>(sim.Pid()), SIGTERM);
        return sim.Wait(10000);
    }
};

}  // namespace

TEST_F(ReplayTest, AnUpdateAndAnInterruptedOneReplayToTheirOutcomeWithoutTheirCredentials) {
    const std::string password = "Tr0ub4dor&3", key = "A1B2C3D4E5F60718293A4B5C6D7E8F90";
    const std::string firmware = dir.File("classic.txt");
    WriteSixteenBitFirmware(firmware);
    struct Case {
        const char* what;
        const char* faults;  // vornsim's switches for the recorded run
        int status;
    };
    const Case cases[] = {
        {"a Kt72 with its APN password and key, updated", "", 0},
        {"a Kt72 whose adapter is pulled out while its flash is written", "--set unplug-after=30", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string recorded = dir.File("recorded" + std::to_string(n) + ".txt");
        const std::string port = "rec" + std::to_string(n);
        const std::string update = " --firmware '" + firmware + "' --factory --yes --transcript ";
        CliRun first{ProgramRun{}};
        {
            auto sim = Vornsim(port, "--family KT72 --value '-passwd=" + password + "' --value -authkey=" + key + " " + c.faults);
            first = Cli("--port " + port + update + "'" + recorded + "'");
            Stop(*sim);
        }
        EXPECT_EQ(first.status, c.status) << first.output;
        const std::string text = ReadFile(recorded);
        EXPECT_EQ(text.rfind(vorn::serial::kTranscriptHeader, 0), 0u);
        EXPECT_EQ(text.find(password), std::string::npos);
        EXPECT_EQ(text.find(key), std::string::npos);
        EXPECT_EQ(text.find(key.substr(0, 8)), std::string::npos);
        if (c.status == 0) {
            EXPECT_NE(text.find(" TX* 9600 \"set -passwd ********\\r\""), std::string::npos) << text;
        }
        if (c.status != 0) {
            EXPECT_NE(text.find(" HANGUP\n"), std::string::npos);
        }
        struct stat st{};
        ASSERT_EQ(::stat(recorded.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        // A fresh updater (its own per-user folder) against the transcript's instrument.
        const std::string replayPort = "replay" + std::to_string(n);
        auto replay = Vornsim(replayPort, "--replay '" + recorded + "'");
        CliRun again = RunCommand("env XDG_DATA_HOME='" + dir.File("fresh" + std::to_string(n)) + "' XDG_RUNTIME_DIR='" +
                                  dir.Path().string() + "' '" + CliPath() + "' --port " + replayPort + update + "'" +
                                  dir.File("replayed" + std::to_string(n) + ".txt") + "'");
        EXPECT_EQ(again.status, first.status) << again.output;
        EXPECT_EQ(CliRun(again).LastLine(), first.LastLine());
        EXPECT_EQ(Stop(*replay), 0) << replay->Output();
        EXPECT_NE(replay->Output().find("the host said all its "), std::string::npos) << replay->Output();
        ++n;
    }
}

TEST_F(ReplayTest, TheFirstLineTheHostSaysOtherwiseIsNamedAndEndsTheReplay) {
    // What a Readwell's firmware answers to its first question, and the question expected.
    const std::string transcript = dir.File("other.txt");
    WriteFile(transcript, std::string(vorn::serial::kTranscriptHeader) +
                              "\n# written by hand\n0 OPEN 9600 \"ttyUSB0\"\n3 TX 9600 \"get -vex\\r\"\n"
                              "9 RX 9600 \"\\rRW 1.02\\r>\"\n");
    auto replay = Vornsim("othersim", "--replay '" + transcript + "'");
    CliRun info = Cli("--port othersim --info");
    EXPECT_NE(info.status, 0) << info.output;
    EXPECT_EQ(replay->Wait(10000), 4);
    EXPECT_NE(replay->Output().find("replay differs: line 4 of " + transcript +
                                    ": the transcript has 3 TX 9600 \"get -vex\\r\", the host sent \"get -ver\""),
              std::string::npos)
        << replay->Output();

    // A file that is no transcript is refused before any port is opened; so is one the
    // recording would have to replace.
    WriteFile(dir.File("notes.txt"), "my notes\n");
    Background refused(Environment() + "'" + VornsimPath() + "' --name refusedsim --replay '" + dir.File("notes.txt") + "'",
                       dir.File("refused.out"));
    EXPECT_EQ(refused.Wait(5000), 2);
    EXPECT_NE(refused.Output().find("is not a wire transcript"), std::string::npos) << refused.Output();
    CliRun over = Cli("--port othersim --info --transcript '" + dir.File("notes.txt") + "'");
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.output.find("a file is there that is not a wire transcript"), std::string::npos) << over.output;
    EXPECT_EQ(ReadFile(dir.File("notes.txt")), "my notes\n");
}

TEST(ReplayOrdinaryUser, RecordsAndReplaysAsAnOrdinaryUser) {
    if (!RunningAsRoot()) GTEST_SKIP() << "this whole run is by an ordinary user";
    EXPECT_TRUE(PassedEveryTest(RunAgainAsOrdinaryUser(
        "ReplayTest.*", {{"VORN_CLI_PATH", VORN_CLI}, {"VORN_SIM_PATH", VORNSIM_PROGRAM}})));
}
