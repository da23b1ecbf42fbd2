#include "support/ScriptedPeer.h"

#include <chrono>

#include <poll.h>
#include <unistd.h>

namespace vorn::test {

ScriptedPeer::ScriptedPeer(Responder responder) : responder_(std::move(responder)) {
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

void ScriptedPeer::Run() {
    while (running_) {
        // Take whatever has arrived as soon as it arrives.
        pollfd p{pty_.Master(), POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(pty_.Master(), buffer, sizeof buffer);
        if (n <= 0) continue;
        std::string got(buffer, static_cast<size_t>(n));
        std::vector<std::string> ready;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            heard_ += got;
            pending_ += got;
            for (;;) {
                if (pending_.rfind("+++", 0) == 0) {
                    ready.push_back("+++");
                    pending_.erase(0, 3);
                    continue;
                }
                size_t cr = pending_.find('\r');
                if (cr == std::string::npos) break;
                ready.push_back(pending_.substr(0, cr));
                pending_.erase(0, cr + 1);
            }
            commands_.insert(commands_.end(), ready.begin(), ready.end());
        }
        for (const std::string& command : ready) {
            std::string answer = responder_(command);
            if (!answer.empty()) pty_.Send(answer);
        }
    }
}

std::vector<std::string> ScriptedPeer::Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

int ScriptedPeer::Count(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& c : commands_) n += c == command;
    return n;
}

std::string ScriptedPeer::Heard() {
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_;
}

bool ScriptedPeer::HearsMoreThan(size_t bytes, uint32_t ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (std::lock_guard<std::mutex> lock(mutex_); heard_.size() > bytes) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return heard_.size() > bytes;
}

std::string Reply(const std::vector<std::string>& lines) {
    std::string out = "\r";
    for (const auto& l : lines) out += l + "\r";
    return out + ">";
}

}  // namespace vorn::test
