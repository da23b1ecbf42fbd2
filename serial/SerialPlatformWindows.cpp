// Windows backend of the serial layer: the Win32 comm API on \\.\COMn. Errors are the
// numbers GetLastError gives.
#include "serial/SerialPlatform.h"

#include "common/Status.h"
#include "common/Text.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <climits>

namespace vorn::platform {
namespace {

HANDLE Handle(PortHandle h) { return reinterpret_cast<HANDLE>(h); }

// A COM port's name without the device prefix, upper-cased: "\\\\.\\com3" -> "COM3".
std::string ComName(const std::string& portName) {
    std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

int LastError() {
    DWORD e = GetLastError();
    return e != 0 ? static_cast<int>(e) : static_cast<int>(ERROR_GEN_FAILURE);
}

// Exclusive (share mode 0), an existing device only, synchronous I/O.
HANDLE OpenDevice(const std::string& portName) {
    return CreateFileA(PortPath(portName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Simulated instruments register no ports here: under Wine a COM port of the prefix is
// linked to the simulator's pseudo-terminal instead.
std::string SimulatorFolder() { return {}; }

std::string OwnPseudoTerminal(const std::string&) { return {}; }

// COM3 -> \\.\COM3, which also reaches COM10 and above; a name that is already a device
// path (\\.\COM3) is used as given.
std::string PortPath(const std::string& portName) {
    if (portName.rfind("\\\\", 0) == 0) return portName;
    return "\\\\.\\" + portName;
}

// COM names are not case sensitive: one spelling for the files named after a port.
std::string PortFileKey(const std::string& portName) {
    const std::string safe = FileNameSafe(ComName(portName));
    return safe.empty() ? std::string("_") : safe;
}

// A COM port keeps its name when its adapter comes back: Windows remembers it per adapter.
std::string StablePortName(const std::string& portName, const std::string&) {
    const std::string name = ComName(portName);
    return name.empty() ? portName : name;
}

// A named mutex exists while any process has it open, and the system closes a process's
// handles however it ends: its existence is the lock. "Global\\" reaches every session,
// so every account's programs meet there; Wine keeps one namespace per wineserver (per
// prefix and user), so under Wine the lock reaches no further than that. Should a system
// refuse the global name, the session's own name ("Local\\") still keeps out the user's
// own programs.
intptr_t LockPortForSystem(const std::string& portName, long* holderPid, const std::string&) {
    if (holderPid) *holderPid = 0;
    if (portName.empty()) return -ENOENT;
    const std::string name = "VornBSL-" + PortFileKey(portName);
    HANDLE h = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    DWORD error = GetLastError();
    // Another account's mutex, which its access list keeps us from opening: held all the same.
    if (!h && error == ERROR_ACCESS_DENIED) return -EBUSY;
    if (!h) {
        h = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
        error = GetLastError();
    }
    if (!h) return error == ERROR_ACCESS_DENIED ? -EBUSY : -EIO;
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return -EBUSY;
    }
    return reinterpret_cast<intptr_t>(h);
}

void UnlockPortForSystem(intptr_t handle) {
    if (handle >= 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

// Windows does not tell who holds a port: an open refused with "access denied" is all.
// Windows has no device node modes: a port is either free or held.
PortAccess PortAccessOf(const std::string& portName) {
    PortAccess access;
    access.path = PortPath(portName);
    return access;
}

std::vector<PortHolder> PortHolders(const std::string&) { return {}; }

int OpenPort(const std::string& portName, PortHandle* handle, std::string* holder) {
    *handle = kInvalidHandle;
    if (holder) holder->clear();
    if (portName.empty()) return ERROR_FILE_NOT_FOUND;
    HANDLE h = OpenDevice(portName);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    *handle = reinterpret_cast<PortHandle>(h);
    return 0;
}

// Share mode 0 is the whole mark: closing the test handle leaves the port as it was.
int CheckPort(const std::string& portName, std::string* holder) {
    if (holder) holder->clear();
    if (portName.empty()) return ERROR_FILE_NOT_FOUND;
    HANDLE h = OpenDevice(portName);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    CloseHandle(h);
    return 0;
}

// Nothing on Windows raises a line when a COM port is opened and closed at once.
int LookAtPort(const std::string& portName, std::string* holder, const std::string&) {
    return CheckPort(portName, holder);
}

int ClosePort(PortHandle h) { return CloseHandle(Handle(h)) ? 0 : LastError(); }

bool KnownWithoutHardware(const std::string&) { return false; }

std::string ProbeSlotName(int n) { return "COM" + std::to_string(n); }

bool CheckFindsFree(int error) { return error == 0; }

// Access denied, device not functioning, sharing violation, semaphore time-out: the port is
// there, and another program has it.
bool CheckFindsBusy(int error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_GEN_FAILURE:
        case ERROR_SHARING_VIOLATION:
        case ERROR_SEM_TIMEOUT: return true;
        default: return false;
    }
}

int32_t OpenFailureStatus(int error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_COMMAND:            // a USB adapter pulled out under an open handle
        case ERROR_DEVICE_NOT_CONNECTED:
            return vorn::kPortNotFound;
        case ERROR_ACCESS_DENIED:          // how Windows reports a port another program holds
        case ERROR_SHARING_VIOLATION:
            return vorn::kPortInUse;
        default:
            return -error;
    }
}

int ConfigureLine(PortHandle h, uint32_t baud, LineStep* failed) {
    *failed = LineStep::None;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(h), &dcb)) {
        *failed = LineStep::ReadSettings;
        return LastError();
    }
    // 8N1, binary, no flow control, DTR and RTS on; everything else as the port had it.
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(Handle(h), &dcb)) {
        *failed = LineStep::ApplySettings;
        return LastError();
    }
    // Reads return at once with what has arrived, else wait up to 100 ms for the first
    // byte; writes take at most 10 ms per byte plus 100 ms.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 100;
    if (!SetCommTimeouts(Handle(h), &timeouts)) {
        *failed = LineStep::Timeouts;
        return LastError();
    }
    return 0;
}

int AskLowLatency(PortHandle) { return 0; }  // the adapter's latency is its driver's setting there

int SetQueueSizes(PortHandle h, size_t bytes) {
    DWORD size = bytes > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes);
    return SetupComm(Handle(h), size, size) ? 0 : LastError();
}

int SetBaud(PortHandle h, uint32_t baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(h), &dcb)) return LastError();
    dcb.BaudRate = baud;
    return SetCommState(Handle(h), &dcb) ? 0 : LastError();
}

