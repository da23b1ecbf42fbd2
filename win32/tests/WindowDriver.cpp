// vornbsl-driver.exe: drives a running vornbsl.exe through its own controls, as a user
// would, for the tests under Wine. Each argument is one step, done in order; the first
// that fails ends the run with status 1, after saying what the window showed.
//   open=PATH          File > Open Firmware File..., PATH typed into the dialog, Open
//   findall            Settings > Force Find All Comm Ports chosen
//   record             Settings > Record Wire Transcript chosen
//   port=COM8          the drop-down opened and its line that starts with COM8 chosen
//   start              Start pressed
//   update             File > Update Firmware chosen
//   box=TITLE:ok       wait for the message box titled TITLE and press OK (or :cancel);
//                      its text is printed
//   box-with=TEXT:ok   the same for the box whose text holds TEXT
//   status=TEXT        wait until the status line starts with TEXT; a message box that
//                      comes instead fails the step (it is printed and answered OK)
//   ok-all-until=TEXT  the same, every box on the way answered OK (and printed)
//   close              Close pressed once it is enabled, and the window gone
//   exit               File > Exit chosen (the close guard may answer instead)
//   wait=MS            a pause (for a screenshot)
//   mark=NAME          prints "driver: mark NAME" (a screenshot is taken when it shows)
//   feedback           Help > Send Feedback to Vornell... chosen, and the form shown
//   fill=BOX=TEXT      the form's box (edName, edCompany, edEmail, edTelephone, edEmailTo,
//                      reDescription) given TEXT; "\n" in TEXT is a line break
//   choose=BOX=N       the form's drop-down (cbFeedbackType, cbRespondVia) set to item N
//   send               the form's Send pressed
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "win32/FeedbackForm.h"
#include "win32/MainWindow.h"
#include "win32/Win32Text.h"

using vorn::win32::Narrow;
using vorn::win32::Wide;

namespace {

constexpr DWORD kStepTimeoutMs = 120000;
HWND gMain = nullptr;
DWORD gProcess = 0;

std::wstring Text(HWND w) {
    wchar_t buffer[4096] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, &got);
    return buffer;
}

// A message box or dialog of the updater's, top-level.
struct Found {
    HWND box = nullptr;
};
BOOL CALLBACK FindBox(HWND w, LPARAM l) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    if (pid == gProcess && IsWindowVisible(w) && std::wstring(cls) == L"#32770") {
        reinterpret_cast<Found*>(l)->box = w;
        return FALSE;
    }
    return TRUE;
}
HWND AnyBox() {
    Found f;
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&f));
    return f.box;
}

std::string BoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);  // the message box's text
    return Narrow(text ? Text(text) : std::wstring());
}

void Press(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id))); }

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = kStepTimeoutMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (done()) return true;
        Sleep(100);
    }
    return false;
}

bool Fail(const std::string& step, const std::string& why) {
    std::printf("driver: %s: %s\n", step.c_str(), why.c_str());
    if (HWND box = AnyBox()) std::printf("driver: a box is open: \"%s\": %s\n", Narrow(Text(box)).c_str(), BoxText(box).c_str());
    std::printf("driver: the status line says \"%s\"\n", Narrow(Text(GetDlgItem(gMain, vorn::win32::kStatusText))).c_str());
    std::fflush(stdout);
    return false;
}

bool Open(const std::string& step, const std::string& path) {
    PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kOpenFirmwareFile1, 0), 0);
    HWND dialog = nullptr;
    if (!WaitFor([&] { return (dialog = AnyBox()) != nullptr && Text(dialog) == L"Please select a firmware file"; }))
        return Fail(step, "no file dialog");
    // The file name box: the combo box of an explorer dialog (cmb13), or the old edit (edt1).
    HWND name = GetDlgItem(dialog, 0x47C);
    if (!name) name = GetDlgItem(dialog, 0x480);
    if (!name) return Fail(step, "the file dialog has no file name box");
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(path).c_str()));
    Press(dialog, IDOK);
    if (!WaitFor([&] { return !IsWindow(dialog); }, 20000)) return Fail(step, "the file dialog stayed");
    const std::string loaded = Narrow(Text(GetDlgItem(gMain, vorn::win32::kUserText2)));
    std::printf("driver: opened, the window shows \"%s\"\n", loaded.c_str());
    return !loaded.empty() || Fail(step, "no firmware file shown");
}

