// The feedback form's rules on what the user typed and configured (feedback/FeedbackText):
// the address checks, the service address and the quoted file name. Input: one byte for
// the "respond via" choice, then name, email, telephone, representative's email and the
// configured service address, one a line. Needs QtCore only, no display.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "feedback/FeedbackText.h"

using namespace vorn::feedback;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    QString fields[5];
    for (QString& field : fields) {
        const size_t end = rest.find('\n');
        field = QString::fromUtf8(rest.data(), static_cast<qsizetype>(std::min(end, rest.size())));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    FeedbackEntries entries{fields[0], fields[1], fields[2], fields[3], static_cast<int8_t>(data[0]) % 4};
    const auto problem = ValidateFeedback(entries);
    if (!problem) {
        // What passes has a name, a way back unless none was asked for, and plausible addresses.
        Check(!entries.name.isEmpty());
        Check(entries.respondVia == kRespondViaNone || !entries.email.isEmpty() || !entries.telephone.isEmpty());
        Check(entries.emailTo.isEmpty() || entries.emailTo.contains(u'@'));
        Check(entries.email.isEmpty() || (entries.email.contains(u'@') && !entries.email.contains(u' ')));
    }
    RespondViaTextFor(entries.respondVia);

    const QUrl url = ServiceBaseUrl(fields[4]);
    if (url.isValid()) {
        const QString scheme = url.scheme().toLower();
        Check(scheme == u"https" || scheme == u"http");
        Check(!url.host().isEmpty());
    }
    const QByteArray quoted = DispositionParameter(fields[4]);
    Check(!quoted.contains('"') && !quoted.contains('\r') && !quoted.contains('\n'));
    return 0;
}
