#pragma once
// The platform calls behind VornSerial and the port list's busy check. One backend file
// per platform implements them (SerialPlatformPosix.cpp here); the shared logic in
// VornSerial.cpp never calls the operating system itself.
//
// Every function returns 0 on success or the platform's error number (errno on POSIX,
// GetLastError on Windows), never negated; VornSerial negates what it reports.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn::platform {

using PortHandle = intptr_t;
inline constexpr PortHandle kNoHandle = 0;        // closed
inline constexpr PortHandle kInvalidHandle = -1;  // a failed open leaves this behind

// The device path of a port name: a name that starts with '/' is used as given; any
// other is a name under /dev (ttyUSB0, ttyS0, pts/3), or, when /dev has no such name, a
// port a simulated instrument registered under that name (vornsim0).
std::string PortPath(const std::string& portName);

// One name for a port, whichever way it is spelt ("ttyUSB0", "/dev/ttyUSB0", a link to
// it; "COM3", "\\\\.\\COM3"), fit for a file name: the files an update keeps per port are
// named with it. A simulated instrument's port keeps the name it registered.
std::string PortFileKey(const std::string& portName);

// The name of a port that stays the same when its USB adapter comes back under another
// kernel node: a simulator's registered name as it is ("vornsim0"); a path that is a
// symbolic link (a /dev/serial/by-id name, or a link the user made) as given; a kernel
// node ("ttyUSB0", "/dev/ttyUSB0") the by-id link that resolves to it, when `byIdFolder`
// has one (the first by name), else the node's name under /dev ("ttyUSB0", "pts/3"); on
// Windows the COM name ("COM3"). Never empty for a non-empty name.
std::string StablePortName(const std::string& portName, const std::string& byIdFolder = "/dev/serial/by-id");

// Where the system's port locks are (Linux; /var/lock links to it on Debian).
inline constexpr char kSystemLockFolder[] = "/run/lock";
// The lock every serial program on the system honours for the device behind `portName`,
// whichever way the port is spelt (a /dev/serial/by-id link, "ttyUSB0", "/dev/ttyUSB0", a
// simulator's registered name such as "vornsim0"). On Linux the UUCP lock file
// <lockFolder>/LCK..<device> in the HDB format (the pid as ten characters, right-aligned,
// and a line feed), created whole under another name and then linked to its own; the
// device is the resolved node's name under /dev with '/' written '_' ("ttyUSB0", "pts_5"
// for /dev/pts/5, as ser2net writes it). A lock file whose process is gone is taken over,
// and so is one that names no process once it is old enough to have been written whole.
// On Windows a global named mutex for the COM port (`lockFolder` unused).
// The handle (>= 0), which the caller gives back to UnlockPortForSystem. -EBUSY when a
// live process other than this one holds it (*holderPid receives its pid when known, 0
// otherwise; may be null), or when this process holds it through another handle. Another
// negated error when no lock can be made here (no lock folder, a folder this user cannot
// write, a dead process's lock file this user may not remove): the caller then goes on
// without it.
intptr_t LockPortForSystem(const std::string& portName, long* holderPid, const std::string& lockFolder = kSystemLockFolder);
// Removes the lock file the handle made, only while it is still ours, and closes the
// handle; a negative handle is ignored.
void UnlockPortForSystem(intptr_t handle);

// Where simulated instruments register their ports: $XDG_RUNTIME_DIR/vornsim, or
// /tmp/vornsim-<uid> without it. Each port is a link named after it to its
// pseudo-terminal, with "<name>.desc" holding a one-line description. Another user can
// create /tmp/vornsim-<uid> first, so the folder counts only when it is private.
std::string SimulatorFolder();
// The pseudo-terminal that the link at `path` names, when it is one this user owns;
// empty for anything else (another user's terminal, a file, a missing target).
std::string OwnPseudoTerminal(const std::string& path);

// Who may open a port's device node: its owner, group and mode, and whether this account
// is that owner or in that group. `known` false where the system has no such thing (Windows)
// or the node cannot be looked at.
struct PortAccess {
    bool known = false;
    std::string path, owner, group;
    unsigned mode = 0;  // the permission bits, 0644 style
    bool isOwner = false, inGroup = false;
};
PortAccess PortAccessOf(const std::string& portName);

// A process that has a port open.
struct PortHolder {
    long pid = 0;
    std::string program;  // its name as the system shows it ("ModemManager", "screen")
};

