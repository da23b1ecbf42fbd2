#include "feedback/TfrmWeb.h"

#include "gui/UiService.h"
#include "window/ComputerInfo.h"
#include "window/FeedbackConfig.h"
#include "window/FeedbackPost.h"
#include "feedback/FeedbackStatus.h"
#include "window/FeedbackText.h"
#include "common/VornLog.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <memory>

using namespace vorn::feedback;

namespace {

QSettings Preferences() { return QSettings(QString::fromUtf8(kSettingsOrganization), QString::fromUtf8(kSettingsApplication)); }

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string S(const QString& text) { return text.toStdString(); }

QStringList Items(const std::vector<std::string>& items) {
    QStringList out;
    for (const std::string& item : items) out << Q(item);
    return out;
}

QString Configured(const char* key, const char* fallback) {
    const QString value = Preferences().value(QString::fromUtf8(key)).toString().trimmed();
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

// Hourglass for the length of a send.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Client area and control geometry (left, top, width, height).
constexpr int kClientWidth = 383;
constexpr int kClientHeight = 492;
constexpr int kFontPointSize = 8;

}  // namespace

TfrmWeb::TfrmWeb(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmWeb"));
    setWindowTitle(QStringLiteral("Send Feedback to Vornell"));
    setFixedSize(kClientWidth, kClientHeight);
    // The fixed layout was drawn for a small dialog font; the longest caption needs it.
    QFont small = font();
    small.setPointSize(kFontPointSize);
    setFont(small);
    setModal(false);
    SetComputer(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()), ComputerInformation());
    BuildControls();

    HTTP = new QNetworkAccessManager(this);
    HTTP->setObjectName(QStringLiteral("HTTP"));
    // Cookies set by the service's front page travel with the post.
    HTTP->setCookieJar(new QNetworkCookieJar(HTTP));
    // Redirects are followed, but never from HTTPS down to plain HTTP: the post carries
    // contact details and the diagnostic log.
    HTTP->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

TfrmWeb::~TfrmWeb() {
    if (upload_) upload_->abort();
}

void TfrmWeb::BuildControls() {
    auto label = [this](const char* name, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromUtf8(name));
        l->setGeometry(x, y, w, 16);
        return l;
    };
    auto edit = [this](const char* name, const QString& hint, int x, int y, int w) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromUtf8(name));
        e->setToolTip(hint);
        e->setGeometry(x, y, w, 22);
        return e;
    };
    auto combo = [this](const char* name, const QStringList& items, const QString& hint, int x, int y, int w) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromUtf8(name));
        c->addItems(items);
        c->setToolTip(hint);
        c->setEditable(false);
        c->setGeometry(x, y, w, 22);
        return c;
    };

    constexpr int kLeft = 12;
    constexpr int kWide = kClientWidth - 2 * kLeft;
    constexpr int kHalf = (kWide - 12) / 2;
    constexpr int kRight = kLeft + kHalf + 12;

    QLabel* l = label("lblName", QStringLiteral("Name (required)"), kLeft, 8, kWide);
    edName = edit("edName", QStringLiteral("Please enter your first and last name"), kLeft, 24, kWide);
    l->setBuddy(edName);
    l = label("lblCompany", QStringLiteral("Company Name"), kLeft, 50, kWide);
    edCompany = edit("edCompany", QStringLiteral("Please enter the name of your company"), kLeft, 66, kWide);
    l->setBuddy(edCompany);
    l = label("lblEmail", QStringLiteral("Email Address"), kLeft, 92, kWide);
    edEmail = edit("edEmail", QStringLiteral("Please enter your email address"), kLeft, 108, kWide);
    l->setBuddy(edEmail);
    l = label("lblTelephone", QStringLiteral("Telephone (include area code)"), kLeft, 134, kWide);
    edTelephone = edit("edTelephone",
                       QStringLiteral("Please enter your phone number including area and country codes"), kLeft, 150,
                       kWide);
    l->setBuddy(edTelephone);

    l = label("lblFeedbackType", QStringLiteral("Type of feedback"), kLeft, 178, kHalf);
    cbFeedbackType = combo("cbFeedbackType", Items(FeedbackTypeItems()),
                           QStringLiteral("What type of feedback do you want to send to Vornell?"), kLeft, 194, kHalf);
    l->setBuddy(cbFeedbackType);
    l = label("lblRespondVia", QStringLiteral("Please respond via"), kRight, 178, kHalf);
    cbRespondVia = combo("cbRespondVia", Items(RespondViaItems()), QStringLiteral("How can Vornell contact you?"), kRight, 194,
                         kHalf);
    l->setBuddy(cbRespondVia);

    lblDescription = label("lblDescription", Q(FeedbackTypeFor(0).prompt), kLeft, 224, kWide);
    reDescription = new QPlainTextEdit(this);
    reDescription->setObjectName(QStringLiteral("reDescription"));
    reDescription->setToolTip(QStringLiteral("Please enter your comments here"));
    reDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reDescription->setTabChangesFocus(true);
    reDescription->setGeometry(kLeft, 240, kWide, 118);
    lblDescription->setBuddy(reDescription);

    l = label("lblSendFile", QStringLiteral("Send the following file (file size can be up to 8 MB):"), kLeft, 364,
              kWide);
    edSendFile = edit("edSendFile", QStringLiteral("Click the browse button to pick the file you want to send."), kLeft,
                      380, kWide - 30);
    edSendFile->setReadOnly(true);
    btnSendFile = new QPushButton(QStringLiteral("..."), this);
    btnSendFile->setObjectName(QStringLiteral("btnSendFile"));
    btnSendFile->setToolTip(QStringLiteral("Click this button to find the file you want to send."));
    btnSendFile->setAutoDefault(false);
    btnSendFile->setGeometry(kLeft + kWide - 26, 380, 26, 22);
    l->setBuddy(btnSendFile);

    l = label("lblEmailTo", QStringLiteral("Send the feedback to my Vornell Representative's email address:"), kLeft, 410,
              kWide);
    edEmailTo = edit("edEmailTo",
                     QStringLiteral("Please enter your Vornell Representative's email address, if you have one"),
                     kLeft, 426, kWide);
    l->setBuddy(edEmailTo);

    pbWeb = new QProgressBar(this);
    pbWeb->setObjectName(QStringLiteral("pbWeb"));
    pbWeb->setTextVisible(false);
    pbWeb->setGeometry(kLeft, 462, kWide - 75 - 12, 17);
    pbWeb->hide();

    btnSend = new QPushButton(QStringLiteral("Send"), this);
    btnSend->setObjectName(QStringLiteral("btnSend"));
    btnSend->setToolTip(QStringLiteral("Click to send this information to Vornell"));
    btnSend->setDefault(true);
    btnSend->setGeometry(kLeft + kWide - 75, 458, 75, 25);

    connect(cbFeedbackType, &QComboBox::currentIndexChanged, this, &TfrmWeb::cbFeedbackTypeChange);
    connect(btnSendFile, &QPushButton::clicked, this, &TfrmWeb::btnSendFileClick);
    connect(btnSend, &QPushButton::clicked, this, &TfrmWeb::btnSendClick);
    connect(reDescription, &QPlainTextEdit::textChanged, this, &TfrmWeb::LimitDescription);
}

