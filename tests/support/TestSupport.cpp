#include "support/TestSupport.h"

#include "serial/SerialPlatform.h"

#ifdef _WIN32
#include <process.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vorn::test {

#ifndef _WIN32
// The slave stays closed, as a port nobody holds.
PtyPair::PtyPair() { master_ = vorn::platform::OpenUnclaimedPseudoTerminal(0, &slavePath_, &passedOver_); }

PtyPair::~PtyPair() {
    if (master_ >= 0) close(master_);
    for (int fd : passedOver_) close(fd);
}

void PtyPair::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

std::string PtyPair::Receive(int waitMs, const std::string& until) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[512];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n < 0 && errno == EIO) {  // no host on the slave (yet, or any more)
            usleep(5000);
            continue;
        }
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
        if (!until.empty() && got.find(until) != std::string::npos) break;
    }
    return got;
}

uint32_t PtyPair::HostBaud() const {
    termios tio{};
    if (tcgetattr(master_, &tio) != 0) return 0;
    switch (cfgetospeed(&tio)) {
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B4800: return 4800;
        case B2400: return 2400;
        case B1200: return 1200;
        default: return 0;
    }
}
#endif  // !_WIN32

TempDir::TempDir() {
#ifdef _WIN32
    const int pid = _getpid();
#else
    const pid_t pid = getpid();
#endif
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("vorntest-" + std::to_string(pid) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

#ifndef _WIN32
PortHeldElsewhere::PortHeldElsewhere(const std::string& devicePath, const std::string& program) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 3, devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
    std::string name = program;
    char seconds[] = "60";
    char* argv[] = {name.data(), seconds, nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    // Ready once the child shows the device among its descriptors and runs the program
    // (the descriptor is open before the exec, while the child still bears our name).
    struct stat device{}, held{};
    stat(devicePath.c_str(), &device);
    const std::string fd3 = "/proc/" + std::to_string(pid_) + "/fd/3";
    const std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
    const std::string shown = std::filesystem::path(program).filename().string().substr(0, 15);
    for (int i = 0; pid_ > 0 && i < 400; ++i) {
        if (stat(fd3.c_str(), &held) == 0 && held.st_rdev == device.st_rdev) {
            std::string running;
            std::ifstream in(comm);
            std::getline(in, running);
            if (running == shown) return;
        }
        usleep(5000);
    }
}

PortHeldElsewhere::~PortHeldElsewhere() {
    if (pid_ <= 0) return;
    kill(static_cast<pid_t>(pid_), SIGKILL);
    waitpid(static_cast<pid_t>(pid_), nullptr, 0);
}

bool RunningAsRoot() { return geteuid() == 0; }

ProgramRun RunAgainAsOrdinaryUser(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& carry) {
    namespace fs = std::filesystem;
    ProgramRun run;
    static TempDir reachable;  // one copy of the program for every run of this process
    fs::permissions(reachable.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    std::error_code ec;
    fs::copy_file("/proc/self/exe", reachable.File("program"), fs::copy_options::overwrite_existing, ec);
    if (ec) {
        run.output = "cannot copy this test program: " + ec.message();
        return run;
    }
    fs::create_directories(reachable.File("home"), ec);
    chown(reachable.File("home").c_str(), 65534, 65534);
    std::string env = "HOME='" + reachable.File("home") + "' VORN_TEST_SOURCE_DIR='" + SourceDir() + "'";
    for (const auto& [name, path] : carry) {
        std::string copy = reachable.File(fs::path(path).filename().string());
        fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            run.output = "cannot copy " + path + ": " + ec.message();
            return run;
        }
        env += " " + name + "='" + copy + "'";
    }
    // nobody:nogroup, no supplementary groups, and none of root's runtime folder.
    return RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_RUNTIME_DIR " + env + " '" +
                      reachable.File("program") + "' --gtest_filter='" + filter + "'");
}

ProgramRun RunCommand(const std::string& command) {
    ProgramRun run;
    FILE* pipe = popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

::testing::AssertionResult PassedEveryTest(const ProgramRun& run) {
    if (run.status != 0) return ::testing::AssertionFailure() << "exit status " << run.status << ":\n" << run.output;
    if (run.output.find("[  PASSED  ]") == std::string::npos || run.output.find("[  PASSED  ] 0 tests") != std::string::npos)
        return ::testing::AssertionFailure() << "no test ran:\n" << run.output;
    if (run.output.find("[  SKIPPED ]") != std::string::npos)
        return ::testing::AssertionFailure() << "a test skipped:\n" << run.output;
    return ::testing::AssertionSuccess();
}

std::string UucpLockText(long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld\n", pid);
    return text;
}
#endif  // !_WIN32

EnvScope::EnvScope(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
    tzset();
}

EnvScope::~EnvScope() {
    if (saved_)
        setenv(name_, saved_->c_str(), 1);
    else
        unsetenv(name_);
    tzset();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string SourceDir() {
    const char* dir = std::getenv("VORN_TEST_SOURCE_DIR");
    return dir ? dir : ".";
}

}  // namespace vorn::test
