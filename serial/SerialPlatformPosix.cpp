// POSIX backend of the serial layer: termios on /dev/<name>.
#include "serial/SerialPlatform.h"

#include "common/FilesPlatform.h"
#include "common/Status.h"
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <time.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace vorn::platform {
namespace {

int Fd(PortHandle h) { return static_cast<int>(h); }

speed_t SpeedOf(uint32_t baud) {
    switch (baud) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 921600: return B921600;
        default: return B0;
    }
}

// Closes the descriptor unless it is released.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) ::close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

std::string ProgramOf(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "another program" : name;
}

// The file `path` leads to, links followed; `path` itself when it leads nowhere.
std::string RealPathOr(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    std::string resolved = real ? real : path;
    std::free(real);
    return resolved;
}

// The first link by name in `folder` to the character device `rdev`; empty for none.
std::string LinkToDevice(dev_t rdev, const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string link = folder + "/" + name;
        struct stat own{}, target{};
        if (lstat(link.c_str(), &own) == 0 && S_ISLNK(own.st_mode) && stat(link.c_str(), &target) == 0 &&
            S_ISCHR(target.st_mode) && target.st_rdev == rdev)
            return link;
    }
    return {};
}

// The name other programs lock the port's device by: its node under /dev with '/' written
// '_' ("ttyUSB0"; "pts_5" for /dev/pts/5, as ser2net writes it, where a bare "5" would
// say nothing of the device), from the node the name leads to, so that every spelling of
// one port meets at one lock.
std::string SystemLockName(const std::string& portName) {
    std::string device = RealPathOr(PortPath(portName));
    device = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device.substr(device.find_last_of('/') + 1);
    std::replace(device.begin(), device.end(), '/', '_');
    return device;
}

std::string SystemLockPath(const std::string& portName, const std::string& lockFolder) {
    return lockFolder + "/LCK.." + SystemLockName(portName);
}

// The process an open lock file names: the HDB format's pid in ASCII, right-aligned and
// followed by a line feed (some programs add their name and user after it); 0 when the
// file names none.
long LockFilePid(int fd) {
    char text[64];
    ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    text[n] = '\0';
    char* end = nullptr;
    long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0 || (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end)))) return 0;
    return pid;
}

