#include "feedback/ComputerInfo.h"

#include <QStringList>

namespace vorn::feedback {

QString FormatComputerInformation(const QString& name, const QString& servicePack, unsigned major, unsigned minor,
                                  unsigned build) {
    return name + servicePack + QStringLiteral(" (Version %1.%2 build %3)").arg(major).arg(minor).arg(build);
}

KernelRelease ParseKernelRelease(const QString& release) {
    // Only the leading dotted numbers count: "6.1.0-18-amd64" stops at the hyphen.
    KernelRelease out;
    unsigned* parts[] = {&out.major, &out.minor, &out.patch};
    int part = 0;
    QString digits;
    auto flush = [&] {
        if (part < 3) *parts[part] = digits.isEmpty() ? 0 : digits.toUInt();
        digits.clear();
        ++part;
    };
    for (QChar c : release) {
        if (c.isDigit()) {
            digits += c;
        } else if (c == u'.' && !digits.isEmpty()) {
            flush();
            if (part >= 3) return out;
        } else {
            break;
        }
    }
    if (!digits.isEmpty()) flush();
    return out;
}

}  // namespace vorn::feedback
