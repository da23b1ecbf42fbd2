#include "feedback/FeedbackText.h"

#include "window/FeedbackConfig.h"
#include "window/FeedbackPost.h"

#include <array>

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

const QString kCompleteAddress = QStringLiteral(
    "Please enter a complete email address including\n"
    "the '@' symbol and domain name.");

}  // namespace

FeedbackType FeedbackTypeFor(int index) {
    const TypeRow& row = (index >= 0 && index < static_cast<int>(kTypes.size())) ? kTypes[index] : kTypes[0];
    return {QString::fromUtf8(row.name), QString::fromUtf8(row.prompt)};
}

QStringList FeedbackTypeItems() {
    QStringList items;
    for (const TypeRow& row : kTypes) items << QString::fromUtf8(row.item);
    return items;
}

QStringList RespondViaItems() {
    QStringList items;
    for (const char* item : kRespondVia) items << QString::fromUtf8(item);
    return items;
}

QString RespondViaTextFor(int index) {
    if (index < 0 || index >= static_cast<int>(kRespondVia.size())) return QStringLiteral("Unknown RespondVia");
    return QString::fromUtf8(kRespondVia[index]);
}

std::optional<ValidationProblem> ValidateFeedback(const FeedbackEntries& e) {
    const QString missing = QStringLiteral("Missing Information");
    const QString badAddress = QStringLiteral("Bad Email Address");
    if (e.name.isEmpty()) {
        return ValidationProblem{QStringLiteral("Please enter your name in the name field"), missing, FocusField::Name};
    }
    if (e.email.isEmpty() && e.telephone.isEmpty() && e.respondVia != kRespondViaNone) {
        return ValidationProblem{QStringLiteral("Please enter your phone number or email address so Vornell "
                                                "can respond to your feedback."),
                                 missing, FocusField::Telephone};
    }
    if (!e.emailTo.isEmpty() && !e.emailTo.contains(u'@')) {
        return ValidationProblem{QStringLiteral("The email address you entered for your Vornell\n"
                                                "Representative isn't complete.\n\n") +
                                     kCompleteAddress,
                                 badAddress, FocusField::EmailTo};
    }
    const bool blank = e.email.contains(u' ');
    if (!e.email.isEmpty() && (!e.email.contains(u'@') || blank)) {
        QString text = QStringLiteral("The email address you entered doesn't seem to be correct.\n\n") + kCompleteAddress;
        if (blank) text += QStringLiteral("\n\nPlease remove any space characters in the email address.");
        return ValidationProblem{text, badAddress, FocusField::Email};
    }
    return std::nullopt;
}

QString InternetAccessErrorText(const QString& webSite, const QString& error) {
    QString text = QStringLiteral("Error connecting to Vornell's customer feedback internet service.\n\n") +
                   QStringLiteral("This feature requires your computer to be connected to the internet\n") +
                   QStringLiteral("and be able to contact Vornell's Web Site (") + webSite + QStringLiteral(").") +
                   QStringLiteral("\n\nPlease make a connection to the internet and try again.");
    if (!error.isEmpty()) text += QStringLiteral("\n\nError: ") + error;
    return text;
}

QString FileTooBigText(const QString& fileName, qint64 size) {
    const double mib = static_cast<double>(size) / 1048576.0;
    return QStringLiteral("The file \"") + fileName + QStringLiteral("\" is too big.\n\n") +
           QStringLiteral("The maximun file size you can send with your feedback\n") +
           QStringLiteral("is 8 megabytes (this file is ") + QString::number(mib, 'f', 1) + QStringLiteral(" MB).") +
           QStringLiteral("\n\nPlease choose a different file to send.");
}

QString ThankYouText(const QString& feedbackTypeName) {
    return QStringLiteral("Thank you for submitting your ") + feedbackTypeName + QStringLiteral(".");
}

QString ClosedWhileSendingText(const QString& feedbackTypeName) {
    return QStringLiteral("The feedback window was closed while sending, so your ") + feedbackTypeName +
           QStringLiteral(" was not sent to Vornell.\n\nOpen Send Feedback again from the Help menu to send it.");
}

QString SendErrorText(const QString& feedbackTypeName, const QString& lastError) {
    QString text = QStringLiteral("There was an error trying to send your ") + feedbackTypeName +
                   QStringLiteral(" to Vornell.\n\nPlease try again.");
    if (!lastError.isEmpty()) text += QStringLiteral("\n\nError: ") + lastError;
    return text;
}

