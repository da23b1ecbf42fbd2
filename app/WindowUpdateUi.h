#pragma once
// The update sequence shown in the main window: status label, progress bar, message boxes.
#include "update/UpdateUi.h"

class TfrmMain;

class WindowUpdateUi : public UpdateUi {
public:
    explicit WindowUpdateUi(TfrmMain& window) : window_(window) {}

    void ShowStatus(const std::string& text) override;
    void HideStatus() override;
    void SetConnectText(const std::string& text) override;
    int Progress() const override;
    void SetProgress(int position) override;
    void BeginUpload(float position) override;
    bool ReportProgress(long total, long done, int stage, int code) override;
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override;
    bool AskOkCancel(const std::string& message, const std::string& title) override;
    // Cancel is the default button: OK writes another run's settings into the instrument.
    bool AskToRestoreSettings(const std::string& message, const std::string& title,
                              const std::string& savedSerial) override;
    void Beep(BoxKind kind) override;
    void PumpEvents() override;
    bool KeepData() const override;
    bool ReplaceSerialNumber() const override;
    std::string NewSerialNumber() const override;

private:
    TfrmMain& window_;
};
