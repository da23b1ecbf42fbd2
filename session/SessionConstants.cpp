#include "session/SessionConstants.h"

namespace vorn::session {

std::span<const CodeMeaning> SessionMeanings() {
    static constexpr CodeMeaning kTable[] = {
        {kSettingsFileMissing, "the settings file was not found"},
        {kSettingsFileDenied, "the settings file may not be read (permissions)"},
        {kSettingsFileUnreadable, "the settings file could not be read"},
    };
    return kTable;
}

std::string_view Describe(int32_t code) { return MeaningIn(SessionMeanings(), code); }

}  // namespace vorn::session
