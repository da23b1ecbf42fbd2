// The feedback window against PHP's built-in web server running our app_feedback.php
// fixture, which reads the post as the maker's script does and records what arrived.
#include "gui/UiService.h"
#include "window/FeedbackConfig.h"
#include "feedback/FeedbackStatus.h"
#include "feedback/TfrmWeb.h"
#include "common/VornLog.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTest>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

using namespace vorn::feedback;
using vorn::test::ReadFile;
using vorn::test::TempDir;
using vorn::test::WriteFile;

namespace {

const QString kProduct = QStringLiteral("Vornell Firmware Updater");

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// `php -S` on a free local port, serving the fixture folder; stopped when destroyed.
class PhpService {
public:
    ~PhpService() { Stop(); }

    // With `rawPath`, posts are kept byte for byte in that file (and their Content-Type in
    // rawPath.type) instead of being read as the maker's script reads them.
    bool Start(const QString& recordPath, const QString& reply = {}, const QString& status = {},
               const QString& rawPath = {}) {
        const QString php = QStandardPaths::findExecutable(QStringLiteral("php"));
        if (php.isEmpty()) return false;
        port_ = FreePort();
        const QString dir = QString::fromStdString(vorn::test::SourceDir()) + QStringLiteral("/tests/feedback");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FEEDBACK_RECORD"), recordPath);
        env.insert(QStringLiteral("FEEDBACK_REPLY"), reply);
        env.insert(QStringLiteral("FEEDBACK_STATUS"), status);
        if (!rawPath.isEmpty()) env.insert(QStringLiteral("FEEDBACK_RAW"), rawPath);
        process_.setProcessEnvironment(env);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        QStringList arguments{QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("upload_max_filesize=32M"),
                              QStringLiteral("-d"), QStringLiteral("post_max_size=64M")};
        if (!rawPath.isEmpty()) arguments << QStringLiteral("-d") << QStringLiteral("enable_post_data_reading=0");
        arguments << QStringLiteral("-S") << QStringLiteral("127.0.0.1:%1").arg(port_) << QStringLiteral("-t") << dir
                  << dir + QStringLiteral("/feedback_router.php");
        process_.start(php, arguments);
        if (!process_.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {  // up to 5 s for the server to listen
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(50)) return true;
            QThread::msleep(50);
        }
        return false;
    }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(5000);
    }

    QString Url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

private:
    QProcess process_;
    quint16 port_ = 0;
};

// A TLS front on a free local port with a certificate made for the test and trusted
// while it lives: it serves the front page itself and answers every other request, once
// its body has arrived, with "307 Temporary Redirect" to the same path on `target`.
class HttpsRedirector {
public:
    ~HttpsRedirector() { QSslConfiguration::setDefaultConfiguration(savedDefaults_); }

    bool Start(const QString& folder, const QString& target) {
        target_ = target;
        const QString key = folder + QStringLiteral("/tls.key"), crt = folder + QStringLiteral("/tls.crt");
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                                           {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                                            QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
                                            QStringLiteral("-out"), crt, QStringLiteral("-days"), QStringLiteral("2"),
                                            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                                            QStringLiteral("subjectAltName=IP:127.0.0.1")});
        const bool made = openssl.waitForFinished(30000) && openssl.exitCode() == 0;
        QFile crtFile(crt), keyFile(key);
        if (!made || !crtFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
            problem_ = QStringLiteral("openssl could not make a test certificate");
            return false;
        }
        const QSslCertificate certificate(&crtFile, QSsl::Pem);
        QSslConfiguration serverSide = QSslConfiguration::defaultConfiguration();
        serverSide.setLocalCertificate(certificate);
        serverSide.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
        server_.setSslConfiguration(serverSide);
        QSslConfiguration clientSide = savedDefaults_;
        clientSide.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(clientSide);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) Serve(socket);
        });
        if (!server_.listen(QHostAddress::LocalHost, 0)) {
            problem_ = server_.errorString();
            return false;
        }
        return true;
    }

    QString Url() const { return QStringLiteral("https://127.0.0.1:%1").arg(server_.serverPort()); }
    const QString& Problem() const { return problem_; }
    int Redirected() const { return redirected_; }

private:
    void Serve(QTcpSocket* socket) {
        auto received = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            received->append(socket->readAll());
            const qsizetype headerEnd = received->indexOf("\r\n\r\n");
            if (headerEnd < 0) return;
            const QByteArray header = received->left(headerEnd);
            qsizetype length = 0;
            for (const QByteArray& line : header.split('\n'))
                if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
            if (received->size() < headerEnd + 4 + length) return;  // the whole post first
            const QByteArray path = header.split(' ').value(1);
            QByteArray answer;
            if (path == "/") {
                answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello";
            } else {
                ++redirected_;
                answer = "HTTP/1.1 307 Temporary Redirect\r\nLocation: " + target_.toUtf8() + path +
                         "\r\nContent-Length: 0\r\n\r\n";
            }
            received->clear();
            socket->write(answer);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QSslServer server_;
    QSslConfiguration savedDefaults_ = QSslConfiguration::defaultConfiguration();
    QString target_, problem_;
    int redirected_ = 0;
};

// Field names as PHP's $_POST and $_FILES show them: blanks and dots become underscores.
QString PhpName(QString name) {
    name.replace(u' ', u'_');
    name.replace(u'.', u'_');
    return name;
}

