#include "win32/HttpClient.h"

#include <algorithm>
#include <vector>

#include "win32/Win32Text.h"

namespace vorn::win32 {

namespace {

constexpr DWORD kPieceBytes = 65536;  // the body goes in pieces, so its progress shows
constexpr DWORD kWaitStepMs = 30;

std::string ErrorText(DWORD code) {
    const std::string message = SystemMessage(code, GetModuleHandleW(L"winhttp.dll"));
    const std::string number = "(error " + std::to_string(code) + ")";
    return message.empty() ? "WinHTTP " + number : message + " " + number;
}

}  // namespace

struct HttpClient::Job {
    HttpClient* client = nullptr;
    std::wstring url;
    const wchar_t* verb = L"GET";
    std::wstring headers;
    const std::string* body = nullptr;
    int idleMs = 0;
    std::atomic<uint64_t> sent{0};
    uint64_t total = 0;
    HttpResult result;
};

HttpClient::HttpClient(const std::string& userAgent, const std::string& accept) : accept_(accept) {
    session_ = WinHttpOpen(Wide(userAgent).c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    if (session_) {
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        WinHttpSetOption(session_, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    }
}

HttpClient::~HttpClient() {
    Abort();
    if (session_) WinHttpCloseHandle(session_);
}

HttpResult HttpClient::Get(const std::string& url, int idleMs, const std::function<void()>& wait) {
    Job job;
    job.url = Wide(url);
    job.idleMs = idleMs;
    return Run(job, wait, nullptr);
}

HttpResult HttpClient::Post(const std::string& url, const std::string& contentType, const std::string& body,
                            int idleMs, const std::function<void()>& wait,
                            const std::function<void(uint64_t, uint64_t)>& progress) {
    Job job;
    job.url = Wide(url);
    job.verb = L"POST";
    job.headers = L"Content-Type: " + Wide(contentType) + L"\r\n";
    job.body = &body;
    job.total = body.size();
    job.idleMs = idleMs;
    return Run(job, wait, progress);
}

void HttpClient::Abort() {
    aborted_ = true;
    std::lock_guard<std::mutex> lock(mutex_);
    // Closing the handle ends the worker's blocking call with "cancelled".
    if (request_) {
        WinHttpCloseHandle(request_);
        request_ = nullptr;
    }
}

HttpResult HttpClient::Run(Job& job, const std::function<void()>& wait,
                           const std::function<void(uint64_t, uint64_t)>& progress) {
    if (!session_) {
        job.result.error = ErrorText(GetLastError());
        return job.result;
    }
    job.client = this;
    aborted_ = false;
    busy_ = true;
    HANDLE thread = CreateThread(nullptr, 0, &HttpClient::Work, &job, 0, nullptr);
    if (!thread) {
        busy_ = false;
        job.result.error = ErrorText(GetLastError());
        return job.result;
    }
    uint64_t shown = 0;
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, kWaitStepMs, QS_ALLINPUT) == WAIT_OBJECT_0) break;
        if (progress && job.sent != shown) progress(shown = job.sent, job.total);
        if (wait) wait();
    }
    CloseHandle(thread);
    busy_ = false;
    if (progress && job.total > 0) progress(job.sent, job.total);
    if (aborted_) {
        job.result.answered = false;
        job.result.aborted = true;
    }
    return job.result;
}

DWORD WINAPI HttpClient::Work(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    HttpClient& client = *job.client;
    HttpResult& result = job.result;
    auto fail = [&result](DWORD code) {
        result.timedOut = code == ERROR_WINHTTP_TIMEOUT;
        result.error = ErrorText(code);
        return 0;
    };

    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(job.url.c_str(), 0, 0, &parts)) return fail(GetLastError());
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    HINTERNET connection = WinHttpConnect(client.session_, host.c_str(), parts.nPort, 0);
    if (!connection) return fail(GetLastError());
    HINTERNET request = WinHttpOpenRequest(connection, job.verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!request) {
        const DWORD code = GetLastError();
        WinHttpCloseHandle(connection);
        return fail(code);
    }
    {
        std::lock_guard<std::mutex> lock(client.mutex_);
        if (client.aborted_) {
            WinHttpCloseHandle(request);
            WinHttpCloseHandle(connection);
            return fail(ERROR_WINHTTP_OPERATION_CANCELLED);
        }
        client.request_ = request;
    }
    // Each step gives up after the idle time without progress: a large post may take
    // minutes in total.
    WinHttpSetTimeouts(request, job.idleMs, job.idleMs, job.idleMs, job.idleMs);
    const std::wstring headers = L"Accept: " + Wide(client.accept_) + L"\r\n" + job.headers;

    DWORD code = 0;
    bool ok = WinHttpSendRequest(request, headers.c_str(), static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0,
                                 static_cast<DWORD>(job.total), 0);
    if (!ok) code = GetLastError();
    for (uint64_t at = 0; ok && job.body && at < job.total;) {
        const DWORD piece = static_cast<DWORD>(std::min<uint64_t>(kPieceBytes, job.total - at));
        DWORD written = 0;
        ok = WinHttpWriteData(request, job.body->data() + at, piece, &written);
        if (!ok) code = GetLastError();
        at += written;
        job.sent = at;
    }
    if (ok && !(ok = WinHttpReceiveResponse(request, nullptr))) code = GetLastError();
    if (ok) {
        DWORD status = 0, size = sizeof status;
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                            &status, &size, WINHTTP_NO_HEADER_INDEX);
        result.status = status;
        std::vector<char> buffer(kPieceBytes);
        for (;;) {
            DWORD got = 0;
            if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
                ok = false;
                code = GetLastError();
                break;
            }
            if (got == 0) break;
            result.body.append(buffer.data(), got);
        }
    }
    {
        std::lock_guard<std::mutex> lock(client.mutex_);
        if (client.request_ == request) {
            WinHttpCloseHandle(request);
            client.request_ = nullptr;
        }
    }
    WinHttpCloseHandle(connection);
    if (!ok) return fail(code);
    if (result.status < 200 || result.status > 299) {
        result.error = "The server answered with status " + std::to_string(result.status) + ".";
        return 0;
    }
    result.answered = true;
    return 0;
}

}  // namespace vorn::win32
