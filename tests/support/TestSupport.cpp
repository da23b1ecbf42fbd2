#include "support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace vorn::test {

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return;
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        close(master_);
        master_ = -1;
        return;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = name;
    slaveKeep_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slaveKeep_ >= 0 && tcgetattr(slaveKeep_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slaveKeep_, TCSANOW, &tio);
    }
}

PtyPair::~PtyPair() {
    if (slaveKeep_ >= 0) close(slaveKeep_);
    if (master_ >= 0) close(master_);
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

TempDir::TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("vorntest-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
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
