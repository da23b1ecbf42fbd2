#include "win32/Registry.h"

#include <windows.h>

#include "win32/Win32Text.h"

namespace vorn::win32 {

namespace {

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

std::optional<bool> ReadFlag(HKEY key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value != 0;
}

std::optional<std::string> ReadText(HKEY key, const wchar_t* name) {
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return Narrow(text);
}

bool WriteFlag(HKEY key, const wchar_t* name, bool on) {
    const DWORD value = on ? 1 : 0;
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool WriteText(HKEY key, const wchar_t* name, const std::string& utf8) {
    const std::wstring text = Wide(utf8);
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

std::optional<std::string> ReadUserText(const wchar_t* keyPath, const std::string& name) {
    Key key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key.h) != ERROR_SUCCESS) return std::nullopt;
    return ReadText(key.h, Wide(name).c_str());
}

bool WriteUserTexts(const wchar_t* keyPath, const std::vector<std::pair<std::string, std::string>>& values) {
    Key key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key.h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const auto& [name, value] : values) ok = WriteText(key.h, Wide(name).c_str(), value) && ok;
    return ok;
}

window::Preferences ReadPreferences() {
    window::Preferences prefs;
    Key key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kPreferencesKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key.h,
                        nullptr) != ERROR_SUCCESS)
        return prefs;
    prefs.findAllComms = ReadFlag(key.h, L"FindAllComms");
    prefs.verboseLog = ReadFlag(key.h, L"VerboseLog");
    prefs.commPort = ReadText(key.h, L"CommPort");
    prefs.recordTranscript = ReadFlag(key.h, L"RecordTranscript");
    return prefs;
}

bool WritePreferences(const window::Preferences& prefs) {
    Key key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kPreferencesKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key.h, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = WriteFlag(key.h, L"FindAllComms", prefs.findAllComms.value_or(false));
    ok = WriteFlag(key.h, L"VerboseLog", prefs.verboseLog.value_or(true)) && ok;
    ok = WriteText(key.h, L"CommPort", prefs.commPort.value_or(std::string())) && ok;
    ok = WriteFlag(key.h, L"RecordTranscript", prefs.recordTranscript.value_or(false)) && ok;
    return ok;
}

}  // namespace vorn::win32
