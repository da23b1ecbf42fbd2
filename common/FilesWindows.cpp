// Windows backend of the private files and folders. The per-user folder lies under the
// user's application-data folder, whose access list already keeps other users out, so a
// real folder there counts as private as it is.
#include "common/FilesPlatform.h"

#include <windows.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vorn::platform {
namespace {

// The C error closest to a Win32 one, for callers that speak errno.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        case ERROR_INVALID_NAME: return EINVAL;
        default: return EIO;
    }
}

// Closes the handle unless it is released.
struct HandleGuard {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~HandleGuard() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    HANDLE Release() {
        HANDLE r = h;
        h = INVALID_HANDLE_VALUE;
        return r;
    }
};

// A C stream over a Win32 handle; the stream owns it from here on (or it is closed).
std::FILE* StreamOf(HANDLE h, int flags, const char* mode) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, mode);
    if (!file) _close(fd);
    return file;
}

}  // namespace

bool IsPrivateFolder(const std::string& folder, std::string* why) {
    std::string problem;
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        problem = "it cannot be read";
    else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        problem = "it is not a folder";
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        problem = "it is a link to somewhere else";
    if (why) *why = problem;
    return problem.empty();
}

bool MakePrivateFolder(const std::string& folder, std::string* why) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder), ec);
    if (ec) {
        if (why) *why = "it cannot be created: " + ec.message();
        return false;
    }
    return IsPrivateFolder(folder, why);
}

std::FILE* OpenPrivateAppend(const std::string& path) {
    // The link itself, not what it leads to, so that it can be told apart and refused.
    HandleGuard file{CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.h) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return nullptr;
    return StreamOf(file.Release(), _O_APPEND | _O_BINARY, "ab");
}

std::FILE* CreatePrivateExclusive(const std::string& path) {
    // CREATE_NEW fails on anything already there, a link included.
    HandleGuard file{CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return nullptr;
    return StreamOf(file.Release(), _O_BINARY, "wb");
}

std::string ReadShortLine(const std::string& path, size_t maxChars) {
    HandleGuard file{CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file.h) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return {};
    std::string text(maxChars, '\0');
    DWORD want = maxChars > MAXDWORD ? MAXDWORD : static_cast<DWORD>(maxChars);
    DWORD n = 0;
    if (!ReadFile(file.h, text.data(), want, &n, nullptr)) n = 0;
    text.resize(n);
    return text.substr(0, text.find_first_of("\r\n"));
}

int WriteFilePrivately(const std::string& path, std::string_view text) {
    // A new name beside `path`, created exclusively: another try when the name is taken.
    HandleGuard file;
    std::string temporary;
    for (unsigned attempt = 0; file.h == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
                    std::to_string(attempt) + ".tmp";
        file.h = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.h != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 100) return -ErrnoOf(error);
    }
    auto fail = [&](DWORD error) {
        if (file.h != INVALID_HANDLE_VALUE) CloseHandle(file.Release());
        DeleteFileA(temporary.c_str());
        return -ErrnoOf(error);
    };
    size_t done = 0;
    while (done < text.size()) {
        size_t left = text.size() - done;
        DWORD chunk = left > (1u << 20) ? (1u << 20) : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!WriteFile(file.h, text.data() + done, chunk, &n, nullptr)) return fail(GetLastError());
        if (n == 0) return fail(ERROR_WRITE_FAULT);
        done += n;
    }
    // A full disk may show itself only here.
    if (!FlushFileBuffers(file.h)) return fail(GetLastError());
    if (!CloseHandle(file.Release())) return fail(GetLastError());
    // The rename returns only once it is on the disk.
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(GetLastError());
    return 0;
}

// The user's application-data folder (%APPDATA%, the roaming profile's folder).
std::string UserDataFolderBase() {
    char folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)) && folder[0])
        return folder;
    if (const char* appData = std::getenv("APPDATA"); appData && *appData) return appData;
    return {};
}

// Windows answers "may I write here" only by trying: a file that goes away on close.
bool FolderIsWritable(const std::string& folder) {
    const std::string probe = (std::filesystem::path(folder) / (".write-test-" + std::to_string(GetCurrentProcessId()))).string();
    HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(h);
    return true;
}

std::string ProgramFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);  // cut short: a longer buffer
    }
    return std::filesystem::path(path).parent_path().string();
}

bool IsTerminal(std::FILE* stream) { return stream && _isatty(_fileno(stream)) != 0; }

int TerminalColumns(std::FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    HANDLE handle = stream ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))) : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// Opened without sharing for writing or deleting: a second process's open fails until this
// handle is closed, which Windows also does when the process ends, and the file goes with
// the handle.
intptr_t LockFileExclusive(const std::string& path, std::string_view info) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -ErrnoOf(GetLastError());
    SetEndOfFile(h);
    DWORD written = 0;
    if (!info.empty()) WriteFile(h, info.data(), static_cast<DWORD>(info.size()), &written, nullptr);
    return reinterpret_cast<intptr_t>(h);
}

// Closing the handle removes the file (FILE_FLAG_DELETE_ON_CLOSE): nothing to do by name.
void UnlockFile(intptr_t handle, const std::string&) {
    if (handle >= 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace vorn::platform
