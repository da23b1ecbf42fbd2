#pragma once
// Helpers shared by the tests: a pseudo-terminal pair that owns its descriptors and a
// temporary folder removed at the end of the test.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vorn::test {

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
    int slaveKeep_ = -1;  // held so the master never sees a hang-up between opens
    std::string slavePath_;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// The project's source folder (for test data and fixtures).
std::string SourceDir();

}  // namespace vorn::test
