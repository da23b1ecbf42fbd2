// Computer information on Windows: GetVersionEx, named by the version table.
#include "feedback/ComputerInfo.h"

#include <windows.h>

namespace vorn::feedback {

QString ComputerInformation() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info)) {
        return FormatComputerInformation(QStringLiteral("Unknown Windows Platform "), QString(), 0, 0, 0);
    }
    const QString servicePack = QString::fromWCharArray(info.szCSDVersion);
    return FormatComputerInformation(WindowsVersionName(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion),
                                     servicePack, info.dwMajorVersion, info.dwMinorVersion,
                                     WindowsBuildNumber(info.dwPlatformId, info.dwBuildNumber));
}

}  // namespace vorn::feedback