bool Port(const std::string& step, const std::string& port) {
    HWND box = GetDlgItem(gMain, vorn::win32::kCbCommPort);
    // Opened, as a user opens it: the window lists the ports again.
    SendMessageW(box, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(box, CB_SHOWDROPDOWN, FALSE, 0);
    const int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    std::string lines;
    for (int i = 0; i < count; ++i) {
        wchar_t line[256] = {};
        SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
        const std::string text = Narrow(line);
        lines += " \"" + text + "\"";
        if (text.rfind(port, 0) == 0) {
            SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            SendMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kCbCommPort, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
            std::printf("driver: chose \"%s\"\n", text.c_str());
            return true;
        }
    }
    return Fail(step, "no line of the drop-down starts with " + port + ":" + lines);
}

// The box titled `title`, or (`byText`) the box whose text holds it.
bool Box(const std::string& step, const std::string& title, bool ok, bool byText = false) {
    HWND box = nullptr;
    if (!WaitFor([&] {
            box = AnyBox();
            return box && (byText ? BoxText(box).find(title) != std::string::npos : Narrow(Text(box)) == title);
        }))
        return Fail(step, "no box \"" + title + "\"");
    std::printf("driver: box \"%s\": %s\n", Narrow(Text(box)).c_str(), BoxText(box).c_str());
    std::fflush(stdout);
    Press(box, ok ? IDOK : IDCANCEL);
    return WaitFor([&] { return !IsWindow(box); }, 10000) || Fail(step, "the box stayed");
}

bool Status(const std::string& step, const std::string& text, bool answerAll = false) {
    bool boxCame = false;
    const bool done = WaitFor([&] {
        if (HWND box = AnyBox()) {
            std::printf("driver: box \"%s\"%s: %s\n", Narrow(Text(box)).c_str(), answerAll ? " (OK)" : " came instead",
                        BoxText(box).c_str());
            std::fflush(stdout);
            Press(box, IDOK);
            WaitFor([&] { return !IsWindow(box); }, 10000);
            boxCame = !answerAll;
            return boxCame;
        }
        return Narrow(Text(GetDlgItem(gMain, vorn::win32::kStatusText))).rfind(text, 0) == 0;
    });
    if (!done || boxCame) return Fail(step, "the status line did not come to \"" + text + "\"");
    std::printf("driver: status \"%s\"\n", Narrow(Text(GetDlgItem(gMain, vorn::win32::kStatusText))).c_str());
    return true;
}

HWND gForm = nullptr;

int FormControl(const std::string& name) {
    struct Row {
        const char* name;
        int id;
    };
    static constexpr Row kRows[] = {
        {"edName", vorn::win32::kEdName},       {"edCompany", vorn::win32::kEdCompany},
        {"edEmail", vorn::win32::kEdEmail},     {"edTelephone", vorn::win32::kEdTelephone},
        {"edEmailTo", vorn::win32::kEdEmailTo}, {"reDescription", vorn::win32::kReDescription},
        {"cbFeedbackType", vorn::win32::kCbFeedbackType}, {"cbRespondVia", vorn::win32::kCbRespondVia},
    };
    for (const Row& row : kRows)
        if (name == row.name) return row.id;
    return 0;
}

bool FormStep(const std::string& step, const std::string& verb, const std::string& value) {
    if (verb == "feedback") {
        PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kSendFeedbacktoVornell1, 0), 0);
        if (!WaitFor([] {
                gForm = FindWindowW(vorn::win32::kFeedbackClass, nullptr);
                return (gForm && IsWindowVisible(gForm)) || AnyBox();
            }, 60000) ||
            !gForm || !IsWindowVisible(gForm))
            return Fail(step, "the feedback form did not show");
        std::printf("driver: the feedback form \"%s\" is shown\n", Narrow(Text(gForm)).c_str());
        return true;
    }
    if (!gForm) return Fail(step, "the feedback form is not open");
    const size_t eq = value.find('=');
    const int id = FormControl(value.substr(0, eq));
    const std::string text = eq == std::string::npos ? "" : value.substr(eq + 1);
    if (verb == "fill" && id) {
        std::string lines;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "\\n") == 0) {
                lines += "\r\n";
                ++i;
            } else {
                lines += text[i];
            }
        }
        SendMessageW(GetDlgItem(gForm, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(lines).c_str()));
        return true;
    }
    if (verb == "choose" && id) {
        HWND box = GetDlgItem(gForm, id);
        SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(std::stoi(text.empty() ? "0" : text)), 0);
        SendMessageW(gForm, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
        return true;
    }
    if (verb == "send") {
        PostMessageW(GetDlgItem(gForm, vorn::win32::kBtnSend), BM_CLICK, 0, 0);
        return true;
    }
    return Fail(step, "no such box of the feedback form");
}

