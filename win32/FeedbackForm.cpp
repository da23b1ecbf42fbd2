#include "win32/FeedbackForm.h"

#include <commctrl.h>

#include <cstdio>

#include "common/VornLog.h"
#include "feedback/FeedbackStatus.h"
#include "window/ComputerInfo.h"
#include "window/FeedbackConfig.h"
#include "window/FeedbackPost.h"
#include "win32/FileDialog.h"
#include "win32/Registry.h"
#include "win32/Win32Text.h"

namespace vorn::win32 {

using namespace vorn::feedback;

namespace {

constexpr int kClientWidth = 383;
constexpr int kClientHeight = 492;
constexpr int kLeft = 12;
constexpr int kWide = kClientWidth - 2 * kLeft;
constexpr int kHalf = (kWide - 12) / 2;
constexpr int kRight = kLeft + kHalf + 12;

std::string Configured(const char* key, const char* fallback) {
    std::string value = ReadUserText(kFeedbackKey, key).value_or(std::string());
    while (!value.empty() && value.back() == ' ') value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(value.begin());
    return value.empty() ? fallback : value;
}

// A window's controls, their kind, place (96-dpi units) and tip.
struct ControlRow {
    int id;
    const wchar_t* cls;
    const char* text;
    DWORD style;
    RECT units;
    const char* tip;
};
constexpr DWORD kEdit = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kCombo = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
const ControlRow kControls[] = {
    {kLblName, L"STATIC", "Name (required)", kLabel, {kLeft, 8, kWide, 16}, nullptr},
    {kEdName, L"EDIT", "", kEdit, {kLeft, 24, kWide, 22}, "Please enter your first and last name"},
    {kLblCompany, L"STATIC", "Company Name", kLabel, {kLeft, 50, kWide, 16}, nullptr},
    {kEdCompany, L"EDIT", "", kEdit, {kLeft, 66, kWide, 22}, "Please enter the name of your company"},
    {kLblEmail, L"STATIC", "Email Address", kLabel, {kLeft, 92, kWide, 16}, nullptr},
    {kEdEmail, L"EDIT", "", kEdit, {kLeft, 108, kWide, 22}, "Please enter your email address"},
    {kLblTelephone, L"STATIC", "Telephone (include area code)", kLabel, {kLeft, 134, kWide, 16}, nullptr},
    {kEdTelephone, L"EDIT", "", kEdit, {kLeft, 150, kWide, 22},
     "Please enter your phone number including area and country codes"},
    {kLblFeedbackType, L"STATIC", "Type of feedback", kLabel, {kLeft, 178, kHalf, 16}, nullptr},
    {kCbFeedbackType, WC_COMBOBOXW, "", kCombo, {kLeft, 194, kHalf, 160},
     "What type of feedback do you want to send to Vornell?"},
    {kLblRespondVia, L"STATIC", "Please respond via", kLabel, {kRight, 178, kHalf, 16}, nullptr},
    {kCbRespondVia, WC_COMBOBOXW, "", kCombo, {kRight, 194, kHalf, 160}, "How can Vornell contact you?"},
    {kLblDescription, L"STATIC", "", kLabel, {kLeft, 224, kWide, 16}, nullptr},
    {kReDescription, L"EDIT", "", WS_BORDER | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
     {kLeft, 240, kWide, 118}, "Please enter your comments here"},
    {kLblSendFile, L"STATIC", "Send the following file (file size can be up to 8 MB):", kLabel, {kLeft, 364, kWide, 16},
     nullptr},
    {kEdSendFile, L"EDIT", "", kEdit | ES_READONLY, {kLeft, 380, kWide - 30, 22},
     "Click the browse button to pick the file you want to send."},
    {kBtnSendFile, L"BUTTON", "...", BS_PUSHBUTTON | WS_TABSTOP, {kLeft + kWide - 26, 380, 26, 22},
     "Click this button to find the file you want to send."},
    {kLblEmailTo, L"STATIC", "Send the feedback to my Vornell Representative's email address:", kLabel,
     {kLeft, 410, kWide, 16}, nullptr},
    {kEdEmailTo, L"EDIT", "", kEdit, {kLeft, 426, kWide, 22},
     "Please enter your Vornell Representative's email address, if you have one"},
    {kPbWeb, PROGRESS_CLASSW, "", PBS_SMOOTH, {kLeft, 462, kWide - 75 - 12, 17}, nullptr},
    {kBtnSend, L"BUTTON", "Send", BS_DEFPUSHBUTTON | WS_TABSTOP, {kLeft + kWide - 75, 458, 75, 25},
     "Click to send this information to Vornell"},
};

// The remembered contact details: registry value and box.
struct Remembered {
    const char* key;
    int box;
};
constexpr Remembered kRemembered[] = {
    {kKeyName, kEdName}, {kKeyCompany, kEdCompany}, {kKeyPhone, kEdTelephone},
    {kKeyEmail, kEdEmail}, {kKeyEmailTo, kEdEmailTo},
};

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* failure, bool* exists) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    *exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (*exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *failure = "\"" + path + "\" is a folder, not a file.";
        return false;
    }
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    auto lastError = [failure] {
        *failure = SystemMessage(GetLastError());
        if (failure->empty()) *failure = "The file could not be read.";
        return false;
    };
    if (file == INVALID_HANDLE_VALUE) return lastError();
    bytes->clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) bytes->append(buffer, got);
    if (!ok) lastError();
    CloseHandle(file);
    return ok;
}

}  // namespace

