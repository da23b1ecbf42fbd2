#include "window/FeedbackText.h"

#include "window/FeedbackConfig.h"
#include "window/FeedbackPost.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace vorn::feedback {
namespace {

struct TypeRow {
    const char* item;  // what the drop-down shows
    const char* name;
    const char* prompt;
};
constexpr std::array<TypeRow, 4> kTypes{{
    {"General Feedback", "General Feedback", "Please describe the feedback below"},
    {"Feature Suggestion", "Feature Suggestion", "Please describe the feature suggestion below"},
    {"Bug Report", "Bug Report", "Please describe the bug or issue below"},
    {"Other", "Other Feedback", "Please describe the other feedback below"},
}};

constexpr std::array<const char*, 5> kRespondVia{
    "No response necessary", "Email", "Telephone (morning is best)", "Telephone (mid day is best)",
    "Telephone (afternoon is best)",
};

constexpr char kCompleteAddress[] =
    "Please enter a complete email address including\n"
    "the '@' symbol and domain name.";

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace

FeedbackType FeedbackTypeFor(int index) {
    const TypeRow& row = (index >= 0 && index < static_cast<int>(kTypes.size())) ? kTypes[index] : kTypes[0];
    return {row.name, row.prompt};
}

std::vector<std::string> FeedbackTypeItems() {
    std::vector<std::string> items;
    for (const TypeRow& row : kTypes) items.emplace_back(row.item);
    return items;
}

std::vector<std::string> RespondViaItems() { return {kRespondVia.begin(), kRespondVia.end()}; }

std::string RespondViaTextFor(int index) {
    if (index < 0 || index >= static_cast<int>(kRespondVia.size())) return "Unknown RespondVia";
    return kRespondVia[index];
}

std::optional<ValidationProblem> ValidateFeedback(const FeedbackEntries& e) {
    const std::string missing = "Missing Information";
    const std::string badAddress = "Bad Email Address";
    if (e.name.empty()) return ValidationProblem{"Please enter your name in the name field", missing, FocusField::Name};
    if (e.email.empty() && e.telephone.empty() && e.respondVia != kRespondViaNone) {
        return ValidationProblem{"Please enter your phone number or email address so Vornell "
                                 "can respond to your feedback.",
                                 missing, FocusField::Telephone};
    }
    if (!e.emailTo.empty() && !Contains(e.emailTo, "@")) {
        return ValidationProblem{std::string("The email address you entered for your Vornell\n"
                                             "Representative isn't complete.\n\n") +
                                         kCompleteAddress,
                                 badAddress, FocusField::EmailTo};
    }
    const bool blank = Contains(e.email, " ");
    if (!e.email.empty() && (!Contains(e.email, "@") || blank)) {
        std::string text = std::string("The email address you entered doesn't seem to be correct.\n\n") + kCompleteAddress;
        if (blank) text += "\n\nPlease remove any space characters in the email address.";
        return ValidationProblem{text, badAddress, FocusField::Email};
    }
    return std::nullopt;
}

std::string Recipient(const FeedbackReport& r) {
    return r.entries.emailTo.empty() ? r.launch.defaultRecipient : r.entries.emailTo;
}

std::vector<std::pair<std::string, std::string>> ReportFields(const FeedbackReport& r) {
    // A Windows edit control hands its lines over with "\r\n", Qt's with "\n": the service
    // gets the same text from both forms.
    std::string description;
    for (size_t i = 0; i < r.description.size(); ++i) {
        if (r.description[i] == '\r' && i + 1 < r.description.size() && r.description[i + 1] == '\n') continue;
        description += r.description[i];
    }
    const LaunchValues& l = r.launch;
    return {
        {"EmailTo", Recipient(r)},
        {"EmailSubject", l.productName + ' ' + r.feedbackTypeName},
        {"Name", r.entries.name},
        {"Company Name", r.company},
        {"Email", r.entries.email},
        {"Telephone", r.entries.telephone},
        {"Respond Via", RespondViaTextFor(r.entries.respondVia)},
        {"Registered Name", l.registeredName},
        {"Registered Company", l.registeredCompany},
        {"Software Version", l.productName + " version " + l.productVersion},
        {"Installation Path", r.installationPath},
        {"Computer Information", r.computerInformation},
        {"Feedback", description},
    };
}

std::string MimeTypeOf(std::string_view fileName) {
    struct Row {
        const char* extension;
        const char* type;
    };
    // What a technician attaches: logs, settings, firmware, pictures of the bench, archives.
    static constexpr Row kTypes[] = {
        {"txt", "text/plain"},       {"log", "text/plain"},       {"ini", "text/plain"},
        {"csv", "text/csv"},         {"xml", "application/xml"},  {"json", "application/json"},
        {"htm", "text/html"},        {"html", "text/html"},       {"pdf", "application/pdf"},
        {"zip", "application/zip"},  {"png", "image/png"},        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},      {"gif", "image/gif"},        {"bmp", "image/bmp"},
        {"eml", "message/rfc822"},
    };
    const size_t slash = fileName.find_last_of("/\\");
    const std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string extension;
    for (char c : base.substr(dot + 1)) extension += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const Row& row : kTypes)
        if (extension == row.extension) return row.type;
    return {};
}

