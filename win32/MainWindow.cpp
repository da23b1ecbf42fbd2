#include "win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "bsl/VornBSLHost.h"
#include "common/FilesPlatform.h"
#include "common/VornLog.h"
#include "update/UpdateTexts.h"
#include "update/UserFolder.h"
#include "win32/FeedbackForm.h"
#include "win32/FileDialog.h"
#include "win32/Registry.h"
#include "win32/Win32Text.h"

namespace vorn::win32 {

namespace {

constexpr int kClientWidth = 313;
constexpr int kClientHeight = 262;
constexpr int kPanelTop = 106;  // the borderless panel's controls sit below this line
constexpr uint32_t kVerboseLevel = VornLog::kDetails;
constexpr uint32_t kQuietLevel = VornLog::kFailures;

// The update shown in this window: status line, progress bar, message boxes.
class Win32UpdateUi : public UpdateUi {
public:
    explicit Win32UpdateUi(MainWindow& window) : window_(window) {}
    void ShowStatus(const std::string& text) override { window_.SetStatus(text, true); }
    void HideStatus() override { window_.SetStatus({}, false); }
    void SetConnectText(ConnectLine, const std::string& text) override { window_.SetConnectText(text); }
    int Progress() const override { return window_.Progress(); }
    void SetProgress(int position) override { window_.SetProgress(position); }
    void BeginUpload(float position) override {
        window_.Model().Progress().position = position;
        window_.SetProgress(static_cast<int>(position));
    }
    bool ReportProgress(long, long, int, int code) override { return window_.ReportProgress(code); }
    void ErrorBox(const std::string& message, const std::string& title, BoxKind kind) override {
        window_.ErrorOK(message, title, static_cast<int>(kind));
    }
    // Cancel is the default button of every question whose OK risks the settings.
    bool Ask(const Question& q) override { return window_.AskOkCancel(q.text, q.title, CancelByDefault(q.consent)); }
    std::string HowToRestore(const std::string& settingsPath, const std::string&) const override {
        return window::HowToRestore(settingsPath);
    }
    std::string HowToTryAgain() const override { return window::HowToTryAgain(); }
    void ShowStanding(const std::string&) override {}  // every failure's box says it
    void Beep(BoxKind kind) override {
        MessageBeep(kind == BoxKind::kError         ? MB_ICONHAND
                    : kind == BoxKind::kInformation ? MB_ICONASTERISK
                    : kind == BoxKind::kWarning     ? MB_ICONEXCLAMATION
                                                    : MB_ICONQUESTION);
    }
    void PumpEvents() override { window_.PumpEvents(); }
    bool KeepData() const override { return window_.KeepData(); }
    bool ReplaceSerialNumber() const override { return window_.ReplaceSerialNumber(); }
    std::string NewSerialNumber() const override { return window_.NewSerialNumber(); }

private:
    MainWindow& window_;
};

}  // namespace

MainWindow::MainWindow(const std::vector<std::string>& arguments) : model_(arguments) {}

MainWindow::~MainWindow() {
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

bool MainWindow::Create(HINSTANCE instance, int show) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::Proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc)) return false;

    layout_.SetDpi(DpiLayout::DpiOf(nullptr));
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT r{0, 0, Px(kClientWidth), Px(kClientHeight)};
    AdjustWindowRect(&r, style, TRUE);
    const int width = r.right - r.left, height = r.bottom - r.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // Centred on the screen.
    hwnd_ = CreateWindowExW(0, kWindowClass, Wide(kCaption).c_str(), style, work.left + (work.right - work.left - width) / 2,
                            work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr, instance,
                            this);
    if (!hwnd_) return false;
    ShowWindow(hwnd_, show);
    UpdateWindow(hwnd_);
    return true;
}