// Another user's process is alive too: signalling it is refused, not found missing.
bool ProcessLives(long pid) {
    return pid > 0 && pid <= INT32_MAX && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// A lock file that names no process may be one that its program created and has not
// written yet; it counts as stale only this long after its last change.
constexpr time_t kSecondsToWriteALock = 5;

// The live process other than ours that holds the port's lock file.
std::vector<PortHolder> LockFileHolders(const std::string& portName) {
    FdGuard lock{::open(SystemLockPath(portName, kSystemLockFolder).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (lock.fd < 0) return {};
    const long pid = LockFilePid(lock.fd);
    if (pid == static_cast<long>(getpid()) || !ProcessLives(pid)) return {};
    return {{pid, ProgramOf(pid)}};
}

// The lock files LockPortForSystem made and holds: the descriptor it answered, and the
// file's path. Looked up only to unlock and to tell our own lock from a leftover.
std::mutex heldLocksMutex;
std::map<int, std::string> heldLocks;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `path` names the file open on `fd`.
bool NamesOpenFile(const std::string& path, int fd) {
    struct stat open{}, named{};
    return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && SameFile(open, named);
}

bool HeldHere(const struct stat& lockFile) {
    std::lock_guard<std::mutex> guard(heldLocksMutex);
    struct stat held{};
    for (const auto& [fd, path] : heldLocks)
        if (fstat(fd, &held) == 0 && SameFile(held, lockFile)) return true;
    return false;
}

// Looks at the lock file in the way of ours: 0 when it is gone now (taken over as stale,
// or removed by its holder), so the link may be tried again; -EBUSY while it holds; the
// negated error that keeps it from being examined or removed otherwise.
int RemoveIfStale(const std::string& lockPath, long* holderPid) {
    FdGuard lock{::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (lock.fd < 0) return errno == ENOENT ? 0 : -errno;
    struct stat seen{};
    if (fstat(lock.fd, &seen) != 0) return -errno;
    const long pid = LockFilePid(lock.fd);
    const bool ours = pid == static_cast<long>(getpid());
    if ((!ours && ProcessLives(pid)) || (ours && HeldHere(seen))) {
        if (holderPid) *holderPid = pid;
        return -EBUSY;
    }
    if (pid == 0 && std::time(nullptr) - seen.st_mtime < kSecondsToWriteALock) return -EBUSY;
    // Whoever takes a stale lock over holds flock on it meanwhile, and looks again under
    // it: two takers never both remove a lock, the second one the first just made.
    if (flock(lock.fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? -EBUSY : -errno;
    if (!NamesOpenFile(lockPath, lock.fd)) return 0;  // taken over meanwhile: looked at again
    // In a sticky folder only the file's owner (or root) may remove it.
    if (::unlink(lockPath.c_str()) != 0) return -errno;
    return 0;
}

// Every other process with the character device `rdev` open, found the way fuser finds
// them: through the descriptors each process shows under /proc.
std::vector<PortHolder> HoldersOfDevice(dev_t rdev) {
    std::vector<PortHolder> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    const long self = static_cast<long>(getpid());
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) continue;
        std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds) continue;  // another user's process, or one that just ended
        while (dirent* fd = readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            struct stat st{};
            if (fstatat(dirfd(fds), fd->d_name, &st, 0) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev) {
                found.push_back({pid, ProgramOf(pid)});
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

int OpenDevice(const std::string& portName, bool exclusive, PortHandle* handle, std::string* holder) {
    *handle = kInvalidHandle;
    auto busy = [holder](const std::vector<PortHolder>& holders) {
        if (holder) *holder = DescribeHolders(holders);
        return EBUSY;
    };
    if (portName.empty()) return ENOENT;
    if (auto locked = LockFileHolders(portName); !locked.empty()) return busy(locked);
    FdGuard guard{::open(PortPath(portName).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (guard.fd < 0) return errno == EBUSY ? busy(PortHolders(portName)) : errno;
    if (!isatty(guard.fd)) return ENOTTY;
    // flock keeps out our own kind (root included, whom the exclusive mark lets in).
    if (flock(guard.fd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? busy(PortHolders(portName)) : errno;
    // Programs that take no lock at all still hold the port.
    struct stat st{};
    if (fstat(guard.fd, &st) == 0) {
        if (auto holders = HoldersOfDevice(st.st_rdev); !holders.empty()) return busy(holders);
    }
    if (!exclusive) return 0;  // the check: closing drops the lock, and no mark was set
    // The mark keeps out other users while we hold the port; ClosePort clears it.
    ioctl(guard.fd, TIOCEXCL);
    // Blocking reads from here on; the read time-outs come from VMIN/VTIME.
    int flags = fcntl(guard.fd, F_GETFL);
    fcntl(guard.fd, F_SETFL, flags & ~O_NONBLOCK);
    *handle = guard.Release();
    return 0;
}

// A hung-up tty (its adapter pulled out, or its pseudo-terminal's master closed) reads
// nothing at once instead of waiting out VTIME, so an empty read asks the driver.
bool HungUp(PortHandle h) {
    pollfd pfd{Fd(h), POLLIN, 0};
    return poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

long MsNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

std::string SimulatorFolder() {
    struct stat st{};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) return std::string(runtime) + "/vornsim";
    return "/tmp/vornsim-" + std::to_string(getuid());
}

std::string OwnPseudoTerminal(const std::string& path) {
    char target[256];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    struct stat st{};
    if (std::strncmp(target, "/dev/pts/", 9) != 0 || stat(target, &st) != 0 || !S_ISCHR(st.st_mode) ||
        st.st_uid != getuid())
        return {};
    return target;
}

std::string PortPath(const std::string& portName) {
    if (!portName.empty() && portName[0] == '/') return portName;
    std::string dev = "/dev/" + portName;
    struct stat st{};
    if (portName.empty() || portName.find('/') != std::string::npos || lstat(dev.c_str(), &st) == 0) return dev;
    // A simulator's port only from a private folder, and only to our own pseudo-terminal.
    std::string folder = SimulatorFolder();
    std::string simulated = folder + "/" + portName;
    if (IsPrivateFolder(folder, nullptr) && !OwnPseudoTerminal(simulated).empty()) return simulated;
    return dev;
}

std::string PortFileKey(const std::string& portName) {
    const std::string path = PortPath(portName);
    const std::string folder = SimulatorFolder() + "/";
    std::string key;
    if (path.compare(0, folder.size(), folder) == 0) {
        key = path.substr(folder.size());
    } else {
        key = RealPathOr(path);
        if (key.rfind("/dev/", 0) == 0) key.erase(0, 5);
    }
    const std::string safe = FileNameSafe(key);
    return safe.empty() ? std::string("_") : safe;
}

std::string StablePortName(const std::string& portName, const std::string& byIdFolder) {
    if (portName.empty()) return {};
    // A link (a simulator's registration among them) names the adapter, not the node.
    const std::string path = PortPath(portName);
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return portName;
    if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
        if (std::string link = LinkToDevice(st.st_rdev, byIdFolder); !link.empty()) return link;
    }
    return path.rfind("/dev/", 0) == 0 ? path.substr(5) : portName;
}

PortAccess PortAccessOf(const std::string& portName) {
    PortAccess access;
    access.path = PortPath(portName);
    struct stat st {};
    if (stat(access.path.c_str(), &st) != 0) return access;
    access.known = true;
    access.mode = st.st_mode & 07777;
    const passwd* owner = getpwuid(st.st_uid);
    access.owner = owner ? owner->pw_name : std::to_string(st.st_uid);
    const group* g = getgrgid(st.st_gid);
    access.group = g ? g->gr_name : std::to_string(st.st_gid);
    access.isOwner = geteuid() == st.st_uid;
    access.inGroup = getegid() == st.st_gid;
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(count));
        if (getgroups(count, groups.data()) == count)
            access.inGroup = access.inGroup || std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    }
    return access;
}

std::vector<PortHolder> PortHolders(const std::string& portName) {
    if (portName.empty()) return {};
    std::vector<PortHolder> holders = LockFileHolders(portName);
    struct stat st{};
    if (stat(PortPath(portName).c_str(), &st) == 0 && S_ISCHR(st.st_mode))
        for (const PortHolder& h : HoldersOfDevice(st.st_rdev))
            if (std::none_of(holders.begin(), holders.end(), [&](const PortHolder& l) { return l.pid == h.pid; }))
                holders.push_back(h);
    return holders;
}

int OpenUnclaimedPseudoTerminal(int flags, std::string* slavePath, std::vector<int>* passedOver,
                                const std::string& formerNode) {
    for (;;) {
        FdGuard master{posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | flags)};
        char name[128];
        if (master.fd < 0 || grantpt(master.fd) != 0 || unlockpt(master.fd) != 0 ||
            ptsname_r(master.fd, name, sizeof name) != 0)
            return -1;
        if (name != formerNode && !LockFileHolders(name).empty() && passedOver->size() < kMostPassedOver) {
            passedOver->push_back(master.Release());
            continue;
        }
        // Raw through the master, whose settings are the slave's: an echoing slave would
        // hand the stand-in its own words.
        termios tio{};
        if (tcgetattr(master.fd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(master.fd, TCSANOW, &tio);
        }
        *slavePath = name;
        return master.Release();
    }
}

intptr_t LockPortForSystem(const std::string& portName, long* holderPid, const std::string& lockFolder) {
    if (holderPid) *holderPid = 0;
    if (portName.empty()) return -ENOENT;
    const std::string lockPath = SystemLockPath(portName, lockFolder);
    // Written whole under a name of its own first: the lock never exists half written.
    std::string temporary = lockFolder + "/LTMP." + std::to_string(getpid()) + ".XXXXXX";
    FdGuard mine{::mkostemp(temporary.data(), O_CLOEXEC)};
    if (mine.fd < 0) return -errno;
    struct Unlinked {
        const std::string& path;
        ~Unlinked() { ::unlink(path.c_str()); }
    } temporaryGoes{temporary};
    char pid[16];
    const int length = std::snprintf(pid, sizeof pid, "%10ld\n", static_cast<long>(getpid()));
    // Readable by every program that checks the port, as lock files are.
    if (const ssize_t written = ::write(mine.fd, pid, static_cast<size_t>(length)); written != length)
        return written < 0 ? -errno : -EIO;
    if (fchmod(mine.fd, 0644) != 0) return -errno;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (::link(temporary.c_str(), lockPath.c_str()) == 0) {
            std::lock_guard<std::mutex> guard(heldLocksMutex);
            heldLocks[mine.fd] = lockPath;
            return mine.Release();
        }
        if (errno != EEXIST) return -errno;
        if (int answer = RemoveIfStale(lockPath, holderPid); answer != 0) return answer;
    }
    return -EBUSY;  // others kept taking it over as it went
}

void UnlockPortForSystem(intptr_t handle) {
    if (handle < 0) return;
    const int fd = static_cast<int>(handle);
    std::string path;
    {
        std::lock_guard<std::mutex> guard(heldLocksMutex);
        auto held = heldLocks.find(fd);
        if (held == heldLocks.end()) return;  // not a lock of ours: nothing to close either
        path = held->second;
        heldLocks.erase(held);
    }
    // Another program that took it for stale may have put its own lock there since.
    if (NamesOpenFile(path, fd)) ::unlink(path.c_str());
    ::close(fd);
}

int OpenPort(const std::string& portName, PortHandle* handle, std::string* holder) {
    return OpenDevice(portName, true, handle, holder);
}

int CheckPort(const std::string& portName, std::string* holder) {
    PortHandle ignored = kNoHandle;
    return OpenDevice(portName, false, &ignored, holder);
}

int LookAtPort(const std::string& portName, std::string* holder, const std::string& sysClassTty) {
    if (portName.empty()) return ENOENT;
    const std::string path = PortPath(portName);
    // The node a link (a by-id name) leads to is the one sysfs knows.
    const std::string node = RealPathOr(path);
    const std::string base = node.substr(node.find_last_of('/') + 1);
    struct stat st{};
    if (base.empty() || stat((sysClassTty + "/" + base + "/device").c_str(), &st) != 0) return CheckPort(portName, holder);
    if (stat(path.c_str(), &st) != 0) return errno;
    if (auto holders = PortHolders(portName); !holders.empty()) {
        if (holder) *holder = DescribeHolders(holders);
        return EBUSY;
    }
    if (access(path.c_str(), R_OK | W_OK) != 0) return errno;
    if (!S_ISCHR(st.st_mode)) return ENOTTY;
    return 0;
}

bool KnownWithoutHardware(const std::string& portName) {
    std::string base = portName.substr(portName.find_last_of('/') + 1);
    std::ifstream in("/sys/class/tty/" + base + "/type");
    int type = -1;
    return in >> type && type == 0;  // serial core's PORT_UNKNOWN: no UART answered
}

std::string ProbeSlotName(int n) { return "ttyS" + std::to_string(n - 1); }

bool CheckFindsFree(int error) { return error == 0 || error == EACCES || error == EPERM; }

bool CheckFindsBusy(int error) { return error == EBUSY; }

int32_t OpenFailureStatus(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:      // present in /dev but not working: not available either
        case ENOTDIR:
            return vorn::kPortNotFound;
        case EBUSY:
            return vorn::kPortInUse;
        case EACCES:
        case EPERM:
            return vorn::kPortNoPermission;
        case ENOTTY:
            return vorn::kNotSerialPort;
        default:
            return -error;
    }
}

int ConfigureLine(PortHandle h, uint32_t baud, LineStep* failed) {
    *failed = LineStep::None;
    termios tio{};
    if (tcgetattr(Fd(h), &tio) != 0) {
        *failed = LineStep::ReadSettings;
        return errno;
    }
    speed_t speed = SpeedOf(baud);
    if (speed == B0) {
        *failed = LineStep::ApplySettings;
        return EINVAL;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    // Time-outs: return at once with what has arrived, else wait up to 100 ms.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;
    if (tcsetattr(Fd(h), TCSANOW, &tio) != 0) {
        *failed = LineStep::ApplySettings;
        return errno;
    }
    return 0;
}

int SetQueueSizes(PortHandle, size_t) { return 0; }  // the tty driver's queues are fixed

namespace {
// The serial flags of the ports this program changed, by descriptor, for their close.
std::mutex gLatencyMutex;
std::map<int, int> gDriverFlags;
}  // namespace

#ifdef __linux__
int AskLowLatency(PortHandle h) {
    serial_struct info{};
    if (ioctl(Fd(h), TIOCGSERIAL, &info) != 0) return errno;
    if (info.flags & ASYNC_LOW_LATENCY) return 0;  // already so: nothing to give back
    const int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(Fd(h), TIOCSSERIAL, &info) != 0) return errno;
    std::lock_guard<std::mutex> lock(gLatencyMutex);
    gDriverFlags[Fd(h)] = before;
    return 0;
}
#else
int AskLowLatency(PortHandle) { return ENOTSUP; }
#endif

int SetBaud(PortHandle h, uint32_t baud) {
    termios tio{};
    if (tcgetattr(Fd(h), &tio) != 0) return errno;
    speed_t speed = SpeedOf(baud);
    if (speed == B0) return EINVAL;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(Fd(h), TCSANOW, &tio) != 0) return errno;
    return 0;
}

int SetDtr(PortHandle h, bool on) {
    int bits = TIOCM_DTR | (on ? TIOCM_RTS : 0);
    if (ioctl(Fd(h), on ? TIOCMBIS : TIOCMBIC, &bits) != 0) return errno;
    return 0;
}

bool IsNoLineControl(int error) { return error == ENOTTY || error == EINVAL || error == ENOTSUP; }

void ClearLineErrors(PortHandle) {}  // termios reports no sticky line errors

int PurgeReceive(PortHandle h) { return tcflush(Fd(h), TCIFLUSH) == 0 ? 0 : errno; }

int ReadPort(PortHandle h, void* into, size_t capacity, size_t* got) {
    *got = 0;
    if (capacity == 0) return 0;
    for (;;) {
        ssize_t n = ::read(Fd(h), into, capacity);
        if (n > 0) {
            *got = static_cast<size_t>(n);
            return 0;
        }
        if (n == 0) return HungUp(h) ? EIO : 0;
        if (errno == EINTR) continue;
        return errno;
    }
}

int WritePort(PortHandle h, const void* bytes, size_t count, size_t* written) {
    *written = 0;
    const char* p = static_cast<const char*>(bytes);
    // Non-blocking while writing, so a stalled line ends in the time-out, not a hang.
    int flags = fcntl(Fd(h), F_GETFL);
    fcntl(Fd(h), F_SETFL, flags | O_NONBLOCK);
    struct Restore {
        int fd, flags;
        ~Restore() { fcntl(fd, F_SETFL, flags); }
    } restore{Fd(h), flags};
    long deadline = MsNow() + 100 + 10 * static_cast<long>(count);
    while (*written < count) {
        long left = deadline - MsNow();
        if (left <= 0) break;
        pollfd pfd{Fd(h), POLLOUT, 0};
        int r = poll(&pfd, 1, static_cast<int>(left));
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (r == 0) break;
        // Writable or not, a hung-up line takes nothing more: fail now, not at the deadline.
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) return EIO;
        ssize_t n = ::write(Fd(h), p + *written, count - *written);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return errno;
        }
        *written += static_cast<size_t>(n);
    }
    return 0;
}

int ClosePort(PortHandle h) {
#ifdef __linux__
    {
        std::lock_guard<std::mutex> lock(gLatencyMutex);
        if (auto saved = gDriverFlags.find(Fd(h)); saved != gDriverFlags.end()) {
            serial_struct info{};
            if (ioctl(Fd(h), TIOCGSERIAL, &info) == 0) {
                info.flags = saved->second;
                ioctl(Fd(h), TIOCSSERIAL, &info);
            }
            gDriverFlags.erase(saved);
        }
    }
#endif
    ioctl(Fd(h), TIOCNXCL);
    return ::close(Fd(h)) == 0 ? 0 : errno;
}

}  // namespace vorn::platform
