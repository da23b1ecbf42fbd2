#pragma once
// The "Computer Information" line of a feedback post: what operating system sent it.
// The platform query lives in one file per platform, chosen by the build.
#include <string>
#include <string_view>

namespace vorn::feedback {

// Name + service-pack text + " (Version <major>.<minor> build <build>)". The name carries
// its own trailing blank (or is empty).
std::string FormatComputerInformation(const std::string& name, const std::string& servicePack, unsigned major,
                                      unsigned minor, unsigned build);

// The running system, described in the shape above (platform file).
std::string ComputerInformation();

// Linux: "6.1.0-18-amd64" gives 6, 1, 0; missing parts are 0.
struct KernelRelease {
    unsigned major = 0, minor = 0, patch = 0;
};
KernelRelease ParseKernelRelease(std::string_view release);
// The PRETTY_NAME of an os-release file's text ("" when it has none); quotes removed.
std::string PrettyName(std::string_view osRelease);

// Windows, as GetVersionEx reports it: the name for a platform identifier and version
// (Windows builds only; tests compile the table on every platform).
inline constexpr unsigned kPlatformWin32s = 0;
inline constexpr unsigned kPlatformWindows9x = 1;
inline constexpr unsigned kPlatformWindowsNT = 2;
std::string WindowsVersionName(unsigned platformId, unsigned major, unsigned minor);
// The 9x family keeps the version in the high word of its build number.
unsigned WindowsBuildNumber(unsigned platformId, unsigned buildNumber);

}  // namespace vorn::feedback
