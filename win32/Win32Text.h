#pragma once
// Text between the core (UTF-8, and file names in the ANSI code page, which the manifest
// makes UTF-8) and Win32 (UTF-16).
#include <windows.h>

#include <string>

namespace vorn::win32 {

inline std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

inline std::string Narrow(const std::wstring& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A path as the core opens it (fopen, CreateFileA): in the ANSI code page.
inline std::string CorePath(const std::wstring& path) { return Narrow(path, CP_ACP); }
inline std::wstring ShownPath(const std::string& path) { return Wide(path, CP_ACP); }

// The system's words for an error code ("" when it has none), from `module`'s message
// table first when one is given (WinHTTP keeps its own).
inline std::string SystemMessage(DWORD code, HMODULE module = nullptr) {
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                        (module ? FORMAT_MESSAGE_FROM_HMODULE : 0);
    const DWORD n = FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return Narrow(message);
}

// The text of a window or control.
inline std::wstring TextOf(HWND control) {
    const int n = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(control, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return text;
}

}  // namespace vorn::win32