LRESULT CALLBACK MainWindow::Proc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->Handle(message, w, l) : DefWindowProcW(hwnd, message, w, l);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_CREATE:
            // Where Windows scales per monitor, the window's monitor decides.
            if (const int dpi = DpiLayout::DpiOf(hwnd_); dpi != layout_.Dpi()) {
                layout_.SetDpi(dpi);
                RECT r{0, 0, Px(kClientWidth), Px(kClientHeight)};
                AdjustWindowRect(&r, GetWindowLongW(hwnd_, GWL_STYLE), TRUE);
                SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
            }
            BuildMenus();
            BuildControls();
            return 0;
        case WM_DPICHANGED:
            layout_.Rescale(hwnd_, w, l);
            ApplyLabels();  // the labels grow to their text again, in the new font
            return 0;
        case WM_SHOWWINDOW:
            if (w && !shown_) {
                shown_ = true;
                FormShow();
            }
            break;
        case WM_COMMAND:
            OnCommand(LOWORD(w), HIWORD(w));
            return 0;
        case WM_TIMER:
            if (w == kTimerStart) {
                KillTimer(hwnd_, kTimerStart);
                OnTimer();
            }
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_CLOSE:
            Close(false);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd_, message, w, l);
}

void MainWindow::BuildControls() {
    auto make = [&](const wchar_t* cls, const std::string& text, DWORD style, int id, int x, int y, int w, int h,
                    bool bold = false) {
        return layout_.Add(hwnd_, cls, Wide(text).c_str(), style, id, RECT{x, y, w, h}, bold);
    };
    const int p = kPanelTop;
    make(L"STATIC", "This utility updates instrument firmware to", SS_LEFT | SS_NOPREFIX, kUserText1, 76, 24, 192, 13);
    make(L"STATIC", "Instrument x.yy", SS_LEFT | SS_NOPREFIX, kUserText2, 76, 40, 224, 34, true);
    make(L"STATIC", "Connect instrument to computer comm port.", SS_LEFT | SS_NOPREFIX, kLblConnect, 12, 80, 247, 13,
         true);
    make(L"STATIC", "Use computer comm port:", SS_LEFT | SS_NOPREFIX, kCommLabel, 12, p + 8, 121, 13);
    // The drop-down's height is its list's.
    make(WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kCbCommPort, 12, p + 24, 288, 200, true);
    make(L"STATIC", "Status:", SS_LEFT, kLabel1, 12, p + 64, 41, 13, true);
    ShowWindow(make(L"STATIC", "statusText", SS_LEFT | SS_NOPREFIX, kStatusText, 56, p + 64, 240, 13), SW_HIDE);
    HWND bar = make(PROGRESS_CLASSW, "", PBS_SMOOTH, kStatusBar, 12, p + 80, 288, 17);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    ShowWindow(make(L"STATIC", "New Serial Number", SS_LEFT, kNewSN, 12, p + 104, 91, 13), SW_HIDE);
    HWND sn = make(L"EDIT", "", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, kNewSNstr, 12, p + 120, 93, 21);
    SendMessageW(sn, EM_SETLIMITTEXT, 15, 0);
    ShowWindow(sn, SW_HIDE);
    make(L"BUTTON", "Close", BS_PUSHBUTTON | WS_TABSTOP, kBtnClose, 144, p + 120, 75, 25);
    make(L"BUTTON", "Start", BS_DEFPUSHBUTTON | WS_TABSTOP, kBtnStart, 225, p + 120, 75, 25);
}