bool Step(const std::string& step) {
    const size_t eq = step.find('=');
    const std::string verb = step.substr(0, eq), value = eq == std::string::npos ? "" : step.substr(eq + 1);
    if (verb == "open") return Open(step, value);
    if (verb == "port") return Port(step, value);
    if (verb == "start") {
        PostMessageW(GetDlgItem(gMain, vorn::win32::kBtnStart), BM_CLICK, 0, 0);
        return true;
    }
    if (verb == "findall") {
        PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kForceFindAllCommPorts1, 0), 0);
        return true;
    }
    if (verb == "record") {
        PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kRecordWireTranscript1, 0), 0);
        return true;
    }
    if (verb == "update") {
        PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kUpdateFirmware1, 0), 0);
        return true;
    }
    if (verb == "box" || verb == "box-with") {
        const size_t colon = value.rfind(':');
        return Box(step, value.substr(0, colon), colon == std::string::npos || value.substr(colon + 1) != "cancel",
                   verb == "box-with");
    }
    if (verb == "status") return Status(step, value);
    if (verb == "ok-all-until") return Status(step, value, true);
    if (verb == "exit") {
        PostMessageW(gMain, WM_COMMAND, MAKEWPARAM(vorn::win32::kExit1, 0), 0);
        return true;
    }
    if (verb == "close") {
        // The end of a run may still be closing the port: Close is pressed once it can be.
        HWND close = GetDlgItem(gMain, vorn::win32::kBtnClose);
        if (!WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 60000)) return Fail(step, "Close stayed disabled");
        PostMessageW(close, BM_CLICK, 0, 0);
        return WaitFor([] { return !IsWindow(gMain); }, 20000) || Fail(step, "the window stayed");
    }
    if (verb == "mark") {
        std::printf("driver: mark %s\n", value.c_str());
        std::fflush(stdout);
        return true;
    }
    if (verb == "wait") {
        Sleep(static_cast<DWORD>(std::stoul(value.empty() ? "0" : value)));
        return true;
    }
    if (verb == "feedback" || verb == "fill" || verb == "choose" || verb == "send") return FormStep(step, verb, value);
    return Fail(step, "no such step");
}

}  // namespace

int main(int argc, char** argv) {
    if (!WaitFor([] { return (gMain = FindWindowW(vorn::win32::kWindowClass, nullptr)) != nullptr; }, 60000)) {
        std::printf("driver: no vornbsl window\n");
        return 1;
    }
    GetWindowThreadProcessId(gMain, &gProcess);
    // The window fills its port list when it is first shown.
    WaitFor([] { return SendMessageW(GetDlgItem(gMain, vorn::win32::kCbCommPort), CB_GETCOUNT, 0, 0) > 0; }, 20000);
    for (int i = 1; i < argc; ++i) {
        std::printf("driver: %s\n", argv[i]);
        std::fflush(stdout);
        if (!Step(argv[i])) return 1;
    }
    return 0;
}