QByteArray Sha1(const QByteArray& data) { return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex(); }

class FeedbackForm : public ::testing::Test {
protected:
    void SetUp() override {
        // Preferences go to this test's own folder, never to the user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, Q(dir_.File("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Q(dir_.File("config")));
        UiService::Install(&ui_);
        form_ = std::make_unique<TfrmWeb>();
        launch_.productName = kProduct;
        launch_.productVersion = QStringLiteral("RW 1.02");
        launch_.defaultRecipient = QStringLiteral("help@vornell.example");
        launch_.attachment1 = Q(dir_.File(kProduct.toStdString() + ".errors.txt"));
        launch_.startFolder = Q(dir_.Path().string());
    }
    void TearDown() override {
        form_.reset();
        UiService::Install(nullptr);
    }

    static QString Q(const std::string& s) { return QString::fromStdString(s); }
    QString RecordPath() const { return Q(dir_.File("record.json")); }
    bool Recorded() const { return QFile::exists(RecordPath()); }
    QJsonObject Record() const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(ReadFile(RecordPath().toStdString()))).object();
    }
    static void Configure(const char* key, const QString& value) {
        QSettings prefs(QString::fromUtf8(kSettingsOrganization), QString::fromUtf8(kSettingsApplication));
        prefs.setValue(QString::fromUtf8(key), value);
    }
    static QString Remembered(const char* key) {
        QSettings prefs(QString::fromUtf8(kSettingsOrganization), QString::fromUtf8(kSettingsApplication));
        return prefs.value(QString::fromUtf8(key)).toString();
    }

    // Starts the fixture service and points the form at it; false skips the test.
    bool StartService(const QString& reply = {}, const QString& status = {}) {
        if (!php_.Start(RecordPath(), reply, status)) return false;
        Configure(kKeyServiceUrl, php_.Url());
        return true;
    }
    // The Help menu's path into the form.
    bool Open(VornLog* log = nullptr) {
        form_->SendFeedbacktoVornell(launch_, log, kProduct);
        return form_->isVisible();
    }

    template <class T>
    T* Get(const char* name) {
        T* w = form_->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
    void Send() { Get<QPushButton>("btnSend")->click(); }
    // A file from the dialog, through the browse button.
    void ChooseFile(const QString& path) {
        ui_.files.push_back(path);
        Get<QPushButton>("btnSendFile")->click();
    }
    // Only the boxes (messages and questions, not the file dialogs) shown so far.
    std::vector<ScriptedUi::Shown> Messages() const {
        std::vector<ScriptedUi::Shown> out;
        for (const auto& s : ui_.shown)
            if (s.what == "message" || s.what == "confirm") out.push_back(s);
        return out;
    }

    TempDir dir_;
    ScriptedUi ui_;
    PhpService php_;
    FeedbackLaunch launch_;
    std::unique_ptr<TfrmWeb> form_;
};

#define START_SERVICE_OR_SKIP(...)                                                  \
    do {                                                                            \
        if (!StartService(__VA_ARGS__)) GTEST_SKIP() << "php (php-cli) not usable"; \
    } while (0)

