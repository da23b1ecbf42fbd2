#pragma once
// The feedback form's tables and message texts, the checks on what the user typed, and
// the report's fields: what both feedback forms show and send, in UTF-8. Pure functions:
// a form only shows what these return.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn::feedback {

// One row of the feedback type table: the name sent in the subject and messages, and the
// prompt above the description box.
struct FeedbackType {
    std::string name;
    std::string prompt;
};
// Row for a drop-down index; any index outside the list gives the "General Feedback" row.
FeedbackType FeedbackTypeFor(int index);
// Items of cbFeedbackType (the last one reads "Other", its name is "Other Feedback").
std::vector<std::string> FeedbackTypeItems();

// Items of cbRespondVia, and the text sent for an index ("Unknown RespondVia" for none).
std::vector<std::string> RespondViaItems();
std::string RespondViaTextFor(int index);
inline constexpr int kRespondViaNone = 0;   // "No response necessary"
inline constexpr int kRespondViaEmail = 1;  // preselected at every opening

// The boxes the validation looks at, and where a failure sends the focus.
struct FeedbackEntries {
    std::string name, email, telephone, emailTo;
    int respondVia = kRespondViaEmail;
};
enum class FocusField { Name, Telephone, EmailTo, Email };
struct ValidationProblem {
    std::string text;
    std::string caption;
    FocusField focus;
};
// The first problem in the form's fixed order, or nothing when the entries may be sent.
std::optional<ValidationProblem> ValidateFeedback(const FeedbackEntries& entries);

// The values the main window hands the form when it opens it.
struct LaunchValues {
    std::string productName, productVersion, registeredName, registeredCompany, defaultRecipient, attachment1,
            attachment2, attachment3, startFolder;
};

// Everything a report says, from the form's boxes and the computer it is sent from.
struct FeedbackReport {
    LaunchValues launch;
    FeedbackEntries entries;
    std::string company, feedbackTypeName, description;
    int respondVia = kRespondViaEmail;
    std::string installationPath, computerInformation;
};
// The representative's address when one was typed, else the default recipient.
std::string Recipient(const FeedbackReport& report);
// The report's fields, as the service takes them (name, value), in its order; the
// recipient and subject first. Line breaks in the description are sent as "\n".
std::vector<std::pair<std::string, std::string>> ReportFields(const FeedbackReport& report);
// The MIME type a file is sent with, by its extension ("" when none is known: the
// post then says application/octet-stream).
std::string MimeTypeOf(std::string_view fileName);

// Message texts.
std::string InternetAccessErrorText(const std::string& webSite, const std::string& error);
std::string FileTooBigText(const std::string& fileName, int64_t size);
std::string ThankYouText(const std::string& feedbackTypeName);
// Closing the window aborts a send: the user is told that nothing went out.
std::string ClosedWhileSendingText(const std::string& feedbackTypeName);
std::string SendErrorText(const std::string& feedbackTypeName, const std::string& lastError);
enum class AttachFailure { NotFound, InUse, Other };
// Classifies a file failure by its message (Windows texts) or by the file being absent.
AttachFailure ClassifyAttachFailure(std::string_view message, bool fileExists);
std::string AttachErrorText(const std::string& fileName, AttachFailure failure, const std::string& message);

// Failure texts of our own, for the "Error:" line of the message boxes.
std::string NoAnswerText(const std::string& host, int timeoutMs);
std::string BadServiceAddressText(const std::string& configured);

// The service's base address from the configured value: a bare host name means HTTPS;
// only http and https are accepted, with a host and at most a port after it.
struct ServiceAddress {
    std::string scheme;  // "http" or "https", lower case
    std::string host;
    int port = 0;        // the scheme's port when none was written
    bool portWritten = false;
    // "scheme://host[:port]" followed by `path` (which starts with "/").
    std::string Url(std::string_view path = {}) const;
};
std::optional<ServiceAddress> ServiceBaseUrl(std::string_view configured);

// A report the service could not take, saved instead as one e-mail message the user can
// send: To and Subject, the fields as "Name: value" lines of a text part, then every file
// as an attachment (MIME, base64). Header values are kept to one line each.
struct ReportFile {
    std::string name;
    std::string mimeType;
    std::string bytes;
};
std::string ReportMessage(const std::string& to, const std::string& subject,
                          const std::vector<std::pair<std::string, std::string>>& fields,
                          const std::vector<ReportFile>& files);
// The send failed: offer to save the report for e-mail, and say where it went.
std::string SaveReportOfferText(const std::string& feedbackTypeName, const std::string& lastError,
                                const std::string& recipient);
std::string ReportSavedText(const std::string& path, const std::string& recipient);
// After "Internet Access Error" at opening: the form may still be filled in.
std::string WriteAnywayText();

}  // namespace vorn::feedback

namespace vorn::feedback {

// The files a report carries, in the order they go: the diagnostic log (its last part
// only: the file on disk stays whole), the program's other files, then the user's own
// file. Only the user's own file is worth stopping a send for when it cannot be read.
struct ReportAttachment {
    std::string path;
    size_t tailBytes = 0;  // 0: the whole file
    bool usersOwn = false;
};
std::vector<ReportAttachment> ReportAttachments(const LaunchValues& launch, const std::string& usersFile);
// A file as the report carries it: named without its folders, its type by its
// extension, whole or its tail from a line start.
ReportFile AttachedFile(const ReportAttachment& attachment, std::string_view bytes);
// The report's files, each read by `read` (false when it cannot be read; `mustRead` says it
// is the user's own file, which the form reports). What cannot be read is left out; when
// `stopForUsersOwn`, an unreadable file of the user's gives nothing (the send stops).
using ReadAttachmentFn = std::function<bool(const ReportAttachment&, ReportFile*, bool mustRead)>;
std::optional<std::vector<ReportFile>> CollectReportFiles(const LaunchValues& launch, const std::string& usersFile,
                                                          bool stopForUsersOwn, const ReadAttachmentFn& read);

class MultipartForm;
// The post: the report's fields, then its files.
MultipartForm ReportForm(const FeedbackReport& report, const std::vector<ReportFile>& files);
// The same report as one e-mail message to its recipient.
std::string ReportMail(const FeedbackReport& report, const std::vector<ReportFile>& files);

}  // namespace vorn::feedback
