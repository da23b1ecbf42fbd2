#pragma once
// What the main window does that is not widget wiring: what is enabled and shown when, the
// labels after a firmware file is opened, the port choice and its preference, the one-shot
// start, the close guard. A window keeps one, tells it what the user did, and draws what
// `Now()` says; it knows no toolkit, so its rules are tested without one and a second
// window (Win32) can follow the same rules.
#include <optional>
#include <string>
#include <vector>

#include "serial/CommPortEnum.h"
#include "update/FirmwareFile.h"
#include "update/UpdateSequence.h"
#include "update/UpdateUi.h"

namespace vorn::window {

// The drop-down's one line when no port is listed; it stands for no port at all.
inline constexpr const char* kNoPorts = "No Comm Ports Found";

// What the window keeps between runs. A value the store did not hold stays unset, and the
// window's default stands. The log starts verbose whatever was kept.
struct Preferences {
    std::optional<bool> findAllComms;
    std::optional<bool> verboseLog;
    std::optional<std::string> commPort;
    std::optional<bool> recordTranscript;  // Settings > Record Wire Transcript (off unless kept on)
};

// What the window shows now.
struct View {
    bool startEnabled = false;
    bool closeEnabled = true;
    bool closeIsDefault = false;  // else Start is the default button
    bool portBoxEnabled = true;
    bool openItemEnabled = false;  // File > Open Firmware File... (from the first show on)
    bool updateItemEnabled = false;
    bool restoreItemEnabled = true;
    bool factoryItemsVisible = false;  // Settings > Don't Erase Data, Replace Serial Number
    bool replaceSerialChecked = false;
    bool newSerialVisible = false;  // the new serial number's box and label (emptied at each end of a run)
    bool waitCursor = false;
    std::string userText1 = "This utility updates instrument firmware to";
    std::string userText2 = "Instrument x.yy";
    std::string commLabel = "Use computer comm port:";
    std::string lblConnect = "Connect instrument to computer comm port.";
    std::vector<std::string> portItems;  // the drop-down's lines
    int portIndex = -1;                  // the line shown; -1 none
};

// What a close request comes to: close (after saving the preferences), or the guard's
// notice, shown with the warning sound, and the window stays.
struct CloseDecision {
    bool close = true;
    std::string title;
    std::string text;
};

// What a window's update boxes tell the user to do: the same on every window.
std::string HowToTryAgain();
std::string HowToRestore(const std::string& settingsPath);

class MainWindowModel {
public:
    // `arguments`: the command line without the program name ("-factory", "-rep").
    explicit MainWindowModel(const std::vector<std::string>& arguments);

    const View& Now() const { return view_; }

    // The window is shown the first time: first the preferences as read (the port list
    // depends on them: FindAllPorts()), then the ports as listed.
    void RestorePreferences(const Preferences& saved);
    void Show(std::vector<CommPortEntry> ports);
    // The drop-down is about to open: the ports listed again (a list that reports no port
    // at all counts as empty here).
    void Relist(std::vector<CommPortEntry> ports);
    // The user picked line `index` of the drop-down.
    void ChoosePort(int index);

    // Start pressed, or File > Update Firmware: true when the one-shot timer is to start.
    bool PressStart();
    bool ChooseUpdate();
    // The one-shot timer fired: true when the update runs now (the view is busy until Finish).
    bool TimerFired();
    // File > Restore Settings...: whether one may start now; BeginRestore once a file is chosen.
    bool MayRestore() const { return !busy_ && !selectedPortName_.empty(); }
    void BeginRestore();
    // The update or the restore ended; `firmwareLoaded`: an image is open (a restore may
    // come before one was).
    void Finish();
    void FinishRestore(bool firmwareLoaded);
    // A firmware file was opened.
    void FirmwareOpened(const update::FirmwareLoad& load);
    bool MayOpenFirmware() const { return !busy_; }

    // The Settings menu's items.
    void SetVerboseLog(bool on) { verboseLog_ = on; }
    void SetFindAllPorts(bool on) { findAllPorts_ = on; }
    void SetKeepData(bool on) { keepData_ = on; }
    // Each update and restore from now on writes its wire transcript into the per-user
    // folder, where the feedback form finds it.
    void SetRecordTranscript(bool on) { recordTranscript_ = on; }
    bool RecordTranscript() const { return recordTranscript_; }
    void SetReplaceSerialNumber(bool on);

    // Close, Exit or the window's own close button. `direct`: the Close button while
    // nothing runs (a running update's Close goes through the guard like any other).
    CloseDecision RequestClose(bool direct, const std::string& caption);
    // What to keep for the next run; the port by its entry's stable name when it has one,
    // which the first show matches before the node's name.
    Preferences ToSave() const;
    // The update the window asks for now.
    update::UpdateRequest Request(const std::string& caption) const;

    bool Busy() const { return busy_; }
    bool KeepRunning() const { return keepRunning_; }
    bool FactoryMode() const { return factoryMode_; }
    bool FindAllPorts() const { return findAllPorts_; }
    bool VerboseLog() const { return verboseLog_; }
    bool ReplaceSerialNumber() const { return replaceSerialNumber_; }
    bool KeepData() const { return keepData_; }
    const std::string& SelectedPortName() const { return selectedPortName_; }
    int SelectedPortIndex() const { return selectedPortIndex_; }
    std::string SelectedPortDescription() const;
    const std::string& DeviceName() const { return deviceName_; }
    const std::vector<CommPortEntry>& PortList() const { return ports_; }
    ProgressScale& Progress() { return progress_; }
    const ProgressScale& Progress() const { return progress_; }

private:
    void FillPortItems();
    // The port names of line `index` of the list, or none for a line that is no port.
    void SelectEntry(int index);
    void BeginWork();

    View view_;
    bool busy_ = false;
    bool keepRunning_ = true;
    bool factoryMode_ = false;
    bool findAllPorts_ = false;
    bool verboseLog_ = true;
    bool replaceSerialNumber_ = false;
    bool keepData_ = false;
    bool recordTranscript_ = false;
    std::string selectedPortName_;
    std::string selectedStableName_;  // the chosen entry's, kept in the preferences when there is one
    std::optional<std::string> savedPortName_;
    int selectedPortIndex_ = 0;
    std::vector<CommPortEntry> ports_;
    std::string deviceName_ = "Instrument";
    ProgressScale progress_;
};

}  // namespace vorn::window
