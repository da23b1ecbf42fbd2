// POSIX backend of the private files and folders.
#include "common/FilesPlatform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace vorn::platform {

bool IsPrivateFolder(const std::string& folder, std::string* why) {
    struct stat st{};
    std::string problem;
    if (lstat(folder.c_str(), &st) != 0)
        problem = "it cannot be read";
    else if (!S_ISDIR(st.st_mode))
        problem = "it is not a folder";
    else if (st.st_uid != getuid())
        problem = "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    else if (st.st_mode & (S_IRWXG | S_IRWXO))
        problem = "other users have access to it";
    if (why) *why = problem;
    return problem.empty();
}

bool MakePrivateFolder(const std::string& folder, std::string* why) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why) *why = std::string("it cannot be created: ") + std::strerror(errno);
        return false;
    }
    struct stat st{};
    // Our own real folder that is too open is closed up; anyone else's is left alone.
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) chmod(folder.c_str(), 0700);
    return IsPrivateFolder(folder, why);
}

std::FILE* OpenPrivateAppend(const std::string& path) {
    // Not through a link, and not into a FIFO that would hold the open up.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat st{};
    // Another user's file in a shared folder (/tmp) is theirs to write, not ours, root or not.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        ::close(fd);
        return nullptr;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) fchmod(fd, 0600);
    std::FILE* file = fdopen(fd, "ab");
    if (!file) ::close(fd);
    return file;
}

std::FILE* CreatePrivateExclusive(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (!file) ::close(fd);
    return file;
}

std::string ReadShortLine(const std::string& path, size_t maxChars) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        text.resize(maxChars);
        ssize_t n = ::read(fd, text.data(), maxChars);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    ::close(fd);
    return text.substr(0, text.find_first_of("\r\n"));
}

namespace {

// Owns a descriptor until it is closed on purpose.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    int Release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

}  // namespace

int WriteFilePrivately(const std::string& path, std::string_view text) {
    const std::filesystem::path target(path);
    std::string temporary = path + ".XXXXXX";
    // mkostemp creates the file exclusively with mode 0600.
    Fd file;
    file.fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (file.fd < 0) return -errno;
    auto fail = [&](int error) {
        if (file.fd >= 0) ::close(file.Release());
        ::unlink(temporary.c_str());
        return -error;
    };
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(file.fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    // A full disk may show itself only here.
    if (::fsync(file.fd) != 0) return fail(errno);
    if (::close(file.Release()) != 0) return fail(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail(errno);
    // The rename itself must survive a crash too.
    std::string folder = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    Fd dir;
    dir.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0) ::fsync(dir.fd);
    return 0;
}

std::string UserDataFolderBase() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share";
    return {};
}

bool FolderIsWritable(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

std::string ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool IsTerminal(std::FILE* stream) { return stream && ::isatty(::fileno(stream)) != 0; }

int TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (!stream || ::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

namespace {

// Whether `path` still names the file open on `fd` (not a newer file of that name).
bool NamesOpenFile(const std::string& path, int fd) {
    struct stat open{}, named{};
    return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

}  // namespace

intptr_t LockFileExclusive(const std::string& path, std::string_view info) {
    // The holder removes the file as it lets go (UnlockFile), so the file we lock may lose
    // its name between our open and our flock: then the name is tried again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) return -errno;
        // flock belongs to the open file: it ends with the last descriptor, so with the process.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno == EWOULDBLOCK ? EBUSY : errno;
            close(fd);
            return -err;
        }
        if (!NamesOpenFile(path, fd)) {
            close(fd);
            continue;
        }
        if (ftruncate(fd, 0) == 0 && !info.empty()) {
            // Only a note for whoever finds the lock held: a short write changes nothing.
            (void)!write(fd, info.data(), info.size());
        }
        return fd;
    }
    return -EBUSY;  // others kept taking and releasing it all along
}

void UnlockFile(intptr_t handle, const std::string& path) {
    if (handle < 0) return;
    const int fd = static_cast<int>(handle);
    // Removed while still locked, so a newcomer either has this file and finds its name
    // gone, or creates the next one; a file someone put there since is not ours to remove.
    if (NamesOpenFile(path, fd)) unlink(path.c_str());
    close(fd);
}

}  // namespace vorn::platform