TEST_F(FeedbackForm, CompleteSendArrivesPartByPartAndTheContactDetailsComeBack) {
    START_SERVICE_OR_SKIP();
    // A log longer than the tail that is sent.
    std::string logText;
    for (int i = 0; logText.size() < 50000; ++i) logText += "8 Dec 2026 6:45:18 - COM3: line " + std::to_string(i) + "\r\n";
    WriteFile(launch_.attachment1.toStdString(), logText);
    VornLog log(launch_.attachment1.toStdString(), VornLog::kDetails);
    const QByteArray userFile("PNG?\0\x01\xff binary body\r\n", 22);
    const QString userPath = Q(dir_.File("scope.png"));
    WriteFile(userPath.toStdString(), userFile.toStdString());

    ASSERT_TRUE(Open(&log));
    // Opening the form leaves the log on disk as it was; what is sent is its last part.
    EXPECT_EQ(ReadFile(launch_.attachment1.toStdString()), logText);

    Edit("edName")->setText(QStringLiteral("Ada Field"));
    Edit("edCompany")->setText(QStringLiteral("Field & Stream Ltd"));
    Edit("edEmail")->setText(QStringLiteral("ada@field.example"));
    Edit("edTelephone")->setText(QStringLiteral("+1 555 0100"));
    Edit("edEmailTo")->setText(QStringLiteral("rep@dealer.example"));
    Get<QComboBox>("cbRespondVia")->setCurrentIndex(3);
    Get<QComboBox>("cbFeedbackType")->setCurrentIndex(2);
    EXPECT_EQ(Get<QLabel>("lblDescription")->text(), QStringLiteral("Please describe the bug or issue below"));
    const QString description = QStringLiteral("The logger stops at 3 a.m.\nSecond line: \u00fcber & \"quotes\"");
    Get<QPlainTextEdit>("reDescription")->setPlainText(description);
    ChooseFile(userPath);
    EXPECT_EQ(Edit("edSendFile")->text(), QStringLiteral("scope.png"));

    Send();

    ASSERT_TRUE(Recorded());
    const QJsonObject rec = Record();
    EXPECT_EQ(rec["method"].toString(), QStringLiteral("POST"));
    EXPECT_EQ(rec["uri"].toString(), QStringLiteral("/php-bin/app_feedback.php"));
    EXPECT_TRUE(rec["content_type"].toString().startsWith(QStringLiteral("multipart/form-data; boundary=")));
    EXPECT_EQ(rec["accept"].toString(), QStringLiteral("text/html, */*"));
    EXPECT_EQ(rec["user_agent"].toString(), QStringLiteral("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_EQ(rec["cookies"].toObject()["vornsession"].toString(), QStringLiteral("front-page"));

    const std::vector<std::pair<QString, QString>> expected{
        {"EmailTo", "rep@dealer.example"},
        {"EmailSubject", kProduct + " Bug Report"},
        {"Name", "Ada Field"},
        {"Company Name", "Field & Stream Ltd"},
        {"Email", "ada@field.example"},
        {"Telephone", "+1 555 0100"},
        {"Respond Via", "Telephone (mid day is best)"},
        {"Registered Name", ""},
        {"Registered Company", ""},
        {"Software Version", kProduct + " version RW 1.02"},
        {"Installation Path", QCoreApplication::applicationFilePath()},
        {"Computer Information", TfrmWeb::ComputerInformation()},
        {"Feedback", description},
    };
    const QJsonArray fields = rec["fields"].toArray();
    ASSERT_EQ(fields.size(), static_cast<qsizetype>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const QJsonObject f = fields[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(f["name"].toString(), PhpName(expected[i].first)) << i;
        EXPECT_EQ(f["value"].toString(), expected[i].second) << expected[i].first.toStdString();
    }

    const QJsonArray files = rec["files"].toArray();
    ASSERT_EQ(files.size(), 2);
    const QJsonObject logPart = files[0].toObject();
    const QString logName = kProduct + QStringLiteral(".errors.txt");
    EXPECT_EQ(logPart["field"].toString(), PhpName(logName));
    EXPECT_EQ(logPart["name"].toString(), logName);
    EXPECT_EQ(logPart["type"].toString(), QStringLiteral("text/plain"));
    const std::string sentLog = QByteArray::fromBase64(logPart["content_base64"].toString().toLatin1()).toStdString();
    EXPECT_LE(sentLog.size(), 32768u);
    EXPECT_GT(sentLog.size(), 32000u);
    EXPECT_TRUE(logText.ends_with(sentLog));
    EXPECT_EQ(logText[logText.size() - sentLog.size() - 1], '\n');  // cut at a line start
    const QJsonObject userPart = files[1].toObject();
    EXPECT_EQ(userPart["name"].toString(), QStringLiteral("scope.png"));
    EXPECT_EQ(userPart["type"].toString(), QStringLiteral("image/png"));
    EXPECT_EQ(QByteArray::fromBase64(userPart["content_base64"].toString().toLatin1()), userFile);

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Feedback Successfully Sent"));
    EXPECT_EQ(Messages()[0].text, QStringLiteral("Thank you for submitting your Bug Report."));
    EXPECT_EQ(Messages()[0].kind, UiService::Kind::Information);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(Remembered(kKeyName), QStringLiteral("Ada Field"));
    EXPECT_EQ(Remembered(kKeyPhone), QStringLiteral("+1 555 0100"));
    EXPECT_EQ(Remembered(kKeyEmailTo), QStringLiteral("rep@dealer.example"));

    // The next opening: remembered details back, a registered company taking precedence,
    // description, file, type and response preference from scratch.
    launch_.registeredCompany = QStringLiteral("Registered Co");
    ASSERT_TRUE(Open(&log));
    EXPECT_EQ(Edit("edName")->text(), QStringLiteral("Ada Field"));
    EXPECT_EQ(Edit("edCompany")->text(), QStringLiteral("Registered Co"));
    EXPECT_EQ(Edit("edEmail")->text(), QStringLiteral("ada@field.example"));
    EXPECT_EQ(Edit("edTelephone")->text(), QStringLiteral("+1 555 0100"));
    EXPECT_EQ(Edit("edEmailTo")->text(), QStringLiteral("rep@dealer.example"));
    EXPECT_TRUE(Get<QPlainTextEdit>("reDescription")->toPlainText().isEmpty());
    EXPECT_TRUE(Edit("edSendFile")->text().isEmpty());
    EXPECT_EQ(Get<QComboBox>("cbRespondVia")->currentIndex(), 1);
    EXPECT_EQ(Get<QComboBox>("cbFeedbackType")->currentIndex(), 0);
    EXPECT_EQ(Get<QLabel>("lblDescription")->text(), QStringLiteral("Please describe the feedback below"));
    EXPECT_EQ(form_->FeedbackTypeName(), QStringLiteral("General Feedback"));
}

TEST_F(FeedbackForm, NameAloneIsEnoughWhenNoResponseIsWantedAndGoesToTheDefaultRecipient) {
    START_SERVICE_OR_SKIP();
    // No log yet: the form says so in the log (which creates it) and sends that.
    VornLog log(launch_.attachment1.toStdString(), VornLog::kDetails);
    ASSERT_TRUE(Open(&log));
    const std::string logText = ReadFile(launch_.attachment1.toStdString());
    EXPECT_TRUE(logText.ends_with(" - " + kProduct.toStdString() +
                                  ": Launching web feedback with an empty error file.\r\n"))
        << logText;

    Edit("edName")->setText(QStringLiteral("Bo"));
    Get<QComboBox>("cbRespondVia")->setCurrentIndex(0);
    Get<QComboBox>("cbFeedbackType")->setCurrentIndex(3);
    Send();

    ASSERT_TRUE(Recorded());
    const QJsonArray fields = Record()["fields"].toArray();
    ASSERT_GE(fields.size(), 7);
    EXPECT_EQ(fields[0].toObject()["value"].toString(), QStringLiteral("help@vornell.example"));
    EXPECT_EQ(fields[1].toObject()["value"].toString(), kProduct + QStringLiteral(" Other Feedback"));
    EXPECT_EQ(fields[6].toObject()["value"].toString(), QStringLiteral("No response necessary"));
    const QJsonArray files = Record()["files"].toArray();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(QByteArray::fromBase64(files[0].toObject()["content_base64"].toString().toLatin1()).toStdString(), logText);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back().text, QStringLiteral("Thank you for submitting your Other Feedback."));
}

TEST_F(FeedbackForm, AnswerWithoutTheSuccessTextIsAFailureEvenWithStatus200) {
    START_SERVICE_OR_SKIP(QStringLiteral("<html><body>Feedback stored</body></html>"));
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Cy"));
    Edit("edEmail")->setText(QStringLiteral("cy@example.org"));
    Get<QPlainTextEdit>("reDescription")->setPlainText(QStringLiteral("kept"));
    Send();

    EXPECT_TRUE(Recorded());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Sending Feedback"));
    EXPECT_TRUE(Messages()[0].text.startsWith(QStringLiteral(
        "There was an error trying to send your General Feedback to Vornell.\n\nPlease try again.\n\nClick OK to save it")))
        << Messages()[0].text.toStdString();
    EXPECT_EQ(Messages()[0].kind, UiService::Kind::Warning);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(Get<QPlainTextEdit>("reDescription")->toPlainText(), QStringLiteral("kept"));
    EXPECT_TRUE(Get<QPushButton>("btnSend")->isEnabled());
}

TEST_F(FeedbackForm, ErrorStatusFailsWithTheClientsMessageEvenIfTheBodySaysCompleted) {
    START_SERVICE_OR_SKIP(QString(), QStringLiteral("500"));
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Di"));
    Edit("edTelephone")->setText(QStringLiteral("555"));
    Send();

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Sending Feedback"));
    EXPECT_TRUE(Messages()[0].text.startsWith(QStringLiteral(
        "There was an error trying to send your General Feedback to Vornell.\n\nPlease try again.\n\nError: ")));
    EXPECT_EQ(form_->LastSendError(),
              Messages()[0].text.section(QStringLiteral("\n\nError: "), 1).section(QStringLiteral("\n\nClick OK"), 0, 0));
    EXPECT_TRUE(form_->isVisible());
}

// The service cannot take the report: the user may save the same report (the fields, the
// log's last part, the attached file) as one e-mail message to send by hand.
TEST_F(FeedbackForm, AReportTheServiceCannotTakeIsSavedAsAnEmailToSendByHand) {
    START_SERVICE_OR_SKIP(QString(), QStringLiteral("503"));
    std::string logText;
    for (int i = 0; logText.size() < 40000; ++i) logText += "9 Dec 2026 7:00:00 - COM3: line " + std::to_string(i) + "\r\n";
    WriteFile(launch_.attachment1.toStdString(), logText);
    const QString userPath = Q(dir_.File("trace \"A\".csv"));
    WriteFile(userPath.toStdString(), "t,v\n1,2\n");
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Fay \u00d6rn"));
    Edit("edEmail")->setText(QStringLiteral("fay@example.org"));
    Get<QPlainTextEdit>("reDescription")->setPlainText(QStringLiteral("It stops.\nSubject: forged"));
    ChooseFile(userPath);
    const QString saved = Q(dir_.File("report.eml"));
    ui_.answers.push_back(UiService::Answer::Ok);
    ui_.files.push_back(saved);
    Send();

    ASSERT_GE(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Sending Feedback"));
    EXPECT_EQ(Messages().back().title, QStringLiteral("Report Saved"));
    EXPECT_FALSE(form_->isVisible());
    const std::string eml = ReadFile(saved.toStdString());
    EXPECT_EQ(eml.rfind("To: help@vornell.example\r\nSubject: " + kProduct.toStdString() + " General Feedback\r\n", 0), 0u)
        << eml.substr(0, 200);
    EXPECT_NE(eml.find("\r\nName: Fay \xc3\x96rn\r\n"), std::string::npos);
    // The description's second line stays in the text part, not a header of its own.
    EXPECT_NE(eml.find("\r\nFeedback: It stops.\r\nSubject: forged\r\n--"), std::string::npos);
    EXPECT_NE(eml.find("filename=\"trace %22A%22.csv\""), std::string::npos);
    EXPECT_NE(eml.find(QByteArray("t,v\n1,2\n").toBase64().toStdString()), std::string::npos);
    // The log's last part, whole lines: its last line is in the attachment, its first is not.
    const size_t logAt = eml.find("filename=\"" + kProduct.toStdString() + ".errors.txt\"");
    ASSERT_NE(logAt, std::string::npos);
    const size_t body = eml.find("\r\n\r\n", logAt) + 4;
    std::string base64;
    for (size_t i = body; i < eml.size() && eml.compare(i, 2, "--") != 0; ++i)
        if (eml[i] != '\r' && eml[i] != '\n') base64 += eml[i];
    const std::string sentLog = QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString();
    EXPECT_LE(sentLog.size(), 32768u);
    EXPECT_TRUE(logText.ends_with(sentLog));
    EXPECT_EQ(ReadFile(launch_.attachment1.toStdString()), logText);  // the file itself stays whole
}

// Unreachable at opening: Cancel keeps the window closed; OK opens it, and the report the
// send then cannot deliver is saved for e-mail.
TEST_F(FeedbackForm, UnreachableServiceAtOpeningKeepsTheWindowClosedUnlessTheUserWritesAnyway) {
    Configure(kKeyServiceUrl, QStringLiteral("http://127.0.0.1:%1").arg(FreePort()));
    Configure(kKeyWebSite, QStringLiteral("www.vornell.test"));
    EXPECT_FALSE(Open());

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Internet Access Error"));
    EXPECT_TRUE(Messages()[0].text.endsWith(QStringLiteral("Click CANCEL to close.")));
    const QString head = QStringLiteral(
        "Error connecting to Vornell's customer feedback internet service.\n\n"
        "This feature requires your computer to be connected to the internet\n"
        "and be able to contact Vornell's Web Site (www.vornell.test).\n\n"
        "Please make a connection to the internet and try again.\n\nError: ");
    EXPECT_TRUE(Messages()[0].text.startsWith(head)) << Messages()[0].text.toStdString();
    EXPECT_TRUE(Messages()[0].text.contains(QStringLiteral("refused"), Qt::CaseInsensitive));
    EXPECT_EQ(ui_.beeps, std::vector<UiService::Kind>{UiService::Kind::Error});

    const QString saved = Q(dir_.File("offline.eml"));
    ui_.answers = {UiService::Answer::Ok, UiService::Answer::Ok};
    ui_.files.push_back(saved);
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Gil"));
    Edit("edEmail")->setText(QStringLiteral("gil@example.org"));
    Send();
    EXPECT_EQ(Messages().back().title, QStringLiteral("Report Saved"));
    EXPECT_NE(ReadFile(saved.toStdString()).find("\r\nName: Gil\r\n"), std::string::npos);
}

TEST_F(FeedbackForm, ConnectionLostBeforeTheSendKeepsEverythingEntered) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Ed"));
    Edit("edEmail")->setText(QStringLiteral("ed@example.org"));
    Get<QComboBox>("cbFeedbackType")->setCurrentIndex(1);
    Get<QPlainTextEdit>("reDescription")->setPlainText(QStringLiteral("please add CSV export"));
    php_.Stop();
    Send();

    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Sending Feedback"));
    const QString text = Messages()[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "There was an error trying to send your Feature Suggestion to Vornell.\n\nPlease try again.\n\nError: ")));
    EXPECT_TRUE(text.contains(QStringLiteral("refused"), Qt::CaseInsensitive)) << text.toStdString();
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(Edit("edName")->text(), QStringLiteral("Ed"));
    EXPECT_EQ(Get<QComboBox>("cbFeedbackType")->currentIndex(), 1);
    EXPECT_EQ(Get<QPlainTextEdit>("reDescription")->toPlainText(), QStringLiteral("please add CSV export"));
    // The contact details were saved before the send was tried.
    EXPECT_EQ(Remembered(kKeyEmail), QStringLiteral("ed@example.org"));
}

