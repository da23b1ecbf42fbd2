#pragma once
// vornbsl-cli run as scripts run it: a real process, what it printed and its exit status,
// in a folder of the test's own (its per-user folder and its simulators' runtime folder).
#include <sys/types.h>

#include <cstdlib>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace vorn::test {

// What a run printed, stdout and stderr together, and its exit status.
struct CliRun : ProgramRun {
    CliRun(ProgramRun run) : ProgramRun(std::move(run)) {}
    std::string LastLine() const {
        std::string t = output;
        while (!t.empty() && t.back() == '\n') t.pop_back();
        return t.substr(t.rfind('\n') == std::string::npos ? 0 : t.rfind('\n') + 1);
    }
};

// The program under test, or the copy an ordinary user's run was given.
inline std::string CliPath() {
    const char* carried = std::getenv("VORN_CLI_PATH");
    return carried ? carried : VORN_CLI;
}

class CliFixture : public ::testing::Test {
protected:
    std::string Environment() const {
        return "env XDG_DATA_HOME='" + dir.File("data") + "' XDG_RUNTIME_DIR='" + dir.Path().string() + "' ";
    }
    CliRun Cli(const std::string& args) { return RunCommand(Environment() + "'" + CliPath() + "' " + args); }
    std::string Folder() const { return dir.File("data") + "/Vornell/VornBSL"; }

    TempDir dir;
};

// A shell command running beside the test, its output going to a file.
class Background {
public:
    explicit Background(const std::string& command, const std::string& outputFile);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    long Pid() const { return pid_; }
    // Waits up to `ms` until the output holds `text`; whether it does.
    bool WaitFor(const std::string& text, int ms) const;
    // Waits for the end; its exit status (-1 when it did not end in `ms`, and is killed).
    int Wait(int ms);
    std::string Output() const;
    // Waits up to `ms` until no process it started is left (its group is gone).
    bool WaitForItsGroup(int ms) const;

private:
    pid_t pid_ = -1;
    pid_t group_ = -1;
    std::string output_;
};

}  // namespace vorn::test
