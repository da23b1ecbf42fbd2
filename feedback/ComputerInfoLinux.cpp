// Computer information on Linux and other Unix systems: the distribution's name and
// version (from os-release) as the name, the kernel release as the service-pack text,
// and the kernel's version numbers.
#include "feedback/ComputerInfo.h"

#include <QSysInfo>

namespace vorn::feedback {

QString ComputerInformation() {
    QString name = QSysInfo::prettyProductName();
    if (!name.isEmpty()) name += u' ';
    const QString kernel = QSysInfo::kernelVersion();
    const KernelRelease release = ParseKernelRelease(kernel);
    QString kernelText = QSysInfo::kernelType();
    if (!kernelText.isEmpty()) kernelText[0] = kernelText[0].toUpper();
    return FormatComputerInformation(name, kernelText + u' ' + kernel, release.major, release.minor, release.patch);
}

}  // namespace vorn::feedback