QString TfrmWeb::DefaultRecipient() { return Configured(kKeyDefaultRecipient, kDefaultRecipient); }

QString TfrmWeb::WebSite() { return Configured(kKeyWebSite, kDefaultWebSite); }

QUrl TfrmWeb::ServiceUrl() {
    const auto address = ServiceBaseUrl(S(Configured(kKeyServiceUrl, kDefaultServiceUrl)));
    return address ? QUrl(Q(address->Url())) : QUrl();
}

void TfrmWeb::SendFeedbacktoVornell(const FeedbackLaunch& values, VornLog* log, const QString& logTag) {
    SetLaunchValues(values);
    // The log on disk keeps its own limit: the form sends only its last part.
    if (log && log->FileSize() <= 0)
        log->Log(VornLog::kMilestones, logTag.toUtf8().constData(), "Launching web feedback with an empty error file.");
    ShowFeedbackForm();
}

QNetworkRequest TfrmWeb::MakeRequest(const QUrl& url) const {
    QNetworkRequest request(url);
    request.setRawHeader("Accept", kAcceptHeader);
    request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromUtf8(kUserAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

bool TfrmWeb::WaitForReply(QNetworkReply* reply, int idleMs) {
    if (reply->isFinished()) return true;
    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(idleMs);
    bool timedOut = false;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::uploadProgress, &idle, [&idle] { idle.start(); });
    connect(reply, &QNetworkReply::downloadProgress, &idle, [&idle] { idle.start(); });
    connect(&idle, &QTimer::timeout, &loop, [&timedOut, reply] {
        timedOut = true;
        reply->abort();
    });
    idle.start();
    if (!reply->isFinished()) loop.exec();
    return !timedOut;
}

bool TfrmWeb::ShowFeedbackForm() {
    if (checking_) return false;  // the menu was chosen again while the first check runs
    checking_ = true;
    QString error;
    bool reachable = false;
    const QUrl base = ServiceUrl();
    if (!base.isValid()) {
        error = Q(BadServiceAddressText(S(Configured(kKeyServiceUrl, kDefaultServiceUrl))));
    } else {
        QNetworkReply* reply = HTTP->get(MakeRequest(base.resolved(QUrl(QString::fromUtf8(kReachPath)))));
        if (!WaitForReply(reply, kReachTimeoutMs)) {
            error = Q(NoAnswerText(S(base.host()), kReachTimeoutMs));
        } else if (reply->error() != QNetworkReply::NoError) {
            error = reply->errorString();
        } else {
            reachable = true;
        }
        reply->deleteLater();
    }
    checking_ = false;
    // Unreachable, the report can still be written, and saved for e-mail when the send fails.
    if (!reachable && !ShowWebMessage(Q(InternetAccessErrorText(S(WebSite()), S(error)) + WriteAnywayText()),
                                      QStringLiteral("Internet Access Error"), true, 1))
        return false;
    show();
    raise();
    activateWindow();
    return true;
}

void TfrmWeb::keyPressEvent(QKeyEvent* event) {
    // A dialog would close on Escape and the next opening starts empty: a stray key
    // press must not cost the user a long description. Only the window's own close closes.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmWeb::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();  // not when merely restored from the task bar
}

void TfrmWeb::FormShow() {
    QSettings prefs = Preferences();
    auto stored = [&prefs](const char* key) { return prefs.value(QString::fromUtf8(key)).toString(); };
    edName->setText(stored(kKeyName));
    edCompany->setText(stored(kKeyCompany));
    edTelephone->setText(stored(kKeyPhone));
    edEmail->setText(stored(kKeyEmail));
    rememberedEmailTo_ = stored(kKeyEmailTo);

    if (!launch_.registeredName.isEmpty()) edName->setText(launch_.registeredName);
    if (!launch_.registeredCompany.isEmpty()) edCompany->setText(launch_.registeredCompany);

    edEmailTo->setText(rememberedEmailTo_);
    edSendFile->clear();
    sendFilePath_.clear();
    reDescription->clear();
    cbRespondVia->setCurrentIndex(kRespondViaEmail);
    cbFeedbackType->setCurrentIndex(0);
    cbFeedbackTypeChange(0);  // the index may not have changed, so apply it directly
    pbWeb->hide();
    uploading_ = false;
}

void TfrmWeb::cbFeedbackTypeChange(int index) {
    const FeedbackType type = FeedbackTypeFor(index);
    feedbackType_ = Q(type.name);
    lblDescription->setText(Q(type.prompt));
}

void TfrmWeb::LimitDescription() {
    const int excess = reDescription->document()->characterCount() - 1 - kDescriptionMaxChars;
    if (excess <= 0) return;
    // Drop what was just typed or pasted (it sits before the cursor), keeping the rest.
    QTextCursor cursor = reDescription->textCursor();
    const int end = cursor.position();
    cursor.setPosition(end >= excess ? end - excess : 0);
    cursor.setPosition(end >= excess ? end : excess, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    reDescription->setTextCursor(cursor);
}

void TfrmWeb::btnSendFileClick() {
    edSendFile->clear();
    sendFilePath_.clear();
    // Qt's "*" matches every name; "*.*" would hide files without an extension on Linux.
    const QString path = UiService::Get().OpenFile(this, QStringLiteral("Send File with Feedback"), launch_.startFolder,
                                                   QStringLiteral("Any File Type (*)"));
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    if (info.size() <= kMaxSendFileBytes) {
        sendFilePath_ = path;
        edSendFile->setText(info.fileName());
        return;
    }
    ShowWebMessage(Q(FileTooBigText(S(info.fileName()), info.size())), QStringLiteral("File Size Error"), false, 1);
}

void TfrmWeb::btnSendClick() {
    FeedbackEntries entries;
    entries.name = S(edName->text());
    entries.email = S(edEmail->text());
    entries.telephone = S(edTelephone->text());
    entries.emailTo = S(edEmailTo->text());
    entries.respondVia = cbRespondVia->currentIndex();
    if (const auto problem = ValidateFeedback(entries)) {
        ShowWebMessage(Q(problem->text), Q(problem->caption), false, 0);
        switch (problem->focus) {
            case FocusField::Name: edName->setFocus(); break;
            case FocusField::Telephone: edTelephone->setFocus(); break;
            case FocusField::EmailTo: edEmailTo->setFocus(); break;
            case FocusField::Email: edEmail->setFocus(); break;
        }
        return;
    }

    int32_t result = kFeedbackFailed;
    {
        btnSend->setEnabled(false);
        WaitCursor hourglass;
        QSettings prefs = Preferences();
        prefs.setValue(QString::fromUtf8(kKeyName), edName->text());
        prefs.setValue(QString::fromUtf8(kKeyCompany), edCompany->text());
        prefs.setValue(QString::fromUtf8(kKeyPhone), edTelephone->text());
        prefs.setValue(QString::fromUtf8(kKeyEmail), edEmail->text());
        prefs.setValue(QString::fromUtf8(kKeyEmailTo), edEmailTo->text());
        prefs.sync();

        lastSendError_.clear();
        result = SendFeedback();
        btnSend->setEnabled(true);
    }

    if (result == kFeedbackSent) {
        hide();
        QCoreApplication::processEvents();
        ShowWebMessage(Q(ThankYouText(S(feedbackType_))), QStringLiteral("Feedback Successfully Sent"), false, 2);
        close();
    } else if (result == kFeedbackFailed && isVisible()) {
        // The service could not take it: the same report, as a file the user can mail.
        if (ShowWebMessage(Q(SaveReportOfferText(S(feedbackType_), S(lastSendError_), S(Recipient()))),
                           QStringLiteral("Error Sending Feedback"), true, 0) &&
            SaveReport())
            close();
    } else if (result == kFeedbackFailed) {
        // The user closed the window, which aborted the send: say so, not that it failed.
        ShowWebMessage(Q(ClosedWhileSendingText(S(feedbackType_))), QStringLiteral("Feedback Not Sent"), false, 0);
    }
}

QString TfrmWeb::RespondViaText() const { return Q(RespondViaTextFor(cbRespondVia->currentIndex())); }

QString TfrmWeb::ComputerInformation() { return Q(vorn::feedback::ComputerInformation()); }

vorn::feedback::ReadAttachmentFn TfrmWeb::Reader() {
    return [this](const ReportAttachment& attachment, ReportFile* file, bool report) {
        return ReadAttachment(attachment, file, report);
    };
}

bool TfrmWeb::ReadAttachment(const vorn::feedback::ReportAttachment& attachment, vorn::feedback::ReportFile* out,
                             bool report) {
    const QString path = QString::fromStdString(attachment.path);
    const QFileInfo info(path);
    QFile file(path);
    QString failure;
    if (info.isDir()) {
        failure = QStringLiteral("\"%1\" is a folder, not a file.").arg(info.fileName());
    } else if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString();
    }
    if (!failure.isEmpty()) {
        if (report) {
            const AttachFailure kind = ClassifyAttachFailure(S(failure), info.exists());
            ShowWebMessage(Q(AttachErrorText(S(info.fileName()), kind, S(failure))), QStringLiteral("Error Reading File"),
                           false, 1);
        }
        return false;
    }
    const QByteArray bytes = file.readAll();
    *out = AttachedFile(attachment, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    return true;
}

vorn::feedback::FeedbackReport TfrmWeb::Report() const {
    vorn::feedback::FeedbackReport r;
    r.launch = {S(launch_.productName), S(launch_.productVersion), S(launch_.registeredName),
                S(launch_.registeredCompany), S(launch_.defaultRecipient), S(launch_.attachment1),
                S(launch_.attachment2), S(launch_.attachment3), S(launch_.startFolder)};
    r.entries = {S(edName->text()), S(edEmail->text()), S(edTelephone->text()), S(edEmailTo->text()),
                 cbRespondVia->currentIndex()};
    r.company = S(edCompany->text());
    r.feedbackTypeName = S(feedbackType_);
    r.description = S(reDescription->toPlainText());
    r.installationPath = S(installationPath_);
    r.computerInformation = S(computerInformation_);
    return r;
}

QString TfrmWeb::Recipient() const { return Q(vorn::feedback::Recipient(Report())); }

std::vector<std::pair<QString, QString>> TfrmWeb::ReportFields() const {
    std::vector<std::pair<QString, QString>> fields;
    for (const auto& [name, value] : vorn::feedback::ReportFields(Report())) fields.emplace_back(Q(name), Q(value));
    return fields;
}

void TfrmWeb::SetComputer(const QString& installationPath, const QString& computerInformation) {
    installationPath_ = installationPath;
    computerInformation_ = computerInformation;
}

bool TfrmWeb::SaveReport() {
    const QString path = UiService::Get().SaveFile(MessageOwner(), QStringLiteral("Save Feedback Report"),
                                                   QDir(launch_.startFolder).filePath(launch_.productName + u' ' + feedbackType_ +
                                                                                      QStringLiteral(".eml")),
                                                   QStringLiteral("E-mail messages (*.eml)"), QStringLiteral("eml"));
    if (path.isEmpty()) return false;
    // The same parts the service would have had; what cannot be read is left out.
    const vorn::feedback::FeedbackReport report = Report();
    const std::vector<ReportFile> files = *CollectReportFiles(report.launch, S(sendFilePath_), false, Reader());
    const QString to = Recipient();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(QByteArray::fromStdString(ReportMail(report, files))) < 0 || !out.flush()) {
        ShowWebMessage(QStringLiteral("The report could not be saved in \"") + path + QStringLiteral("\": ") + out.errorString(),
                       QStringLiteral("Error Saving Report"), false, 1);
        return false;
    }
    ShowWebMessage(Q(ReportSavedText(S(QDir::toNativeSeparators(path)), S(to))), QStringLiteral("Report Saved"), false, 2);
    return true;
}

int32_t TfrmWeb::SendFeedback() {
    // The program's files go along when they can be read; only the user's own file is
    // worth stopping for.
    const vorn::feedback::FeedbackReport report = Report();
    const auto files = CollectReportFiles(report.launch, S(sendFilePath_), true, Reader());
    if (!files) return kFeedbackNotSent;
    const vorn::feedback::MultipartForm form = ReportForm(report, *files);

    const QUrl base = ServiceUrl();
    if (!base.isValid()) {
        lastSendError_ = Q(BadServiceAddressText(S(Configured(kKeyServiceUrl, kDefaultServiceUrl))));
        return kFeedbackFailed;
    }

    uploading_ = true;
    workBegun_ = false;
    QNetworkRequest request = MakeRequest(base.resolved(QUrl(QString::fromUtf8(kScriptPath))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QString::fromStdString(form.ContentType()));
    QNetworkReply* reply = HTTP->post(request, QByteArray::fromStdString(form.Body()));
    upload_ = reply;
    connect(reply, &QNetworkReply::uploadProgress, this, &TfrmWeb::OnUploadProgress);
    const bool inTime = WaitForReply(reply, kSendIdleTimeoutMs);
    HTTPWorkEnd();
    upload_.clear();

    int32_t result = kFeedbackFailed;
    if (!inTime) {
        lastSendError_ = Q(NoAnswerText(S(base.host()), kSendIdleTimeoutMs));
    } else if (reply->error() != QNetworkReply::NoError) {
        lastSendError_ = reply->errorString();
    } else if (vorn::feedback::ServiceTookIt(reply->readAll().toStdString())) {
        result = kFeedbackSent;
    }
    reply->deleteLater();
    return result;
}

void TfrmWeb::OnUploadProgress(qint64 sent, qint64 total) {
    if (total <= 0) return;
    if (!workBegun_) {
        workBegun_ = true;
        HTTPWorkBegin(total);
    }
    HTTPWork(sent);
}

void TfrmWeb::HTTPWorkBegin(qint64 total) {
    uploading_ = true;
    if (total > kProgressBarAboveBytes) {
        pbWeb->setRange(0, static_cast<int>(std::min<qint64>(total, INT32_MAX)));
        pbWeb->setValue(0);
        pbWeb->show();
    }
}

void TfrmWeb::HTTPWork(qint64 done) {
    if (!pbWeb->isVisible()) return;
    // The send's own event loop repaints the bar; processing events from inside the
    // reply's progress signal stalls Qt's upload.
    pbWeb->setValue(static_cast<int>(std::min<qint64>(done, pbWeb->maximum())));
}

void TfrmWeb::HTTPWorkEnd() {
    pbWeb->hide();
    uploading_ = false;
}

void TfrmWeb::FormClose() {
    if (uploading_ && upload_) upload_->abort();
}

void TfrmWeb::done(int result) {
    FormClose();
    QDialog::done(result);
}

QWidget* TfrmWeb::MessageOwner() { return parentWidget() ? parentWidget() : this; }

bool TfrmWeb::ShowWebMessage(const QString& text, const QString& caption, bool ask, int kind) {
    UiService::Kind boxKind = UiService::Kind::Warning;
    switch (kind) {
        case 1: boxKind = UiService::Kind::Error; break;
        case 2: boxKind = UiService::Kind::Information; break;
        case 3: boxKind = UiService::Kind::Confirmation; break;
        default: break;
    }
    UiService& ui = UiService::Get();
    ui.Beep(boxKind);
    if (ask) return ui.Confirm(MessageOwner(), caption, text) == UiService::Answer::Ok;
    ui.Message(MessageOwner(), caption, text, boxKind);
    return false;
}