void MainWindow::BuildMenus() {
    HMENU bar = CreateMenu();
    fileMenu_ = CreatePopupMenu();
    AppendMenuW(fileMenu_, MF_STRING | MF_GRAYED, kOpenFirmwareFile1, L"&Open Firmware File...\tCtrl+O");
    AppendMenuW(fileMenu_, MF_STRING, kUpdateFirmware1, L"&Update Firmware\tCtrl+F");
    AppendMenuW(fileMenu_, MF_STRING, kRestoreSettings1, L"&Restore Settings...");
    // Dump Firmware Image... is a hidden item: only its short-cut, Ctrl+Alt+D, reaches it.
    AppendMenuW(fileMenu_, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(fileMenu_, MF_STRING, kExit1, L"&Exit\tCtrl+Q");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu_), L"&File");
    settingsMenu_ = CreatePopupMenu();
    AppendMenuW(settingsMenu_, MF_STRING | MF_CHECKED | MF_GRAYED, kVerboseErrorFile1, L"&Verbose Error File");
    AppendMenuW(settingsMenu_, MF_STRING, kForceFindAllCommPorts1, L"Force Find All &Comm Ports");
    AppendMenuW(settingsMenu_, MF_STRING, kRecordWireTranscript1, L"Record Wire &Transcript");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(settingsMenu_), L"&Settings");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kHelp2, L"&Help\tF1");
    AppendMenuW(help, MF_STRING, kSendFeedbacktoVornell1, L"Send Feedback to Vornell...");
    AppendMenuW(help, MF_STRING, kCheckforUpdates1, L"Check for Newer Firmware Version");
    AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(help, MF_STRING, kAbout1, L"&About...");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    SetMenu(hwnd_, bar);

    ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, 'O', kOpenFirmwareFile1},
        {FVIRTKEY | FCONTROL, 'F', kUpdateFirmware1},
        {FVIRTKEY | FCONTROL | FALT, 'D', kDumpFirmwareImage1},
        {FVIRTKEY | FCONTROL, 'Q', kExit1},
        {FVIRTKEY, VK_F1, kHelp2},
    };
    accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(sizeof keys / sizeof keys[0]));
}

void MainWindow::FormShow() {
    const window::Preferences saved = ReadPreferences();
    model_.RestorePreferences(saved);
    updater_ = std::make_unique<update::Updater>(
        update::UpdaterSetup::ForThisUser(platform::ProgramFolder(), kVerboseLevel));
    updater_->Host().SetProgressReport([this](long, long, int, int code) { return ReportProgress(code); });
    if (int32_t status = updater_->ConstructionStatus(); status != 0) {
        ErrorOK("HostBSL class got an constructor error (" + std::to_string(status) + ")", kCaption, 1);
        DestroyWindow(hwnd_);
        return;
    }
    ports_ = std::make_unique<SystemPortSource>(&updater_->Log());
    feedback_ = std::make_unique<FeedbackForm>(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE)),
                                               hwnd_, [this] { PumpEvents(); });
    model_.Show(update::Updater::ListPorts(*ports_, model_.FindAllPorts(), 0));
    CheckMenuItem(settingsMenu_, kForceFindAllCommPorts1, model_.FindAllPorts() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(settingsMenu_, kRecordWireTranscript1, model_.RecordTranscript() ? MF_CHECKED : MF_UNCHECKED);
    if (model_.Now().factoryItemsVisible) {
        AppendMenuW(settingsMenu_, MF_STRING, kDontEraseData1, L"&Don't Erase Data");
        AppendMenuW(settingsMenu_, MF_STRING, kPromptforSerialNumber1, L"&Replace Serial Number");
    }
    ApplyPortItems();
    ApplyLabels();
    ApplyView();
}

