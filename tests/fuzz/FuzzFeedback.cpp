// The feedback form's rules on what the user typed and configured (window/FeedbackText):
// the address checks, the service address, the quoted file name and the saved report.
// Input: one byte for the "respond via" choice, then name, email, telephone,
// representative's email and the configured service address, one a line; what is left is
// a file's bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "window/FeedbackPost.h"
#include "window/FeedbackText.h"

using namespace vorn::feedback;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool Has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string fields[5];
    for (std::string& field : fields) {
        const size_t end = rest.find('\n');
        field = std::string(rest.substr(0, std::min(end, rest.size())));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    FeedbackEntries entries{fields[0], fields[1], fields[2], fields[3], static_cast<int8_t>(data[0]) % 4};
    const auto problem = ValidateFeedback(entries);
    if (!problem) {
        // What passes has a name, a way back unless none was asked for, and plausible addresses.
        Check(!entries.name.empty());
        Check(entries.respondVia == kRespondViaNone || !entries.email.empty() || !entries.telephone.empty());
        Check(entries.emailTo.empty() || Has(entries.emailTo, "@"));
        Check(entries.email.empty() || (Has(entries.email, "@") && !Has(entries.email, " ")));
    }
    RespondViaTextFor(entries.respondVia);

    // An accepted address is a web address with a host, and reads back as itself.
    if (const auto address = ServiceBaseUrl(fields[4])) {
        Check(address->scheme == "https" || address->scheme == "http");
        Check(!address->host.empty() && address->port > 0 && address->port <= 65535);
        const std::string url = address->Url("/");
        Check(!Has(url, "\r") && !Has(url, "\n") && !Has(url, " ") && !Has(url, "@"));
        const auto again = ServiceBaseUrl(address->Url());
        Check(again && again->Url() == address->Url());
    }
    const std::string quoted = DispositionParameter(fields[4]);
    Check(!Has(quoted, "\"") && !Has(quoted, "\r") && !Has(quoted, "\n"));

    // A saved report keeps its headers to one line each and ends with its boundary.
    const std::string message = ReportMessage(fields[3], fields[0], {{fields[1], fields[2]}},
                                              {{fields[4], MimeTypeOf(fields[4]), std::string(rest)}});
    const size_t headersEnd = message.find("\r\n\r\n");
    Check(headersEnd != std::string::npos);
    size_t lines = 0;
    for (size_t at = 0; at < headersEnd; at = message.find("\r\n", at) + 2) ++lines;
    Check(lines == 4);
    Check(message.size() >= 4 && message.compare(message.size() - 4, 4, "--\r\n") == 0);
    return 0;
}
