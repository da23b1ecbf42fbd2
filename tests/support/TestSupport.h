#pragma once
// Helpers shared by the tests: a pseudo-terminal pair that owns its descriptors and a
// temporary folder removed at the end of the test. On Windows only the portable part is
// there (temporary folders, files, the source folder): the pseudo-terminals, the port
// holder and the runs as another user are POSIX-only.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <cstdlib>

// The tests set and clear environment variables the POSIX way; the C runtime has _putenv_s
// (an empty value removes the variable).
inline int setenv(const char* name, const char* value, int /*overwrite*/) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif

namespace vorn::test {

#ifndef _WIN32
// A pseudo-terminal: the test plays the device on the master side, the code under test
// opens SlavePath() like any serial port.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    // Writes bytes as the device would send them.
    void Send(const std::string& bytes);
    // Everything the host sent within `waitMs` (returns early once `until` has arrived).
    std::string Receive(int waitMs, const std::string& until = {});
    // The speed the host set on its end.
    uint32_t HostBaud() const;

private:
    int master_ = -1;
    std::string slavePath_;
    std::vector<int> passedOver_;  // nodes a lock of another process claimed
};
#endif  // !_WIN32

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

#ifndef _WIN32
// Another program that holds a port the plain way, without any lock: `sleep` (or a copy
// of it under another name) with the device open on a spare descriptor, as a terminal or
// a script would hold it.
class PortHeldElsewhere {
public:
    explicit PortHeldElsewhere(const std::string& devicePath, const std::string& program = "sleep");
    ~PortHeldElsewhere();
    PortHeldElsewhere(const PortHeldElsewhere&) = delete;
    PortHeldElsewhere& operator=(const PortHeldElsewhere&) = delete;
    bool Ok() const { return pid_ > 0; }
    long Pid() const { return pid_; }

private:
    long pid_ = -1;
};

// Root ignores the exclusive mark on a tty and every file permission, so tests that touch
// ports must also pass as an ordinary user. As root, this runs this test program again
// as "nobody", limited to the tests `filter` names, from a copy in a folder that user
// can reach (the build folder may not be). Each of `carry` (an environment variable and
// the file it names) is copied along and the variable set to the copy's path.
struct ProgramRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};
// Runs a shell command with no input and gathers what it prints.
ProgramRun RunCommand(const std::string& command);
bool RunningAsRoot();
ProgramRun RunAgainAsOrdinaryUser(const std::string& filter,
                                  const std::vector<std::pair<std::string, std::string>>& carry = {});
// Holds when a run of RunAgainAsOrdinaryUser ran tests, all passed and none skipped.
::testing::AssertionResult PassedEveryTest(const ProgramRun& run);

// A UUCP lock file's text in the HDB format: the pid in ten characters, right-aligned,
// and a line feed.
std::string UucpLockText(long pid);
#endif  // !_WIN32

// Sets an environment variable (or removes it, for nullopt) for the life of the object; the
// time zone is read again both ways, for the tests that set TZ.
class EnvScope {
public:
    EnvScope(const char* name, std::optional<std::string> value);
    ~EnvScope();
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// The project's source folder (for test data and fixtures).
std::string SourceDir();

}  // namespace vorn::test
