// POSIX backend of the private files and folders.
#include "common/FilesPlatform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == getuid() && (st.st_mode & (S_IRWXG | S_IRWXO)))
        fchmod(fd, 0600);
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

}  // namespace vorn::platform