// Raising DTR raises RTS too; lowering it leaves RTS alone.
int SetDtr(PortHandle h, bool on) {
    if (!EscapeCommFunction(Handle(h), on ? SETDTR : CLRDTR)) return LastError();
    if (on && !EscapeCommFunction(Handle(h), SETRTS)) return LastError();
    return 0;
}

// Some drivers (and Wine on a pseudo-terminal, with ERROR_NOT_SUPPORTED) have no modem
// lines to set; the line works without them.
bool IsNoLineControl(int error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

void ClearLineErrors(PortHandle h) {
    DWORD errors = 0;
    COMSTAT stat{};
    ClearCommError(Handle(h), &errors, &stat);
}

int PurgeReceive(PortHandle h) { return PurgeComm(Handle(h), PURGE_RXCLEAR) ? 0 : LastError(); }

int ReadPort(PortHandle h, void* into, size_t capacity, size_t* got) {
    *got = 0;
    if (capacity == 0) return 0;
    DWORD want = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
    DWORD n = 0;
    if (!ReadFile(Handle(h), into, want, &n, nullptr)) return LastError();
    *got = n;
    return 0;
}

int WritePort(PortHandle h, const void* bytes, size_t count, size_t* written) {
    *written = 0;
    if (count == 0) return 0;
    DWORD want = count > MAXDWORD ? MAXDWORD : static_cast<DWORD>(count);
    DWORD n = 0;
    // The write time-outs of ConfigureLine bound the call; a short count is no error.
    if (!WriteFile(Handle(h), bytes, want, &n, nullptr)) return LastError();
    *written = n;
    return 0;
}

}  // namespace vorn::platform
