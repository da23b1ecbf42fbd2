#pragma once
// The updater's main window on Windows, in plain Win32: widget wiring over the window
// model (window/MainWindowModel.h) and the updater both windows share. Control ids keep
// the components' names.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/SystemPorts.h"
#include "update/Updater.h"
#include "win32/DpiLayout.h"
#include "window/MainWindowModel.h"

namespace vorn::win32 {

class FeedbackForm;

enum ControlId : int {
    kUserText1 = 101,
    kUserText2,
    kLblConnect,
    kCommLabel,
    kCbCommPort,
    kLabel1,
    kStatusText,
    kStatusBar,
    kNewSN,
    kNewSNstr,
    kBtnClose,
    kBtnStart,
    kImage1,
};
enum MenuId : int {
    kOpenFirmwareFile1 = 201,
    kUpdateFirmware1,
    kRestoreSettings1,
    kDumpFirmwareImage1,
    kExit1,
    kVerboseErrorFile1,
    kForceFindAllCommPorts1,
    kDontEraseData1,
    kPromptforSerialNumber1,
    kHelp2,
    kSendFeedbacktoVornell1,
    kCheckforUpdates1,
    kAbout1,
    kRecordWireTranscript1,
};
inline constexpr UINT_PTR kTimerStart = 1;
inline constexpr UINT kStartDelayMs = 100;
inline constexpr const wchar_t* kWindowClass = L"TfrmMain";
inline constexpr const char* kCaption = "Vornell Firmware Updater";

class MainWindow {
public:
    explicit MainWindow(const std::vector<std::string>& arguments);
    ~MainWindow();
    // Creates and shows the window; false when it could not be created.
    bool Create(HINSTANCE instance, int show);
    // One message of the loop (or of a pump inside a long wait).
    void Dispatch(MSG& msg);

    // For the update's adapter.
    void ErrorOK(const std::string& message, const std::string& title, int kind);
    bool AskOkCancel(const std::string& message, const std::string& title, bool cancelByDefault);
    bool ReportProgress(int code);
    void SetStatus(const std::string& text, bool visible);
    void SetConnectText(const std::string& text);
    int Progress() const;
    void SetProgress(int position);
    void PumpEvents();
    bool KeepData() const;
    bool ReplaceSerialNumber() const;
    std::string NewSerialNumber() const;
    vorn::window::MainWindowModel& Model() { return model_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void BuildControls();
    void BuildMenus();
    void FormShow();
    void OnCommand(int id, int notification);
    void OnTimer();
    void OpenFirmwareFile();
    void RestoreSettings();
    void DumpFirmwareImage();
    void SendFeedback();
    void Close(bool direct);
    void ApplyView();
    void ApplyLabels();
    void ApplyPortItems();
    void SetLabel(int id, const std::string& text);
    void Paint();
    static std::string EngineVersion();
    int Px(int units) const { return layout_.Px(units); }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
    std::wstring AskFile(bool save, const wchar_t* title, const wchar_t* filter, const wchar_t* extension);

    vorn::window::MainWindowModel model_;
    std::unique_ptr<vorn::update::Updater> updater_;
    std::unique_ptr<SystemPortSource> ports_;
    HWND hwnd_ = nullptr;
    HMENU fileMenu_ = nullptr, settingsMenu_ = nullptr;
    HACCEL accelerators_ = nullptr;
    DpiLayout layout_;
    std::unique_ptr<FeedbackForm> feedback_;
    bool shown_ = false;
    std::string settingsPath_;
};

}  // namespace vorn::win32