FeedbackForm::FeedbackForm(HINSTANCE instance, HWND owner, std::function<void()> pump)
    : instance_(instance),
      owner_(owner),
      pump_(std::move(pump)),
      http_(kUserAgent, kAcceptHeader),
      computerInformation_(ComputerInformation()) {
    wchar_t self[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(sizeof self / sizeof self[0]));
    installationPath_ = Narrow(self);
}

FeedbackForm::~FeedbackForm() {
    http_.Abort();
    if (hwnd_) DestroyWindow(hwnd_);
}

std::string FeedbackForm::DefaultRecipient() { return Configured(kKeyDefaultRecipient, kDefaultRecipient); }
std::string FeedbackForm::WebSite() { return Configured(kKeyWebSite, kDefaultWebSite); }
std::string FeedbackForm::ConfiguredServiceUrl() { return Configured(kKeyServiceUrl, kDefaultServiceUrl); }

bool FeedbackForm::Create() {
    if (hwnd_) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &FeedbackForm::Proc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFeedbackClass;
    RegisterClassExW(&wc);  // a second form finds the class there already
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kFeedbackClass, Wide(kFeedbackCaption).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, owner_, nullptr, instance_, this);
    if (!hwnd_) return false;
    // The client area at the window's scale, centred on the main window.
    RECT r{0, 0, layout_.Px(kClientWidth), layout_.Px(kClientHeight)};
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
    RECT main{};
    GetWindowRect(owner_, &main);
    const int width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(hwnd_, nullptr, std::max<int>(0, (main.left + main.right - width) / 2),
                 std::max<int>(0, (main.top + main.bottom - height) / 2), width, height, SWP_NOZORDER);
    return true;
}

LRESULT CALLBACK FeedbackForm::Proc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FeedbackForm*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FeedbackForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->Handle(message, w, l) : DefWindowProcW(hwnd, message, w, l);
}

LRESULT FeedbackForm::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_CREATE:
            layout_.SetDpi(DpiLayout::DpiOf(hwnd_));
            BuildControls();
            return 0;
        case WM_DPICHANGED:
            layout_.Rescale(hwnd_, w, l);
            return 0;
        case WM_COMMAND:
            switch (LOWORD(w)) {
                case kCbFeedbackType:
                    if (HIWORD(w) == CBN_SELCHANGE) FeedbackTypeChange();
                    return 0;
                case kBtnSendFile: SendFileClick(); return 0;
                case IDOK:  // Enter outside the description: the default button
                case kBtnSend:
                    if (IsWindowEnabled(Control(kBtnSend))) SendClick();
                    return 0;
                case IDCANCEL:  // Escape: a stray key must not cost a long description
                    return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_NCDESTROY:  // with the main window
            hwnd_ = nullptr;
            return DefWindowProcW(nullptr, message, w, l);
        case WM_CLOSE:
            // Closing aborts an upload in progress; the form is kept for the next opening.
            if (sending_) http_.Abort();
            ShowWindow(hwnd_, SW_HIDE);
            if (owner_) SetActiveWindow(owner_);
            return 0;
    }
    return DefWindowProcW(hwnd_, message, w, l);
}

