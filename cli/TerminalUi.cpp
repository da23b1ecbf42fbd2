#include "cli/TerminalUi.h"

#include <algorithm>

#include "common/FilesPlatform.h"
#include "common/Text.h"
#include "common/VornLog.h"

namespace {
constexpr int kBarWidth = 30;
}

TerminalUi::TerminalUi(VornLog* log, bool assumeYes, std::FILE* out, std::FILE* in)
    : log_(log), assumeYes_(assumeYes), out_(out), in_(in) {
    terminal_ = vorn::platform::IsTerminal(out_);
    interactive_ = terminal_ && vorn::platform::IsTerminal(in_);
}

void TerminalUi::EndLine() {
    if (lineOpen_) std::fputc('\n', out_);
    lineOpen_ = false;
    std::fflush(out_);
}

void TerminalUi::Line(const std::string& text) {
    EndLine();
    // Port descriptions and device answers reach the terminal defanged: no escape sequence.
    std::fprintf(out_, "%s\n", vorn::EscapeControls(text, true).c_str());
    std::fflush(out_);
}

void TerminalUi::Redraw() {
    if (!terminal_) return;
    int filled = std::clamp(progress_, 0, 100) * kBarWidth / 100;
    std::string bar = std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(out_, "\r\033[K[%s] %3d%% %s", bar.c_str(), progress_, status_.c_str());
    std::fflush(out_);
    lineOpen_ = true;
}

void TerminalUi::ShowStatus(const std::string& text) {
    status_ = vorn::EscapeControls(text);
    if (terminal_)
        Redraw();
    else
        Line(text);
}

// The safety lines, on a terminal as in a log: when the cable must stay, and when it may
// go. The window's idle line is no news at the end of a failure, where it would read
// as its cause.
void TerminalUi::SetConnectText(ConnectLine line, const std::string& text) {
    if (line != ConnectLine::kIdle) Line(text);
}

void TerminalUi::SetProgress(int position) {
    position = std::clamp(position, 0, 100);
    if (position == progress_) return;
    progress_ = position;
    Redraw();
}

void TerminalUi::BeginUpload(float position) {
    scale_.position = position;
    SetProgress(static_cast<int>(position));
}

bool TerminalUi::ReportProgress(long, long, int, int code) {
    SetProgress(scale_.Apply(progress_, code));
    return true;
}

void TerminalUi::ErrorBox(const std::string& message, const std::string& title, BoxKind) {
    Line(title + ": " + message);
    if (log_) log_->Log(VornLog::kFailures, "ErrorOK Told User:", "%s", message.c_str());
}

namespace {

using Consent = UpdateUi::Consent;

// Who may answer OK for the user, by what the OK risks: the options, and why Cancel was
// the answer without them ("SN" stands for the serial number the settings were saved from).
struct ConsentRule {
    Consent consent;
    const char* options;
    const char* withoutThem;
};
constexpr ConsentRule kConsentRules[] = {
    {Consent::kConfirm, "--yes", "no terminal to ask and no --yes"},
    {Consent::kGiveUpSettings, "--accept-settings-loss",
     "OK would give up the instrument's settings; --yes does not answer this question. Run again with "
     "--accept-settings-loss to go on without them, or from a terminal to be asked."},
    {Consent::kWriteSavedSettings, "--yes --restore-from",
     "OK would write these settings, serial number included, into the instrument; --yes alone does not answer this "
     "question. Run again with --yes --restore-from \"SN\" if it is that unit, or from a terminal to be asked."},
};

const ConsentRule& RuleOf(Consent consent) {
    for (const ConsentRule& rule : kConsentRules)
        if (rule.consent == consent) return rule;
    return kConsentRules[0];
}

std::string WithSerial(std::string text, const std::string& serial) {
    if (const size_t at = text.find("\"SN\""); at != std::string::npos) text.replace(at + 1, 2, serial);
    return text;
}

}  // namespace

bool TerminalUi::OptionsAnswer(const Question& q) const {
    switch (q.consent) {
        case Consent::kConfirm: return assumeYes_;
        case Consent::kGiveUpSettings: return acceptSettingsLoss_;
        case Consent::kWriteSavedSettings:
            return assumeYes_ && std::find(restoreFrom_.begin(), restoreFrom_.end(), q.savedSerial) != restoreFrom_.end();
    }
    return false;
}

bool TerminalUi::Ask(const Question& q) {
    Line(q.title + ": " + q.text);
    const ConsentRule& rule = RuleOf(q.consent);
    if (q.consent == Consent::kWriteSavedSettings && !restoreFrom_.empty() &&
        std::find(restoreFrom_.begin(), restoreFrom_.end(), q.savedSerial) == restoreFrom_.end()) {
        // Not a unit the command line named: refused, also at a terminal.
        std::string listed;
        for (const std::string& s : restoreFrom_) listed += (listed.empty() ? "\"" : ", \"") + s + "\"";
        Line("(answered Cancel: the file was saved from serial number \"" + q.savedSerial + "\", not from " + listed +
             " as --restore-from says)");
        return false;
    }
    if (OptionsAnswer(q)) {
        Line(std::string("(answered OK: ") + rule.options + ")");
        return true;
    }
    if (!interactive_) {
        if (q.consent == Consent::kWriteSavedSettings && !restoreFrom_.empty())
            Line("(answered Cancel: --restore-from names the unit; --yes says OK to it. Run again with both, or from a "
                 "terminal to be asked.)");
        else
            Line("(answered Cancel: " + WithSerial(rule.withoutThem, q.savedSerial) + ")");
        return false;
    }
    return AskPerson();
}

void TerminalUi::ShowStanding(const std::string& text) { Line(text); }

bool TerminalUi::AskPerson() {
    std::fprintf(out_, "OK or Cancel? [o/c] ");
    std::fflush(out_);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, in_)) return false;
    return answer[0] == 'o' || answer[0] == 'O' || answer[0] == 'y' || answer[0] == 'Y';
}
