#pragma once
// The feedback window: contact details, kind of feedback, a description, optionally one
// file of the user's, and always the diagnostic log, posted in one multipart request to
// the maker's feedback script. One instance lives for the whole program, hidden until the
// Help menu opens it; every opening starts from the remembered contact details.
#include <utility>
#include <vector>

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <cstdint>

#include "window/FeedbackText.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class VornLog;

struct FeedbackLaunch {  // the nine launch values
    QString productName, productVersion, registeredName, registeredCompany,
            defaultRecipient, attachment1, attachment2, attachment3, startFolder;
};

class TfrmWeb : public QDialog {
    Q_OBJECT
public:
    // `parent` is the main window: the form and its message boxes are centred on it.
    explicit TfrmWeb(QWidget* parent = nullptr);
    ~TfrmWeb() override;

    // What the main window's menu item does. `log` may be null; `logTag` is the
    // main window's caption. Takes the launch values, shortens the log to the tail that
    // will be attached (or notes that it is empty), then ShowFeedbackForm.
    void SendFeedbacktoVornell(const FeedbackLaunch& values, VornLog* log, const QString& logTag);
    // The default recipient the main window hands over (configured value).
    static QString DefaultRecipient();
    // The web site named in the connection message, and the service's base address
    // (invalid when the configured value is unusable). Configured values.
    static QString WebSite();
    static QUrl ServiceUrl();

    void SetLaunchValues(const FeedbackLaunch& values) { launch_ = values; }
    const FeedbackLaunch& LaunchValues() const { return launch_; }

    // GETs "/" of the service (events keep running, time-out kReachTimeoutMs). On failure
    // shows "Internet Access Error" and returns false without showing the window;
    // otherwise shows it (not modal) and returns true.
    bool ShowFeedbackForm();

    // Event handlers.
    void FormShow();                       // fills the boxes at each opening
    void cbFeedbackTypeChange(int index);  // type name and prompt
    void btnSendFileClick();               // picks the user's file (at most 8 MiB)
    void btnSendClick();                   // validates, remembers contact details, sends
    void FormClose();                      // aborts an upload in progress

    // Builds and posts the form, waiting with events running. kFeedbackSent when the
    // answer contains "Script Completed"; kFeedbackNotSent when the user's file could not
    // be attached (already reported, nothing posted); kFeedbackFailed otherwise, with the
    // reason in LastSendError(). The request gives up after kSendIdleTimeoutMs of silence.
    int32_t SendFeedback();
    // The report's fields, as the service takes them (name, value), in its order; the
    // recipient first.
    std::vector<std::pair<QString, QString>> ReportFields() const;
    QString Recipient() const;
    // Saves the report the service could not take as an e-mail message (asks where);
    // whether it was saved.
    bool SaveReport();
    // Reads one of the report's files into `file`. False when it cannot be read; `report`
    // then shows "Error Reading File".
    bool ReadAttachment(const vorn::feedback::ReportAttachment& attachment, vorn::feedback::ReportFile* file,
                        bool report);
    vorn::feedback::ReadAttachmentFn Reader();
    // The report as the boxes and the launch values make it.
    vorn::feedback::FeedbackReport Report() const;
    // The computer the report says it is sent from: this program's path and the
    // operating system (the running ones unless set).
    void SetComputer(const QString& installationPath, const QString& computerInformation);
    // The operating system, for the post.
    static QString ComputerInformation();
    // The chosen response preference as sent ("Unknown RespondVia" when none is chosen).
    QString RespondViaText() const;
    // A modal box centred on the main window with `caption` as its title. Kind 1 error,
    // 2 information, 3 confirmation, anything else warning. With `ask` the user answers
    // (OK counts as Yes) and the answer is returned; otherwise false.
    bool ShowWebMessage(const QString& text, const QString& caption, bool ask, int kind);

    // Upload progress: the bar shows only for sends above kProgressBarAboveBytes.
    void HTTPWorkBegin(qint64 total);
    void HTTPWork(qint64 done);
    void HTTPWorkEnd();

    const QString& FeedbackTypeName() const { return feedbackType_; }
    const QString& LastSendError() const { return lastSendError_; }
    bool UploadInProgress() const { return uploading_; }
    // The full path of the user's chosen file (edSendFile shows only its name).
    const QString& SendFilePath() const { return sendFilePath_; }

    void done(int result) override;  // every way of closing the window passes here

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    QNetworkRequest MakeRequest(const QUrl& url) const;
    // Runs events until `reply` finishes; aborts it after `idleMs` without progress.
    // False when it was aborted for that reason.
    static bool WaitForReply(QNetworkReply* reply, int idleMs);
    void OnUploadProgress(qint64 sent, qint64 total);
    void LimitDescription();
    QWidget* MessageOwner();

    QLineEdit* edName = nullptr;
    QLineEdit* edCompany = nullptr;
    QLineEdit* edEmail = nullptr;
    QLineEdit* edTelephone = nullptr;
    QComboBox* cbFeedbackType = nullptr;
    QComboBox* cbRespondVia = nullptr;
    QLabel* lblDescription = nullptr;
    QPlainTextEdit* reDescription = nullptr;
    QLineEdit* edSendFile = nullptr;
    QPushButton* btnSendFile = nullptr;
    QLineEdit* edEmailTo = nullptr;
    QPushButton* btnSend = nullptr;
    QProgressBar* pbWeb = nullptr;
    QNetworkAccessManager* HTTP = nullptr;

    FeedbackLaunch launch_;
    QString feedbackType_;
    QString lastSendError_;
    QString sendFilePath_;
    QString rememberedEmailTo_;
    QString installationPath_, computerInformation_;
    bool uploading_ = false;
    bool workBegun_ = false;
    bool checking_ = false;
    QPointer<QNetworkReply> upload_;
};