std::string InternetAccessErrorText(const std::string& webSite, const std::string& error) {
    std::string text = "Error connecting to Vornell's customer feedback internet service.\n\n"
                       "This feature requires your computer to be connected to the internet\n"
                       "and be able to contact Vornell's Web Site (" +
                       webSite + ")." + "\n\nPlease make a connection to the internet and try again.";
    if (!error.empty()) text += "\n\nError: " + error;
    return text;
}

std::string FileTooBigText(const std::string& fileName, int64_t size) {
    // Tenths of a megabyte, rounded, without the locale's decimal comma.
    const int64_t tenths = (size * 10 + 524288) / 1048576;
    const std::string mib = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    return "The file \"" + fileName + "\" is too big.\n\n" + "The maximun file size you can send with your feedback\n" +
           "is 8 megabytes (this file is " + mib + " MB)." + "\n\nPlease choose a different file to send.";
}

std::string ThankYouText(const std::string& feedbackTypeName) {
    return "Thank you for submitting your " + feedbackTypeName + ".";
}

std::string ClosedWhileSendingText(const std::string& feedbackTypeName) {
    return "The feedback window was closed while sending, so your " + feedbackTypeName +
           " was not sent to Vornell.\n\nOpen Send Feedback again from the Help menu to send it.";
}

std::string SendErrorText(const std::string& feedbackTypeName, const std::string& lastError) {
    std::string text = "There was an error trying to send your " + feedbackTypeName + " to Vornell.\n\nPlease try again.";
    if (!lastError.empty()) text += "\n\nError: " + lastError;
    return text;
}

std::string SaveReportOfferText(const std::string& feedbackTypeName, const std::string& lastError,
                                const std::string& recipient) {
    return SendErrorText(feedbackTypeName, lastError) +
           "\n\nClick OK to save it (your message, your contact details, the attached file and the "
           "diagnostic log) as one file you can send by e-mail to " +
           recipient + ".\nClick CANCEL to go back to the form and try again.";
}

std::string WriteAnywayText() {
    return "\n\nClick OK to write your report anyway: if it cannot be sent, you can save it as a file to "
           "send by e-mail.\nClick CANCEL to close.";
}

std::string ReportSavedText(const std::string& path, const std::string& recipient) {
    return "Your report is saved in\n\"" + path +
           "\".\n\nOpen it with your e-mail program, or attach it to an e-mail, and send it to " + recipient + ".";
}

