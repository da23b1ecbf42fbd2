#pragma once
// A scripted bootloader peer for the client's tests: it plays the device on the master
// side of a pseudo-terminal, records every line the host sends (with its arrival time)
// and answers each one as the test's policy says. A "P" at the start of a line counts as
// a line of its own, as the engine's connect letter has no carriage return.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bsl/VornBSLHost.h"
#include "common/Status.h"
#include "common/Timing.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

namespace vorn::test {

class FakeEngine {
public:
    // The answer to one line (without its CR); an empty answer is silence.
    using Policy = std::function<std::string(const std::string& line)>;
    struct Line {
        std::string text;
        uint32_t atMs;
    };

    FakeEngine(PtyPair& pty, Policy policy) : pty_(pty), policy_(std::move(policy)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~FakeEngine() {
        running_ = false;
        thread_.join();
    }

    void SetPolicy(Policy policy) {
        std::lock_guard<std::mutex> lock(mutex_);
        policy_ = std::move(policy);
    }
    std::vector<Line> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::string Raw() {
        std::lock_guard<std::mutex> lock(mutex_);
        return raw_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
        raw_.clear();
    }
    // Only the lines that begin with `letter`.
    std::vector<Line> Frames(char letter) {
        std::vector<Line> out;
        for (const Line& l : Lines())
            if (!l.text.empty() && l.text[0] == letter) out.push_back(l);
        return out;
    }

private:
    void Run() {
        char buffer[1024];
        while (running_) {
            pollfd p{pty_.Master(), POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            ssize_t n = read(pty_.Master(), buffer, sizeof buffer);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n; ++i) Take(buffer[i]);
        }
    }
    void Take(char c) {
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            raw_ += c;
            if (c != '\r' && !(c == 'P' && pending_.empty())) {
                pending_ += c;
                return;
            }
            std::string line = c == 'P' ? std::string("P") : pending_;
            pending_.clear();
            lines_.push_back({line, vorn::MsTimer()});
            if (policy_) answer = policy_(line);
        }
        if (!answer.empty()) pty_.Send(answer);
    }

    PtyPair& pty_;
    Policy policy_;
    std::mutex mutex_;
    std::vector<Line> lines_;
    std::string raw_;
    std::string pending_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// The answer of an engine that agrees to everything and is in command mode.
inline std::string AgreeToAll(const std::string& line) { return line.empty() ? "?\r" : "+\r"; }

// One host connected to a fake engine for a whole suite (connecting costs over a second).
class ConnectedHostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        log = new VornLog(dir->File("log.txt"), 40);
        pty = new PtyPair;
        engine = new FakeEngine(*pty, AgreeToAll);
        host = new VornBSLHost(log);
        connected = host->BSLCheck(pty->SlavePath(), 9600) == vorn::kBslActive;
    }
    static void TearDownTestSuite() {
        delete host;
        delete engine;
        delete pty;
        delete log;
        delete dir;
    }
    void SetUp() override {
        ASSERT_TRUE(connected);
        engine->SetPolicy(AgreeToAll);
        engine->Clear();
    }

    static inline TempDir* dir;
    static inline VornLog* log;
    static inline PtyPair* pty;
    static inline FakeEngine* engine;
    static inline VornBSLHost* host;
    static inline bool connected = false;
};

}  // namespace vorn::test
