#pragma once
// A scripted device on a pseudo-terminal: a thread reads what the host sends, cuts it into
// commands (CR-terminated lines, and "+++" on its own) and sends whatever the responder
// answers. Everything heard is kept for the test to inspect.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace vorn::test {

class ScriptedPeer {
public:
    // Gets one command without its CR; returns the bytes to send back ("" = silence).
    using Responder = std::function<std::string(const std::string& command)>;

    explicit ScriptedPeer(Responder responder);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool Ok() const { return pty_.Ok(); }
    const std::string& SlavePath() const { return pty_.SlavePath(); }
    uint32_t HostBaud() const { return pty_.HostBaud(); }
    // The commands heard so far, in order.
    std::vector<std::string> Commands();
    int Count(const std::string& command);
    // Every byte heard.
    std::string Heard();
    // Whether more than `bytes` bytes in all are heard within `ms` milliseconds; returns as
    // soon as they are. A test that expects silence gives the count it has already seen.
    bool HearsMoreThan(size_t bytes, uint32_t ms);

private:
    void Run();

    PtyPair pty_;
    Responder responder_;
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string heard_;
    std::string pending_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// The answer of a new-firmware device: CR, the lines each followed by CR, the prompt.
std::string Reply(const std::vector<std::string>& lines);
inline std::string Reply(const std::string& line) { return Reply(std::vector<std::string>{line}); }

}  // namespace vorn::test
