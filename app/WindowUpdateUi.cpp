#include "app/WindowUpdateUi.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/AutoSizeLabel.h"
#include "app/TfrmMain.h"
#include "gui/UiService.h"
#include "window/MainWindowModel.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void WindowUpdateUi::ShowStatus(const std::string& text) {
    window_.statusText->setText(Q(text));
    window_.statusText->setVisible(true);
    window_.statusText->repaint();
    QCoreApplication::processEvents();
}

void WindowUpdateUi::HideStatus() { window_.statusText->setVisible(false); }

void WindowUpdateUi::SetConnectText(ConnectLine, const std::string& text) { window_.lblConnect->setText(Q(text)); }

int WindowUpdateUi::Progress() const { return window_.statusBar->value(); }

void WindowUpdateUi::SetProgress(int position) { window_.statusBar->setValue(position); }

void WindowUpdateUi::BeginUpload(float position) {
    window_.ProgressPosition() = position;
    window_.statusBar->setValue(static_cast<int>(position));
}

bool WindowUpdateUi::ReportProgress(long total, long done, int stage, int code) {
    return window_.ReportProgress(total, done, stage, code);
}

void WindowUpdateUi::ErrorBox(const std::string& message, const std::string& title, BoxKind kind) {
    window_.ErrorOK(Q(message), Q(title), static_cast<int>(kind));
}

bool WindowUpdateUi::Ask(const Question& question) {
    return window_.AskOkCancel(Q(question.text), Q(question.title), CancelByDefault(question.consent)) == 1;
}

std::string WindowUpdateUi::HowToTryAgain() const { return vorn::window::HowToTryAgain(); }

std::string WindowUpdateUi::HowToRestore(const std::string& settingsPath, const std::string&) const {
    return vorn::window::HowToRestore(settingsPath);
}

// Every failure's box says where the instrument stands; a question the user cancelled
// changed nothing on it, which the window need not repeat.
void WindowUpdateUi::ShowStanding(const std::string&) {}

void WindowUpdateUi::Beep(BoxKind kind) {
    UiService::Get().Beep(static_cast<UiService::Kind>(kind));
}

void WindowUpdateUi::PumpEvents() {
    window_.repaint();
    QCoreApplication::processEvents();
}

// The menu items and the box stay usable during an update: read what they show now.
bool WindowUpdateUi::KeepData() const { return window_.DontEraseData1->isChecked(); }

bool WindowUpdateUi::ReplaceSerialNumber() const { return window_.PromptforSerialNumber1->isChecked(); }

std::string WindowUpdateUi::NewSerialNumber() const { return window_.newSNstr->text().toStdString(); }