TEST_F(FeedbackForm, ValidationsRunInOrderMoveTheFocusAndSaveNothing) {
    form_->show();  // validation needs no service
    struct Step {
        const char* name;
        const char* email;
        const char* phone;
        const char* emailTo;
        int respondVia;
        const char* caption;
        QString text;
        const char* focus;
    };
    const QString complete = QStringLiteral("Please enter a complete email address including\nthe '@' symbol and domain name.");
    const QString badEmail = QStringLiteral("The email address you entered doesn't seem to be correct.\n\n") + complete;
    const std::vector<Step> steps{
        {"", "x", "y", "z", 0, "Missing Information", QStringLiteral("Please enter your name in the name field"), "edName"},
        {"Fay", "", "", "", 1, "Missing Information",
         QStringLiteral("Please enter your phone number or email address so Vornell can respond to your feedback."),
         "edTelephone"},
        {"Fay", "fay@example.org", "", "rep.example", 1, "Bad Email Address",
         QStringLiteral("The email address you entered for your Vornell\nRepresentative isn't complete.\n\n") + complete,
         "edEmailTo"},
        {"Fay", "fay.example.org", "", "", 0, "Bad Email Address", badEmail, "edEmail"},
        {"Fay", "fay @example.org", "555", "rep@example.org", 2, "Bad Email Address",
         badEmail + QStringLiteral("\n\nPlease remove any space characters in the email address."), "edEmail"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text.toStdString());
        Edit("edName")->setText(QString::fromUtf8(s.name));
        Edit("edEmail")->setText(QString::fromUtf8(s.email));
        Edit("edTelephone")->setText(QString::fromUtf8(s.phone));
        Edit("edEmailTo")->setText(QString::fromUtf8(s.emailTo));
        Get<QComboBox>("cbRespondVia")->setCurrentIndex(s.respondVia);
        Get<QPushButton>("btnSend")->setFocus();
        const size_t before = Messages().size();
        Send();
        ASSERT_EQ(Messages().size(), before + 1);
        EXPECT_EQ(Messages().back().title, QString::fromUtf8(s.caption));
        EXPECT_EQ(Messages().back().text, s.text);
        EXPECT_EQ(Messages().back().kind, UiService::Kind::Warning);
        ASSERT_NE(form_->focusWidget(), nullptr);
        EXPECT_EQ(form_->focusWidget()->objectName(), QString::fromUtf8(s.focus));
    }
    EXPECT_TRUE(Remembered(kKeyName).isEmpty());
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(FeedbackForm, UserFileOfEightMebibytesIsAcceptedAndOneByteMoreRefused) {
    form_->SetLaunchValues(launch_);
    form_->show();
    const QString fits = Q(dir_.File("fits.bin"));
    const QString tooBig = Q(dir_.File("too big.bin"));
    std::filesystem::resize_file((WriteFile(fits.toStdString(), ""), fits.toStdString()), 8388608);
    std::filesystem::resize_file((WriteFile(tooBig.toStdString(), ""), tooBig.toStdString()), 8388609);

    ChooseFile(fits);
    EXPECT_EQ(Edit("edSendFile")->text(), QStringLiteral("fits.bin"));
    EXPECT_EQ(form_->SendFilePath(), fits);
    ASSERT_FALSE(ui_.shown.empty());
    EXPECT_EQ(ui_.shown.back().what, QStringLiteral("open"));
    EXPECT_EQ(ui_.shown.back().title, QStringLiteral("Send File with Feedback"));
    EXPECT_TRUE(ui_.shown.back().text.startsWith(launch_.startFolder + u'\n'));
    EXPECT_TRUE(Messages().empty());

    ChooseFile(tooBig);
    EXPECT_TRUE(Edit("edSendFile")->text().isEmpty());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("File Size Error"));
    EXPECT_EQ(Messages()[0].kind, UiService::Kind::Error);
    EXPECT_EQ(Messages()[0].text, QStringLiteral("The file \"too big.bin\" is too big.\n\n"
                                                 "The maximun file size you can send with your feedback\n"
                                                 "is 8 megabytes (this file is 8.0 MB).\n\n"
                                                 "Please choose a different file to send."));

    // Cancelling the dialog leaves no file either.
    ChooseFile(fits);
    ChooseFile(QString());
    EXPECT_TRUE(Edit("edSendFile")->text().isEmpty());
}

