// The Windows version names of the feedback post, as one table and one lookup.
#include "window/ComputerInfo.h"

#include <array>
#include <climits>

namespace vorn::feedback {
namespace {

constexpr unsigned kAny = UINT_MAX;

struct NameRow {
    unsigned platform;
    unsigned majorLow, majorHigh;
    unsigned minor;    // kAny: every minor version
    const char* name;  // nullptr: "Windows NT <major>.<minor> "
};

// First matching row wins.
constexpr std::array<NameRow, 12> kNames{{
    {kPlatformWindows9x, 4, 4, 0, "Windows 95 "},
    {kPlatformWindows9x, 4, 4, 10, "Windows 98 "},
    {kPlatformWindows9x, 4, 4, 90, "Windows ME "},
    {kPlatformWindows9x, 4, 4, kAny, ""},
    {kPlatformWindows9x, 0, kAny, kAny, "Unknown Win32 "},
    {kPlatformWindowsNT, 0, 4, kAny, nullptr},
    {kPlatformWindowsNT, 5, 5, 0, "Windows 2000 "},
    {kPlatformWindowsNT, 5, 5, 1, "Windows XP "},
    {kPlatformWindowsNT, 5, 5, 2, "Windows Server 2003 "},
    {kPlatformWindowsNT, 5, 5, kAny, ""},
    {kPlatformWindowsNT, 6, 6, kAny, "Windows Vista "},
    {kPlatformWindowsNT, 7, kAny, kAny, "Unknown WinNT "},
}};

}  // namespace

std::string WindowsVersionName(unsigned platformId, unsigned major, unsigned minor) {
    for (const NameRow& row : kNames) {
        if (row.platform != platformId || major < row.majorLow || major > row.majorHigh) continue;
        if (row.minor != kAny && row.minor != minor) continue;
        if (!row.name) return "Windows NT " + std::to_string(major) + "." + std::to_string(minor) + " ";
        return row.name;
    }
    return "Unknown Windows Platform ";
}

unsigned WindowsBuildNumber(unsigned platformId, unsigned buildNumber) {
    return platformId == kPlatformWindows9x ? (buildNumber & 0xFFFFu) : buildNumber;
}

}  // namespace vorn::feedback