// Other processes that hold the port right now: the owner of a live UUCP lock file (the
// one LockPortForSystem makes, in kSystemLockFolder), and every process with the same
// device open, including programs that take no lock at all (a terminal, screen, brltty,
// ModemManager). Processes we may not look into are not found. Our own process never
// counts: its other handles are kept out by the lock.
std::vector<PortHolder> PortHolders(const std::string& portName);
#ifndef _WIN32
// A new pseudo-terminal, raw, for a stand-in instrument: its master (opened with O_RDWR,
// O_NOCTTY, O_CLOEXEC and `flags`), its slave's path in *slavePath; -1 when none can be
// made. The kernel hands a freed node number to the next taker at once, while a lock
// file can outlive the node it names (an update holds its port's lock through the
// instrument's restart, the port closed), and every serial program would take the new
// node for busy. A node whose name such a live lock claims is passed over: kept open in
// *passedOver, so that it is not handed out again (the caller closes those), at most
// kMostPassedOver of them; beyond that the node is taken as it is. `formerNode`, the node
// the stand-in had before it was unplugged, is taken even so: the lock on it is likely the
// update waiting for it, and an adapter plugged in again gets its free node back.
inline constexpr size_t kMostPassedOver = 16;
int OpenUnclaimedPseudoTerminal(int flags, std::string* slavePath, std::vector<int>* passedOver,
                                const std::string& formerNode = {});
#endif
// "ModemManager (pid 812)", several joined by ", "; empty for none.
std::string DescribeHolders(const std::vector<PortHolder>& holders);

// Opens the port for exclusive reading and writing and marks it so while the handle
// lives. A port another program holds gives EBUSY (its holders described in *holder
// when known); a missing one ENOENT; one the user may not open EACCES; a device that is
// not a serial port ENOTTY.
int OpenPort(const std::string& portName, PortHandle* handle, std::string* holder = nullptr);
// Whether OpenPort would succeed now, with the error it would give otherwise. Leaves the
// port exactly as it was: no exclusive mark, no lock kept.
int CheckPort(const std::string& portName, std::string* holder = nullptr);
// CheckPort for the port list, without opening a real UART: an open raises DTR, and that
// resets what some adapters have attached. On Linux a port whose node has hardware behind
// it (<sysClassTty>/<node>/device is there: ttyS*, ttyUSB*, ttyACM*) is looked at
// instead: ENOENT without the node, EBUSY when PortHolders finds someone (described in
// *holder), EACCES (or access's other refusal) when this user may not read and write it,
// ENOTTY when the node is not a character device, else 0. A holder that PortHolders
// cannot see (another user's process) shows only when the port is opened for the update.
// Anything else (a pseudo-terminal, a simulator's port) is CheckPort's, as on Windows.
int LookAtPort(const std::string& portName, std::string* holder = nullptr,
               const std::string& sysClassTty = "/sys/class/tty");
// Closes a handle of OpenPort, clearing its exclusive mark first: the mark belongs to
// the device and would otherwise outlive the handle while anyone else has it open.
int ClosePort(PortHandle handle);

// The serial layer's status for a failed OpenPort: kPortNotFound, kPortInUse,
// kPortNoPermission, kNotSerialPort, or the error negated.
int32_t OpenFailureStatus(int error);

// Whether the system knows that nothing answers behind a port of this name (a legacy
// serial port node without a UART); false where it cannot tell.
bool KnownWithoutHardware(const std::string& portName);

// How the port list reads what CheckPort gives: free (the user can open it, or only lacks
// permission: nobody holds it), or there but held by another program. Anything else
// means no port of that name.
bool CheckFindsFree(int error);
bool CheckFindsBusy(int error);
// The name of probe slot n (1..16): ttyS0..ttyS15 (COM1..COM16 on Windows).
std::string ProbeSlotName(int n);

// Which step of line configuration failed.
enum class LineStep { None, ReadSettings, ApplySettings, Timeouts };

// Raw 8N1, no flow control, DTR and RTS on, reads that return at once with what has
// arrived or else wait up to 100 ms for the first byte.
int ConfigureLine(PortHandle handle, uint32_t baud, LineStep* failed);
int SetQueueSizes(PortHandle handle, size_t bytes);
// Asks the driver to hand over received bytes at once rather than at its latency timer
// (Linux: ASYNC_LOW_LATENCY, 16 ms on the common USB adapters otherwise); the driver's own
// flags come back when the port is closed. 0 when asked, else the driver's refusal (a
// pseudo-terminal has no such flag); nothing to ask on Windows.
int AskLowLatency(PortHandle handle);
int SetBaud(PortHandle handle, uint32_t baud);
int SetDtr(PortHandle handle, bool on);
void ClearLineErrors(PortHandle handle);
int PurgeReceive(PortHandle handle);
// Reads up to `capacity` bytes with the time-outs of ConfigureLine; `got` may be 0. A
// port that hung up (its device is gone) fails with EIO instead, as a write to it does.
int ReadPort(PortHandle handle, void* into, size_t capacity, size_t* got);
// Writes with a total time-out of 10 ms per byte plus 100 ms; `written` may fall short.
// A port that hung up fails at once with EIO (ENXIO or ENODEV from some drivers), an
// error that OpenFailureStatus counts as a missing port.
int WritePort(PortHandle handle, const void* bytes, size_t count, size_t* written);

// Whether DTR control is simply not available on this kind of port (pseudo-terminals).
bool IsNoLineControl(int error);

}  // namespace vorn::platform