namespace {

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

// One line of a header value: line breaks would start headers of their own.
std::string HeaderValue(std::string one) {
    bool plain = true;
    for (char& c : one) {
        if (c == '\r' || c == '\n') c = ' ';
        if (static_cast<unsigned char>(c) >= 0x80) plain = false;
    }
    return plain ? one : "=?UTF-8?B?" + Base64(one) + "?=";  // RFC 2047
}

std::string Base64Lines(std::string_view bytes) {
    const std::string all = Base64(bytes);
    std::string out;
    for (size_t i = 0; i < all.size(); i += 76) out += all.substr(i, 76) + "\r\n";
    return out;
}

// Every line break as "\r\n".
std::string CrLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n') out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

std::string ReportMessage(const std::string& to, const std::string& subject,
                          const std::vector<std::pair<std::string, std::string>>& fields,
                          const std::vector<ReportFile>& files) {
    // A boundary no part holds: base64 and the text part are checked against it.
    std::string boundary = "vornbsl-report";
    std::string text;
    for (const auto& [name, value] : fields) text += CrLf(name + ": " + value) + "\r\n";
    while (Contains(text, boundary)) boundary += "-x";
    std::string m;
    m += "To: " + HeaderValue(to) + "\r\n";
    m += "Subject: " + HeaderValue(subject) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "--" + boundary + "\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    m += text;
    for (const ReportFile& f : files) {
        const std::string name = DispositionParameter(f.name);
        m += "--" + boundary + "\r\n";
        m += "Content-Type: " + (f.mimeType.empty() ? std::string("application/octet-stream") : f.mimeType) +
             "; name=\"" + name + "\"\r\n";
        m += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
        m += "Content-Transfer-Encoding: base64\r\n\r\n";
        m += Base64Lines(f.bytes);
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

AttachFailure ClassifyAttachFailure(std::string_view message, bool fileExists) {
    if (Contains(message, "cannot find the file") || !fileExists) return AttachFailure::NotFound;
    if (Contains(message, "used by another process")) return AttachFailure::InUse;
    return AttachFailure::Other;
}

std::string AttachErrorText(const std::string& fileName, AttachFailure failure, const std::string& message) {
    const std::string head = "Error sending the file \"" + fileName + "\". ";
    switch (failure) {
        case AttachFailure::NotFound:
            return head + "\nThe file is empty or can't be found on the system." +
                   "\n\nPlease check your file name and try again.";
        case AttachFailure::InUse:
            return head + "\nThe file is open and in use with another application." +
                   "\n\nPlease close the file and try again.";
        case AttachFailure::Other: break;
    }
    std::string text = head + "\n\nPlease try again.";
    if (!message.empty()) text += "\n\nError: " + message;
    return text;
}

std::string NoAnswerText(const std::string& host, int timeoutMs) {
    return "No answer from " + host + " within " + std::to_string(timeoutMs / 1000) + " seconds.";
}

std::string BadServiceAddressText(const std::string& configured) {
    return "The feedback service address \"" + configured + "\" is not a valid http or https address.";
}

std::string ServiceAddress::Url(std::string_view path) const {
    std::string url = scheme + "://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host);
    if (portWritten) url += ":" + std::to_string(port);
    return url + std::string(path);
}

std::optional<ServiceAddress> ServiceBaseUrl(std::string_view configured) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    while (!configured.empty() && space(configured.front())) configured.remove_prefix(1);
    while (!configured.empty() && space(configured.back())) configured.remove_suffix(1);
    std::string value(configured.empty() ? std::string_view(kDefaultServiceUrl) : configured);
    if (!Contains(value, "://")) value = "https://" + value;

    ServiceAddress out;
    const size_t colon = value.find("://");
    for (char c : value.substr(0, colon)) out.scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (out.scheme != "http" && out.scheme != "https") return std::nullopt;
    std::string_view rest = std::string_view(value).substr(colon + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::string_view after = rest.substr(authority.size());
    for (char c : after)  // what follows the address is read as a URL path would be
        if (static_cast<unsigned char>(c) <= ' ' || c == '\\' || static_cast<unsigned char>(c) >= 0x7F) return std::nullopt;

    std::string_view host = authority, port;
    if (!authority.empty() && authority.front() == '[') {  // [IPv6 address]
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
        const std::string_view tail = authority.substr(close + 1);
        if (!tail.empty() && tail.front() != ':') return std::nullopt;
        if (!tail.empty()) port = tail.substr(1);
        for (char c : host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return std::nullopt;
    } else {
        const size_t portAt = authority.rfind(':');
        if (portAt != std::string_view::npos) {
            host = authority.substr(0, portAt);
            port = authority.substr(portAt + 1);
        }
        // A host name or address: no user name, no password, nothing a header could carry.
        for (char c : host)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return std::nullopt;
    }
    if (host.empty()) return std::nullopt;
    for (char c : host) out.host += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out.port = out.scheme == "https" ? 443 : 80;
    if (!port.empty()) {
        if (port.size() > 5) return std::nullopt;
        int n = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            n = n * 10 + (c - '0');
        }
        if (n < 1 || n > 65535) return std::nullopt;
        out.port = n;
        out.portWritten = true;
    }
    return out;
}

}  // namespace vorn::feedback

namespace vorn::feedback {

std::vector<ReportAttachment> ReportAttachments(const LaunchValues& launch, const std::string& usersFile) {
    std::vector<ReportAttachment> out;
    // The log goes as it is on disk: the device library never writes a password or key
    // into it, so nothing secret leaves with it.
    if (!launch.attachment1.empty()) out.push_back({launch.attachment1, static_cast<size_t>(kLogKeepBytes), false});
    for (const std::string* other : {&launch.attachment2, &launch.attachment3})
        if (!other->empty()) out.push_back({*other, 0, false});
    if (!usersFile.empty()) out.push_back({usersFile, 0, true});
    return out;
}

ReportFile AttachedFile(const ReportAttachment& attachment, std::string_view bytes) {
    const size_t slash = attachment.path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? attachment.path : attachment.path.substr(slash + 1);
    std::string type = MimeTypeOf(name);
    return {std::move(name), std::move(type),
            attachment.tailBytes > 0 ? LogTail(bytes, attachment.tailBytes) : std::string(bytes)};
}

std::optional<std::vector<ReportFile>> CollectReportFiles(const LaunchValues& launch, const std::string& usersFile,
                                                          bool stopForUsersOwn, const ReadAttachmentFn& read) {
    std::vector<ReportFile> files;
    for (const ReportAttachment& attachment : ReportAttachments(launch, usersFile)) {
        ReportFile file;
        if (read(attachment, &file, stopForUsersOwn && attachment.usersOwn)) {
            files.push_back(std::move(file));
        } else if (stopForUsersOwn && attachment.usersOwn) {
            return std::nullopt;
        }
    }
    return files;
}

MultipartForm ReportForm(const FeedbackReport& report, const std::vector<ReportFile>& files) {
    MultipartForm form;
    for (auto& [name, value] : ReportFields(report)) form.AddField(std::move(name), std::move(value));
    for (const ReportFile& file : files) form.AddFile(file.name, file.mimeType, file.bytes);
    return form;
}

std::string ReportMail(const FeedbackReport& report, const std::vector<ReportFile>& files) {
    std::vector<std::pair<std::string, std::string>> fields = ReportFields(report);
    const std::string to = fields[0].second, subject = fields[1].second;
    fields.erase(fields.begin(), fields.begin() + 2);
    return ReportMessage(to, subject, fields, files);
}

}  // namespace vorn::feedback
