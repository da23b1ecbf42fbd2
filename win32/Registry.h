#pragma once
// The window's preferences in the current user's registry key
// "Software\Vornell Devices, Inc\VornBSL": "FindAllComms" and "VerboseLog" as 0/1 double
// words, "CommPort" as a string, "RecordTranscript" as a 0/1 double word. A key or value that cannot be read leaves the default.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/MainWindowModel.h"

namespace vorn::win32 {

inline constexpr const wchar_t* kPreferencesKey = L"Software\\Vornell Devices, Inc\\VornBSL";
// The feedback form's: its remembered contact details (strings) and the service's address.
inline constexpr const wchar_t* kFeedbackKey = L"Software\\Vornell Devices, Inc\\FeedbackForm";

// A string value under the current user's `keyPath`; nothing when it is absent or no string.
std::optional<std::string> ReadUserText(const wchar_t* keyPath, const std::string& name);
// String values under `keyPath`, the key created when missing; false when one was not written.
bool WriteUserTexts(const wchar_t* keyPath, const std::vector<std::pair<std::string, std::string>>& values);

window::Preferences ReadPreferences();
// False when the key could not be opened or a value not written.
bool WritePreferences(const window::Preferences& preferences);

}  // namespace vorn::win32
