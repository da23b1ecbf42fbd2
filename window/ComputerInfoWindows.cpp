// Computer information on Windows: GetVersionEx, named by the version table.
#include "window/ComputerInfo.h"

#include <windows.h>

namespace vorn::feedback {

std::string ComputerInformation() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) return FormatComputerInformation("Unknown Windows Platform ", {}, 0, 0, 0);
    std::string servicePack;
    const int n = WideCharToMultiByte(CP_UTF8, 0, info.szCSDVersion, -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
        servicePack.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, info.szCSDVersion, -1, servicePack.data(), n, nullptr, nullptr);
        servicePack.resize(static_cast<size_t>(n - 1));
    }
    return FormatComputerInformation(WindowsVersionName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion),
                                     servicePack, info.dwMajorVersion, info.dwMinorVersion,
                                     WindowsBuildNumber(info.dwPlatformId, info.dwBuildNumber));
}

}  // namespace vorn::feedback
