#pragma once
// What the update sequence needs from whoever shows it: the window implements this with
// its labels, progress bar and message boxes; the command-line updater with a terminal.
// Every call may process pending window events.
#include <string>

// How the bootloader client's reports move the bar: each erase report ('X') one step,
// each upload report ('W') the upload increment added to a running position, shown
// rounded to the nearest point. Other reports leave the bar where it is.
struct ProgressScale {
    int step = 1;
    float increment = 0.0f;
    float position = 0.0f;
    int Apply(int current, int code) {
        if (code == 'X') return current + step;
        if (code == 'W') {
            position += increment;
            return static_cast<int>(position + 0.5f);
        }
        return current;
    }
};

class UpdateUi {
public:
    // The kind of a box, and its system sound.
    enum class BoxKind { kWarning = 0, kError = 1, kInformation = 2, kConfirmation = 3 };

    virtual ~UpdateUi() = default;
    // A status step: show the text, repaint, let pending events run.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void HideStatus() = 0;
    // The line that tells the user what to do with the instrument: idle ("Connect ... to
    // computer comm port."), while an update runs ("Do NOT disconnect ..."), after it
    // succeeded ("You may disconnect ...").
    enum class ConnectLine { kIdle, kDoNotDisconnect, kMayDisconnect };
    virtual void SetConnectText(ConnectLine line, const std::string& text) = 0;
    // The progress bar, 0 to 100.
    virtual int Progress() const = 0;
    virtual void SetProgress(int position) = 0;
    // The upload starts at `position`; each 'W' report then adds the upload increment.
    virtual void BeginUpload(float position) = 0;
    // The bootloader client's erase ('X') and upload ('W') reports; answers whether to go on.
    virtual bool ReportProgress(long total, long done, int stage, int code) = 0;
    // One-button box; also logged as "ErrorOK Told User:".
    virtual void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) = 0;
    // What the OK of a question risks, which decides who may answer it for the user:
    // the command line's options (one table, cli/TerminalUi.cpp) and the default button
    // of the window's box (Cancel for every kind but a plain confirmation).
    enum class Consent {
        kConfirm,             // a plain confirmation: --yes
        kGiveUpSettings,      // OK loads the firmware without (some of) the instrument's settings
        kWriteSavedSettings,  // OK writes saved settings, serial number included, into an
                              // instrument that cannot prove it is the unit they came from
    };
    struct Question {
        std::string text;
        std::string title;
        Consent consent = Consent::kConfirm;
        std::string savedSerial;  // kWriteSavedSettings: the serial number the settings were saved from
    };
    static bool CancelByDefault(Consent consent) { return consent != Consent::kConfirm; }
    // The one way the sequence asks the user: an OK/Cancel box; true for OK.
    virtual bool Ask(const Question& question) = 0;
    // How this front end writes a settings file back into its instrument (`settingsPath`
    // empty: a file not named), said in the boxes: the command line's command by default.
    virtual std::string HowToRestore(const std::string& settingsPath, const std::string& port) const {
        return "run:\nvornbsl-cli --port " + port + " --restore-settings " +
               (settingsPath.empty() ? std::string("FILE") : "\"" + settingsPath + "\"");
    }
    // How this front end does the same again ("Run the same command again").
    virtual std::string HowToTryAgain() const { return "Run the same command again"; }
    // Where the instrument stands after an update that ended without a box of its own (a
    // question the user cancelled), and the one next step. A failure's box says it itself.
    virtual void ShowStanding(const std::string& text) = 0;
    // The factory choices as they stand at the moment of asking. The window leaves them
    // editable while an update runs, so the sequence reads them at the steps that use
    // them: what is checked then is what happens.
    virtual bool KeepData() const = 0;             // "Don't Erase Data"
    virtual bool ReplaceSerialNumber() const = 0;  // "Replace Serial Number"
    virtual std::string NewSerialNumber() const = 0;
    // The system sound of a box kind (success plays the information sound).
    virtual void Beep(BoxKind kind) = 0;
    virtual void PumpEvents() = 0;
};