TEST_F(FeedbackForm, UnreadableUserFileStopsTheSendWithItsReason) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    Edit("edName")->setText(QStringLiteral("Gus"));
    Edit("edEmail")->setText(QStringLiteral("gus@example.org"));

    const QString gone = Q(dir_.File("gone.txt"));
    WriteFile(gone.toStdString(), "soon gone");
    ChooseFile(gone);
    ASSERT_EQ(Edit("edSendFile")->text(), QStringLiteral("gone.txt"));
    std::filesystem::remove(gone.toStdString());
    Send();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Reading File"));
    EXPECT_EQ(Messages()[0].kind, UiService::Kind::Error);
    EXPECT_EQ(Messages()[0].text, QStringLiteral("Error sending the file \"gone.txt\". \n"
                                                 "The file is empty or can't be found on the system.\n\n"
                                                 "Please check your file name and try again."));

    // A folder exists but cannot be sent: the general text with the reason.
    const QString folder = Q(dir_.File("a folder"));
    std::filesystem::create_directory(folder.toStdString());
    ChooseFile(folder);
    Send();
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1].title, QStringLiteral("Error Reading File"));
    EXPECT_TRUE(Messages()[1].text.startsWith(
        QStringLiteral("Error sending the file \"a folder\". \n\nPlease try again.\n\nError: ")));

    EXPECT_FALSE(Recorded());
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(Get<QPushButton>("btnSend")->isEnabled());
}

