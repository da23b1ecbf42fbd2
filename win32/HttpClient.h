#pragma once
// HTTP for the feedback form, through WinHTTP: one session whose cookies carry from the
// service's front page to the post, redirects followed but never from HTTPS down to
// HTTP. Each request runs on a worker thread; the caller's `wait` runs on the window's
// thread meanwhile (it pumps messages, so the window repaints and its close can abort).
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace vorn::win32 {

struct HttpResult {
    bool answered = false;  // a whole answer arrived with status 200 to 299
    bool timedOut = false;  // nothing moved for the idle time
    bool aborted = false;   // Abort() was called
    unsigned status = 0;
    std::string body;
    std::string error;      // why not answered, for the "Error:" line
};

class HttpClient {
public:
    HttpClient(const std::string& userAgent, const std::string& accept);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // `wait` is called every few tens of milliseconds until the request ends; `progress`
    // gets the bytes sent and the total after each piece of the body.
    HttpResult Get(const std::string& url, int idleMs, const std::function<void()>& wait);
    HttpResult Post(const std::string& url, const std::string& contentType, const std::string& body, int idleMs,
                    const std::function<void()>& wait, const std::function<void(uint64_t, uint64_t)>& progress);
    // Ends the request in progress (from the window's thread).
    void Abort();
    bool Busy() const { return busy_; }

private:
    struct Job;
    HttpResult Run(Job& job, const std::function<void()>& wait,
                   const std::function<void(uint64_t, uint64_t)>& progress);
    static DWORD WINAPI Work(void* job);

    HINTERNET session_ = nullptr;
    std::string accept_;
    std::mutex mutex_;
    HINTERNET request_ = nullptr;  // the request in progress, for Abort
    std::atomic<bool> aborted_{false};
    bool busy_ = false;
};

}  // namespace vorn::win32
