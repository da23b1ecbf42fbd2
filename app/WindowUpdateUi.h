#pragma once
// The update sequence shown in the main window: status label, progress bar, message boxes.
#include "update/UpdateUi.h"

class TfrmMain;

class WindowUpdateUi : public UpdateUi {
public:
    explicit WindowUpdateUi(TfrmMain& window) : window_(window) {}

    void ShowStatus(const std::string& text) override;
    void HideStatus() override;
    void SetConnectText(ConnectLine line, const std::string& text) override;
    int Progress() const override;
    void SetProgress(int position) override;
    void BeginUpload(float position) override;
    bool ReportProgress(long total, long done, int stage, int code) override;
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override;
    // Cancel is the default button of every question whose OK risks the settings.
    bool Ask(const Question& question) override;
    std::string HowToRestore(const std::string& settingsPath, const std::string& port) const override;
    std::string HowToTryAgain() const override;
    void ShowStanding(const std::string& text) override;
    void Beep(BoxKind kind) override;
    void PumpEvents() override;
    bool KeepData() const override;
    bool ReplaceSerialNumber() const override;
    std::string NewSerialNumber() const override;

private:
    TfrmMain& window_;
};
