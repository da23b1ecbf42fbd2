#pragma once
// The window's preferences in the current user's registry key
// "Software\Vornell Devices, Inc\VornBSL": "FindAllComms" and "VerboseLog" as 0/1 double
// words, "CommPort" as a string. A key or value that cannot be read leaves the default.
#include "window/MainWindowModel.h"

namespace vorn::win32 {

inline constexpr const wchar_t* kPreferencesKey = L"Software\\Vornell Devices, Inc\\VornBSL";

window::Preferences ReadPreferences();
// False when the key could not be opened or a value not written.
bool WritePreferences(const window::Preferences& preferences);

}  // namespace vorn::win32
