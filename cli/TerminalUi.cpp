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

void TerminalUi::SetConnectText(const std::string& text) {
    if (!terminal_) Line(text);
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

bool TerminalUi::AskOkCancel(const std::string& message, const std::string& title) {
    return Ask(message, title, assumeYes_, "(answered OK: --yes)",
               "(answered Cancel: no terminal to ask and no --yes)");
}

bool TerminalUi::AskToGoOnWithoutSettings(const std::string& message, const std::string& title) {
    return Ask(message, title, acceptSettingsLoss_, "(answered OK: --accept-settings-loss)",
               "(answered Cancel: OK would give up the instrument's settings; --yes does not answer this question. "
               "Run again with --accept-settings-loss to go on without them, or from a terminal to be asked.)");
}

bool TerminalUi::AskToRestoreSettings(const std::string& message, const std::string& title,
                                      const std::string& savedSerial) {
    const bool named = !restoreFrom_.empty();
    if (named && std::find(restoreFrom_.begin(), restoreFrom_.end(), savedSerial) == restoreFrom_.end()) {
        // The file is not a unit the command line named: refused, also at a terminal.
        std::string listed;
        for (const std::string& s : restoreFrom_) listed += (listed.empty() ? "\"" : ", \"") + s + "\"";
        Line(title + ": " + message);
        Line("(answered Cancel: the file was saved from serial number \"" + savedSerial + "\", not from " + listed +
             " as --restore-from says)");
        return false;
    }
    const std::string cancel =
        named ? "(answered Cancel: --restore-from names the unit; --yes says OK to it. Run again with both, or from a "
                       "terminal to be asked.)"
                     : "(answered Cancel: OK would write these settings, serial number included, into the instrument; --yes "
                       "alone does not answer this question. Run again with --yes --restore-from \"" + savedSerial +
                           "\" if it is that unit, or from a terminal to be asked.)";
    return Ask(message, title, assumeYes_ && named, "(answered OK: --yes --restore-from)", cancel.c_str());
}

bool TerminalUi::Ask(const std::string& message, const std::string& title, bool answeredOk, const char* okLine,
                     const char* cancelLine) {
    Line(title + ": " + message);
    if (answeredOk) {
        Line(okLine);
        return true;
    }
    if (!interactive_) {
        Line(cancelLine);
        return false;
    }
    return AskPerson();
}

bool TerminalUi::AskPerson() {
    std::fprintf(out_, "OK or Cancel? [o/c] ");
    std::fflush(out_);
    char answer[64] = {};
    if (!std::fgets(answer, sizeof answer, in_)) return false;
    return answer[0] == 'o' || answer[0] == 'O' || answer[0] == 'y' || answer[0] == 'Y';
}