void MainWindow::ApplyView() {
    const window::View& v = model_.Now();
    EnableWindow(Control(kBtnStart), v.startEnabled);
    EnableWindow(Control(kBtnClose), v.closeEnabled);
    SendMessageW(Control(kBtnStart), BM_SETSTYLE, v.closeIsDefault ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON, TRUE);
    SendMessageW(Control(kBtnClose), BM_SETSTYLE, v.closeIsDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    EnableWindow(Control(kCbCommPort), v.portBoxEnabled);
    EnableMenuItem(fileMenu_, kOpenFirmwareFile1, v.openItemEnabled ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(fileMenu_, kUpdateFirmware1, v.updateItemEnabled ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(fileMenu_, kRestoreSettings1, v.restoreItemEnabled ? MF_ENABLED : MF_GRAYED);
    CheckMenuItem(settingsMenu_, kPromptforSerialNumber1, v.replaceSerialChecked ? MF_CHECKED : MF_UNCHECKED);
    ShowWindow(Control(kNewSNstr), v.newSerialVisible ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(kNewSN), v.newSerialVisible ? SW_SHOW : SW_HIDE);
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(v.waitCursor ? IDC_WAIT : IDC_ARROW)));
}

// The labels change at the first show and when a firmware file is opened; during an update
// the update's own lines stand in lblConnect.
void MainWindow::ApplyLabels() {
    const window::View& v = model_.Now();
    SetLabel(kUserText1, v.userText1);
    SetWindowTextW(Control(kUserText2), Wide(v.userText2).c_str());  // word-wrapped in its box
    SetLabel(kCommLabel, v.commLabel);
    SetLabel(kLblConnect, v.lblConnect);
}

// A one-line label grows to its text, as the window's labels do whatever the font.
void MainWindow::SetLabel(int id, const std::string& text) {
    HWND label = Control(id);
    const std::wstring wide = Wide(text);
    SetWindowTextW(label, wide.c_str());
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT r{};
    GetWindowRect(label, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    const int room = Px(kClientWidth) - r.left - Px(4);
    SetWindowPos(label, nullptr, 0, 0, std::min<int>(std::max<int>(size.cx + Px(2), r.right - r.left), room),
                 r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    InvalidateRect(hwnd_, &r, TRUE);
}

void MainWindow::ApplyPortItems() {
    const window::View& v = model_.Now();
    HWND box = Control(kCbCommPort);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : v.portItems) SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(v.portIndex), 0);
}

void MainWindow::OnCommand(int id, int notification) {
    switch (id) {
        case kCbCommPort:
            if (notification == CBN_DROPDOWN) {
                // Here a list that reports no port at all counts as empty.
                model_.Relist(update::Updater::ListPorts(*ports_, model_.FindAllPorts(), 1));
                ApplyPortItems();
            } else if (notification == CBN_SELCHANGE) {
                model_.ChoosePort(static_cast<int>(SendMessageW(Control(kCbCommPort), CB_GETCURSEL, 0, 0)));
                ApplyView();
            }
            return;
        case IDOK:  // Enter: the default button
            OnCommand(model_.Now().closeIsDefault ? kBtnClose : kBtnStart, BN_CLICKED);
            return;
        case kBtnStart:
            if (!IsWindowEnabled(Control(kBtnStart)) || !model_.PressStart()) return;
            ApplyView();
            SetTimer(hwnd_, kTimerStart, kStartDelayMs, nullptr);
            return;
        case kUpdateFirmware1:
            if (!model_.ChooseUpdate()) return;
            SetTimer(hwnd_, kTimerStart, kStartDelayMs, nullptr);
            ApplyView();
            return;
        case IDCANCEL:  // Escape: the Cancel button
        case kBtnClose:
            if (IsWindowEnabled(Control(kBtnClose))) Close(!model_.Busy());
            return;
        case kExit1: Close(false); return;
        case kOpenFirmwareFile1: OpenFirmwareFile(); return;
        case kRestoreSettings1: RestoreSettings(); return;
        case kDumpFirmwareImage1: DumpFirmwareImage(); return;
        case kForceFindAllCommPorts1:
            model_.SetFindAllPorts(!model_.FindAllPorts());
            CheckMenuItem(settingsMenu_, kForceFindAllCommPorts1, model_.FindAllPorts() ? MF_CHECKED : MF_UNCHECKED);
            return;
        case kRecordWireTranscript1:
            model_.SetRecordTranscript(!model_.RecordTranscript());
            CheckMenuItem(settingsMenu_, kRecordWireTranscript1, model_.RecordTranscript() ? MF_CHECKED : MF_UNCHECKED);
            return;
        case kDontEraseData1:
            model_.SetKeepData(!model_.KeepData());
            CheckMenuItem(settingsMenu_, kDontEraseData1, model_.KeepData() ? MF_CHECKED : MF_UNCHECKED);
            return;
        case kPromptforSerialNumber1:
            model_.SetReplaceSerialNumber(!model_.ReplaceSerialNumber());
            ApplyView();
            if (model_.ReplaceSerialNumber()) SetFocus(Control(kNewSNstr));
            return;
        case kHelp2:
            ErrorOK(update::texts::HelpText(kCaption, model_.DeviceName()), "Help", -1);
            return;
        case kAbout1:
            ErrorOK(update::texts::AboutText(EngineVersion()), update::texts::AboutCaption(model_.DeviceName()), 2);
            return;
        case kSendFeedbacktoVornell1: SendFeedback(); return;
        case kCheckforUpdates1: return;  // no version-finder address: nothing to check
    }
}

void MainWindow::SendFeedback() {
    if (!feedback_ || !updater_) return;
    feedback::LaunchValues values;
    values.productName = kCaption;
    values.productVersion = model_.Now().userText2;
    values.defaultRecipient = FeedbackForm::DefaultRecipient();
    values.attachment1 = updater_->ErrorLogPath();
    // The last update's wire transcript, when one was recorded: it replays what happened.
    values.attachment2 = update::LastTranscript(updater_->UserFolder());
    wchar_t self[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(sizeof self / sizeof self[0]));
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L"\\/") == std::wstring::npos ? 0 : folder.find_last_of(L"\\/"));
    values.startFolder = Narrow(folder);
    feedback_->SendFeedbacktoVornell(values, &updater_->Log(), kCaption);
}