void FeedbackForm::BuildControls() {
    tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
    for (const ControlRow& row : kControls) {
        const std::wstring text = Wide(row.text);
        HWND c = layout_.Add(hwnd_, row.cls, text.c_str(), row.style, row.id, row.units);
        if (row.tip && tips_) {
            std::wstring tip = Wide(row.tip);
            TOOLINFOW info{};
            info.cbSize = sizeof info;
            info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            info.hwnd = hwnd_;
            info.uId = reinterpret_cast<UINT_PTR>(c);
            info.lpszText = tip.data();
            SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        }
    }
    for (const std::string& item : FeedbackTypeItems())
        SendMessageW(Control(kCbFeedbackType), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    for (const std::string& item : RespondViaItems())
        SendMessageW(Control(kCbRespondVia), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    SendMessageW(Control(kReDescription), EM_SETLIMITTEXT, kDescriptionMaxChars, 0);
    ShowWindow(Control(kPbWeb), SW_HIDE);
}

std::string FeedbackForm::Text(int id) const { return Narrow(TextOf(Control(id))); }

void FeedbackForm::SendFeedbacktoVornell(const LaunchValues& values, VornLog* log, const std::string& logTag) {
    launch_ = values;
    // The log on disk keeps its own limit: the form sends only its last part.
    if (log && log->FileSize() <= 0)
        log->Log(VornLog::kMilestones, logTag.c_str(), "Launching web feedback with an empty error file.");
    ShowFeedbackForm();
}

bool FeedbackForm::ShowFeedbackForm() {
    if (checking_ || !Create()) return false;  // the menu was chosen again while the first check runs
    checking_ = true;
    std::string error;
    bool reachable = false;
    const auto base = ServiceBaseUrl(ConfiguredServiceUrl());
    if (!base) {
        error = BadServiceAddressText(ConfiguredServiceUrl());
    } else {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        const HttpResult answer = http_.Get(base->Url(kReachPath), kReachTimeoutMs, pump_);
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        reachable = answer.answered;
        error = answer.timedOut ? NoAnswerText(base->host, kReachTimeoutMs) : answer.error;
    }
    checking_ = false;
    // Unreachable, the report can still be written, and saved for e-mail when the send fails.
    if (!reachable && !ShowWebMessage(InternetAccessErrorText(WebSite(), error) + WriteAnywayText(),
                                      "Internet Access Error", true, 1))
        return false;
    if (!IsWindowVisible(hwnd_)) FormShow();  // every opening starts afresh, not a second click
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(Control(kEdName));
    return true;
}

void FeedbackForm::FormShow() {
    for (const Remembered& r : kRemembered)
        SetWindowTextW(Control(r.box), Wide(ReadUserText(kFeedbackKey, r.key).value_or(std::string())).c_str());
    if (!launch_.registeredName.empty()) SetWindowTextW(Control(kEdName), Wide(launch_.registeredName).c_str());
    if (!launch_.registeredCompany.empty())
        SetWindowTextW(Control(kEdCompany), Wide(launch_.registeredCompany).c_str());
    SetWindowTextW(Control(kEdSendFile), L"");
    sendFilePath_.clear();
    SetWindowTextW(Control(kReDescription), L"");
    SendMessageW(Control(kCbRespondVia), CB_SETCURSEL, kRespondViaEmail, 0);
    SendMessageW(Control(kCbFeedbackType), CB_SETCURSEL, 0, 0);
    FeedbackTypeChange();
    ShowWindow(Control(kPbWeb), SW_HIDE);
    sending_ = false;
}

void FeedbackForm::FeedbackTypeChange() {
    const FeedbackType type =
        FeedbackTypeFor(static_cast<int>(SendMessageW(Control(kCbFeedbackType), CB_GETCURSEL, 0, 0)));
    feedbackType_ = type.name;
    SetWindowTextW(Control(kLblDescription), Wide(type.prompt).c_str());
}

void FeedbackForm::SendFileClick() {
    SetWindowTextW(Control(kEdSendFile), L"");
    sendFilePath_.clear();
    const std::wstring path = AskFile(hwnd_, {false, L"Send File with Feedback", L"Any File Type (*.*)\0*.*\0", nullptr,
                                              {}, Wide(launch_.startFolder)});
    if (path.empty()) return;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::string name = Narrow(path.substr(path.find_last_of(L"\\/") + 1));
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return;
    const int64_t size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size <= kMaxSendFileBytes) {
        sendFilePath_ = Narrow(path);
        SetWindowTextW(Control(kEdSendFile), Wide(name).c_str());
        return;
    }
    ShowWebMessage(FileTooBigText(name, size), "File Size Error", false, 1);
}

FeedbackReport FeedbackForm::Report() const {
    FeedbackReport r;
    r.launch = launch_;
    r.entries = {Text(kEdName), Text(kEdEmail), Text(kEdTelephone), Text(kEdEmailTo),
                 static_cast<int>(SendMessageW(Control(kCbRespondVia), CB_GETCURSEL, 0, 0))};
    r.company = Text(kEdCompany);
    r.feedbackTypeName = feedbackType_;
    r.description = Text(kReDescription);
    r.installationPath = installationPath_;
    r.computerInformation = computerInformation_;
    return r;
}

void FeedbackForm::SendClick() {
    const FeedbackReport report = Report();
    if (const auto problem = ValidateFeedback(report.entries)) {
        ShowWebMessage(problem->text, problem->caption, false, 0);
        switch (problem->focus) {
            case FocusField::Name: SetFocus(Control(kEdName)); break;
            case FocusField::Telephone: SetFocus(Control(kEdTelephone)); break;
            case FocusField::EmailTo: SetFocus(Control(kEdEmailTo)); break;
            case FocusField::Email: SetFocus(Control(kEdEmail)); break;
        }
        return;
    }
    EnableWindow(Control(kBtnSend), FALSE);
    std::vector<std::pair<std::string, std::string>> remembered;
    for (const Remembered& r : kRemembered) remembered.emplace_back(r.key, Text(r.box));
    WriteUserTexts(kFeedbackKey, remembered);
    lastSendError_.clear();
    const int32_t result = SendFeedback();
    EnableWindow(Control(kBtnSend), TRUE);

    const bool visible = IsWindowVisible(hwnd_);
    if (result == kFeedbackSent) {
        ShowWindow(hwnd_, SW_HIDE);
        ShowWebMessage(ThankYouText(feedbackType_), "Feedback Successfully Sent", false, 2);
    } else if (result == kFeedbackFailed && visible) {
        // The service could not take it: the same report, as a file the user can mail.
        if (ShowWebMessage(SaveReportOfferText(feedbackType_, lastSendError_, Recipient(report)),
                           "Error Sending Feedback", true, 0) &&
            SaveReport())
            ShowWindow(hwnd_, SW_HIDE);
    } else if (result == kFeedbackFailed) {
        // The user closed the window, which aborted the send: say so, not that it failed.
        ShowWebMessage(ClosedWhileSendingText(feedbackType_), "Feedback Not Sent", false, 0);
    }
}

ReadAttachmentFn FeedbackForm::Reader() {
    return [this](const ReportAttachment& attachment, ReportFile* file, bool report) {
        return ReadAttachment(attachment, file, report);
    };
}

bool FeedbackForm::ReadAttachment(const ReportAttachment& attachment, ReportFile* out, bool report) {
    std::string bytes, failure;
    bool exists = false;
    if (!ReadWholeFile(attachment.path, &bytes, &failure, &exists)) {
        if (report) {
            const ReportFile named = AttachedFile(attachment, {});
            ShowWebMessage(AttachErrorText(named.name, ClassifyAttachFailure(failure, exists), failure),
                           "Error Reading File", false, 1);
        }
        return false;
    }
    *out = AttachedFile(attachment, bytes);
    return true;
}

int32_t FeedbackForm::SendFeedback() {
    const FeedbackReport report = Report();
    // The program's files go along when they can be read; only the user's own file is
    // worth stopping for.
    const auto files = CollectReportFiles(report.launch, sendFilePath_, true, Reader());
    if (!files) return kFeedbackNotSent;
    const MultipartForm form = ReportForm(report, *files);
    const auto base = ServiceBaseUrl(ConfiguredServiceUrl());
    if (!base) {
        lastSendError_ = BadServiceAddressText(ConfiguredServiceUrl());
        return kFeedbackFailed;
    }
    sending_ = true;
    progressShown_ = false;
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    const std::string body = form.Body();
    const HttpResult answer = http_.Post(base->Url(kScriptPath), form.ContentType(), body, kSendIdleTimeoutMs, pump_,
                                         [this](uint64_t sent, uint64_t total) { Progress(sent, total); });
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    ShowWindow(Control(kPbWeb), SW_HIDE);
    sending_ = false;
    if (answer.timedOut) {
        lastSendError_ = NoAnswerText(base->host, kSendIdleTimeoutMs);
    } else if (!answer.answered) {
        lastSendError_ = answer.error;
    } else if (ServiceTookIt(answer.body)) {
        return kFeedbackSent;
    }
    return kFeedbackFailed;
}

// Upload progress: the bar shows only for sends above kProgressBarAboveBytes.
void FeedbackForm::Progress(uint64_t sent, uint64_t total) {
    if (total <= static_cast<uint64_t>(kProgressBarAboveBytes)) return;
    HWND bar = Control(kPbWeb);
    if (!progressShown_) {
        progressShown_ = true;
        SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
        ShowWindow(bar, SW_SHOW);
    }
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(sent * 1000 / total), 0);
}

