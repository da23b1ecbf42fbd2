#pragma once
// The feedback form's tables and message texts, and the checks on what the user typed.
// Pure functions: the window only shows what these return.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>
#include <QUrl>
#include <optional>

namespace vorn::feedback {

// One row of the feedback type table: the name sent in the subject and messages, and the
// prompt above the description box.
struct FeedbackType {
    QString name;
    QString prompt;
};
// Row for a drop-down index; any index outside the list gives the "General Feedback" row.
FeedbackType FeedbackTypeFor(int index);
// Items of cbFeedbackType (the last one reads "Other", its name is "Other Feedback").
QStringList FeedbackTypeItems();

// Items of cbRespondVia, and the text sent for an index ("Unknown RespondVia" for none).
QStringList RespondViaItems();
QString RespondViaTextFor(int index);
inline constexpr int kRespondViaNone = 0;   // "No response necessary"
inline constexpr int kRespondViaEmail = 1;  // preselected at every opening

// The boxes the validation looks at, and where a failure sends the focus.
struct FeedbackEntries {
    QString name, email, telephone, emailTo;
    int respondVia = kRespondViaEmail;
};
enum class FocusField { Name, Telephone, EmailTo, Email };
struct ValidationProblem {
    QString text;
    QString caption;
    FocusField focus;
};
// The first problem in the form's fixed order, or nothing when the entries may be sent.
std::optional<ValidationProblem> ValidateFeedback(const FeedbackEntries& entries);

// Message texts.
QString InternetAccessErrorText(const QString& webSite, const QString& error);
QString FileTooBigText(const QString& fileName, qint64 size);
QString ThankYouText(const QString& feedbackTypeName);
// Closing the window aborts a send: the user is told that nothing went out.
QString ClosedWhileSendingText(const QString& feedbackTypeName);
QString SendErrorText(const QString& feedbackTypeName, const QString& lastError);
enum class AttachFailure { NotFound, InUse, Other };
// Classifies a file failure by its message (Windows texts) or by the file being absent.
AttachFailure ClassifyAttachFailure(const QString& message, bool fileExists);
QString AttachErrorText(const QString& fileName, AttachFailure failure, const QString& message);

// Failure texts of our own, for the "Error:" line of the message boxes.
QString NoAnswerText(const QString& host, int timeoutMs);
QString BadServiceAddressText(const QString& configured);

// The service's base address from the configured value: a bare host name means HTTPS;
// only http and https are accepted. An invalid URL when the value cannot be used.
QUrl ServiceBaseUrl(const QString& configured);

// A report the service could not take, saved instead as one e-mail message the user can
// send: To and Subject, the fields as "Name: value" lines of a text part, then every file
// as an attachment (MIME, base64). Header values are kept to one line each.
struct ReportFile {
    QString name;
    QByteArray mimeType;
    QByteArray bytes;
};
QByteArray ReportMessage(const QString& to, const QString& subject, const std::vector<std::pair<QString, QString>>& fields,
                         const std::vector<ReportFile>& files);
// The send failed: offer to save the report for e-mail, and say where it went.
QString SaveReportOfferText(const QString& feedbackTypeName, const QString& lastError, const QString& recipient);
QString ReportSavedText(const QString& path, const QString& recipient);
// After "Internet Access Error" at opening: the form may still be filled in.
QString WriteAnywayText();

// A name or file name made safe for a quoted Content-Disposition parameter: quotes and
// line breaks are percent-encoded, so a file name cannot break out of its header.
QByteArray DispositionParameter(const QString& value);

}  // namespace vorn::feedback