void MainWindow::OnTimer() {
    if (!model_.TimerFired()) return;
    ApplyView();
    SetProgress(0);
    Win32UpdateUi ui(*this);
    updater_->Update(model_.Request(kCaption), ui);
    const std::string used = updater_->LastSettingsPath();
    settingsPath_ = used.empty() ? updater_->SettingsPath() : used;
    model_.Finish();
    SetWindowTextW(Control(kNewSNstr), L"");
    ApplyView();
}

std::wstring MainWindow::AskFile(bool save, const wchar_t* title, const wchar_t* filter, const wchar_t* extension) {
    return win32::AskFile(hwnd_, {save, title, filter, extension, {}, {}});
}

void MainWindow::OpenFirmwareFile() {
    if (!model_.MayOpenFirmware()) return;
    const std::wstring path =
        AskFile(false, L"Please select a firmware file", L"Firmware File (*.txt)\0*.txt\0Any File (*.*)\0*.*\0", L"txt");
    if (path.empty()) return;
    const update::FirmwareLoad load = updater_->LoadFirmware(CorePath(path), kCaption);
    if (load.status < 0) {
        ErrorOK(load.errorText, "File Error", 1);
        return;
    }
    model_.FirmwareOpened(load);
    settingsPath_ = updater_->SettingsPath();
    MessageBeep(MB_ICONASTERISK);
    ApplyLabels();
    ApplyView();
}

void MainWindow::RestoreSettings() {
    if (!model_.MayRestore()) return;
    const std::wstring path = AskFile(false, L"Please select a settings file",
                                      L"Settings File (*.settings.txt)\0*.settings.txt\0Any File (*.*)\0*.*\0", nullptr);
    if (path.empty()) return;
    model_.BeginRestore();
    ApplyView();
    SetProgress(0);
    Win32UpdateUi ui(*this);
    updater_->RestoreSettings(model_.Request(kCaption), CorePath(path), ui);
    model_.FinishRestore(updater_->Firmware().family != UNKNOWN);
    SetWindowTextW(Control(kNewSNstr), L"");
    ApplyView();
}

void MainWindow::DumpFirmwareImage() {
    const std::wstring path =
        AskFile(true, L"Save Firmware Image", L"Firmware File (*.txt)\0*.txt\0Any File (*.*)\0*.*\0", L"txt");
    if (path.empty()) return;
    if (int32_t rc = updater_->Host().BSLWriteTIFile(CorePath(path)); rc < 0)
        ErrorOK("Error saving firmware image: " + std::to_string(rc), "Error", 0);
}