QString SaveReportOfferText(const QString& feedbackTypeName, const QString& lastError, const QString& recipient) {
    return SendErrorText(feedbackTypeName, lastError) + QStringLiteral("\n\nClick OK to save it (your message, your contact details, the attached file and the "
                                 "diagnostic log) as one file you can send by e-mail to ") +
           recipient + QStringLiteral(".\nClick CANCEL to go back to the form and try again.");
}

QString WriteAnywayText() {
    return QStringLiteral("\n\nClick OK to write your report anyway: if it cannot be sent, you can save it as a file to "
                          "send by e-mail.\nClick CANCEL to close.");
}

QString ReportSavedText(const QString& path, const QString& recipient) {
    return QStringLiteral("Your report is saved in\n\"") + path +
           QStringLiteral("\".\n\nOpen it with your e-mail program, or attach it to an e-mail, and send it to ") + recipient +
           QStringLiteral(".");
}

namespace {

// One line of a header value: line breaks would start headers of their own.
QByteArray HeaderValue(const QString& value) {
    QString one = value;
    one.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray utf8 = one.toUtf8();
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) return "=?UTF-8?B?" + utf8.toBase64() + "?=";  // RFC 2047
    return utf8;
}

QByteArray Base64Lines(const QByteArray& bytes) {
    const QByteArray all = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < all.size(); i += 76) out += all.mid(i, 76) + "\r\n";
    return out;
}

}  // namespace

QByteArray ReportMessage(const QString& to, const QString& subject, const std::vector<std::pair<QString, QString>>& fields,
                         const std::vector<ReportFile>& files) {
    // A boundary no part holds: base64 and the text part are checked against it.
    QByteArray boundary = "vornbsl-report";
    QByteArray text;
    for (const auto& [name, value] : fields) {
        QString v = value;
        v.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text += (name + QStringLiteral(": ") + v).toUtf8().replace("\n", "\r\n") + "\r\n";
    }
    while (text.contains(boundary)) boundary += "-x";
    QByteArray m;
    m += "To: " + HeaderValue(to) + "\r\n";
    m += "Subject: " + HeaderValue(subject) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "--" + boundary + "\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    m += text;
    for (const ReportFile& f : files) {
        const QByteArray name = DispositionParameter(f.name);
        m += "--" + boundary + "\r\n";
        m += "Content-Type: " + (f.mimeType.isEmpty() ? QByteArray("application/octet-stream") : f.mimeType) +
             "; name=\"" + name + "\"\r\n";
        m += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
        m += "Content-Transfer-Encoding: base64\r\n\r\n";
        m += Base64Lines(f.bytes);
    }
    m += "--" + boundary + "--\r\n";
    return m;
}

AttachFailure ClassifyAttachFailure(const QString& message, bool fileExists) {
    if (message.contains(QStringLiteral("cannot find the file")) || !fileExists) return AttachFailure::NotFound;
    if (message.contains(QStringLiteral("used by another process"))) return AttachFailure::InUse;
    return AttachFailure::Other;
}

QString AttachErrorText(const QString& fileName, AttachFailure failure, const QString& message) {
    const QString head = QStringLiteral("Error sending the file \"") + fileName + QStringLiteral("\". ");
    switch (failure) {
        case AttachFailure::NotFound:
            return head + QStringLiteral("\nThe file is empty or can't be found on the system.") +
                   QStringLiteral("\n\nPlease check your file name and try again.");
        case AttachFailure::InUse:
            return head + QStringLiteral("\nThe file is open and in use with another application.") +
                   QStringLiteral("\n\nPlease close the file and try again.");
        case AttachFailure::Other: break;
    }
    QString text = head + QStringLiteral("\n\nPlease try again.");
    if (!message.isEmpty()) text += QStringLiteral("\n\nError: ") + message;
    return text;
}

QString NoAnswerText(const QString& host, int timeoutMs) {
    return QStringLiteral("No answer from %1 within %2 seconds.").arg(host).arg(timeoutMs / 1000);
}

QString BadServiceAddressText(const QString& configured) {
    return QStringLiteral("The feedback service address \"%1\" is not a valid http or https address.").arg(configured);
}

QUrl ServiceBaseUrl(const QString& configured) {
    QString value = configured.trimmed();
    if (value.isEmpty()) value = QString::fromUtf8(kDefaultServiceUrl);
    if (!value.contains(QStringLiteral("://"))) value = QStringLiteral("https://") + value;
    QUrl url(value, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http")) return {};
    return url;
}

QByteArray DispositionParameter(const QString& value) {
    return QByteArray::fromStdString(vorn::feedback::DispositionParameter(value.toUtf8().toStdString()));
}

}  // namespace vorn::feedback
