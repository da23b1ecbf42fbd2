#pragma once
// The open and save dialogs of the Windows windows: the chosen path, or "" when cancelled.
#include <windows.h>
#include <commdlg.h>

#include <string>

namespace vorn::win32 {

struct FileQuestion {
    bool save = false;
    const wchar_t* title = nullptr;
    const wchar_t* filter = nullptr;  // "Name\0*.ext\0...\0"
    const wchar_t* extension = nullptr;
    std::wstring proposedName, folder;
};

inline std::wstring AskFile(HWND owner, const FileQuestion& q) {
    wchar_t path[MAX_PATH * 4] = {};
    q.proposedName.copy(path, MAX_PATH);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = q.filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(sizeof path / sizeof path[0]);
    ofn.lpstrInitialDir = q.folder.empty() ? nullptr : q.folder.c_str();
    ofn.lpstrTitle = q.title;
    ofn.lpstrDefExt = q.extension;
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | (q.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    const BOOL ok = q.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return ok ? std::wstring(path) : std::wstring();
}

}  // namespace vorn::win32