bool FeedbackForm::SaveReport() {
    const FeedbackReport report = Report();
    std::wstring name = Wide(launch_.productName + " " + feedbackType_ + ".eml");
    for (wchar_t& c : name)
        if (wcschr(L"\\/:*?\"<>|", c)) c = L'_';
    const std::wstring path = AskFile(owner_ ? owner_ : hwnd_, {true, L"Save Feedback Report",
                                                                L"E-mail messages (*.eml)\0*.eml\0", L"eml", name,
                                                                Wide(launch_.startFolder)});
    if (path.empty()) return false;
    // The same parts the service would have had; what cannot be read is left out.
    const std::vector<ReportFile> files = *CollectReportFiles(report.launch, sendFilePath_, false, Reader());
    const std::string mail = ReportMail(report, files);
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = out != INVALID_HANDLE_VALUE &&
                    WriteFile(out, mail.data(), static_cast<DWORD>(mail.size()), &written, nullptr) &&
                    written == mail.size();
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!ok) {
        ShowWebMessage("The report could not be saved in \"" + Narrow(path) + "\".", "Error Saving Report", false, 1);
        return false;
    }
    ShowWebMessage(ReportSavedText(Narrow(path), Recipient(report)), "Report Saved", false, 2);
    return true;
}

// A modal box owned by the main window. Kind 1 error, 2 information, 3 confirmation,
// anything else warning. With `ask` the user answers OK or Cancel, OK counting as yes.
bool FeedbackForm::ShowWebMessage(const std::string& text, const std::string& caption, bool ask, int kind) {
    const UINT icon = kind == 1 ? MB_ICONHAND : kind == 2 ? MB_ICONASTERISK : kind == 3 ? MB_ICONQUESTION
                                                                                         : MB_ICONEXCLAMATION;
    MessageBeep(icon);
    HWND owner = IsWindowVisible(hwnd_) ? hwnd_ : owner_;
    const int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), (ask ? MB_OKCANCEL : MB_OK) | icon);
    return ask && answer == IDOK;
}

bool FeedbackForm::Dispatch(MSG& msg) {
    return hwnd_ && IsWindowVisible(hwnd_) && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) &&
           IsDialogMessageW(hwnd_, &msg);
}

}  // namespace vorn::win32