TEST_F(FeedbackForm, LargeSendShowsTheProgressBarAndHidesItAtTheEnd) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    QByteArray big(8388608, '\0');
    for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131) >> 3);
    const QString path = Q(dir_.File("capture.dat"));
    WriteFile(path.toStdString(), big.toStdString());
    Edit("edName")->setText(QStringLiteral("Hal"));
    Edit("edEmail")->setText(QStringLiteral("hal@example.org"));
    ChooseFile(path);

    QProgressBar* bar = Get<QProgressBar>("pbWeb");
    EXPECT_FALSE(bar->isVisible());
    int shownSteps = 0;
    int lastValue = -1;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (!bar->isVisible()) return;
        ++shownSteps;
        EXPECT_GE(bar->maximum(), 8388608);
        EXPECT_GE(value, lastValue);
        lastValue = value;
        EXPECT_TRUE(form_->UploadInProgress());
    });
    Send();

    EXPECT_GT(shownSteps, 0);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(form_->UploadInProgress());
    ASSERT_TRUE(Recorded());
    const QJsonArray files = Record()["files"].toArray();
    ASSERT_EQ(files.size(), 1);  // no log file exists in this test
    EXPECT_EQ(files[0].toObject()["size"].toInteger(), 8388608);
    EXPECT_EQ(files[0].toObject()["sha1"].toString().toLatin1(), Sha1(big));
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back().title, QStringLiteral("Feedback Successfully Sent"));
}

