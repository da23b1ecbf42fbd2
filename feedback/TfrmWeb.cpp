#include "feedback/TfrmWeb.h"

#include "gui/UiService.h"
#include "feedback/ComputerInfo.h"
#include "window/FeedbackConfig.h"
#include "window/FeedbackPost.h"
#include "feedback/FeedbackStatus.h"
#include "feedback/FeedbackText.h"
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
#include <QMimeDatabase>
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
    cbFeedbackType = combo("cbFeedbackType", FeedbackTypeItems(),
                           QStringLiteral("What type of feedback do you want to send to Vornell?"), kLeft, 194, kHalf);
    l->setBuddy(cbFeedbackType);
    l = label("lblRespondVia", QStringLiteral("Please respond via"), kRight, 178, kHalf);
    cbRespondVia = combo("cbRespondVia", RespondViaItems(), QStringLiteral("How can Vornell contact you?"), kRight, 194,
                         kHalf);
    l->setBuddy(cbRespondVia);

    lblDescription = label("lblDescription", FeedbackTypeFor(0).prompt, kLeft, 224, kWide);
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

QUrl TfrmWeb::ServiceUrl() { return ServiceBaseUrl(Configured(kKeyServiceUrl, kDefaultServiceUrl)); }

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
        error = BadServiceAddressText(Configured(kKeyServiceUrl, kDefaultServiceUrl));
    } else {
        QNetworkReply* reply = HTTP->get(MakeRequest(base.resolved(QUrl(QString::fromUtf8(kReachPath)))));
        if (!WaitForReply(reply, kReachTimeoutMs)) {
            error = NoAnswerText(base.host(), kReachTimeoutMs);
        } else if (reply->error() != QNetworkReply::NoError) {
            error = reply->errorString();
        } else {
            reachable = true;
        }
        reply->deleteLater();
    }
    checking_ = false;
    // Unreachable, the report can still be written, and saved for e-mail when the send fails.
    if (!reachable && !ShowWebMessage(InternetAccessErrorText(WebSite(), error) + WriteAnywayText(),
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
    feedbackType_ = type.name;
    lblDescription->setText(type.prompt);
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
    ShowWebMessage(FileTooBigText(info.fileName(), info.size()), QStringLiteral("File Size Error"), false, 1);
}

void TfrmWeb::btnSendClick() {
    FeedbackEntries entries;
    entries.name = edName->text();
    entries.email = edEmail->text();
    entries.telephone = edTelephone->text();
    entries.emailTo = edEmailTo->text();
    entries.respondVia = cbRespondVia->currentIndex();
    if (const auto problem = ValidateFeedback(entries)) {
        ShowWebMessage(problem->text, problem->caption, false, 0);
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
        ShowWebMessage(ThankYouText(feedbackType_), QStringLiteral("Feedback Successfully Sent"), false, 2);
        close();
    } else if (result == kFeedbackFailed && isVisible()) {
        // The service could not take it: the same report, as a file the user can mail.
        if (ShowWebMessage(SaveReportOfferText(feedbackType_, lastSendError_, Recipient()),
                           QStringLiteral("Error Sending Feedback"), true, 0) &&
            SaveReport())
            close();
    } else if (result == kFeedbackFailed) {
        // The user closed the window, which aborted the send: say so, not that it failed.
        ShowWebMessage(ClosedWhileSendingText(feedbackType_), QStringLiteral("Feedback Not Sent"), false, 0);
    }
}

QString TfrmWeb::RespondViaText() const { return RespondViaTextFor(cbRespondVia->currentIndex()); }

QString TfrmWeb::ComputerInformation() { return vorn::feedback::ComputerInformation(); }

namespace {

QByteArray Tail(const QByteArray& log, qsizetype count) {
    return QByteArray::fromStdString(vorn::feedback::LogTail(std::string_view(log.constData(), log.size()),
                                                             static_cast<size_t>(count)));
}

}  // namespace

bool TfrmWeb::AttachFile(vorn::feedback::MultipartForm& form, const QString& path, bool report, qint64 tailBytes) {
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    auto file = std::make_unique<QFile>(path);
    QString failure;
    if (info.isDir()) {
        failure = QStringLiteral("\"%1\" is a folder, not a file.").arg(fileName);
    } else if (!file->open(QIODevice::ReadOnly)) {
        failure = file->errorString();
    }
    if (!failure.isEmpty()) {
        if (report) {
            const AttachFailure kind = ClassifyAttachFailure(failure, info.exists());
            ShowWebMessage(AttachErrorText(fileName, kind, failure), QStringLiteral("Error Reading File"), false, 1);
        }
        return false;
    }

    const QByteArray bytes = file->readAll();
    form.AddFile(fileName.toStdString(),
                 QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().toStdString(),
                 (tailBytes > 0 ? Tail(bytes, tailBytes) : bytes).toStdString());
    return true;
}

QString TfrmWeb::Recipient() const { return edEmailTo->text().isEmpty() ? launch_.defaultRecipient : edEmailTo->text(); }

std::vector<std::pair<QString, QString>> TfrmWeb::ReportFields() const {
    return {
        {QStringLiteral("EmailTo"), Recipient()},
        {QStringLiteral("EmailSubject"), launch_.productName + u' ' + feedbackType_},
        {QStringLiteral("Name"), edName->text()},
        {QStringLiteral("Company Name"), edCompany->text()},
        {QStringLiteral("Email"), edEmail->text()},
        {QStringLiteral("Telephone"), edTelephone->text()},
        {QStringLiteral("Respond Via"), RespondViaText()},
        {QStringLiteral("Registered Name"), launch_.registeredName},
        {QStringLiteral("Registered Company"), launch_.registeredCompany},
        {QStringLiteral("Software Version"), launch_.productName + QStringLiteral(" version ") + launch_.productVersion},
        {QStringLiteral("Installation Path"), QDir::toNativeSeparators(QCoreApplication::applicationFilePath())},
        {QStringLiteral("Computer Information"), ComputerInformation()},
        {QStringLiteral("Feedback"), reDescription->toPlainText()},
    };
}

bool TfrmWeb::SaveReport() {
    const QString path = UiService::Get().SaveFile(MessageOwner(), QStringLiteral("Save Feedback Report"),
                                                   QDir(launch_.startFolder).filePath(launch_.productName + u' ' + feedbackType_ +
                                                                                      QStringLiteral(".eml")),
                                                   QStringLiteral("E-mail messages (*.eml)"), QStringLiteral("eml"));
    if (path.isEmpty()) return false;
    // The same parts the service would have had: the log's last part, the program's other
    // files, and the user's own file.
    std::vector<ReportFile> files;
    auto add = [&files](const QString& file, qint64 tailBytes) {
        QFile f(file);
        if (file.isEmpty() || !f.open(QIODevice::ReadOnly)) return;
        const QByteArray bytes = f.readAll();
        files.push_back({QFileInfo(file).fileName(),
                         QMimeDatabase().mimeTypeForFile(QFileInfo(file), QMimeDatabase::MatchExtension).name().toUtf8(),
                         tailBytes > 0 ? Tail(bytes, tailBytes) : bytes});
    };
    add(launch_.attachment1, kLogKeepBytes);
    add(launch_.attachment2, 0);
    add(launch_.attachment3, 0);
    if (!edSendFile->text().isEmpty()) add(sendFilePath_, 0);
    std::vector<std::pair<QString, QString>> fields = ReportFields();
    const QString to = fields[0].second, subject = fields[1].second;
    fields.erase(fields.begin(), fields.begin() + 2);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        out.write(ReportMessage(to, subject, fields, files)) < 0 || !out.flush()) {
        ShowWebMessage(QStringLiteral("The report could not be saved in \"") + path + QStringLiteral("\": ") + out.errorString(),
                       QStringLiteral("Error Saving Report"), false, 1);
        return false;
    }
    ShowWebMessage(ReportSavedText(QDir::toNativeSeparators(path), to), QStringLiteral("Report Saved"), false, 2);
    return true;
}

int32_t TfrmWeb::SendFeedback() {
    vorn::feedback::MultipartForm form;
    for (const auto& [name, value] : ReportFields()) form.AddField(name.toStdString(), value.toStdString());
    // The log and other program files go along when they can be read; only the user's own
    // file is worth stopping for. The log goes as it is on disk: the device library never
    // writes a password or key into it, so nothing secret leaves with it.
    // The first is the diagnostic log: its last part goes, the file stays whole.
    if (!launch_.attachment1.isEmpty()) AttachFile(form, launch_.attachment1, false, kLogKeepBytes);
    for (const QString* attachment : {&launch_.attachment2, &launch_.attachment3}) {
        if (!attachment->isEmpty()) AttachFile(form, *attachment, false);
    }
    if (!edSendFile->text().isEmpty() && !AttachFile(form, sendFilePath_, true)) return kFeedbackNotSent;

    const QUrl base = ServiceUrl();
    if (!base.isValid()) {
        lastSendError_ = BadServiceAddressText(Configured(kKeyServiceUrl, kDefaultServiceUrl));
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
        lastSendError_ = NoAnswerText(base.host(), kSendIdleTimeoutMs);
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
