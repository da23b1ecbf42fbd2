// Computer information on Linux and other Unix systems: the distribution's name and
// version (from os-release) as the name, the kernel release as the service-pack text,
// and the kernel's version numbers.
#include "window/ComputerInfo.h"

#include <sys/utsname.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace vorn::feedback {

std::string ComputerInformation() {
    std::string name;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        name = PrettyName(text.str());
        break;
    }
    if (!name.empty()) name += ' ';
    utsname uts{};
    std::string kernelType, kernel;
    if (uname(&uts) == 0) {
        kernelType = uts.sysname;
        kernel = uts.release;
    }
    for (char& c : kernelType) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!kernelType.empty()) kernelType[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(kernelType[0])));
    const KernelRelease release = ParseKernelRelease(kernel);
    return FormatComputerInformation(name, kernelType + ' ' + kernel, release.major, release.minor, release.patch);
}

}  // namespace vorn::feedback