TEST_F(FeedbackForm, SmallSendLeavesTheProgressBarHidden) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    const QString path = Q(dir_.File("small.dat"));
    WriteFile(path.toStdString(), std::string(2097152 - 4096, 'x'));  // with the fields, still below 2 MiB
    Edit("edName")->setText(QStringLiteral("Ivy"));
    Edit("edTelephone")->setText(QStringLiteral("555"));
    ChooseFile(path);
    QProgressBar* bar = Get<QProgressBar>("pbWeb");
    bool everShown = false;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&] { everShown = everShown || bar->isVisible(); });
    Send();
    EXPECT_TRUE(Recorded());
    EXPECT_FALSE(everShown);
}

TEST_F(FeedbackForm, ClosingTheWindowAbortsTheUploadAndSaysNothingWasSent) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    const QString path = Q(dir_.File("capture.dat"));
    WriteFile(path.toStdString(), std::string(8388608, 'v'));
    Edit("edName")->setText(QStringLiteral("Jo"));
    Edit("edEmail")->setText(QStringLiteral("jo@example.org"));
    ChooseFile(path);
    QProgressBar* bar = Get<QProgressBar>("pbWeb");
    QObject::connect(bar, &QProgressBar::valueChanged, form_.get(), [this] {
        if (form_->isVisible()) form_->close();
    }, Qt::QueuedConnection);
    Send();

    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->UploadInProgress());
    EXPECT_FALSE(form_->LastSendError().isEmpty());
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Feedback Not Sent"));
    EXPECT_TRUE(Messages()[0].text.contains(QStringLiteral("was not sent"))) << Messages()[0].text.toStdString();
    EXPECT_FALSE(Recorded());
}

TEST_F(FeedbackForm, EscapeNeitherClosesTheFormNorLosesWhatWasTyped) {
    START_SERVICE_OR_SKIP();
    ASSERT_TRUE(Open());
    auto* description = Get<QPlainTextEdit>("reDescription");
    description->setPlainText(QStringLiteral("three paragraphs about the logger"));
    for (QWidget* focus : {static_cast<QWidget*>(description), static_cast<QWidget*>(Edit("edName"))}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_TRUE(form_->isVisible());
    }
    EXPECT_EQ(description->toPlainText(), QStringLiteral("three paragraphs about the logger"));
    form_->close();  // the window's own close still closes it
    EXPECT_FALSE(form_->isVisible());
}

// A service reached over HTTPS that redirects the post to plain HTTP would send the
// user's contact details and log in clear: the redirect is refused.
TEST_F(FeedbackForm, ARedirectFromHttpsDownToPlainHttpIsNotFollowed) {
    START_SERVICE_OR_SKIP();
    HttpsRedirector https;
    ASSERT_TRUE(https.Start(Q(dir_.Path().string()), php_.Url())) << https.Problem().toStdString();
    Configure(kKeyServiceUrl, https.Url());
    ASSERT_TRUE(Open()) << (Messages().empty() ? std::string() : Messages()[0].text.toStdString());
    Edit("edName")->setText(QStringLiteral("Al"));
    Edit("edEmail")->setText(QStringLiteral("al@example.org"));
    Send();

    EXPECT_GE(https.Redirected(), 1);
    EXPECT_FALSE(Recorded());  // nothing arrived at the plain-HTTP service
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].title, QStringLiteral("Error Sending Feedback"));
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(FeedbackForm, DescriptionHoldsAtMost2048Characters) {
    form_->show();
    auto* description = Get<QPlainTextEdit>("reDescription");
    description->setPlainText(QString(2000, u'a'));
    QTextCursor end = description->textCursor();
    end.movePosition(QTextCursor::End);
    description->setTextCursor(end);
    description->insertPlainText(QString(100, u'b'));
    EXPECT_EQ(description->toPlainText(), QString(2000, u'a') + QString(48, u'b'));
}

TEST_F(FeedbackForm, ControlsFitTheClientAreaWithoutOverlapping) {
    form_->show();
    EXPECT_EQ(form_->size(), QSize(383, 492));
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("Send Feedback to Vornell"));
    const char* names[] = {"edName", "edCompany", "edEmail", "edTelephone", "cbFeedbackType", "cbRespondVia",
                           "reDescription", "edSendFile", "btnSendFile", "edEmailTo", "btnSend", "pbWeb"};
    std::vector<std::pair<QString, QRect>> boxes;
    for (const char* name : names) {
        QWidget* w = Get<QWidget>(name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(form_->rect().contains(w->geometry())) << name;
        boxes.emplace_back(QString::fromUtf8(name), w->geometry());
    }
    for (QLabel* label : form_->findChildren<QLabel*>()) {
        EXPECT_TRUE(form_->rect().contains(label->geometry())) << label->objectName().toStdString();
        // Every caption is readable at the font in use.
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        boxes.emplace_back(label->objectName(), label->geometry());
    }
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(boxes[i].second.intersects(boxes[j].second))
                << boxes[i].first.toStdString() << " / " << boxes[j].first.toStdString();
    EXPECT_TRUE(Get<QPushButton>("btnSend")->isDefault());
    EXPECT_TRUE(Edit("edSendFile")->isReadOnly());
    EXPECT_FALSE(Get<QProgressBar>("pbWeb")->isVisible());
    EXPECT_EQ(Get<QComboBox>("cbFeedbackType")->itemText(3), QStringLiteral("Other"));
    const QString shot = qEnvironmentVariable("VORN_FEEDBACK_SCREENSHOT");
    if (!shot.isEmpty()) form_->grab().save(shot);
}

