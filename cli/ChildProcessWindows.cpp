// Child processes on Windows: not built yet. The bench update says so and ends; a single
// update per port works as on Linux.
#include "cli/ChildProcess.h"

#include <windows.h>

namespace vorn::platform {

int StartChild(const std::string&, const std::vector<std::string>&, ChildProcess*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void ReadChildren(std::vector<ChildProcess>&, int, std::vector<std::string>*, std::vector<std::string>*) {}

void IgnoreBrokenPipe() {}  // a write to a broken pipe fails with an error: nothing to change

std::string OwnProgramFile() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace vorn::platform