void MainWindow::Close(bool direct) {
    const window::CloseDecision decision = model_.RequestClose(direct, kCaption);
    if (!decision.close) {
        MessageBeep(MB_ICONEXCLAMATION);
        MessageBoxW(hwnd_, Wide(decision.text).c_str(), Wide(decision.title).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return;  // the only answer is OK: the update goes on
    }
    WritePreferences(model_.ToSave());
    DestroyWindow(hwnd_);
}

void MainWindow::ErrorOK(const std::string& message, const std::string& title, int kind) {
    UINT icon = 0, sound = MB_ICONEXCLAMATION;
    switch (kind) {
        case 0: icon = sound = MB_ICONEXCLAMATION; break;
        case 1: icon = sound = MB_ICONHAND; break;
        case 2: icon = sound = MB_ICONASTERISK; break;
        case 3: icon = sound = MB_ICONQUESTION; break;
        default: break;  // a plain box with the warning sound
    }
    MessageBeep(sound);
    MessageBoxW(hwnd_, Wide(message).c_str(), Wide(title).c_str(), MB_OK | icon);
    if (updater_) updater_->Log().Log(VornLog::kFailures, "ErrorOK Told User:", "%s", message.c_str());
}

bool MainWindow::AskOkCancel(const std::string& message, const std::string& title, bool cancelByDefault) {
    const UINT flags = MB_OKCANCEL | MB_ICONEXCLAMATION | (cancelByDefault ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
    return MessageBoxW(hwnd_, Wide(message).c_str(), Wide(title).c_str(), flags) == IDOK;
}

bool MainWindow::ReportProgress(int code) {
    SetProgress(model_.Progress().Apply(Progress(), code));
    PumpEvents();
    return model_.KeepRunning();
}

void MainWindow::SetStatus(const std::string& text, bool visible) {
    HWND status = Control(kStatusText);
    if (visible) SetWindowTextW(status, Wide(text).c_str());
    ShowWindow(status, visible ? SW_SHOW : SW_HIDE);
    UpdateWindow(status);
    PumpEvents();
}

void MainWindow::SetConnectText(const std::string& text) { SetLabel(kLblConnect, text); }

int MainWindow::Progress() const { return static_cast<int>(SendMessageW(Control(kStatusBar), PBM_GETPOS, 0, 0)); }

void MainWindow::SetProgress(int position) { SendMessageW(Control(kStatusBar), PBM_SETPOS, position, 0); }

// Inside a long wait: the window repaints and its buttons and menus answer (the close
// guard among them), as the message loop would.
void MainWindow::PumpEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

// Short-cuts first, then the keyboard's moves between the controls, then the rest.
void MainWindow::Dispatch(MSG& msg) {
    if (feedback_ && feedback_->Dispatch(msg)) return;
    if (TranslateAcceleratorW(hwnd_, accelerators_, &msg) || IsDialogMessageW(hwnd_, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// The menu items and the box stay usable during an update: read what they show now.
bool MainWindow::KeepData() const { return model_.KeepData(); }
bool MainWindow::ReplaceSerialNumber() const { return model_.ReplaceSerialNumber(); }
std::string MainWindow::NewSerialNumber() const { return Narrow(TextOf(Control(kNewSNstr))); }

// The FileVersion of the program file's U.S. English, Windows Latin-1 string table; empty
// without a version resource, "Unknown" without the entry.
std::string MainWindow::EngineVersion() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof path / sizeof path[0]));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return {};
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904E4\\FileVersion", reinterpret_cast<void**>(&value),
                        &length) ||
        length == 0)
        return "Unknown";
    return Narrow(std::wstring(value, wcsnlen(value, length)));
}

// The product picture: a small field logger, drawn in place of the resource bitmap.
void MainWindow::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    const int x = Px(16), y = Px(16);
    HPEN pen = CreatePen(PS_SOLID, Px(1), RGB(40, 60, 80));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HBRUSH body = CreateSolidBrush(RGB(230, 200, 60));
    HGDIOBJ oldBrush = SelectObject(dc, body);
    RoundRect(dc, x + Px(8), y + Px(4), x + Px(40), y + Px(44), Px(10), Px(10));
    HBRUSH screen = CreateSolidBrush(RGB(30, 45, 60));
    SelectObject(dc, screen);
    Rectangle(dc, x + Px(13), y + Px(9), x + Px(35), y + Px(21));
    HBRUSH knob = CreateSolidBrush(RGB(90, 90, 90));
    SelectObject(dc, knob);
    Ellipse(dc, x + Px(15), y + Px(29), x + Px(21), y + Px(35));
    Ellipse(dc, x + Px(27), y + Px(29), x + Px(33), y + Px(35));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(knob);
    DeleteObject(screen);
    DeleteObject(body);
    DeleteObject(pen);
    EndPaint(hwnd_, &ps);
}

}  // namespace vorn::win32