// The entries both forms are given (tests/feedback/feedback_entries.txt, which the test
// under Wine types into the Windows form): "fill BOX=TEXT" or "choose BOX=N", "\n" a line
// break.
void ApplyEntries(TfrmWeb& form) {
    const std::string entries = ReadFile(vorn::test::SourceDir() + "/tests/feedback/feedback_entries.txt");
    size_t at = 0;
    while (at < entries.size()) {
        const size_t end = std::min(entries.find('\n', at), entries.size());
        const std::string line = entries.substr(at, end - at);
        at = end + 1;
        const size_t blank = line.find(' '), eq = line.find('=');
        if (blank == std::string::npos || eq == std::string::npos) continue;
        const QString verb = QString::fromStdString(line.substr(0, blank));
        const QString box = QString::fromStdString(line.substr(blank + 1, eq - blank - 1));
        QString text = QString::fromStdString(line.substr(eq + 1));
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        if (verb == u"choose") {
            form.findChild<QComboBox*>(box)->setCurrentIndex(text.toInt());
        } else if (auto* edit = form.findChild<QLineEdit*>(box)) {
            edit->setText(text);
        } else if (auto* area = form.findChild<QPlainTextEdit*>(box)) {
            area->setPlainText(text);
        } else {
            ADD_FAILURE() << "no box " << box.toStdString();
        }
    }
}

// A multipart body's text fields and its file, by boundary.
struct PostedParts {
    std::map<std::string, std::string> fields;
    std::string fileName, fileBytes;
};
PostedParts SplitPost(const std::string& body, const std::string& boundary) {
    PostedParts out;
    const std::string marker = "--" + boundary + "\r\n";
    for (size_t at = body.find(marker); at != std::string::npos;) {
        const size_t start = at + marker.size();
        const size_t next = body.find("\r\n--" + boundary, start);
        if (next == std::string::npos) break;
        const size_t headEnd = body.find("\r\n\r\n", start);
        const std::string head = body.substr(start, headEnd - start), value = body.substr(headEnd + 4, next - headEnd - 4);
        const size_t name = head.find("name=\"") + 6;
        const std::string field = head.substr(name, head.find('"', name) - name);
        const size_t file = head.find("filename=\"");
        if (file != std::string::npos) {
            out.fileName = head.substr(file + 10, head.find('"', file + 10) - file - 10);
            out.fileBytes = value;
        } else {
            out.fields[field] = value;
        }
        at = body.find(marker, next);
    }
    return out;
}

// The Windows form's post, captured under Wine by scripts/test-windows.sh, against the
// Qt form's with the same entries: the same bytes. Only what belongs to the computer and
// the run it was sent from (the program's path, the system, the version the main window
// showed, the log) is taken from the Windows post.
TEST_F(FeedbackForm, SendsTheSameBytesAsTheWindowsForm) {
    const QString windowsPost = qEnvironmentVariable("VORN_WINDOWS_FEEDBACK_POST");
    if (windowsPost.isEmpty()) GTEST_SKIP() << "run by scripts/test-windows.sh with the Windows form's post";
    const std::string theirs = ReadFile(windowsPost.toStdString());
    const std::string theirType = ReadFile(windowsPost.toStdString() + ".type");
    const std::string kBoundary = "boundary=";
    ASSERT_NE(theirType.find(kBoundary), std::string::npos) << theirType;
    const PostedParts parts = SplitPost(theirs, theirType.substr(theirType.find(kBoundary) + kBoundary.size()));
    ASSERT_EQ(parts.fields.size(), 13u) << theirs.substr(0, 2000);
    ASSERT_FALSE(parts.fileName.empty());

    const QString raw = Q(dir_.File("qt.post"));
    if (!php_.Start(RecordPath(), {}, {}, raw)) GTEST_SKIP() << "php (php-cli) not usable";
    Configure(kKeyServiceUrl, php_.Url());
    const std::string version = parts.fields.at("Software Version");
    const std::string prefix = kProduct.toStdString() + " version ";
    ASSERT_EQ(version.rfind(prefix, 0), 0u) << version;
    launch_.productVersion = Q(version.substr(prefix.size()));
    launch_.defaultRecipient = QString::fromUtf8(kDefaultRecipient);
    launch_.attachment1 = Q(dir_.File(parts.fileName));
    WriteFile(launch_.attachment1.toStdString(), parts.fileBytes);
    form_->SetComputer(Q(parts.fields.at("Installation Path")), Q(parts.fields.at("Computer Information")));

    ASSERT_TRUE(Open());
    ApplyEntries(*form_);
    Send();
    ASSERT_TRUE(QFile::exists(raw));
    EXPECT_EQ(ReadFile(raw.toStdString() + ".type"), theirType);
    const std::string ours = ReadFile(raw.toStdString());
    EXPECT_EQ(ours.size(), theirs.size());
    if (ours != theirs) {
        size_t i = 0;
        while (i < ours.size() && i < theirs.size() && ours[i] == theirs[i]) ++i;
        ADD_FAILURE() << "the posts differ from byte " << i << ":\n  Qt:      " << ours.substr(i > 80 ? i - 80 : 0, 200)
                      << "\n  Windows: " << theirs.substr(i > 80 ? i - 80 : 0, 200);
    }
}

}  // namespace
