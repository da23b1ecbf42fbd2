#pragma once
// The feedback form on Windows, in plain Win32: widget wiring over the feedback rules,
// texts and report both forms share (window/FeedbackText.h), posting through WinHTTP.
// One instance lives for the whole program, hidden until the Help menu opens it; every
// opening starts from the contact details remembered in the registry.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "window/FeedbackText.h"
#include "win32/DpiLayout.h"
#include "win32/HttpClient.h"

class VornLog;

namespace vorn::win32 {

enum FeedbackControlId : int {
    kLblName = 301,
    kEdName,
    kLblCompany,
    kEdCompany,
    kLblEmail,
    kEdEmail,
    kLblTelephone,
    kEdTelephone,
    kLblFeedbackType,
    kCbFeedbackType,
    kLblRespondVia,
    kCbRespondVia,
    kLblDescription,
    kReDescription,
    kLblSendFile,
    kEdSendFile,
    kBtnSendFile,
    kLblEmailTo,
    kEdEmailTo,
    kPbWeb,
    kBtnSend,
};
inline constexpr const wchar_t* kFeedbackClass = L"TfrmWeb";
inline constexpr const char* kFeedbackCaption = "Send Feedback to Vornell";

class FeedbackForm {
public:
    // `pump` runs the program's messages inside the form's waits.
    FeedbackForm(HINSTANCE instance, HWND owner, std::function<void()> pump);
    ~FeedbackForm();

    // What the main window's menu item does: takes the launch values, notes an empty log,
    // checks the service can be reached and shows the form.
    void SendFeedbacktoVornell(const feedback::LaunchValues& values, VornLog* log, const std::string& logTag);
    // The configured default recipient, web site and service address (registry values
    // over the built-in ones).
    static std::string DefaultRecipient();
    static std::string WebSite();
    static std::string ConfiguredServiceUrl();
    // True when the message was the form's keyboard navigation.
    bool Dispatch(MSG& msg);
    HWND Handle() const { return hwnd_; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    bool Create();
    void BuildControls();
    bool ShowFeedbackForm();
    void FormShow();
    void FeedbackTypeChange();
    void SendFileClick();
    void SendClick();
    int32_t SendFeedback();
    bool SaveReport();
    bool ReadAttachment(const feedback::ReportAttachment& attachment, feedback::ReportFile* file, bool report);
    feedback::ReadAttachmentFn Reader();
    feedback::FeedbackReport Report() const;
    void Progress(uint64_t sent, uint64_t total);
    bool ShowWebMessage(const std::string& text, const std::string& caption, bool ask, int kind);
    std::string Text(int id) const;
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }

    HINSTANCE instance_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    HWND tips_ = nullptr;
    std::function<void()> pump_;
    DpiLayout layout_;
    HttpClient http_;
    feedback::LaunchValues launch_;
    std::string feedbackType_, lastSendError_, sendFilePath_;
    std::string installationPath_, computerInformation_;  // the computer's, for every report
    bool checking_ = false;
    bool sending_ = false;
    bool progressShown_ = false;
};

}  // namespace vorn::win32
