#pragma once
// The update shown on a terminal: status lines and progress on stderr (one updating line
// with a bar on a terminal, plain lines otherwise), each error box as its title and text,
// each question asked on the terminal. Which options answer it OK is one table by what
// its OK risks (UpdateUi::Consent): --yes a plain confirmation, --accept-settings-loss
// one that gives up the instrument's settings, --yes with --restore-from SN one that writes
// the saved settings of SN into an instrument that cannot prove it is that unit. Without
// them, a person at the terminal answers; without one, Cancel.
#include <cstdio>
#include <vector>
#include <string>

#include "update/UpdateUi.h"

class VornLog;

class TerminalUi : public UpdateUi {
public:
    TerminalUi(VornLog* log, bool assumeYes, std::FILE* out = stderr, std::FILE* in = stdin);

    void ShowStatus(const std::string& text) override;
    void HideStatus() override {}
    void SetConnectText(ConnectLine line, const std::string& text) override;
    int Progress() const override { return progress_; }
    void SetProgress(int position) override;
    void BeginUpload(float position) override;
    bool ReportProgress(long total, long done, int stage, int code) override;
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override;
    bool Ask(const Question& question) override;
    void ShowStanding(const std::string& text) override;
    void Beep(BoxKind) override {}
    void PumpEvents() override {}
    bool KeepData() const override { return keepData_; }
    bool ReplaceSerialNumber() const override { return !newSerialNumber_.empty(); }
    std::string NewSerialNumber() const override { return newSerialNumber_; }

    // The factory choices of the command line (fixed for the whole run).
    void SetFactoryChoices(bool keepData, const std::string& newSerialNumber) {
        keepData_ = keepData;
        newSerialNumber_ = newSerialNumber;
    }
    void SetAcceptSettingsLoss(bool accept) { acceptSettingsLoss_ = accept; }
    // --restore-from SN: the serial number whose saved settings --yes may restore.
    // Several for a bench: each unit says OK only to its own.
    void SetRestoreFrom(std::vector<std::string> serialNumbers) { restoreFrom_ = std::move(serialNumbers); }

    void SetUploadScale(int step, float increment) {
        scale_.step = step;
        scale_.increment = increment;
    }
    // Ends an updating line so the next output starts on a fresh one.
    void EndLine();

private:
    void Redraw();
    void Line(const std::string& text);
    // Whether the command line's options say OK to `question`.
    bool OptionsAnswer(const Question& question) const;
    bool AskPerson();

    VornLog* log_;
    bool assumeYes_;
    std::FILE* out_;
    std::FILE* in_;
    bool terminal_;
    bool interactive_;
    bool lineOpen_ = false;
    int progress_ = 0;
    ProgressScale scale_;
    std::string status_;
    bool keepData_ = false;
    std::string newSerialNumber_;
    bool acceptSettingsLoss_ = false;
    std::vector<std::string> restoreFrom_;
};
