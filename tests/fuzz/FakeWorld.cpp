// Fakes for serial/SerialPlatform.h and common/Timing.h, linked instead of the real files
// into the fuzz build only.
#include "FakeWorld.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "serial/SerialPlatform.h"
#include "common/Status.h"
#include "common/Text.h"
#include "common/Timing.h"

namespace {

struct World {
    std::string_view script;  // answers not yet released
    std::string queue;        // released, not yet read
    std::string written;
    uint32_t clock = 0;
    bool open = false;
};

World& TheWorld() {
    static World world;
    return world;
}

constexpr uint32_t kReadSliceMs = 100;  // what an idle read of the real line costs
constexpr size_t kPiece = 7;            // answers arrive in pieces, as over a real line

void ReleaseNextAnswer() {
    World& w = TheWorld();
    if (w.script.empty()) return;
    const size_t cut = w.script.find(vorn::fuzz::kAnswerSeparator);
    w.queue.append(w.script.substr(0, cut));
    w.script = cut == std::string_view::npos ? std::string_view{} : w.script.substr(cut + 1);
}

}  // namespace

namespace vorn::fuzz {

void ResetWorld(std::string_view answers) {
    World& w = TheWorld();
    w.script = answers;
    w.queue.clear();
    w.written.clear();
    w.open = false;
}

std::string_view Written() { return TheWorld().written; }

}  // namespace vorn::fuzz

namespace vorn {

uint32_t MsTimer() { return TheWorld().clock; }
void SleepMs(uint32_t ms) { TheWorld().clock += ms; }
int32_t MsDelay(uint32_t ms) {
    SleepMs(ms);
    return 0;
}
void SetEventPump(EventPump) {}
int32_t LocalUtcOffset() { return 0; }

}  // namespace vorn

namespace vorn::platform {

std::string PortPath(const std::string& portName) { return "/dev/" + portName; }
std::string PortFileKey(const std::string& portName) { return FileNameSafe(portName); }
std::string SimulatorFolder() { return {}; }
std::string OwnPseudoTerminal(const std::string&) { return {}; }
std::vector<PortHolder> PortHolders(const std::string&) { return {}; }
std::string StablePortName(const std::string& portName, const std::string&) { return portName; }
// No system here to share a lock with: callers go on without one, as they do where no
// lock can be made.
intptr_t LockPortForSystem(const std::string&, long* holderPid, const std::string&) {
    if (holderPid) *holderPid = 0;
    return -ENOSYS;
}
void UnlockPortForSystem(intptr_t) {}

int OpenPort(const std::string&, PortHandle* handle, std::string*) {
    TheWorld().open = true;
    *handle = 3;
    return 0;
}
int CheckPort(const std::string&, std::string*) { return 0; }
int LookAtPort(const std::string&, std::string*, const std::string&) { return 0; }
int ClosePort(PortHandle) {
    TheWorld().open = false;
    return 0;
}
int32_t OpenFailureStatus(int error) { return -error; }
bool KnownWithoutHardware(const std::string&) { return false; }
// The port list reads CheckPort's answers as the POSIX backend does.
bool CheckFindsFree(int error) { return error == 0 || error == EACCES || error == EPERM; }
bool CheckFindsBusy(int error) { return error == EBUSY; }
std::string ProbeSlotName(int n) { return "ttyS" + std::to_string(n - 1); }
int ConfigureLine(PortHandle, uint32_t, LineStep* failed) {
    if (failed) *failed = LineStep::None;
    return 0;
}
int SetQueueSizes(PortHandle, size_t) { return 0; }
int AskLowLatency(PortHandle) { return ENOTTY; }  // as a pseudo-terminal answers
int SetBaud(PortHandle, uint32_t) { return 0; }
int SetDtr(PortHandle, bool) { return 0; }
void ClearLineErrors(PortHandle) {}
int PurgeReceive(PortHandle) {
    TheWorld().queue.clear();
    return 0;
}

int ReadPort(PortHandle, void* into, size_t capacity, size_t* got) {
    World& w = TheWorld();
    *got = 0;
    if (w.queue.empty()) {
        w.clock += kReadSliceMs;
        return 0;
    }
    const size_t n = std::min({capacity, kPiece, w.queue.size()});
    std::memcpy(into, w.queue.data(), n);
    w.queue.erase(0, n);
    *got = n;
    return 0;
}

int WritePort(PortHandle, const void* bytes, size_t count, size_t* written) {
    World& w = TheWorld();
    // Keep the record bounded: a long conversation only needs its tail for a report.
    if (w.written.size() < 64 * 1024) w.written.append(static_cast<const char*>(bytes), count);
    *written = count;
    ReleaseNextAnswer();
    return 0;
}

bool IsNoLineControl(int) { return false; }

}  // namespace vorn::platform
